// The one way the program's parts say that something failed: they return false and, where the caller
// asks for it, say why.
#pragma once

#include <QString>

// Sets *error to why, when the caller asked for it; false, for "return fail(error, ...)".
inline bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}
