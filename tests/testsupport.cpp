#include "tests/testsupport.h"

#include "app/form1.h"
#include "tools/samplemarket.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>

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

QString backorderShownMismatch(const Form1 &form, const SampleMarket::BackorderInfo &info)
{
    const auto q = [](const std::string &text) { return QString::fromStdString(text); };
    const QList<std::pair<QString, QString>> shownAndExpected = {
        { form.Label1->text(), QStringLiteral("删除类型：") + q(info.deletionType) },
        { form.Label2->text(), QStringLiteral("删除时间：") + q(info.deletionTime) },
        { form.Label13->text(), QStringLiteral("预定截止：") + q(info.bookingDeadline) },
        { form.Text2->toPlainText(), q(info.whois) },
        { form.Label8->text(), q(info.platform) },
        { form.Label9->text(), q(info.price) },
        { form.Label10->text(), q(info.rmb) },
    };
    for (const auto &[shown, expected] : shownAndExpected) {
        if (shown != expected)
            return QStringLiteral("shown \"%1\", expected \"%2\"").arg(shown, expected);
    }
    return QString();
}
