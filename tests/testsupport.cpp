#include "tests/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>

BoxAnswerer::BoxAnswerer(std::function<void()> beforeOk)
    : m_beforeOk(std::move(beforeOk))
{
    connect(&m_poll, &QTimer::timeout, this, &BoxAnswerer::answer);
    m_poll.start(10);
}

void BoxAnswerer::answer()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box || !box->isVisible())
        return;
    QAbstractButton *ok = box->button(QMessageBox::Ok);
    seen.append({ box->windowTitle(), box->text(), box->icon(), ok && box->buttons().size() == 1, box->textFormat() });
    if (m_beforeOk)
        m_beforeOk();
    if (ok)
        ok->click();
    else
        box->reject();
}

UrlCatcher::UrlCatcher()
{
    QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open");
}

UrlCatcher::~UrlCatcher()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
}

void Gate::open()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
    }
    m_changed.notify_all();
}

bool Gate::isOpen()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

bool Gate::waitOpen(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_open; });
}
