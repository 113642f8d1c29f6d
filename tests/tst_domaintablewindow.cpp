// The domain table window, opened with Ctrl+B from the main window's list: filtering as the user types, a batch
// lookup through a rate-limited phase, cancelling one, exporting byte for byte, keyboard use, what it remembers.
#include "core/export/listexport.h"
#include "core/store/historystore.h"
#include "core/table/domaintablemodel.h"
#include "tests/windowtest.h"
#include "tools/samplemarket.h"
#include "ui/domaintablewindow.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

// Sample names whose booking is open, so that every price cell has a price.
QStringList openNames(int count)
{
    QStringList names;
    for (const std::string &name : SampleMarket::namesForPage(1)) {
        if (!SampleMarket::backorderInfoFor(name).bookingClosed && names.size() < count)
            names.append(QString::fromStdString(name));
    }
    return names;
}

// The CSV line the table exports for a name the sample marketplace answered; "T" stands for the time
// of the lookup. The deletion type field as written, when the page said something else.
QString csvLine(const QString &name, const QString &deletionTypeField = QString())
{
    const auto s = [](const std::string &text) { return QString::fromStdString(text); };
    const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(name.toStdString());
    const QString licence = s(SampleMarket::icpLicenceFor(name.toStdString()));
    const DomainParts parts = splitDomain(name);
    return QStringList { name, parts.suffix, QString::number(parts.label.size()),
        DomainTableModel::kindCaption(kindOf(parts.label)), QString(),
        deletionTypeField.isEmpty() ? s(info.deletionType) : deletionTypeField, s(info.deletionTime),
        s(info.bookingDeadline), s(info.platform), s(info.price), s(info.rmb), s(info.deposit),
        licence.isEmpty() ? QStringLiteral("未备案") : QStringLiteral("已备案 ") + licence, QStringLiteral("T") }
               .join(u',')
        + QStringLiteral("\r\n");
}

} // namespace

class TestDomainTableWindow : public WindowTest
{
    Q_OBJECT
    QTemporaryDir m_folder;
    DomainTableWindow *m_table = nullptr;
    // Ctrl+B on the main window with these names in its list.
    void openTable(const QStringList &names)
    {
        fillList(names);
        // Shortcuts work in the active window only.
        window().activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &window());
        QTest::keyClick(&window(), Qt::Key_B, Qt::ControlModifier);
        m_table = window().findChild<DomainTableWindow *>();
        QVERIFY(m_table);
        QTRY_COMPARE(QApplication::activeWindow(), m_table);
        BatchOptions fast;
        fast.politeness.requestsPerSecond = 200;
        m_table->setBatchOptions(fast);
    }
    template <typename T = QWidget> T *part(const char *name) const
    {
        return m_table->findChild<T *>(QLatin1String(name));
    }
    QString labelText(const char *name) const { return part<QLabel>(name)->text(); }
    QString cell(int row, int column) const
    {
        return part<QTableView>("domainTable")->model()->index(row, column).data().toString();
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QTest::keyClick(m_table, Qt::Key(key), modifiers);
    }
