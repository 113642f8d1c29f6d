#include "collect/collectionrun.h"

#include "app/domainlist.h"
#include "app/form1.h"
#include "app/urls.h"
#include "collect/pagecount.h"
#include "fetch/pagefetcher.h"

#include <QPushButton>
#include <QTimer>

#include <algorithm>

namespace {

const QString StartCaption = QStringLiteral("开始采集");
const QString StopCaption = QStringLiteral("停止采集");

} // namespace

CollectionRun::CollectionRun(Form1 &form)
    : QObject(&form)
    , m_form(form)
{ }

int CollectionRun::pagesInFlight() const
{
    return int(std::count_if(m_pages.begin(), m_pages.end(), [](const Page &page) { return !page.arrived; }));
}

void CollectionRun::setWindowSize(int pages)
{
    m_windowSize = std::max(1, pages);
}

void CollectionRun::start()
{
    abortPagesInFlight();
    m_failed = 0;
    m_active = true;
    m_form.Command1->setText(StopCaption);
    m_form.List1->Clear();
    m_form.Timer1->start();
    showStatus(QStringLiteral("正在批量采集 .."));
}

void CollectionRun::stop()
{
    m_active = false;
    m_form.Command1->setText(StartCaption);
    m_form.Timer1->stop();
    abortPagesInFlight();
    showStatus(QStringLiteral("已停止批量采集操作 .."));
}

void CollectionRun::advance()
{
    // Ticks only top up the window; nothing that runs from here may start a second top-up.
    if (!m_active || m_advancing || m_form.isExiting())
        return;
    m_advancing = true;
    const int lastPage = lastRunPage(m_form.pageCount());
    while (m_form.PageNo < lastPage && pagesInFlight() < m_windowSize && pagesOutstanding() < MaxPagesHeldBack) {
        ++m_form.PageNo;
        showStatus(QStringLiteral("正在采集第") + QString::number(m_form.PageNo) + QStringLiteral("页.."));
        requestPage(m_form.PageNo);
    }
    m_advancing = false;
    if (m_pages.empty() && m_form.PageNo >= lastPage)
        finish();
}

void CollectionRun::showStatus(const QString &text)
{
    m_form.setStatusText(text);
    emit statusShown(text);
}

void CollectionRun::requestPage(qint16 number)
{
    FetchRequest request;
    request.url = Urls::resultsPage(m_form.config().marketUrl, QString::number(number));
    request.bypassCaches = true;
    request.limits = m_form.fetchLimits;
    FetchJob *job = m_form.fetcher()->get(request);
    m_pages.push_back(Page { number, job, false, std::nullopt });
    connect(job, &FetchJob::finished, this, [this, job] { onPageFetched(job); });
}

void CollectionRun::onPageFetched(FetchJob *job)
{
    // When the window closes, every request is aborted: nothing more is listed or requested.
    if (m_form.isExiting())
        return;
    const auto page = std::find_if(m_pages.begin(), m_pages.end(), [job](const Page &p) { return p.job == job; });
    if (page == m_pages.end())
        return;
    page->arrived = true;
    page->job = nullptr;
    // As in the single-page collection: no complete response, an empty one, or one with an error
    // status is a page that could not be fetched.
    QString text = decodeDeclaredCharset(job->result());
    if (!text.isEmpty() && isSuccessStatus(job->result().httpStatus))
        page->text = std::move(text);
    handOverArrivedPages();
    advance();
}

void CollectionRun::handOverArrivedPages()
{
    while (!m_pages.empty() && m_pages.front().arrived) {
        const Page page = std::move(m_pages.front());
        m_pages.pop_front();
        if (!page.text || !m_form.takeResultsPage(*page.text))
            ++m_failed;
    }
}

void CollectionRun::abortPagesInFlight()
{
    std::deque<Page> pages;
    pages.swap(m_pages);
    for (Page &page : pages) {
        if (!page.job)
            continue;
        page.job->disconnect(this);
        page.job->abort();
    }
}

void CollectionRun::finish()
{
    m_active = false;
    m_form.Timer1->stop();
    m_form.Command1->setText(StartCaption);
    showStatus(m_failed == 0
            ? QStringLiteral("批量采集完毕 ..")
            : QStringLiteral("批量采集完毕,其中") + QString::number(m_failed) + QStringLiteral("页失败 .."));
    emit finished();
}
