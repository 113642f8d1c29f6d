#include "app/commandline.h"

#include "core/failure.h"

#include "core/text/urls.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

namespace {

const char WindowDescription[]
    = "Collects deleted domain names from a backorder marketplace.\n"
      "\n"
      "Without a command it opens the window. With one it runs without a window and without a display:\n"
      "  collect --pages N|A-B   collect results pages, names on stdout\n"
      "  lookup [DOMAIN...]      look up domains (or one per line from stdin), one row each\n"
      "  history [--days N | --since DATE] [--new]\n"
      "                          names the history saw in that time\n"
      "  appraise [DOMAIN...]    tags, shape and pinyin of names as buyers read them, nothing fetched\n"
      "  schedule enable --at HH:MM [--pages N] [--notify] | status | disable\n"
      "                          collect once a day through a timer of the user's service manager\n"
      "\"vexlon-collector table [--date YYYY-MM-DD | --file PATH]\" opens the domain table window alone.\n"
      "\"vexlon-collector COMMAND --help\" tells a command's options.";

} // namespace

SharedOptions::SharedOptions()
    : m_dataDir(QStringLiteral("data-dir"),
        QStringLiteral("Keep the history in this folder instead of the user's data folder."), QStringLiteral("dir"))
    , m_dnsServer(QStringLiteral("dns-server"),
          QStringLiteral("Ask this DNS server, IP:PORT, whether names are taken under other suffixes\n"
                         "(default: the system's resolvers)."),
          QStringLiteral("host:port"))
    , m_noHistory(QStringLiteral("no-history"), QStringLiteral("Do not record runs and lookups in the history."))
{
    const AppConfig defaults;
    const auto add
        = [this, &defaults](const char *name, const char *description, QString AppConfig::*field, bool isBase) {
              m_urlOptions.append({ QCommandLineOption(QLatin1String(name), QLatin1String(description),
                                        QStringLiteral("url"), defaults.*field),
                  field, isBase });
          };
    add("market-url", "Base URL of the backorder marketplace.", &AppConfig::marketUrl, true);
    add("icp-url", "Base URL of the ICP filing lookup site.", &AppConfig::icpUrl, true);
    add("update-url", "Base URL of the update server (the version file is <url>/version/main.txt).",
        &AppConfig::updateUrl, true);
    add("home-url", "The maker's home page.", &AppConfig::homeUrl, false);
    add("forum-url", "The maker's forum.", &AppConfig::forumUrl, false);
}

void SharedOptions::addTo(QCommandLineParser &parser, bool withNoHistory) const
{
    for (const UrlOption &entry : m_urlOptions)
        parser.addOption(entry.option);
    parser.addOption(m_dataDir);
    parser.addOption(m_dnsServer);
    if (withNoHistory)
        parser.addOption(m_noHistory);
}

bool SharedOptions::read(const QCommandLineParser &parser, CommandLineOutcome &outcome, QString *error) const
{
    for (const UrlOption &entry : m_urlOptions) {
        const QString value = parser.value(entry.option);
        const QString name = entry.option.names().constFirst();
        if (!Urls::isWebUrl(value))
            return fail(error, QStringLiteral("--%1: \"%2\" is not an absolute http or https URL").arg(name, value));
        const QUrl url(value);
        if (entry.isBase && (url.hasQuery() || url.hasFragment()))
            return fail(error, QStringLiteral("--%1: \"%2\" is a base URL and cannot carry a query or a fragment").arg(name, value));
        outcome.config.*entry.field = value;
    }
    if (parser.isSet(m_dnsServer)) {
        const QString server = parser.value(m_dnsServer);
        static const QRegularExpression form(QStringLiteral("^(\\d{1,3}(\\.\\d{1,3}){3}|\\[[0-9A-Fa-f:.]+\\])(:(\\d{1,5}))?$"));
        const QRegularExpressionMatch match = form.match(server);
        if (!match.hasMatch() || (match.hasCaptured(4) && (match.captured(4).toInt() < 1 || match.captured(4).toInt() > 65535)))
            return fail(error, QStringLiteral("--dns-server: \"%1\" is not an address IP:PORT (like 127.0.0.1:5353)").arg(server));
        outcome.config.dnsServer = server;
    }
    outcome.dataDir = parser.value(m_dataDir);
    // Asked of a parser that does not know the option, isSet() complains.
    outcome.keepHistory = !parser.optionNames().contains(m_noHistory.names().constFirst());
    return true;
}

