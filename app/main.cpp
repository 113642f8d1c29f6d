#include "app/commandline.h"
#include "app/exitsignals.h"
#include "app/form1.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vexlon-collector"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.4"));

    const CommandLineOutcome outcome = parseCommandLine(QCoreApplication::arguments());
    switch (outcome.action) {
    case CommandLineOutcome::Action::ShowHelp:
    case CommandLineOutcome::Action::ShowVersion:
        std::fputs(qPrintable(outcome.message + u'\n'), stdout);
        return 0;
    case CommandLineOutcome::Action::Refuse:
        std::fputs(qPrintable(QStringLiteral("vexlon-collector: ") + outcome.message + u'\n'), stderr);
        return 2;
    case CommandLineOutcome::Action::Run:
        break;
    }

    Form1 window(outcome.config);
    ExitSignals::install(window);
    if (!window.Form_Load())
        return 1;
    if (window.isExiting())
        return 0;
    return app.exec();
}
