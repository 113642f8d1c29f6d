// What every fuzz target shares: the input as the program gets to read it, and a check that ends the
// run in a way libFuzzer records as a crash, with the input that caused it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringDecoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace Fuzz {

inline QByteArray bytesOf(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// The bytes as text, each way a page reaches a reader: UTF-8 (a page that declares it) and
// GB18030 (a GBK page). Invalid sequences become U+FFFD either way, as in the program.
inline QList<QString> pageTexts(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = bytesOf(data, size);
    QStringDecoder gbk("GB18030");
    return { QString::fromUtf8(bytes), gbk.decode(bytes) };
}

// No blank at either end: what TextOps::trimBlanks() leaves.
inline bool isTrimmed(const QString &text)
{
    return !text.startsWith(u' ') && !text.endsWith(u' ');
}

} // namespace Fuzz
