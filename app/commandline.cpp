#include "app/commandline.h"

#include "app/urls.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QUrl>

CommandLineOutcome parseCommandLine(const QStringList &arguments)
{
    CommandLineOutcome outcome;
    AppConfig &config = outcome.config;

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Collects deleted domain names from a backorder marketplace."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    struct UrlOption
    {
        QCommandLineOption option;
        QString *target;
        // Paths are appended to a base URL: a query or fragment in it would swallow them.
        bool isBase;
    };
    const UrlOption urlOptions[] = {
        {QCommandLineOption(QStringLiteral("market-url"), QStringLiteral("Base URL of the backorder marketplace."),
                            QStringLiteral("url"), config.marketUrl),
         &config.marketUrl, true},
        {QCommandLineOption(QStringLiteral("icp-url"), QStringLiteral("Base URL of the ICP filing lookup site."),
                            QStringLiteral("url"), config.icpUrl),
         &config.icpUrl, true},
        {QCommandLineOption(QStringLiteral("update-url"),
                            QStringLiteral("Base URL of the update server (the version file is <url>/version/main.txt)."),
                            QStringLiteral("url"), config.updateUrl),
         &config.updateUrl, true},
        {QCommandLineOption(QStringLiteral("home-url"), QStringLiteral("The maker's home page."), QStringLiteral("url"),
                            config.homeUrl),
         &config.homeUrl, false},
        {QCommandLineOption(QStringLiteral("forum-url"), QStringLiteral("The maker's forum."), QStringLiteral("url"),
                            config.forumUrl),
         &config.forumUrl, false},
    };
    for (const UrlOption &entry : urlOptions)
        parser.addOption(entry.option);

    if (!parser.parse(arguments)) {
        outcome.action = CommandLineOutcome::Action::Refuse;
        outcome.message = parser.errorText();
        return outcome;
    }
    if (parser.isSet(helpOption)) {
        outcome.action = CommandLineOutcome::Action::ShowHelp;
        outcome.message = parser.helpText();
        return outcome;
    }
    if (parser.isSet(versionOption)) {
        outcome.action = CommandLineOutcome::Action::ShowVersion;
        outcome.message = QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion();
        return outcome;
    }
    if (!parser.positionalArguments().isEmpty()) {
        outcome.action = CommandLineOutcome::Action::Refuse;
        outcome.message = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return outcome;
    }
    for (const UrlOption &entry : urlOptions) {
        const QString value = parser.value(entry.option);
        if (!Urls::isWebUrl(value)) {
            outcome.action = CommandLineOutcome::Action::Refuse;
            outcome.message = QStringLiteral("--%1: \"%2\" is not an absolute http or https URL")
                                  .arg(entry.option.names().constFirst(), value);
            return outcome;
        }
        const QUrl url(value);
        if (entry.isBase && (url.hasQuery() || url.hasFragment())) {
            outcome.action = CommandLineOutcome::Action::Refuse;
            outcome.message = QStringLiteral("--%1: \"%2\" is a base URL and cannot carry a query or a fragment")
                                  .arg(entry.option.names().constFirst(), value);
            return outcome;
        }
        *entry.target = value;
    }
    return outcome;
}
