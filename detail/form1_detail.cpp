// The detail query: a domain's backorder page and its ICP filing status, shown in the domain
// info and whois areas. The menu item reads the page through Inet1, the double-click through
// HtmlStr; both block the window, so only the ICP wait lets other handlers run.
#include "app/form1.h"

#include "app/domainlist.h"
#include "app/urls.h"
#include "detail/backorderpage.h"
#include "detail/icppage.h"
#include "fetch/internettransfer.h"

#include <QLabel>
#include <QPlainTextEdit>

namespace {

// Slots of PageParts that the detail query owns.
enum DetailSlot {
    PageSlot = 4,
    DeletionTypePieceSlot = 5,
    DeletionTypeSlot = 6,
    DeletionTimePieceSlot = 7,
    DeletionTimeSlot = 8,
    DeadlinePieceSlot = 10,
    DeadlineSlot = 11,
    WhoisPieceSlot = 13,
    WhoisSlot = 14,
    PriceTablePieceSlot = 16,
    PriceTableSlot = 17,
    PlatformSlot = 18,
    PriceCellSlot = 19,
    PriceSlot = 21,
    RmbCellSlot = 22,
    RmbSlot = 24,
    DepositCellSlot = 25,
    DepositSlot = 27,
    IcpPageSlot = 28,
    IcpPieceSlot = 29,
    LicenceSlot = 31,
};

} // namespace

void Form1::cx_Click()
{
    runDetailQuery(QueryEntry::Menu);
}

void Form1::List1_DblClick()
{
    runDetailQuery(QueryEntry::DoubleClick);
}

void Form1::csh()
{
    clearPageSlots(PageParts);
}

void Form1::runDetailQuery(QueryEntry entry)
{
    const QString domain = List1->text();
    if (domain.isEmpty()) {
        setStatusText(QStringLiteral("请先进行获取 .."));
        return;
    }
    const quint64 query = ++m_queryGeneration;
    setStatusText(QStringLiteral("正在进行查询 .."));
    csh();

    const QUrl pageUrl = Urls::backorderPage(m_config.marketUrl, domain);
    int status = 0;
    std::optional<QString> page
        = entry == QueryEntry::Menu ? Inet1->OpenURL(pageUrl, &status) : HtmlStr(pageUrl, &status);
    // Asked to end while the fetch held the window's thread: leave as the close box does.
    if (isBlockingFetchInterrupted() && !isExiting())
        close();
    if (isExiting())
        return;
    // An error status brings the server's error page, not the domain's: no page was fetched.
    if (!isSuccessStatus(status))
        page = entry == QueryEntry::Menu ? std::nullopt : std::optional<QString>(QString());
    PageParts[PageSlot] = page.value_or(QString());

    // The double-click keeps what the controls showed when it got no page (HtmlStr gives the
    // empty text for a request that did not complete); the menu item shows the bare captions then.
    bool pageRead = false;
    if (entry == QueryEntry::Menu || !PageParts[PageSlot].isEmpty())
        pageRead = showBackorderPage(PageParts[PageSlot]);

    if (!lookUpIcpFiling(domain, entry, query))
        return;
    setStatusText(pageRead ? QStringLiteral("查询完毕 ..") : QStringLiteral("查询失败,请稍后再试 .."));
}

bool Form1::showBackorderPage(const QString &page)
{
    const BackorderPage values = readBackorderPage(page);
    // A page without a single one of the markers (a login, captcha or maintenance page) is not
    // the domain's page: its bare captions must not pass for an answer.
    const bool read = values.bookingClosed || !values.deletionTypePiece.isEmpty() || !values.deletionTimePiece.isEmpty()
        || !values.deadlinePiece.isEmpty() || !values.whoisPiece.isEmpty() || !values.priceTablePiece.isEmpty();

    PageParts[DeletionTypePieceSlot] = values.deletionTypePiece;
    PageParts[DeletionTypeSlot] = values.deletionType;
    setAutoSizedCaption(Label1, QStringLiteral("删除类型：") + values.deletionType);

    PageParts[DeletionTimePieceSlot] = values.deletionTimePiece;
    PageParts[DeletionTimeSlot] = values.deletionTime;
    setAutoSizedCaption(Label2, QStringLiteral("删除时间：") + values.deletionTime);

    PageParts[DeadlinePieceSlot] = values.deadlinePiece;
    PageParts[DeadlineSlot] = values.deadline;
    setAutoSizedCaption(Label13, QStringLiteral("预定截止：") + values.deadline);

    PageParts[WhoisPieceSlot] = values.whoisPiece;
    PageParts[WhoisSlot] = values.whois;
    Text2->setPlainText(values.whois);

    if (values.bookingClosed) {
        const QString closed = QStringLiteral("预定时间已过");
        for (QLabel *label : { Label8, Label9, Label10, Label11 })
            label->setText(closed);
        return read;
    }
    PageParts[PriceTablePieceSlot] = values.priceTablePiece;
    PageParts[PriceTableSlot] = values.priceTable;
    PageParts[PlatformSlot] = values.platform;
    PageParts[PriceCellSlot] = values.priceCell;
    PageParts[PriceSlot] = values.price;
    PageParts[RmbCellSlot] = values.rmbCell;
    PageParts[RmbSlot] = values.rmb;
    PageParts[DepositCellSlot] = values.depositCell;
    PageParts[DepositSlot] = values.deposit;
    Label8->setText(values.platform);
    Label9->setText(values.price);
    Label10->setText(values.rmb);
    Label11->setText(values.deposit);
    return read;
}

bool Form1::lookUpIcpFiling(const QString &domain, QueryEntry entry, quint64 query)
{
    int status = 0;
    const QString page = GetBody(Urls::icpPage(m_config.icpUrl, domain), QStringLiteral("gbk"), &status);
    if (isExiting() || query != m_queryGeneration)
        return false;

    // A rate-limit or error page says nothing about the filing, whatever it holds.
    const IcpPage filing = isSuccessStatus(status) ? readIcpPage(page) : IcpPage();
    PageParts[IcpPageSlot] = page;
    PageParts[IcpPieceSlot] = filing.licencePiece;
    PageParts[LicenceSlot] = filing.licence;

    QString caption;
    switch (filing.filing) {
    case IcpFiling::Unknown:
        // No answer is not a "no": a buyer must not take a failed lookup for an unfiled site.
        caption = QStringLiteral("是否备案：查询失败");
        break;
    case IcpFiling::NotFiled:
        caption = QStringLiteral("是否备案：未备案");
        break;
    case IcpFiling::Filed:
        caption = entry == QueryEntry::Menu ? QStringLiteral("是否备案：已备案 ") + filing.licence
                                            : QStringLiteral("是否备案：") + filing.licence;
        break;
    }
    setAutoSizedCaption(Label12, caption);
    return true;
}
