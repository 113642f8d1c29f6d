#include "app/form1.h"

#include "app/domainlist.h"
#include "app/spinarrows.h"
#include "app/urls.h"
#include "collect/collectionrun.h"
#include "collect/pagecount.h"
#include "collect/resultspage.h"

#include <QLineEdit>
#include <QPushButton>

void Form1::Command1_Click()
{
    const double count = pageCount();
    if (count > 1) {
        PageNo = 0;
        if (Command1->text() == QStringLiteral("开始采集"))
            collectionRun()->start();
        else if (Command1->text() == QStringLiteral("停止采集"))
            collectionRun()->stop();
        return;
    }
    collectSinglePage();
}

void Form1::Timer1_Timer()
{
    collectionRun()->advance();
}

void Form1::Text1_Change()
{
    // Setting "1" notifies again; "1" is a number, which ends it.
    if (!readPageCount(Text1->text()))
        Text1->setText(QStringLiteral("1"));
}

void Form1::HScroll1_Change()
{
    Text1->setText(QString::number(HScroll1->value()));
}

bool Form1::jl()
{
    PageParts[0].clear();
    int status = 0;
    const QString page
        = GetBody(Urls::resultsPage(m_config.marketUrl, QString::number(PageNo)), QStringLiteral("gbk"), &status);
    if (isExiting() || !isSuccessStatus(status))
        return false;
    return takeResultsPage(page);
}

void Form1::jx()
{
    appendCollectedNames(extractDomainNames(PageParts[2]));
    clearPageSlots(PageParts);
}

bool Form1::takeResultsPage(const QString &pageText)
{
    PageParts[0] = pageText;
    const ResultsPage page = readResultsPage(pageText);
    if (!page.hasResultsMarker)
        return false;
    PageParts[1] = page.resultsPiece;
    PageParts[2] = page.tableRegion;
    // What jx would read back from slot 2, read once already.
    appendCollectedNames(page.names);
    clearPageSlots(PageParts);
    return true;
}

double Form1::pageCount() const
{
    return readPageCount(Text1->text()).value_or(1.0);
}

CollectionRun *Form1::collectionRun()
{
    if (!m_run)
        m_run = new CollectionRun(*this);
    return m_run;
}

void Form1::collectSinglePage()
{
    CollectionRun *run = collectionRun();
    Command1->setEnabled(false);
    run->showStatus(QStringLiteral("开始采集 .."));
    PageParts[0].clear();
    // The page number is the box's text as typed, not the run's counter.
    int status = 0;
    const QString page = GetBody(Urls::resultsPage(m_config.marketUrl, Text1->text()), QStringLiteral("gbk"), &status);
    if (isExiting())
        return;
    PageParts[0] = page;
    // An error status is a failed fetch, whatever page came with it: a rate-limit page is no
    // empty results page, and an error page that looks whole is no answer.
    if (page.isEmpty() || !isSuccessStatus(status)) {
        run->showStatus(QStringLiteral("采集失败,请稍后再试 .."));
        Command1->setEnabled(true);
        return;
    }
    const ResultsPage read = readResultsPage(page);
    if (read.hasResultsMarker)
        PageParts[1] = read.resultsPiece;
    if (read.tableRegion.isEmpty()) {
        run->showStatus(QStringLiteral("页面中未找到域名 .."));
        Command1->setEnabled(true);
        return;
    }
    PageParts[2] = read.tableRegion;
    // Unlike a run's page, the slots keep what this page wrote.
    appendCollectedNames(read.names);
    run->showStatus(QStringLiteral("采集完毕 .."));
    Command1->setEnabled(true);
}

// Appends a page's names as one block and moves the selection once, to where selecting the next
// entry after each name would leave it.
void Form1::appendCollectedNames(const QStringList &names)
{
    if (names.isEmpty())
        return;
    PageParts[3] = names.constLast();
    const int selected = List1->ListIndex();
    const int count = int(names.size());
    List1->AddItems(names);
    List1->setListIndex(selected >= 0 ? selected + count : count - 1);
}
