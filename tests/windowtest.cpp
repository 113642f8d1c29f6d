#include "tests/windowtest.h"

#include "tests/sitetest.h"

#include "ui/domainlistview.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTest>

WindowTest::WindowTest()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openInBrowser");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openInBrowser");
}

WindowTest::~WindowTest()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void WindowTest::startWindow(const std::function<void(AppConfig &)> &adjust)
{
    m_site = std::make_unique<FakeSite>();
    QVERIFY(m_site->start());
    m_dns = std::make_unique<FakeDnsServer>();
    m_dns->setAnswerer(sampleDnsMode);
    QVERIFY(m_dns->start());
    AppConfig config;
    config.marketUrl = config.icpUrl = config.updateUrl = siteUrl();
    config.dnsServer = QString::fromStdString(m_dns->address());
    config.homeUrl = siteUrl() + QStringLiteral("/home");
    config.forumUrl = siteUrl() + QStringLiteral("/forum");
    if (adjust)
        adjust(config);
    Dialogs::setAnsweredInAdvance(true);
    Dialogs::clearAnswers();
    openedUrls.clear();
    m_window = std::make_unique<MainWindow>(config);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void WindowTest::endWindow()
{
    m_window.reset();
    if (m_site)
        m_site->releaseAll();
    m_site.reset();
    m_dns.reset();
}

void WindowTest::restartWindow(const std::function<void(AppConfig &)> &adjust)
{
    endWindow();
    startWindow(adjust);
}

bool WindowTest::waitForRequest(const std::string &target, int limitMs)
{
    return QTest::qWaitFor([&] { return m_site->requestCount(target) > 0; }, limitMs);
}

bool WindowTest::startProgram(QProcess &process, QByteArray &errors, const QString &driverAction,
    const QStringList &arguments, const QString &program)
{
    const QString folder = QCoreApplication::applicationDirPath();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), folder + QStringLiteral("/../test-plugins"));
    environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("vexlonwindowdriver:") + driverAction);
    process.setProcessEnvironment(environment);
    QObject::connect(&process, &QProcess::readyReadStandardError, &process,
        [&process, &errors] { errors += process.readAllStandardError(); });
    const bool keepsHistory = arguments.contains(QStringLiteral("--data-dir"));
    process.start(program.isEmpty() ? folder + QStringLiteral("/vexlon-collector") : program,
        (keepsHistory ? QStringList() : QStringList { QStringLiteral("--no-history") }) + arguments);
    return process.waitForStarted(10000);
}

QString WindowTest::siteUrl() const
{
    return QString::fromStdString(m_site->url());
}

QWidget *WindowTest::windowWidget() const
{
    return m_window.get();
}

DomainListView *WindowTest::domainList() const
{
    return control<DomainListView>("domainList");
}

QString WindowTest::textOf(const QWidget *widget)
{
    if (const auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
        return edit->text();
    if (const auto *box = qobject_cast<const QPlainTextEdit *>(widget))
        return box->toPlainText();
    return QString();
}

void WindowTest::click(const char *buttonName)
{
    QTest::mouseClick(control<QAbstractButton>(buttonName), Qt::LeftButton);
}

void WindowTest::choose(const char *actionName)
{
    control<QAction>(actionName)->trigger();
}

void WindowTest::setPageCount(const QString &text)
{
    control<QLineEdit>("pageCountEdit")->setText(text);
}

void WindowTest::fillList(const QStringList &names, int selectedRow)
{
    domainList()->clear();
    domainList()->append(names);
    domainList()->setCurrentRow(selectedRow);
}

void WindowTest::clickRow(int row, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    DomainListView *list = domainList();
    list->scrollTo(list->model()->index(row, 0));
    const QPoint centre = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), button, modifiers, centre);
}

void WindowTest::doubleClickRow(int row)
{
    DomainListView *list = domainList();
    list->scrollTo(list->model()->index(row, 0));
    const QPoint centre = list->visualRect(list->model()->index(row, 0)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
}
