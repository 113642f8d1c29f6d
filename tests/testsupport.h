// What several tests need: answering the program's message boxes, catching the URLs it opens
// in the browser, and holding a server's answer back until the test lets it go.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class Form1;
namespace SampleMarket {
struct BackorderInfo;
}

struct SeenBox
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool okAlone = false; // the OK button and no other
    Qt::TextFormat format = Qt::AutoText;
};

// Answers every message box that comes up while it lives: notes what it said, runs beforeOk,
// then clicks OK.
class BoxAnswerer : public QObject
{
public:
    explicit BoxAnswerer(std::function<void()> beforeOk = {});

    QList<SeenBox> seen;

private:
    void answer();

    std::function<void()> m_beforeOk;
    QTimer m_poll;
};

// Receives what QDesktopServices would hand to the browser, for http and https, while it lives.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    UrlCatcher();
    ~UrlCatcher() override;

    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

// A server handler waits on this until the test opens it; open it when the test ends, so that
// the server can stop at once.
class Gate
{
public:
    void open();
    bool isOpen();
    // True when opened within the limit.
    bool waitOpen(std::chrono::milliseconds limit = std::chrono::seconds(60));

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
};

// Empty when the domain info area shows the sample marketplace's values for a domain (deletion
// type, time, deadline, whois, platform, price, amount in RMB); else what differs first.
QString backorderShownMismatch(const Form1 &form, const SampleMarket::BackorderInfo &info);
