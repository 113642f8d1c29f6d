// The domain table window, opened with Ctrl+B from the main window's list: filtering as the user types, a batch
// lookup through a rate-limited phase, cancelling one, exporting byte for byte, keyboard use, what it remembers.
#include "core/export/listexport.h"
#include "core/net/backgroundread.h"
#include "core/store/historystore.h"
#include "core/store/historywriter.h"
#include "core/table/domaintablemodel.h"
#include "tests/sitetest.h"
#include "tests/windowtest.h"
#include "tools/samplemarket.h"
#include "ui/dialogs.h"
#include "ui/domaintablewindow.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QMenu>

#include <atomic>

using namespace Qt::Literals::StringLiterals;

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

// The CSV line exported for a sample name, "T" for the lookup's time; the deletion type field given if not the page's.
QString csvLine(const QString &name, const QString &deletionTypeField = QString())
{
    const auto s = [](const std::string &text) { return QString::fromStdString(text); };
    const SampleMarket::BackorderInfo info = SampleMarket::backorderInfoFor(name.toStdString());
    const QString licence = s(SampleMarket::icpLicenceFor(name.toStdString()));
    const DomainParts parts = splitDomain(name);
    const NameAppraisal appraisal = appraise(name);
    // The registrar holds a comma: quoted.
    const SampleWhois whois = sampleWhoisOf(name);
    const QDateTime created = QDateTime::fromString(whois.created, Qt::ISODate);
    const auto day = [](const QString &time) {
        return QDateTime::fromString(time, Qt::ISODate).toLocalTime().toString(u"yyyy-MM-dd"_s);
    };
    return QStringList { name, parts.suffix, QString::number(parts.label.size()),
        DomainTableModel::kindCaption(kindOf(parts.label)), tagTexts(appraisal.tags).join(u' '), appraisal.pinyin,
        QString(), deletionTypeField.isEmpty() ? s(info.deletionType) : deletionTypeField, s(info.deletionTime),
        // The sample's deadlines are all in June 2024: passed.
        s(info.bookingDeadline), u"已截止"_s, s(info.platform), s(info.price), s(info.rmb), s(info.deposit),
        licence.isEmpty() ? u"未备案"_s : u"已备案 "_s + licence, day(whois.created),
        QString::number(wholeYearsSince(created, QDateTime::currentDateTimeUtc()).value()) + u"年"_s,
        day(whois.expires), u'"' + whois.registrar + u'"', whois.statuses.join(u' '),
        sampleElsewhere(name), u"T"_s }
               .join(u',')
        + u"\r\n"_s;
}

