#include "app/commandline.h"
#include "cli/commands.h"
#include "core/store/historystore.h"
#include "core/store/historywriter.h"
#include "ui/dialogs.h"
#include "ui/domaintablewindow.h"
#include "core/app/exitsignals.h"
#include "ui/mainwindow.h"
#include "ui/skinloader.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// Help, the version and a refused command line need no window, and no display either.
std::optional<int> answerWithoutWindow(const CommandLineOutcome &outcome, const QString &program)
{
    switch (outcome.action) {
    case CommandLineOutcome::Action::ShowHelp:
    case CommandLineOutcome::Action::ShowVersion:
        std::fputs(qPrintable(outcome.message + u'\n'), stdout);
        return 0;
    case CommandLineOutcome::Action::Refuse:
        std::fputs(qPrintable(program + QStringLiteral(": ") + outcome.message + u'\n'), stderr);
        return 2;
    case CommandLineOutcome::Action::Run:
        break;
    }
    return std::nullopt;
}

// The windows keep their history where they can; a history that cannot be used is said once and they
// run without one.
std::unique_ptr<HistoryStore> openHistory(const CommandLineOutcome &outcome)
{
    if (!outcome.keepHistory)
        return nullptr;
    auto history = std::make_unique<HistoryStore>();
    QString failure;
    if (!history->open(HistoryStore::filePath(outcome.dataDir), &failure)) {
        std::fputs(qPrintable(QStringLiteral("vexlon-collector: running without history: ") + failure + u'\n'),
                   stderr);
        return nullptr;
    }
    return history;
}

// Without its skinning component the program does not start: the user is told why, no window is shown,
// and the program ends with 1 once the box is closed. False then.
bool attachSkinOrTell()
{
    QString failure;
    if (attachSkin(QCoreApplication::applicationDirPath(), &failure))
        return true;
    QApplication::setQuitOnLastWindowClosed(false);
    Dialogs::showMessage(nullptr, QMessageBox::Critical, failure, [] { QCoreApplication::exit(1); });
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("vexlon-collector"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VEXLON_VERSION));
    const QStringList arguments = argumentsOf(argc, argv);
    const QString command = arguments.value(1);
    // The table window is a window, not one of the commands that run without a display.
    const bool table = command == QLatin1String("table");
    if (!table && Commands::isCommand(command))
        return Commands::run(argc, argv);

    const CommandLineOutcome outcome = table ? parseTableCommandLine(arguments) : parseCommandLine(arguments);
    if (const std::optional<int> exitCode
        = answerWithoutWindow(outcome, table ? QStringLiteral("vexlon-collector table") : QStringLiteral("vexlon-collector")))
        return *exitCode;

    QApplication app(argc, argv);
    // The taskbar finds the program's icon through its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("vexlon-collector"));
    const std::unique_ptr<HistoryStore> history = openHistory(outcome);

    if (table) {
        // What the window looks up is recorded, and written out before the program ends.
        const std::unique_ptr<HistoryWriter> writer
            = history ? std::make_unique<HistoryWriter>(history->path()) : nullptr;
        DomainTableWindow window(outcome.config, history.get(), writer.get());
        ExitSignals::install(&window, [&window] { window.close(); });
        if (!attachSkinOrTell())
            return app.exec();
        if (!outcome.tableFile.isEmpty())
            window.showFile(outcome.tableFile);
        else
            window.showDay(outcome.tableDay);
        window.show();
        return app.exec();
    }

    MainWindow window(outcome.config, history.get());
    ExitSignals::install(&window, [&window] { window.close(); });
    window.setWindowIcon(QIcon());
    if (!attachSkinOrTell())
        return app.exec();
    window.showCentred();
    window.checkForUpdates();
    return app.exec();
}
