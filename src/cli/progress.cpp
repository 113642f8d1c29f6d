#include "cli/progress.h"

#include <QByteArray>

#include <cstdio>
#include <utility>

#include <unistd.h>

namespace {

// Back to the line's start, and erase to its end.
const char EraseLine[] = "\r\x1b[K";

} // namespace

Progress::Progress(bool quiet)
    : m_quiet(quiet)
    , m_terminal(!quiet && ::isatty(STDERR_FILENO) == 1)
    , m_sharedWithResults(m_terminal && ::isatty(STDOUT_FILENO) == 1)
{ }

Progress::~Progress()
{
    if (!m_line.isEmpty())
        put(QStringLiteral("\n"));
}

void Progress::show(const QString &line)
{
    if (!m_terminal || line == m_line)
        return;
    put(QLatin1String(EraseLine) + line);
    m_line = line;
}

void Progress::note(const QString &text)
{
    if (!m_quiet)
        warn(text);
}

void Progress::warn(const QString &text)
{
    const QString line = m_line;
    clearLine();
    put(text + u'\n');
    if (!line.isEmpty())
        show(line);
}

void Progress::summary(const QString &text)
{
    // The summary takes the progress line's place.
    clearLine();
    if (!m_quiet)
        put(text + u'\n');
}

void Progress::makeWay()
{
    if (!m_sharedWithResults || m_line.isEmpty())
        return;
    m_hidden = m_line;
    clearLine();
}

void Progress::comeBack()
{
    if (!m_hidden.isEmpty())
        show(std::exchange(m_hidden, QString()));
}

void Progress::clearLine()
{
    if (m_line.isEmpty())
        return;
    put(QLatin1String(EraseLine));
    m_line.clear();
}

void Progress::put(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}
