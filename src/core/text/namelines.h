// Names one per line, as users and other programs hand them over (stdin, a text file), read in bounded
// memory whatever the size: a line is never held longer than the longest name could be.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

// The longest domain name there is, in characters.
inline constexpr qsizetype LongestNameChars = 253;

struct NameLines
{
    struct Skipped
    {
        qint64 line = 0; // from 1
        QString start; // its first characters, as read
    };
    // At most this many skipped lines are kept to be told; the others are counted.
    static constexpr qsizetype MostSkippedKept = 1000;

    QStringList names; // in order, blanks around each gone, empty lines left out
    qint64 tooLongCount = 0; // lines longer than the longest name, left out
    QList<Skipped> tooLong; // the first MostSkippedKept of them
    // A NUL byte came, so the input is no text: nothing from its line on was read. Its line number.
    qint64 notTextAt = 0;
};

// Reads the device to its end in chunks, one line at a time: each line is decoded as UTF-8 when it is
// valid UTF-8, else as GBK; a byte order mark before the first, CR before LF and blanks around a name
// go. Blocks until the device ends: a QFile reads to its end, a socket or process waits for its data.
NameLines readNameLines(QIODevice &device, qsizetype longestName = LongestNameChars);
