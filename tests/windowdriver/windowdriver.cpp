// A test-only Qt plugin that works the program's window the way a user would, so that a test can
// bring the real program into a given wait and then end it by a signal. The program knows nothing
// of it: Qt loads it only when the environment names it,
//
//   QT_PLUGIN_PATH=<build>/test-plugins QT_QPA_GENERIC_PLUGINS=vexlonwindowdriver:<action>
//
// Actions, each started once the version check has welcomed the user:
//   none         do nothing (the version check's own waits)
//   single       collect the results page 1
//   run          collect pages 1 to 3
//   doubleclick  collect page 1, then double-click its first domain
//   menu         collect page 1, then choose "查询信息" for its first domain
//   answerboxes  nothing but pressing OK on every message box, from the start (a subprocess cannot
//                have its boxes answered in advance)
// Every step, every message box and the window's first showing are told on stderr as
// "window driver: ...".
#include <QAction>
#include <QApplication>
#include <QGenericPlugin>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

void report(const QString &what)
{
    std::fprintf(stderr, "window driver: %s\n", what.toUtf8().constData());
    std::fflush(stderr);
}

class WindowDriver : public QObject
{
public:
    explicit WindowDriver(const QString &action)
        : m_action(action)
    {
        connect(&m_timer, &QTimer::timeout, this, &WindowDriver::look);
        m_timer.start(20);
    }

private:
    enum class Stage { AwaitWelcome, AwaitCollected, Done };

    // Every step is marked done before it is taken, so that it is taken once.
    void look()
    {
        reportBox();
        QWidget *form = window();
        if (!form)
            return;
        if (!m_shownReported && form->isVisible()) {
            m_shownReported = true;
            report(QStringLiteral("window shown"));
        }
        const auto *status = form->findChild<QLabel *>(QStringLiteral("statusLine"));
        auto *count = form->findChild<QLineEdit *>(QStringLiteral("pageCountEdit"));
        auto *start = form->findChild<QPushButton *>(QStringLiteral("startButton"));
        auto *list = form->findChild<QListView *>(QStringLiteral("domainList"));
        if (!status || !count || !start || !list)
            return;

        switch (m_stage) {
        case Stage::AwaitWelcome:
            if (status->text() != QStringLiteral("欢迎使用Vexlon系列软件"))
                return;
            report(QStringLiteral("welcomed"));
            if (m_action == QLatin1String("none") || m_action == QLatin1String("answerboxes")) {
                m_stage = Stage::Done;
                return;
            }
            m_stage = m_action == QLatin1String("single") || m_action == QLatin1String("run") ? Stage::Done
                                                                                              : Stage::AwaitCollected;
            count->setText(m_action == QLatin1String("run") ? QStringLiteral("3") : QStringLiteral("1"));
            report(QStringLiteral("start clicked"));
            start->click();
            return;
        case Stage::AwaitCollected:
            if (status->text() != QStringLiteral("采集完毕 ..") || list->model()->rowCount() == 0)
                return;
            m_stage = Stage::Done;
            list->selectionModel()->setCurrentIndex(list->model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
            if (m_action == QLatin1String("menu")) {
                if (QAction *query = form->findChild<QAction *>(QStringLiteral("queryAction"))) {
                    report(QStringLiteral("query from the menu"));
                    query->trigger();
                }
            } else {
                report(QStringLiteral("double-click"));
                QMetaObject::invokeMethod(list, "entryDoubleClicked");
            }
            return;
        case Stage::Done:
            return;
        }
    }

    void reportBox()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || box == m_lastBox)
            return;
        m_lastBox = box;
        report(QStringLiteral("box: ") + box->text());
        if (m_action == QLatin1String("answerboxes")) {
            report(QStringLiteral("OK pressed"));
            box->button(QMessageBox::Ok)->click();
        }
    }

    static QWidget *window()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String("mainWindow"))
                return widget;
        }
        return nullptr;
    }

    QString m_action;
    Stage m_stage = Stage::AwaitWelcome;
    QTimer m_timer;
    QPointer<QMessageBox> m_lastBox;
    bool m_shownReported = false;
};

} // namespace

class WindowDriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "windowdriver.json")
public:
    QObject *create(const QString &name, const QString &action) override
    {
        if (name.compare(QLatin1String("vexlonwindowdriver"), Qt::CaseInsensitive) != 0)
            return nullptr;
        report(QStringLiteral("loaded, action ") + action);
        return new WindowDriver(action);
    }
};

#include "windowdriver.moc"
