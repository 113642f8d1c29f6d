// What a command tells on stderr: a progress line rewritten in place while it works (only when stderr is
// a terminal), notes on lines of their own, and a summary at the end. --quiet silences all of it but
// what the user must know: names skipped, a history that cannot be used.
#pragma once

#include <QString>

class Progress
{
public:
    explicit Progress(bool quiet);
    ~Progress();
    Progress(const Progress &) = delete;
    Progress &operator=(const Progress &) = delete;

    bool isQuiet() const { return m_quiet; }
    // Replaces the progress line; nothing when stderr is no terminal or the command is quiet.
    void show(const QString &line);
    // A line of its own, unless quiet; the progress line is drawn again under it.
    void note(const QString &text);
    // A line of its own, quiet or not.
    void warn(const QString &text);
    // The summary in the progress line's place, unless quiet.
    void summary(const QString &text);
    // Results are about to go to stdout, and then went: when stdout is the same terminal, the
    // progress line makes way for them and comes back under them.
    void makeWay();
    void comeBack();

private:
    void put(const QString &text);
    void clearLine();

    const bool m_quiet;
    const bool m_terminal;
    const bool m_sharedWithResults;
    QString m_line; // the progress line on the terminal now, empty when none
    QString m_hidden; // the progress line while results go by
};
