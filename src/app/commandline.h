#pragma once

#include "core/config.h"

#include <QCommandLineOption>
#include <QDate>
#include <QStringList>

#include <optional>

class QCommandLineParser;

struct CommandLineOutcome
{
    enum class Action { Run, ShowHelp, ShowVersion, Refuse };
    Action action = Action::Run;
    AppConfig config;
    // Where the history is kept (empty: the user's data folder), and whether the window keeps one.
    QString dataDir;
    bool keepHistory = true;
    // The help or version text to print, or why the command line was refused.
    QString message;
    // "table" only: the text file whose names to show, or else the day whose runs to show.
    QString tableFile;
    QDate tableDay;
};

// The options the window and every command share, defined and checked in one place: the sites'
// addresses, where the history is kept, and whether it is kept.
class SharedOptions
{
public:
    SharedOptions();

    // --market-url, --icp-url, --update-url, --home-url, --forum-url, --dns-server and --data-dir; --no-history too
    // where it means something.
    void addTo(QCommandLineParser &parser, bool withNoHistory) const;
    // Reads them over outcome's defaults. False, with why in error (naming the option and its value),
    // when an address is refused.
    bool read(const QCommandLineParser &parser, CommandLineOutcome &outcome, QString *error = nullptr) const;
    // Those of them given, as the arguments that give them to another run of the program: "--data-dir" made
    // absolute, so that it names the same folder from any working folder.
    QStringList givenArguments(const QCommandLineParser &parser) const;

private:
    struct UrlOption
    {
        QCommandLineOption option;
        QString AppConfig::*field;
        // Paths are appended to a base URL: a query or fragment in it would swallow them.
        bool isBase;
    };
    QList<UrlOption> m_urlOptions;
    QCommandLineOption m_dataDir;
    QCommandLineOption m_dnsServer;
    QCommandLineOption m_noHistory;
};

// False, with why in error, when an option that takes a value was given an empty one ("--data-dir ''"
// would quietly mean the user's own folder).
bool hasNoEmptyValue(const QCommandLineParser &parser, QString *error = nullptr);

// The window's command line: reads --market-url, --icp-url, --update-url, --home-url, --forum-url,
// --data-dir and --no-history over the defaults.
CommandLineOutcome parseCommandLine(const QStringList &arguments);
// "vexlon-collector table ...": the same options, and --file or --date (today by default).
CommandLineOutcome parseTableCommandLine(const QStringList &arguments);
