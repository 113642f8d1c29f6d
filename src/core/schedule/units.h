// The user service and timer that run collect once a day: their file names and texts, made from values,
// and the time a timer file is set for. Nothing here touches a file or the service manager.
#pragma once

#include <QString>
#include <QStringList>
#include <QTime>

namespace ScheduleUnits {

inline QString serviceName()
{
    return QStringLiteral("vexlon-collector-collect.service");
}
inline QString timerName()
{
    return QStringLiteral("vexlon-collector-collect.timer");
}

// What the timer starts every day.
struct DailyCollection
{
    QTime at; // local time; seconds are dropped
    int pages = 1;
    bool notify = false; // collect tells what it found on the desktop
    QString program; // absolute path of the program to run
    QStringList extraArguments; // after collect's own: the sites and the history folder, as given
};

// The collect command line the service runs: the program, then its arguments.
QStringList commandLine(const DailyCollection &collection);
QString serviceText(const DailyCollection &collection);
QString timerText(const DailyCollection &collection);

// One word of an ExecStart= line: quoted where the manager would otherwise split or change it; a blank,
// quote, backslash, "%" (which the manager expands) or "$" (a variable) comes through as it is. The program's path
// (first) is not searched for variables by the manager, so its "$" stays single.
QString execWord(const QString &word, bool first = false);
QString execLine(const QStringList &words);

// The manager runs no program whose path holds a quote, a backslash or a control character: false then,
// with why in error.
bool isUsableProgramPath(const QString &path, QString *error = nullptr);

// The time of day the timer text is set for; invalid when it holds no daily OnCalendar= line.
QTime timerTime(const QString &timerText);

} // namespace ScheduleUnits