QStringList SharedOptions::givenArguments(const QCommandLineParser &parser) const
{
    QStringList arguments;
    for (const UrlOption &entry : m_urlOptions) {
        if (parser.isSet(entry.option))
            arguments << QStringLiteral("--") + entry.option.names().constFirst() << parser.value(entry.option);
    }
    if (parser.isSet(m_dataDir))
        arguments << QStringLiteral("--") + m_dataDir.names().constFirst() << QDir(parser.value(m_dataDir)).absolutePath();
    if (parser.isSet(m_dnsServer))
        arguments << QStringLiteral("--") + m_dnsServer.names().constFirst() << parser.value(m_dnsServer);
    const QString noHistory = m_noHistory.names().constFirst();
    if (parser.optionNames().contains(noHistory))
        arguments << QStringLiteral("--") + noHistory;
    return arguments;
}

bool hasNoEmptyValue(const QCommandLineParser &parser, QString *error)
{
    // Options without a value have no values at all; those given one have one for each time given.
    for (const QString &name : parser.optionNames()) {
        const QStringList values = parser.values(name);
        if (std::any_of(values.cbegin(), values.cend(), [](const QString &value) { return value.isEmpty(); }))
            return fail(error, QStringLiteral("--%1: the value is empty").arg(name));
    }
    return true;
}

namespace {

const char TableDescription[]
    = "table: opens the domain table window alone, with the names collected on a day or those of a text file.";

// The window's and the table window's command lines: the shared options, and for the table its source.
CommandLineOutcome parseWindowCommandLine(QStringList arguments, bool table)
{
    CommandLineOutcome outcome;
    QCommandLineParser parser;
    parser.setApplicationDescription(QLatin1String(table ? TableDescription : WindowDescription));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const SharedOptions shared;
    shared.addTo(parser, true);
    const QCommandLineOption fileOption(QStringLiteral("file"),
                                        QStringLiteral("Show the names of this text file, one per line (UTF-8 or GBK)."),
                                        QStringLiteral("path"));
    const QCommandLineOption dateOption(QStringLiteral("date"),
                                        QStringLiteral("Show the names collected on this day, YYYY-MM-DD (default: today)."),
                                        QStringLiteral("date"));
    if (table) {
        parser.addOptions({ fileOption, dateOption });
        arguments.removeAt(1); // "table"
    }

    const auto refuse = [&outcome](const QString &message) {
        outcome.action = CommandLineOutcome::Action::Refuse;
        outcome.message = message;
        return outcome;
    };
    if (!parser.parse(arguments))
        return refuse(parser.errorText());
    if (parser.isSet(helpOption) || parser.optionNames().contains(QStringLiteral("help-all"))) {
        outcome.action = CommandLineOutcome::Action::ShowHelp;
        outcome.message = parser.helpText();
        // The parser names the program by the path it was started with, or not at all before the
        // application exists.
        outcome.message.replace(0, outcome.message.indexOf(u'\n'),
                                table ? QStringLiteral("Usage: vexlon-collector table [options]")
                                      : QStringLiteral("Usage: vexlon-collector [options] [COMMAND ...]"));
        return outcome;
    }
    if (parser.isSet(versionOption)) {
        outcome.action = CommandLineOutcome::Action::ShowVersion;
        outcome.message = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion();
        return outcome;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst()));
    QString refused;
    if (!shared.read(parser, outcome, &refused))
        return refuse(refused);
    // After the addresses, which say what they should be.
    if (!hasNoEmptyValue(parser, &refused))
        return refuse(refused);
    if (table) {
        outcome.tableFile = parser.value(fileOption);
        outcome.tableDay = QDate::currentDate();
        if (parser.isSet(dateOption)) {
            outcome.tableDay = QDate::fromString(parser.value(dateOption), Qt::ISODate);
            if (!outcome.tableDay.isValid())
                return refuse(
                    QStringLiteral("--date: \"%1\" is not a date (YYYY-MM-DD)").arg(parser.value(dateOption)));
        }
    }
    return outcome;
}

} // namespace

CommandLineOutcome parseCommandLine(const QStringList &arguments)
{
    return parseWindowCommandLine(arguments, false);
}

CommandLineOutcome parseTableCommandLine(const QStringList &arguments)
{
    return parseWindowCommandLine(arguments, true);
}
