// What every test of the main window shares: a fake site to talk to, the window made against it,
// controls found by their object names, boxes and dialogs answered in advance, and the pages the
// window hands to the browser caught.
#pragma once

#include "core/config.h"
#include "tools/fakedns.h"
#include "tools/fakesite.h"
#include "ui/dialogs.h"

#include <QList>
#include <QObject>
#include <QUrl>

class QProcess;

#include <functional>
#include <memory>

class MainWindow;
class DomainListView;

class WindowTest : public QObject
{
    Q_OBJECT
public:
    WindowTest();
    ~WindowTest() override;

public slots:
    // Receives what QDesktopServices would hand to the browser.
    void openInBrowser(const QUrl &url) { openedUrls.append(url); }

protected:
    // Starts a fresh fake site and a window against it (every site at the same address), shown
    // but without its update check. Call from init().
    void startWindow(const std::function<void(AppConfig &)> &adjust = {});
    // Closes the window and stops the site. Call from cleanup().
    void endWindow();
    // A fresh site and window, with the configuration adjusted.
    void restartWindow(const std::function<void(AppConfig &)> &adjust);
    // Keeps the window's events going until the site was asked for the target; false after the limit.
    // (FakeSite::waitUntilRequested would hold the window's thread.)
    bool waitForRequest(const std::string &target, int limitMs = 15000);

    FakeSite &site() { return *m_site; }
    FakeDnsServer &dns() { return *m_dns; }
    MainWindow &window() { return *m_window; }
    QString siteUrl() const;

    // The control with this object name; a test that asks for a missing one fails at its first use.
    template <typename T = QWidget> T *control(const char *name) const
    {
        return windowWidget()->findChild<T *>(QLatin1String(name));
    }
    DomainListView *domainList() const;
    // What a label, button, box, frame caption or the status line shows.
    QString textOf(const char *name) const { return textOf(control(name)); }
    static QString textOf(const QWidget *widget);
    QString status() const { return textOf("statusLine"); }

    void click(const char *buttonName);
    // Chooses a command of the domain list's menu.
    void choose(const char *actionName);
    void setPageCount(const QString &text);
    // Puts entries into the list and selects one (-1: none), as collecting and clicking would.
    void fillList(const QStringList &names, int selectedRow = -1);
    void clickRow(int row, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers modifiers = {});
    void doubleClickRow(int row);

    QList<QUrl> openedUrls;

    // Starts the program built beside the tests (or the one given) without a history unless the arguments
    // give it a --data-dir, worked by the test-only window driver doing the action; its standard error is
    // gathered in errors.
    static bool startProgram(QProcess &process, QByteArray &errors, const QString &driverAction,
        const QStringList &arguments, const QString &program = QString());

private:
    QWidget *windowWidget() const;

    std::unique_ptr<FakeSite> m_site;
    std::unique_ptr<FakeDnsServer> m_dns; // the configuration's DNS server, answering as the sample's does
    std::unique_ptr<MainWindow> m_window;
};