private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.filePath(QStringLiteral("config")));
    }
    void init()
    {
        QSettings(QStringLiteral("Vexlon"), QStringLiteral("vexlon-collector")).clear();
        startWindow();
    }
    void cleanup()
    {
        site().releaseAll();
        endWindow();
        m_table = nullptr;
    }
    void readsADayOfTheHistoryAndFiles()
    {
        HistoryStore history;
        QVERIFY(!history.open(m_folder.filePath(QStringLiteral("history.sqlite"))));
        const std::optional<qint64> run = history.beginRun(siteUrl(), 1, 1);
        QVERIFY(run && history.recordPage(*run, 1, { QStringLiteral("a.com"), QStringLiteral("中文.cn") }));
        DomainTableWindow table(AppConfig(), &history);
        m_table = &table;
        table.showDay(QDate::currentDate());
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 2 / 2"));
        QCOMPARE(cell(1, DomainTableModel::DomainColumn), QStringLiteral("中文.cn"));
        QVERIFY(!cell(1, DomainTableModel::FirstSeenColumn).isEmpty());
        table.showDay(QDate::currentDate().addDays(-1));
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 0 / 0"));
        QCOMPARE(labelText("statusLine"), QStringLiteral("这一天没有采集记录"));
        // A GBK file; the history tells when its names were first seen.
        QFile file(m_folder.filePath(QStringLiteral("names.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(encodeDomainList({ QStringLiteral("中文.cn"), QStringLiteral("new.net") }));
        file.close();
        QVERIFY(table.showFile(file.fileName()));
        QCOMPARE(labelText("sourceLabel"), QStringLiteral("来源：文件 names.txt（2 个域名）"));
        QVERIFY(!cell(0, DomainTableModel::FirstSeenColumn).isEmpty());
        QCOMPARE(cell(1, DomainTableModel::FirstSeenColumn), QString());
        const QString missing = m_folder.filePath(QStringLiteral("missing.txt"));
        QVERIFY(!table.showFile(missing));
        QCOMPARE(Dialogs::takeAnsweredMessages().value(0).text,
            QStringLiteral("文件读取失败!\n原因：文件不存在\n文件：") + missing);
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 2 / 2"));
    }
    void batchLookupThroughRateLimitThenExport()
    {
        const QStringList names = openNames(3);
        // The ICP site answers the first name's first request with 429 and "Retry-After: 1".
        const std::string limited = "/" + names[0].toStdString();
        FakeSite::Reply tooMany = FakeSite::Reply::utf8Html("<p>请求过于频繁</p>", 429);
        tooMany.headers.emplace_back("Retry-After", "1");
        site().setReply(limited, tooMany);
        std::atomic<int> asked { 0 };
        site().setRequestObserver([&](const LoopbackServer::LoggedRequest &request) {
            if (request.target == limited && ++asked == 2)
                site().setFault(limited, Fault::None);
        });
        // A value with a comma and quotes, to be quoted in the file.
        SampleMarket::BackorderInfo hostile = SampleMarket::backorderInfoFor(names[1].toStdString());
        hostile.deletionType = "Pending, \"Delete\"";
        site().setReply(
            "/backorder/" + names[1].toStdString(), FakeSite::Reply::gbkHtml(SampleMarket::backorderPage(hostile)));
        openTable(names);
        press(Qt::Key_L);
        QTRY_VERIFY_WITH_TIMEOUT(labelText("progressLabel").endsWith(QStringLiteral("要求等待 1 秒 ..")), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(
            labelText("statusLine"), QStringLiteral("批量查询完毕：共 3 个域名，失败 0 个"), 15000);
        site().setRequestObserver({});
        QCOMPARE(site().requestCount(limited), 2);
        QCOMPARE(part<QProgressBar>("progressBar")->text(), QStringLiteral("3 / 3"));
        // CSV: a byte order mark, the header, one CR LF line per shown row, RFC 4180 quoting.
        const QString csvPath = m_folder.filePath(QStringLiteral("table.csv"));
        Dialogs::setNextSaveFileName(csvPath);
        press(Qt::Key_E);
        QCOMPARE(Dialogs::takeAnsweredMessages().value(0).text, QStringLiteral("域名保存成功!"));
        QFile csv(csvPath);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray bytes = csv.readAll();
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QString written = QString::fromUtf8(bytes.mid(3));
        written.replace(
            QRegularExpression(QStringLiteral(",\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\r\n")), QStringLiteral(",T\r\n"));
        QCOMPARE(written,
            QStringLiteral("域名,后缀,长度,类型,首次发现,删除类型,删除时间,预定截止,预定平台,预定价格,"
                           "折合人民币,保证金,是否备案,查询时间\r\n")
                + csvLine(names[0]) + csvLine(names[1], QStringLiteral("\"Pending, \"\"Delete\"\"\""))
                + csvLine(names[2]));
        // TXT of the shown rows, as the main window writes its list; a failure says why and where.
        part<QLineEdit>("containsEdit")->setText(names[2]);
        const QString txtPath = m_folder.filePath(QStringLiteral("table.txt"));
        const QString missing = m_folder.filePath(QStringLiteral("missing/table.txt"));
        Dialogs::setNextSaveFileName(txtPath);
        Dialogs::setNextSaveFileName(missing);
        press(Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        press(Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QFile txt(txtPath);
        QVERIFY(txt.open(QIODevice::ReadOnly));
        QCOMPARE(txt.readAll(), encodeDomainList({ names[2] }));
        const QList<Dialogs::AnsweredMessage> messages = Dialogs::takeAnsweredMessages();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[1].text, QStringLiteral("域名保存失败!\n原因：文件夹不存在\n文件：") + missing);
    }
    void cancelKeepsTheRestEmpty()
    {
        const QStringList names = openNames(3);
        const std::string held = "/backorder/" + names[1].toStdString();
        site().hold(held);
        openTable(names);
        press(Qt::Key_L);
        QTRY_COMPARE(site().requestCount(held), 1);
        QTRY_COMPARE(part<QProgressBar>("progressBar")->value(), 1);
        QTest::keyClick(m_table, Qt::Key_Escape);
        QCOMPARE(labelText("statusLine"), QStringLiteral("批量查询已取消：已查询 1 个域名"));
        QVERIFY(!cell(0, DomainTableModel::PriceColumn).isEmpty());
        QCOMPARE(cell(1, DomainTableModel::PriceColumn), QString());
        QCOMPARE(cell(2, DomainTableModel::FilingColumn), QString());
        QVERIFY(part<QPushButton>("lookupButton")->isEnabled());
        QVERIFY(!part<QPushButton>("cancelButton")->isEnabled());
    }
    void opensFiltersCopiesBooksAndRemembers()
    {
        const QStringList names { QStringLiteral("abd.net"), QStringLiteral("abc.com"), QStringLiteral("xyz.com"),
            QStringLiteral("12.cn") };
        openTable(names.mid(1));
        QCOMPARE(m_table->windowTitle(), QStringLiteral("域名工作台"));
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 3 / 3"));
        // Ctrl+B again brings the same window with the list as it is now.
        openTable(names);
        QCOMPARE(window().findChildren<DomainTableWindow *>().size(), 1);
        for (int row = 0; row < 4; ++row)
            QCOMPARE(cell(row, DomainTableModel::DomainColumn), names[row]);
        // Every control the keyboard reaches says what it is, in Chinese (a spin or combo box speaks for its edit).
        for (const QWidget *widget : m_table->findChildren<QWidget *>()) {
            const bool inner
                = widget->parent()->inherits("QAbstractSpinBox") || widget->parent()->inherits("QComboBox");
            if (widget->isVisibleTo(m_table) && (widget->focusPolicy() & Qt::TabFocus) && !inner)
                QVERIFY2(widget->accessibleName().contains(QRegularExpression(QStringLiteral("\\p{Han}"))),
                    qPrintable(widget->objectName()));
        }
        press(Qt::Key_F);
        auto *contains = part<QLineEdit>("containsEdit");
        QVERIFY(contains->hasFocus());
        QTest::keyClicks(contains, QStringLiteral("ab"));
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 2 / 4"));
        QTest::keyClicks(part<QLineEdit>("suffixEdit"), QStringLiteral(".net .cn"));
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 1 / 4"));
        QCOMPARE(cell(0, 0), QStringLiteral("abd.net"));
        contains->clear();
        part<QComboBox>("kindCombo")->setCurrentText(QStringLiteral("纯数字"));
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 1 / 4"));
        QCOMPARE(cell(0, 0), QStringLiteral("12.cn"));
        // A pattern being typed is not applied while it is not whole.
        QTest::keyClicks(part<QLineEdit>("patternEdit"), QStringLiteral("^1("));
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 1 / 4"));
        QTest::mouseClick(part<QPushButton>("clearFilterButton"), Qt::LeftButton);
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 4 / 4"));
        // Sorted by name, the first two rows selected from the keyboard, copied and booked.
        auto *table = part<QTableView>("domainTable");
        table->setFocus();
        table->sortByColumn(DomainTableModel::DomainColumn, Qt::AscendingOrder);
        QTest::keyClick(table, Qt::Key_Home, Qt::ControlModifier);
        for (const auto &[key, modifiers] : { std::pair(Qt::Key_Down, Qt::NoModifier),
                 std::pair(Qt::Key_Up, Qt::NoModifier), std::pair(Qt::Key_Down, Qt::ShiftModifier) })
            QTest::keyClick(table, key, modifiers);
        press(Qt::Key_C);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("12.cn\nabc.com"));
        press(Qt::Key_D);
        QCOMPARE(openedUrls, (QList<QUrl> { QUrl(siteUrl() + QStringLiteral("/backorder/abc.com")) }));
        // Filters, sort and column widths come back with the window.
        part<QLineEdit>("suffixEdit")->setText(QStringLiteral(".com"));
        table->horizontalHeader()->resizeSection(DomainTableModel::DomainColumn, 222);
        m_table->close();
        QTRY_VERIFY(!window().findChild<DomainTableWindow *>());
        openTable(names);
        QCOMPARE(part<QLineEdit>("suffixEdit")->text(), QStringLiteral(".com"));
        QCOMPARE(labelText("countLabel"), QStringLiteral("显示 2 / 4"));
        QCOMPARE(cell(0, 0), QStringLiteral("abc.com"));
        QCOMPARE(part<QTableView>("domainTable")->horizontalHeader()->sectionSize(DomainTableModel::DomainColumn), 222);
    }
};

QTEST_MAIN(TestDomainTableWindow)
#include "tst_domaintablewindow.moc"
