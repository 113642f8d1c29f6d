#include "core/schedule/units.h"

#include "core/failure.h"

#include <QRegularExpression>

namespace ScheduleUnits {

namespace {

// Characters the manager takes as they are in a word without quotes.
bool isPlain(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
        || QStringView(u"-_./:=,+@").contains(c);
}

const QString WrittenBy = QStringLiteral("# Written by \"vexlon-collector schedule enable\"; "
                                         "\"vexlon-collector schedule disable\" removes it.\n");

} // namespace

QStringList commandLine(const DailyCollection &collection)
{
    QStringList words { collection.program, QStringLiteral("collect"), QStringLiteral("--pages"),
        QString::number(collection.pages) };
    if (collection.notify)
        words << QStringLiteral("--notify");
    words << QStringLiteral("--quiet");
    return words + collection.extraArguments;
}

QString serviceText(const DailyCollection &collection)
{
    return QStringLiteral("[Unit]\n"
                          "Description=vexlon-collector: collect %1 of the marketplace every day\n"
                          "%2"
                          "\n"
                          "[Service]\n"
                          "Type=oneshot\n"
                          "ExecStart=%3\n")
        .arg(collection.pages == 1 ? QStringLiteral("the first page")
                                   : QStringLiteral("the first %1 pages").arg(collection.pages),
            WrittenBy, execLine(commandLine(collection)));
}

QString timerText(const DailyCollection &collection)
{
    return QStringLiteral("[Unit]\n"
                          "Description=vexlon-collector: the daily collection at %1\n"
                          "%2"
                          "\n"
                          "[Timer]\n"
                          "OnCalendar=*-*-* %1:00\n"
                          // A day the computer was off or asleep at that time is made up for once it is on.
                          "Persistent=true\n"
                          // Not every user's collection on the marketplace at the same second.
                          "RandomizedDelaySec=300\n"
                          "\n"
                          "[Install]\n"
                          "WantedBy=timers.target\n")
        .arg(collection.at.toString(QStringLiteral("HH:mm")), WrittenBy);
}

QString execWord(const QString &word, bool first)
{
    QString escaped;
    bool quoted = word.isEmpty();
    for (const QChar c : word) {
        if (c == u'%') {
            escaped += QLatin1String("%%");
        } else if (c == u'$') {
            escaped += first ? QLatin1String("$") : QLatin1String("$$");
        } else if (c == u'\\' || c == u'"') {
            escaped += u'\\';
            escaped += c;
        } else if (c == u'\n') {
            escaped += QLatin1String("\\n");
        } else if (c == u'\t') {
            escaped += QLatin1String("\\t");
        } else if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
            escaped += QStringLiteral("\\x%1").arg(uint(c.unicode()), 2, 16, QChar(u'0'));
        } else {
            escaped += c;
        }
        quoted = quoted || !isPlain(c);
    }
    return quoted ? u'"' + escaped + u'"' : escaped;
}

QString execLine(const QStringList &words)
{
    QStringList line;
    for (qsizetype i = 0; i < words.size(); ++i)
        line << execWord(words[i], i == 0);
    return line.join(u' ');
}

bool isUsableProgramPath(const QString &path, QString *error)
{
    for (const QChar c : path) {
        if (c == u'"' || c == u'\'' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return fail(error,
                QStringLiteral("the program's path %1 holds a quote, a backslash or a control "
                               "character, which the service manager does not take in the path of "
                               "a program it runs")
                    .arg(path));
    }
    return true;
}

QTime timerTime(const QString &timerText)
{
    static const QRegularExpression daily(
        QStringLiteral("^OnCalendar\\s*=\\s*\\*-\\*-\\*\\s+(\\d{2}):(\\d{2})(?::00)?\\s*$"),
        QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = daily.match(timerText);
    return match.hasMatch() ? QTime(match.captured(1).toInt(), match.captured(2).toInt()) : QTime();
}

} // namespace ScheduleUnits