// Desktops on X11 give a text field Ctrl+E (end of line), Ctrl+D, ... as editing keys, which it claims before
// any shortcut; the offscreen platform has no such key bindings, so a test gives them to a field.
class EditingKeys : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride
            && static_cast<QKeyEvent *>(event)->modifiers() == Qt::ControlModifier)
            event->accept();
        return false;
    }
};

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
        // The watches' notifications go nowhere: not to the desktop of whoever runs the tests.
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
        QVERIFY(m_folder.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_folder.filePath(u"config"_s));
    }

    void init()
    {
        QSettings(u"Vexlon"_s, u"vexlon-collector"_s).clear();
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
        QVERIFY(history.open(m_folder.filePath(u"history.sqlite"_s)));
        const QDate day(2024, 6, 5);
        const auto at = [day](int days, int hour) { return QDateTime(day.addDays(days), QTime(hour, 0)); };
        // Runs of the day and around it, recorded out of order: the evening's first, its pages backwards.
        const auto record = [&](const QDateTime &started, const QList<QStringList> &pages) {
            const std::optional<qint64> run = history.beginRun(siteUrl(), 1, int(pages.size()), started);
            QVERIFY(run);
            for (qsizetype page = pages.size(); page > 0; --page)
                QVERIFY(history.recordPage(*run, int(page), pages[page - 1], started));
        };
        record(at(-30, 9), { { u"old.com"_s } });
        record(at(0, 20), { { u"old.com"_s, u"a.com"_s } });
        record(at(-1, 23), { { u"before.com"_s } });
        record(at(0, 8), { { u"a.com"_s, u"中文.cn"_s }, { u"b.com"_s } });
        record(at(1, 0), { { u"after.com"_s } });
        DomainTableWindow table(AppConfig(), &history);
        m_table = &table;
        table.showDay(day);
        QCOMPARE(labelText("sourceLabel"), u"来源：2024-06-05 的采集（4 个域名）"_s);
        const QStringList shown { u"a.com"_s, u"中文.cn"_s, u"b.com"_s, u"old.com"_s };
        for (int row = 0; row < 4; ++row)
            QCOMPARE(cell(row, DomainTableModel::DomainColumn), shown[row]);
        QCOMPARE(cell(0, DomainTableModel::FirstSeenColumn), u"2024-06-05 08:00"_s);
        QCOMPARE(cell(3, DomainTableModel::FirstSeenColumn), u"2024-05-06 09:00"_s);
        table.showDay(day.addDays(-3));
        QCOMPARE(labelText("countLabel"), u"显示 0 / 0"_s);
        QCOMPARE(labelText("statusLine"), u"这一天没有采集记录"_s);
        // A GBK file; the history tells when its names were first seen, however long ago.
        const QString file = m_folder.filePath(u"names.txt"_s);
        QVERIFY(writeFile(file, encodeDomainList({ u"中文.cn"_s, u"new.net"_s })));
        QVERIFY(table.showFile(file));
        QCOMPARE(labelText("sourceLabel"), u"来源：文件 names.txt（2 个域名）"_s);
        QCOMPARE(cell(0, DomainTableModel::FirstSeenColumn), u"2024-06-05 08:00"_s);
        QCOMPARE(cell(1, DomainTableModel::FirstSeenColumn), QString());
        const QString missing = m_folder.filePath(u"missing.txt"_s);
        QVERIFY(!table.showFile(missing));
        QCOMPARE(Dialogs::takeAnsweredMessages().value(0).text, u"文件读取失败!\n原因：文件不存在\n文件："_s + missing);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 2"_s);
    }

    // A file of megabytes on one line, between good names: read off the window's thread, the line skipped.
    void readsAHugeLineWithoutStopping()
    {
        DomainTableWindow table { AppConfig() };
        m_table = &table;
        table.showNames({ u"x.com"_s });
        const QString file = m_folder.filePath(u"huge.txt"_s);
        QVERIFY(writeFile(file, "good.com\n" + QByteArray(16 << 20, 'a') + "\r\n中文.cn\n"));
        QVERIFY(table.showFile(file));
        // The call is back before the file has been read.
        QCOMPARE(labelText("sourceLabel"), u"来源：主窗口列表（1 个域名）"_s);
        QCOMPARE(labelText("statusLine"), u"正在读取文件 .."_s);
        QTRY_COMPARE_WITH_TIMEOUT(labelText("sourceLabel"), u"来源：文件 huge.txt（2 个域名）"_s, 20000);
        QCOMPARE(cell(0, DomainTableModel::DomainColumn), u"good.com"_s);
        QCOMPARE(cell(1, DomainTableModel::DomainColumn), u"中文.cn"_s);
        QCOMPARE(labelText("statusLine"), u"已跳过 1 个超过 253 个字符的名称"_s);
        // A list shown while a file is read stays.
        QVERIFY(table.showFile(file));
        table.showNames({ u"y.com"_s });
        pageReadingThread().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(labelText("sourceLabel"), u"来源：主窗口列表（1 个域名）"_s);
        QCOMPARE(cell(0, DomainTableModel::DomainColumn), u"y.com"_s);
    }

    // On a screen of 1280 × 720 every button is on the window, even with a file name longer than the window.
    void fitsASmallScreen()
    {
        DomainTableWindow table { AppConfig() };
        m_table = &table;
        QVERIFY(table.width() <= 1280 && table.height() <= 720);
        const QString file = m_folder.filePath(QString(200, u'n') + u".txt"_s);
        QVERIFY(writeFile(file, "a.com\n"));
        QVERIFY(table.showFile(file));
        QVERIFY(labelText("sourceLabel").size() > 200);
        QVERIFY(table.minimumSizeHint().width() <= 1280);
        table.resize(1280, 720);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        QCOMPARE(table.width(), 1280);
        const QList<QPushButton *> buttons = table.findChildren<QPushButton *>();
        QVERIFY(buttons.size() >= 10);
        for (const QPushButton *button : buttons) {
            if (button->objectName() == u"clearRestoredFilterButton"_s)
                continue; // shown only for a restored filter
            const QRect place(button->mapTo(&table, QPoint(0, 0)), button->size());
            QVERIFY2(button->isVisible() && table.rect().contains(place), qPrintable(button->objectName()));
        }
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
        QTRY_VERIFY_WITH_TIMEOUT(labelText("progressLabel").endsWith(u"要求等待 1 秒 .."_s), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(labelText("statusLine"), u"批量查询完毕：共 3 个域名，失败 0 个"_s, 15000);
        site().setRequestObserver({});
        QCOMPARE(site().requestCount(limited), 2);
        QCOMPARE(part<QProgressBar>("progressBar")->text(), u"3 / 3"_s);
        // The other suffixes, asked of DNS alongside: each label once under each suffix but its own.
        for (int row = 0; row < 3; ++row)
            QTRY_COMPARE(cell(row, DomainTableModel::elsewhereColumn()), sampleElsewhere(cell(row, 0)));
        int queries = 0;
        for (const QString &name : names)
            queries += defaultOtherSuffixes().contains(labelAndSuffix(name).second) ? 4 : 5;
        QCOMPARE(int(dns().queries().size()), queries);
        // CSV: a byte order mark, the header, one CR LF line per shown row, RFC 4180 quoting.
        // Ctrl+E exports even from a text field, which would take it as "end of line".
        const QString csvPath = m_folder.filePath(u"table.csv"_s);
        Dialogs::setNextSaveFileName(csvPath);
        auto *suffix = part<QLineEdit>("suffixEdit");
        suffix->installEventFilter(new EditingKeys(suffix));
        suffix->setFocus();
        QTRY_VERIFY(suffix->hasFocus());
        QTest::keyClick(suffix, Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(Dialogs::takeAnsweredMessages().value(0).text, u"域名保存成功!"_s);
        const QByteArray bytes = readFile(csvPath);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QString written = QString::fromUtf8(bytes.mid(3));
        written.replace(QRegularExpression(u",\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d\r\n"_s), u",T\r\n"_s);
        QCOMPARE(written,
            QStringLiteral("域名,后缀,长度,类型,品相,拼音,首次发现,删除类型,删除时间,预定截止,剩余,预定平台,预定价格,"
                           "折合人民币,保证金,是否备案,注册时间,年龄,到期时间,注册商,状态,其他后缀,查询时间\r\n")
                + csvLine(names[0]) + csvLine(names[1], u"\"Pending, \"\"Delete\"\"\""_s) + csvLine(names[2]));
        // TXT of the shown rows, as the main window writes its list; a failure says why and where.
        part<QLineEdit>("containsEdit")->setText(names[2]);
        const QString txtPath = m_folder.filePath(u"table.txt"_s);
        const QString missing = m_folder.filePath(u"missing/table.txt"_s);
        Dialogs::setNextSaveFileName(txtPath);
        Dialogs::setNextSaveFileName(missing);
        press(Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        press(Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(readFile(txtPath), encodeDomainList({ names[2] }));
        const QList<Dialogs::AnsweredMessage> messages = Dialogs::takeAnsweredMessages();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(messages[1].text, u"域名保存失败!\n原因：文件夹不存在\n文件："_s + missing);
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
        press(Qt::Key_P);
        QCOMPARE(part<QPushButton>("pauseButton")->text(), u"继续"_s);
        QCOMPARE(labelText("statusLine"), u"批量查询已暂停 .."_s);
        QTest::mouseClick(part<QPushButton>("pauseButton"), Qt::LeftButton);
        QCOMPARE(part<QPushButton>("pauseButton")->text(), u"暂停"_s);
        QCOMPARE(labelText("statusLine"), u"正在批量查询 .."_s);
        QTest::keyClick(m_table, Qt::Key_Escape);
        QCOMPARE(labelText("statusLine"), u"批量查询已取消：已查询 1 个域名"_s);
        QVERIFY(!cell(0, DomainTableModel::columnTitles().indexOf(u"预定价格"_s)).isEmpty());
        QCOMPARE(cell(1, DomainTableModel::columnTitles().indexOf(u"预定价格"_s)), QString());
        QCOMPARE(cell(2, DomainTableModel::columnTitles().indexOf(u"是否备案"_s)), QString());
        QVERIFY(part<QPushButton>("lookupButton")->isEnabled());
        QVERIFY(!part<QPushButton>("cancelButton")->isEnabled());
    }

    void opensFiltersCopiesBooksAndRemembers()
    {
        const QStringList names { u"abd.net"_s, u"abc.com"_s, u"xyz.com"_s, u"12.cn"_s };
        // The list's tooltip and the window's "What's this" tell the way in.
        QVERIFY(control("domainList")->toolTip().contains(u"Ctrl+B 打开域名工作台"_s));
        openTable(names.mid(1));
        QCOMPARE(m_table->windowTitle(), u"域名工作台"_s);
        QVERIFY(m_table->whatsThis().contains(u"按 Ctrl+B 打开"_s));
        QVERIFY(!part("restoredFilterLabel")->isVisible());
        QCOMPARE(labelText("countLabel"), u"显示 3 / 3"_s);
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
                QVERIFY2(widget->accessibleName().contains(QRegularExpression(u"\\p{Han}"_s)),
                    qPrintable(widget->objectName()));
        }
        press(Qt::Key_F);
        auto *contains = part<QLineEdit>("containsEdit");
        QVERIFY(contains->hasFocus());
        QTest::keyClicks(contains, u"ab"_s);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 4"_s);
        QTest::keyClicks(part<QLineEdit>("suffixEdit"), u".net .cn"_s);
        QCOMPARE(labelText("countLabel"), u"显示 1 / 4"_s);
        QCOMPARE(cell(0, 0), u"abd.net"_s);
        contains->clear();
        part<QComboBox>("kindCombo")->setCurrentText(u"纯数字"_s);
        QCOMPARE(labelText("countLabel"), u"显示 1 / 4"_s);
        QCOMPARE(cell(0, 0), u"12.cn"_s);
        // A pattern being typed is not applied while it is not whole.
        QTest::keyClicks(part<QLineEdit>("patternEdit"), u"^1("_s);
        QCOMPARE(labelText("countLabel"), u"显示 1 / 4"_s);
        QTest::mouseClick(part<QPushButton>("clearFilterButton"), Qt::LeftButton);
        QCOMPARE(labelText("countLabel"), u"显示 4 / 4"_s);
        // Sorted by name, the first two rows selected from the keyboard, copied and booked.
        auto *table = part<QTableView>("domainTable");
        table->setFocus();
        table->sortByColumn(DomainTableModel::DomainColumn, Qt::AscendingOrder);
        QTest::keyClick(table, Qt::Key_Home, Qt::ControlModifier);
        for (const auto &[key, modifiers] : { std::pair(Qt::Key_Down, Qt::NoModifier),
                 std::pair(Qt::Key_Up, Qt::NoModifier), std::pair(Qt::Key_Down, Qt::ShiftModifier) })
            QTest::keyClick(table, key, modifiers);
        press(Qt::Key_C);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"12.cn\nabc.com"_s);
        press(Qt::Key_D);
        QCOMPARE(openedUrls, (QList<QUrl> { QUrl(siteUrl() + u"/backorder/abc.com"_s) }));
        // Filters, sort and column widths come back with the window.
        part<QLineEdit>("suffixEdit")->setText(u".com"_s);
        table->horizontalHeader()->resizeSection(DomainTableModel::DomainColumn, 222);
        m_table->close();
        QTRY_VERIFY(!window().findChild<DomainTableWindow *>());
        openTable(names);
        QCOMPARE(part<QLineEdit>("suffixEdit")->text(), u".com"_s);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 4"_s);
        QCOMPARE(cell(0, 0), u"abc.com"_s);
        QCOMPARE(part<QTableView>("domainTable")->horizontalHeader()->sectionSize(DomainTableModel::DomainColumn), 222);
        // A restored filter says so until the user changes it.
        QVERIFY(part("restoredFilterLabel")->isVisible());
        QTest::keyClicks(part<QLineEdit>("suffixEdit"), u" .cn"_s);
        QVERIFY(!part("restoredFilterLabel")->isVisible());
    }

    // The 年龄 range: a name of unknown age passes no bound, 0 is an age; it comes back with the window.
    void ageRangeFiltersAndIsKept()
    {
        openTable({ u"abc.com"_s, u"12.cn"_s });
        auto *least = part<QSpinBox>("minAgeSpin");
        auto *most = part<QSpinBox>("maxAgeSpin");
        QCOMPARE(least->text(), u"不限"_s);
        QCOMPARE(most->text(), u"不限"_s);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 2"_s);
        least->setValue(0);
        QCOMPARE(least->text(), u"0年"_s);
        // Not looked up: no age known.
        QCOMPARE(labelText("countLabel"), u"显示 0 / 2"_s);
        least->setValue(least->minimum());
        most->setValue(30);
        QCOMPARE(labelText("countLabel"), u"显示 0 / 2"_s);
        m_table->close();
        QTRY_VERIFY(!window().findChild<DomainTableWindow *>());
        openTable({ u"abc.com"_s, u"12.cn"_s });
        QCOMPARE(part<QSpinBox>("maxAgeSpin")->text(), u"30年"_s);
        QCOMPARE(part<QSpinBox>("minAgeSpin")->text(), u"不限"_s);
        QCOMPARE(labelText("countLabel"), u"显示 0 / 2"_s);
        QVERIFY(part("restoredFilterLabel")->isVisible());
        QTest::mouseClick(part<QPushButton>("clearFilterButton"), Qt::LeftButton);
        QCOMPARE(part<QSpinBox>("maxAgeSpin")->text(), u"不限"_s);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 2"_s);
    }

    // 查询其他后缀, on at first: the 其他后缀 column sorts by how many suffixes are taken, 其他后缀已注册 keeps rows
    // with some or with none; unticked (and remembered so), DNS is not asked.
    void otherSuffixes()
    {
        dns().setAnswerer({});
        dns().setDefaultMode(FakeDnsServer::Mode::NxDomain);
        for (const char *name : { "alpha.net", "alpha.cn", "alpha.org", "beta.net" })
            dns().setMode(name, FakeDnsServer::Mode::NameServers);
        dns().setMode("beta.cn", FakeDnsServer::Mode::ServFail);
        const QStringList names { u"gamma.com"_s, u"beta.com"_s, u"alpha.com"_s };
        openTable(names);
        QVERIFY(part<QCheckBox>("otherSuffixesCheck")->isChecked());
        QCOMPARE(part<QCheckBox>("otherSuffixesCheck")->text(), u"查询其他后缀"_s);
        press(Qt::Key_L);
        QTRY_COMPARE_WITH_TIMEOUT(labelText("statusLine"), u"批量查询完毕：共 3 个域名，失败 0 个"_s, 15000);
        QTRY_COMPARE(cell(2, DomainTableModel::elsewhereColumn()), u"net cn org"_s);
        QTRY_COMPARE(cell(1, DomainTableModel::elsewhereColumn()), u"net cn?"_s);
        QTRY_COMPARE(cell(0, DomainTableModel::elsewhereColumn()), u"未解析"_s);
        QCOMPARE(dns().queryCount("gamma.com"), 0);
        QCOMPARE(int(dns().queries().size()), 12);

        auto *table = part<QTableView>("domainTable");
        table->sortByColumn(DomainTableModel::elsewhereColumn(), Qt::DescendingOrder);
        QCOMPARE(QStringList({ cell(0, 0), cell(1, 0), cell(2, 0) }), QStringList({ u"alpha.com"_s, u"beta.com"_s, u"gamma.com"_s }));
        table->sortByColumn(DomainTableModel::elsewhereColumn(), Qt::AscendingOrder);
        QCOMPARE(QStringList({ cell(0, 0), cell(1, 0), cell(2, 0) }), QStringList({ u"gamma.com"_s, u"beta.com"_s, u"alpha.com"_s }));

        auto *filter = part<QComboBox>("elsewhereCombo");
        QCOMPARE(filter->itemText(1), u"有"_s);
        filter->setCurrentIndex(1);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 3"_s);
        filter->setCurrentIndex(2);
        QCOMPARE(labelText("countLabel"), u"显示 1 / 3"_s);
        QCOMPARE(cell(0, 0), u"gamma.com"_s);
        filter->setCurrentIndex(0);

        part<QCheckBox>("otherSuffixesCheck")->setChecked(false);
        m_table->close();
        QTRY_VERIFY(!window().findChild<DomainTableWindow *>());
        dns().clearLog();
        openTable({ u"delta.com"_s });
        QVERIFY(!part<QCheckBox>("otherSuffixesCheck")->isChecked());
        press(Qt::Key_L);
        QTRY_COMPARE_WITH_TIMEOUT(labelText("statusLine"), u"批量查询完毕：共 1 个域名，失败 0 个"_s, 15000);
        QCOMPARE(cell(0, DomainTableModel::elsewhereColumn()), QString());
        QCOMPARE(int(dns().queries().size()), 0);
        part<QCheckBox>("otherSuffixesCheck")->setChecked(true);
    }

    // Filters kept by an earlier version come back under the same keys, say so, and go with one click.
    void restoresTheFiltersOfTheLastUse()
    {
        QSettings stored(u"Vexlon"_s, u"vexlon-collector"_s);
        stored.beginGroup(u"domainTable"_s);
        const std::pair<const char *, QVariant> kept[] = { { "suffixes", u".com"_s }, { "minLength", 3 },
            { "maxLength", 3 }, { "kind", 2 }, { "filing", 4 }, { "contains", u"b"_s }, { "startsWith", u"a"_s },
            { "endsWith", u"c"_s }, { "excludes", u"x y"_s }, { "pattern", u"^A"_s } };
        for (const auto &[key, value] : kept)
            stored.setValue(QLatin1String(key), value);
        stored.sync();
        openTable({ u"abc.net"_s, u"abc.com"_s, u"abcc.com"_s, u"a1c.com"_s, u"xbc.com"_s });
        QCOMPARE(labelText("countLabel"), u"显示 1 / 5"_s);
        QCOMPARE(cell(0, DomainTableModel::DomainColumn), u"abc.com"_s);
        const std::pair<const char *, QString> shown[] = { { "suffixEdit", u".com"_s }, { "minLengthSpin", u"3"_s },
            { "maxLengthSpin", u"3"_s }, { "kindCombo", u"纯字母"_s }, { "filingCombo", u"未查询"_s },
            { "containsEdit", u"b"_s }, { "startsEdit", u"a"_s }, { "endsEdit", u"c"_s }, { "excludesEdit", u"x y"_s },
            { "patternEdit", u"^A"_s } };
        for (const auto &[name, text] : shown) {
            const QWidget *control = part(name);
            if (const auto *spin = qobject_cast<const QSpinBox *>(control))
                QCOMPARE(spin->text(), text);
            else if (const auto *combo = qobject_cast<const QComboBox *>(control))
                QCOMPARE(combo->currentText(), text);
            else
                QCOMPARE(textOf(control), text);
        }
        QCOMPARE(labelText("restoredFilterLabel"), u"筛选已恢复"_s);
        QVERIFY(part("restoredFilterLabel")->isVisible());
        QTest::mouseClick(part<QPushButton>("clearRestoredFilterButton"), Qt::LeftButton);
        QCOMPARE(labelText("countLabel"), u"显示 5 / 5"_s);
        QCOMPARE(part<QLineEdit>("suffixEdit")->text(), QString());
        QVERIFY(!part("restoredFilterLabel")->isVisible());
        QVERIFY(!part("clearRestoredFilterButton")->isVisible());
    }

    // Several tags at once, all of them holding; a label pattern, ignored while it holds another character;
    // both come back with the window.
    void filtersByTagsAndPattern()
    {
        const QStringList names { u"taobao.com"_s, u"bjdx.com"_s, u"8888.com"_s, u"boka.com"_s, u"5288.com"_s };
        openTable(names);
        const auto tag = [this](const QString &text) {
            const QList<QAction *> actions = part<QToolButton>("tagButton")->menu()->actions();
            const auto found = std::find_if(
                actions.cbegin(), actions.cend(), [&text](const QAction *action) { return action->text() == text; });
            QVERIFY2(found != actions.cend(), qPrintable(text));
            (*found)->trigger();
        };
        tag(u"纯字母"_s);
        QCOMPARE(labelText("countLabel"), u"显示 3 / 5"_s);
        tag(u"双拼"_s);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 5"_s); // tao'bao, bo'ka
        QCOMPARE(cell(0, DomainTableModel::DomainColumn), u"taobao.com"_s);
        QCOMPARE(part<QToolButton>("tagButton")->text(), u"纯字母 双拼"_s);
        tag(u"双拼"_s);
        auto *pattern = part<QLineEdit>("labelPatternEdit");
        pattern->setText(u"CVCV"_s);
        QCOMPARE(labelText("countLabel"), u"显示 1 / 5"_s);
        QCOMPARE(cell(0, DomainTableModel::DomainColumn), u"boka.com"_s);
        tag(u"纯字母"_s);
        pattern->setText(u"NN88"_s);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 5"_s);
        pattern->setText(u"NNX8"_s);
        QCOMPARE(labelText("countLabel"), u"显示 5 / 5"_s);
        pattern->setText(u"N?88"_s);
        tag(u"无4"_s);
        m_table->close();
        QTRY_VERIFY(!window().findChild<DomainTableWindow *>());
        openTable(names);
        QCOMPARE(labelText("countLabel"), u"显示 2 / 5"_s);
        QCOMPARE(part<QToolButton>("tagButton")->text(), u"无4"_s);
        QVERIFY(part("restoredFilterLabel")->isVisible());
    }

    // Another program holds the history locked past its time-out while a batch runs: the window says so,
    // and once the lock is gone the lookups are in the history and the window says that too.
    void saysWhenTheHistoryTakesNoWrites()
    {
        const QString path = m_folder.filePath(u"locked.sqlite"_s);
        HistoryStore history;
        QVERIFY(history.open(path));
        HistoryWriter writer(path);
        AppConfig config;
        config.marketUrl = config.icpUrl = siteUrl();
        DomainTableWindow table(config, &history, &writer);
        table.showNames(openNames(2));
        auto lock = std::make_unique<SqlConnection>(path);
        QCOMPARE(lock->run({ u"BEGIN EXCLUSIVE"_s }), QString());
        table.lookUp();
        const auto *status = table.findChild<QLabel *>(u"statusLine"_s);
        QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith(u"历史记录暂时无法写入，查询结果等待写入："_s), 30000);
        lock.reset();
        QTRY_COMPARE_WITH_TIMEOUT(status->text(), u"历史记录已恢复写入 .."_s, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(SqlConnection(path).column(u"SELECT count(*) FROM lookups"_s), QStringList { u"2"_s }, 30000);
    }

    // The 关注 panel: the filter bar's filter kept as a watch, its matches counted when a run ends and shown when
    // chosen; renamed and removed, each answered in the status line.
    void watchPanel()
    {
        const QString path = m_folder.filePath(u"watches.sqlite"_s);
        QFile::remove(path);
        HistoryStore history;
        QVERIFY(history.open(path));
        HistoryWriter writer(path);
        DomainTableWindow table(AppConfig(), &history, &writer);
        m_table = &table;
        const auto *status = part<QLabel>("statusLine");
        auto *list = part<QListWidget>("watchList");
        const auto items = [list] {
            QStringList texts;
            for (int row = 0; row < list->count(); ++row)
                texts << list->item(row)->text();
            return texts;
        };
        part<QPushButton>("saveWatchButton")->click();
        QCOMPARE(status->text(), u"请先在筛选栏设置条件，再保存为关注 .."_s);
        QTest::keyClicks(part<QLineEdit>("suffixEdit"), u".cn"_s);
        Dialogs::setNextText(u" 中国 "_s);
        part<QPushButton>("saveWatchButton")->click();
        QTRY_COMPARE(status->text(), u"已保存关注「中国」，以后采集到的新域名会与它比对 .."_s);
        QCOMPARE(items(), QStringList { u"中国（今日 0）"_s });
        QCOMPARE(filterArguments(history.watchNamed(u"中国"_s).value().filter), QStringList({ u"--suffix"_s, u".cn"_s }));
        Dialogs::setNextText(u"中国"_s);
        part<QPushButton>("saveWatchButton")->click();
        QTRY_COMPARE(status->text(), u"已有同名的关注，请换一个名称 .."_s);

        // A run ends: the count of today's matches comes without asking.
        const int run = writer.beginRun(siteUrl(), 1, 1);
        writer.recordPage(run, 1, { u"a.cn"_s, u"b.com"_s, u"c.cn"_s });
        writer.endRun(run, 0, false);
        QTRY_COMPARE(items(), QStringList { u"中国（今日 2）"_s });
        list->item(0)->setSelected(true);
        QCOMPARE(labelText("sourceLabel"), u"来源：关注「中国」的匹配（2 个域名）"_s);
        QCOMPARE(cell(0, DomainTableModel::DomainColumn), u"c.cn"_s);

        Dialogs::setNextText(u"点cn"_s);
        part<QPushButton>("renameWatchButton")->click();
        QTRY_COMPARE(items(), QStringList { u"点cn（今日 2）"_s });
        Dialogs::setNextConfirmation(false);
        part<QPushButton>("removeWatchButton")->click();
        Dialogs::setNextConfirmation(true);
        part<QPushButton>("removeWatchButton")->click();
        QTRY_COMPARE(status->text(), u"关注「点cn」已删除 .."_s);
        QCOMPARE(items(), QStringList());
        QVERIFY(history.watches().isEmpty());
    }

    // A run of the main window that finds new names for a watch tells its webhook once it is recorded.
    void mainWindowRunTellsTheWatches()
    {
        const QString path = m_folder.filePath(u"main-watches.sqlite"_s);
        QFile::remove(path);
        HistoryStore history;
        QVERIFY(history.open(path));
        Watch watch;
        watch.name = u"短"_s;
        watch.filter.names.maxLength = 4;
        watch.webhook = QUrl(siteUrl() + u"/robot"_s);
        watch.format = WebhookFormat::WeCom;
        QCOMPARE(history.addWatch(watch), WatchChange::Done);
        AppConfig config;
        config.marketUrl = siteUrl();
        MainWindow main(config, &history);
        main.findChild<QPushButton *>(u"startButton"_s)->click();
        QTRY_COMPARE_WITH_TIMEOUT(site().posts().size(), std::size_t(1), 20000);
        const FakeSite::Post post = site().posts().front();
        QCOMPARE(post.target, "/robot");
        const QString text = QJsonDocument::fromJson(QByteArray::fromStdString(post.body))
                                 .object().value(u"text"_s).toObject().value(u"content"_s).toString();
        const QStringList shorts = sampleNames(1).filter(QRegularExpression(u"^[^.]{1,4}\\."_s));
        QVERIFY(!shorts.isEmpty());
        QVERIFY2(text.startsWith(u"关注「短」：%1 个新域名\n%2  "_s.arg(shorts.size()).arg(shorts.constFirst())), qPrintable(text));
    }

    // Names a spreadsheet would run as formulas are text in the exported CSV.
    void formulaNamesExportAsText()
    {
        const QStringList names { u"=1+1.com"_s, u"+1.com"_s, u"-1.com"_s, u"@sum(1+1).com"_s, u"a=b.com"_s };
        openTable(names);
        const QString csvPath = m_folder.filePath(u"formulas.csv"_s);
        Dialogs::setNextSaveFileName(csvPath);
        press(Qt::Key_E);
        QCOMPARE(Dialogs::takeAnsweredMessages().value(0).text, u"域名保存成功!"_s);
        QStringList lines = QString::fromUtf8(readFile(csvPath)).split(u"\r\n"_s, Qt::SkipEmptyParts).mid(1);
        QStringList firstFields;
        for (const QString &line : std::as_const(lines))
            firstFields << line.section(u',', 0, 0);
        firstFields.sort();
        QCOMPARE(firstFields,
            QStringList({ u"'+1.com"_s, u"'-1.com"_s, u"'=1+1.com"_s, u"'@sum(1+1).com"_s, u"a=b.com"_s }));
    }
};

QTEST_MAIN(TestDomainTableWindow)
#include "tst_domaintablewindow.moc"
