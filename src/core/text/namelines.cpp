#include "core/text/namelines.h"

#include <QIODevice>
#include <QStringDecoder>

#include <cstring>

namespace {

constexpr qint64 ChunkBytes = 64 * 1024;
// What is kept of a line too long to be a name, to show where it began.
constexpr qsizetype SkippedStartChars = 80;

// UTF-8 when the bytes are valid UTF-8, else GBK (as GB18030, its superset).
QString decodeLine(QByteArrayView bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder gbk("GB18030");
    return gbk.decode(bytes);
}

// The start of a line cut anywhere, also inside a character: what is whole of it.
QString decodeStart(QByteArrayView bytes)
{
    // A character of UTF-8 takes at most four bytes: one of the last three cuts leaves it whole or gone.
    for (qsizetype cut = 0; cut < 4 && cut < bytes.size(); ++cut) {
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(bytes.chopped(cut));
        if (!utf8.hasError())
            return text.left(SkippedStartChars);
    }
    QStringDecoder gbk("GB18030");
    const QString text = gbk.decode(bytes);
    return text.left(SkippedStartChars);
}

class LineReader
{
public:
    explicit LineReader(qsizetype longestName)
        : m_longestName(longestName)
        // Four bytes a character in UTF-8 at most, and room for blanks around the name.
        , m_longestLineBytes(4 * longestName + 256)
    { }

    // Takes bytes that hold no NUL.
    void take(QByteArrayView bytes)
    {
        while (!bytes.isEmpty()) {
            const char *end = static_cast<const char *>(std::memchr(bytes.data(), '\n', size_t(bytes.size())));
            const qsizetype length = end ? end - bytes.data() : bytes.size();
            append(bytes.first(length));
            if (!end)
                return;
            endLine();
            bytes = bytes.sliced(length + 1);
        }
    }

    // The last line, when the input does not end with a line break.
    void finish()
    {
        if (!m_line.isEmpty() || m_tooLong)
            endLine();
    }

    NameLines result;
    qint64 lineNumber = 1;

private:
    void append(QByteArrayView bytes)
    {
        if (m_tooLong)
            return;
        if (m_line.size() + bytes.size() <= m_longestLineBytes) {
            m_line.append(bytes);
            return;
        }
        // What it began with is kept to be told; the rest is never held.
        m_line.append(bytes.first(std::min(bytes.size(), m_longestLineBytes + 1 - m_line.size())));
        m_tooLong = true;
    }

    void endLine()
    {
        QByteArrayView bytes(m_line);
        if (lineNumber == 1 && bytes.startsWith("\xEF\xBB\xBF"))
            bytes = bytes.sliced(3);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        const QString name = m_tooLong ? QString() : decodeLine(bytes).trimmed();
        if (m_tooLong || name.size() > m_longestName) {
            if (result.tooLong.size() < NameLines::MostSkippedKept)
                result.tooLong.append(
                    { lineNumber, decodeStart(bytes.first(std::min<qsizetype>(bytes.size(), 4 * SkippedStartChars))) });
            ++result.tooLongCount;
        } else if (!name.isEmpty()) {
            result.names.append(name);
        }
        m_line.clear();
        m_tooLong = false;
        ++lineNumber;
    }

    const qsizetype m_longestName;
    const qsizetype m_longestLineBytes;
    QByteArray m_line;
    bool m_tooLong = false;
};

} // namespace

NameLines readNameLines(QIODevice &device, qsizetype longestName)
{
    LineReader reader(longestName);
    QByteArray chunk(ChunkBytes, Qt::Uninitialized);
    for (;;) {
        const qint64 read = device.read(chunk.data(), chunk.size());
        if (read < 0)
            break;
        if (read == 0) {
            if (device.atEnd() || !device.waitForReadyRead(-1))
                break;
            continue;
        }
        const QByteArrayView bytes(chunk.constData(), read);
        const qsizetype nul = bytes.indexOf('\0');
        if (nul >= 0) {
            reader.take(bytes.first(nul));
            reader.result.notTextAt = reader.lineNumber;
            return std::move(reader.result);
        }
        reader.take(bytes);
    }
    reader.finish();
    return std::move(reader.result);
}
