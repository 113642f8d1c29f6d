// The skinning library beside the program: loaded at start-up, from the program folder, and asked
// once to attach the skin file "skinh.she" of that folder.
#pragma once

#include <QString>

// Attaches the skin. What the library does with the file is its own affair; true when it was called.
// Otherwise false, with why start-up cannot go on in error: the library or its entry point is missing.
bool attachSkin(const QString &programFolder, QString *error = nullptr);
