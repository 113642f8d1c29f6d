// Export of the domain list, copy and book.
#include "actions/domainexport.h"
#include "app/domainlist.h"
#include "app/form1.h"
#include "app/savedialog.h"
#include "tests/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <functional>
#include <sys/resource.h>

namespace {

const QString Title = QStringLiteral("Vexlon系列软件");
const QString MarketUrl = QStringLiteral("http://127.0.0.1:9");

// Answers every file dialog that comes up while it lives.
class FileDialogAnswerer : public QObject
{
public:
    explicit FileDialogAnswerer(std::function<void(QFileDialog *)> answer)
        : m_answer(std::move(answer))
    {
        connect(&m_poll, &QTimer::timeout, this, &FileDialogAnswerer::poll);
        m_poll.start(10);
    }

    int showings = 0;

private:
    void poll()
    {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        ++showings;
        m_answer(dialog);
    }

    std::function<void(QFileDialog *)> m_answer;
    QTimer m_poll;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

AppConfig testConfig()
{
    AppConfig config;
    config.marketUrl = MarketUrl;
    return config;
}

QPoint entryCentre(DomainList *list, int row)
{
    return list->visualRect(list->model()->index(row, 0)).center();
}

// Lowers the file size limit for as long as it lives: writes past it fail with EFBIG instead of
// killing the process, as a full disk would make them fail.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        m_ok = m_ok && setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool isActive() const { return m_ok; }

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
    bool m_ok = false;
};

} // namespace

class TestActions : public QObject
{
    Q_OBJECT

private slots:
    void init();

    // Encoding of the exported text
    void encoding_data();
    void encoding();
    void outsideGbkRoundTrips_data();
    void outsideGbkRoundTrips();

    // Export through the window
    void exportEmptyListShowsMessageAndNoDialog();
    void exportThreeDomains();
    void exportTwiceReplaces();
    void exportCancelWritesNothing();
    void exportNameWithoutExtensionKeptAsTyped();
    void exportChineseNameAsGbkBytes();
    void exportFailure_data();
    void exportFailure();
    void exportFailingHalfWayKeepsOldFile_data();
    void exportFailingHalfWayKeepsOldFile();
    void exportAllOfManyEntries();
    void exportStopsWhenWindowClosedDuringDialog();
    void exportThroughTheRealDialog();

    // Copy and book
    void noSelection_data();
    void noSelection();
    void copyPutsExactText();
    void rightPressActsOnSelected_data();
    void rightPressActsOnSelected();
    void bookOpensBackorderPage_data();
    void bookOpensBackorderPage();
    void bookDotSegmentNameOpensNothing();

private:
    QTemporaryDir m_dir;
};

void TestActions::init()
{
    QVERIFY(m_dir.isValid());
    QGuiApplication::clipboard()->setText(QStringLiteral("held before"));
}

void TestActions::encoding_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("no names") << QStringList() << QByteArray();
    QTest::newRow("one name") << QStringList { QStringLiteral("a.com") } << QByteArray("a.com\r\n");
    QTest::newRow("three names in order") << QStringList { QStringLiteral("c.cn"), QStringLiteral("a.com"),
        QStringLiteral("b.net") } << QByteArray("c.cn\r\na.com\r\nb.net\r\n");
    QTest::newRow("chinese name in gbk bytes")
        << QStringList { QStringLiteral("中文.com") } << QByteArray::fromHex("d6d0cec42e636f6d0d0a");
    QTest::newRow("chinese top-level domain")
        << QStringList { QStringLiteral("域名.中国") } << QByteArray::fromHex("d3f2c3fb2ed6d0b9fa0d0a");
    QTest::newRow("blanks and case kept") << QStringList { QStringLiteral(" Ab.COM ") } << QByteArray(" Ab.COM \r\n");
}

void TestActions::encoding()
{
    QFETCH(QStringList, names);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> encoded = encodeDomainList(names);
    QVERIFY(encoded);
    QCOMPARE(encoded->toHex(), bytes.toHex());
}

void TestActions::outsideGbkRoundTrips_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("emoji") << QStringLiteral("😀.com");
    QTest::newRow("cjk extension b") << QStringLiteral("𠀀.cn");
    QTest::newRow("euro sign") << QStringLiteral("€.net");
}

void TestActions::outsideGbkRoundTrips()
{
    QFETCH(QString, name);
    const std::optional<QByteArray> encoded = encodeDomainList({ name });
    QVERIFY(encoded);
    QVERIFY2(!encoded->contains('?'), encoded->toHex().constData());
    QStringDecoder decoder("GB18030");
    QCOMPARE(QString(decoder.decode(*encoded)), name + QStringLiteral("\r\n"));
    QVERIFY(!decoder.hasError());
}

void TestActions::exportEmptyListShowsMessageAndNoDialog()
{
    Form1 form;
    int showings = 0;
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> {
        ++showings;
        return m_dir.filePath(QStringLiteral("never.txt"));
    });

    BoxAnswerer boxes;
    QTest::mouseClick(form.Command5, Qt::LeftButton);

    QCOMPARE(showings, 0);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, QStringLiteral("没有可导出域名,请先进行采集"));
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Information);
    QCOMPARE(boxes.seen[0].title, Title);
    QVERIFY(boxes.seen[0].okAlone);
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("never.txt"))));
}

void TestActions::exportThreeDomains()
{
    Form1 form;
    form.List1->AddItems({ QStringLiteral("zeta.com"), QStringLiteral("alpha.net"), QStringLiteral("mid.cn") });
    const QString path = m_dir.filePath(QStringLiteral("three.txt"));
    QString shownTitle;
    QString shownFilter;
    form.C1->setResponder([&](const SaveDialog &dialog) -> std::optional<QString> {
        shownTitle = dialog.DialogTitle;
        shownFilter = dialog.Filter;
        return path;
    });

    BoxAnswerer boxes;
    QTest::mouseClick(form.Command5, Qt::LeftButton);

    QCOMPARE(shownTitle, QStringLiteral("请选择要保存的路径"));
    QCOMPARE(shownFilter, QStringLiteral("文本文件 (*.txt)"));
    QCOMPARE(readAll(path), QByteArray("zeta.com\r\nalpha.net\r\nmid.cn\r\n"));
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, QStringLiteral("域名保存成功!"));
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Information);
    QCOMPARE(boxes.seen[0].title, Title);
    // The export reads the list and leaves it alone.
    QCOMPARE(form.List1->ListCount(), 3);
}

void TestActions::exportTwiceReplaces()
{
    Form1 form;
    const QString path = m_dir.filePath(QStringLiteral("twice.txt"));
    QStringList offered;
    form.C1->setResponder([&](const SaveDialog &dialog) -> std::optional<QString> {
        offered.append(dialog.FileName);
        return path;
    });

    BoxAnswerer boxes;
    form.List1->AddItems({ QStringLiteral("first.com"), QStringLiteral("second.com"), QStringLiteral("third.com") });
    form.Command5_Click();
    form.List1->Clear();
    form.List1->AddItem(QStringLiteral("x.cn"));
    form.Command5_Click();

    QCOMPARE(readAll(path), QByteArray("x.cn\r\n"));
    QCOMPARE(boxes.seen.size(), 2);
    QCOMPARE(boxes.seen[1].text, QStringLiteral("域名保存成功!"));
    // The dialog offers the name chosen the time before.
    QCOMPARE(offered, QStringList({ QString(), path }));
}

void TestActions::exportCancelWritesNothing()
{
    Form1 form;
    form.List1->AddItems({ QStringLiteral("a.com"), QStringLiteral("b.com") });
    const QString existing = m_dir.filePath(QStringLiteral("kept.txt"));
    QVERIFY(writeFile(existing, "old\r\n"));
    form.C1->FileName = existing;
    const QStringList before = QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    int showings = 0;
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> {
        ++showings;
        return std::nullopt;
    });

    BoxAnswerer boxes;
    form.Command5_Click();

    QCOMPARE(showings, 1);
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(readAll(existing), QByteArray("old\r\n"));
    QCOMPARE(QDir(m_dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    QCOMPARE(form.C1->FileName, existing);
}

void TestActions::exportNameWithoutExtensionKeptAsTyped()
{
    Form1 form;
    form.List1->AddItem(QStringLiteral("plain.com"));
    const QString path = m_dir.filePath(QStringLiteral("domains"));
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> { return path; });

    BoxAnswerer boxes;
    form.Command5_Click();

    QCOMPARE(readAll(path), QByteArray("plain.com\r\n"));
    QVERIFY(!QFile::exists(path + QStringLiteral(".txt")));
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, QStringLiteral("域名保存成功!"));
}

void TestActions::exportChineseNameAsGbkBytes()
{
    Form1 form;
    form.List1->AddItems({ QStringLiteral("中文.com"), QStringLiteral("𠀀.cn") });
    const QString path = m_dir.filePath(QStringLiteral("中文名单.txt"));
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> { return path; });

    BoxAnswerer boxes;
    form.Command5_Click();

    const QByteArray bytes = readAll(path);
    QCOMPARE(bytes.left(10).toHex(), QByteArray("d6d0cec42e636f6d0d0a"));
    QStringDecoder decoder("GB18030");
    QCOMPARE(QString(decoder.decode(bytes)), QStringLiteral("中文.com\r\n𠀀.cn\r\n"));
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, QStringLiteral("域名保存成功!"));
}

void TestActions::exportFailure_data()
{
    // Tests run as root, where permission bits stop nothing: these paths fail for everyone.
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("plainFile");
    QTest::addColumn<QString>("folder");

    QTest::newRow("missing folder") << QStringLiteral("missing/list.txt") << QString() << QString();
    QTest::newRow("parent is a regular file")
        << QStringLiteral("plain.txt/list.txt") << QStringLiteral("plain.txt") << QString();
    QTest::newRow("target is a folder") << QStringLiteral("folder") << QString() << QStringLiteral("folder");
}

void TestActions::exportFailure()
{
    QFETCH(QString, target);
    QFETCH(QString, plainFile);
    QFETCH(QString, folder);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray plainContent("keep me\r\n");
    if (!plainFile.isEmpty())
        QVERIFY(writeFile(dir.filePath(plainFile), plainContent));
    if (!folder.isEmpty()) {
        QVERIFY(QDir(dir.path()).mkdir(folder));
        QVERIFY(writeFile(dir.filePath(folder + QStringLiteral("/inside.txt")), plainContent));
    }
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);

    Form1 form;
    form.List1->AddItems({ QStringLiteral("a.com"), QStringLiteral("b.com") });
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> { return dir.filePath(target); });

    BoxAnswerer boxes;
    form.Command5_Click();

    QCOMPARE(boxes.seen.size(), 1);
    const QString failed = QStringLiteral("域名保存失败!");
    QVERIFY2(boxes.seen[0].text.startsWith(failed), qPrintable(boxes.seen[0].text));
    QVERIFY2(boxes.seen[0].text.size() > failed.size(), "the reason is missing");
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes.seen[0].title, Title);

    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    if (!plainFile.isEmpty())
        QCOMPARE(readAll(dir.filePath(plainFile)), plainContent);
    if (!folder.isEmpty()) {
        QVERIFY(QFileInfo(dir.filePath(folder)).isDir());
        QCOMPARE(readAll(dir.filePath(folder + QStringLiteral("/inside.txt"))), plainContent);
    }
}

void TestActions::exportFailingHalfWayKeepsOldFile_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("limit");

    // Larger than the write buffer: the write itself fails.
    QTest::newRow("disk full while writing") << 5000 << 4096;
    // Small enough to sit in the buffer until the file is finished: only the commit finds out.
    QTest::newRow("disk full on commit") << 100 << 512;
}

void TestActions::exportFailingHalfWayKeepsOldFile()
{
    QFETCH(int, count);
    QFETCH(int, limit);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("old.txt"));
    const QByteArray oldContent("old.com\r\nolder.com\r\n");
    QVERIFY(writeFile(path, oldContent));

    Form1 form;
    QStringList names;
    for (int i = 0; i < count; ++i)
        names.append(QStringLiteral("name%1.com").arg(i));
    form.List1->AddItems(names);
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> { return path; });

    BoxAnswerer boxes;
    {
        // The new content stops being written at the limit, as on a disk that is full.
        FileSizeLimit sizeLimit { rlim_t(limit) };
        QVERIFY(sizeLimit.isActive());
        form.Command5_Click();
    }

    QCOMPARE(boxes.seen.size(), 1);
    QVERIFY2(boxes.seen[0].text.startsWith(QStringLiteral("域名保存失败!")), qPrintable(boxes.seen[0].text));
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Warning);
    QCOMPARE(readAll(path), oldContent);
    // No half-written leftovers beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList { QStringLiteral("old.txt") });
}

void TestActions::exportAllOfManyEntries()
{
    Form1 form;
    QStringList names;
    QByteArray expected;
    for (int i = 0; i < 40000; ++i) {
        names.append(QStringLiteral("d%1.com").arg(i, 5, 10, QLatin1Char('0')));
        expected += names.constLast().toLatin1() + "\r\n";
    }
    form.List1->AddItems(names);
    const QString path = m_dir.filePath(QStringLiteral("many.txt"));
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> { return path; });

    BoxAnswerer boxes;
    form.Command5_Click();

    const QByteArray written = readAll(path);
    QCOMPARE(written.count("\r\n"), 40000);
    QVERIFY(written.endsWith("d39999.com\r\n"));
    QVERIFY(written == expected);
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, QStringLiteral("域名保存成功!"));
}

void TestActions::exportStopsWhenWindowClosedDuringDialog()
{
    Form1 form;
    form.show();
    form.List1->AddItem(QStringLiteral("a.com"));
    const QString path = m_dir.filePath(QStringLiteral("closed.txt"));
    form.C1->setResponder([&](const SaveDialog &) -> std::optional<QString> {
        form.close();
        return path;
    });

    BoxAnswerer boxes;
    form.Command5_Click();

    QVERIFY(form.isExiting());
    QVERIFY(!QFile::exists(path));
    QVERIFY(boxes.seen.isEmpty());
}

void TestActions::exportThroughTheRealDialog()
{
    Form1 form;
    form.show();
    form.List1->AddItems({ QStringLiteral("a.com"), QStringLiteral("b.com") });
    const QString typed = m_dir.filePath(QStringLiteral("typed-name"));
    QStringList titles;
    QStringList filters;
    QStringList suffixes;
    QStringList offered;
    bool cancel = false;
    FileDialogAnswerer dialogs([&](QFileDialog *dialog) {
        titles.append(dialog->windowTitle());
        filters.append(dialog->nameFilters().join(u'|'));
        suffixes.append(dialog->defaultSuffix());
        offered.append(dialog->selectedFiles().value(0));
        if (cancel) {
            dialog->reject();
            return;
        }
        dialog->selectFile(typed);
        // QFileDialog::accept() reads the name field as Save would; it is public through QDialog.
        static_cast<QDialog *>(dialog)->accept();
    });
    BoxAnswerer boxes;

    form.Command5_Click();
    QCOMPARE(readAll(typed), QByteArray("a.com\r\nb.com\r\n"));
    QVERIFY(!QFile::exists(typed + QStringLiteral(".txt")));
    QCOMPARE(boxes.seen.size(), 1);
    QCOMPARE(boxes.seen[0].text, QStringLiteral("域名保存成功!"));

    // The next showing offers the name chosen this time; a cancel there changes nothing.
    cancel = true;
    form.List1->AddItem(QStringLiteral("c.com"));
    form.Command5_Click();
    QCOMPARE(dialogs.showings, 2);
    QCOMPARE(offered.value(1), typed);
    QCOMPARE(readAll(typed), QByteArray("a.com\r\nb.com\r\n"));
    QCOMPARE(boxes.seen.size(), 1);

    for (int i = 0; i < 2; ++i) {
        QCOMPARE(titles.value(i), QStringLiteral("请选择要保存的路径"));
        QCOMPARE(filters.value(i), QStringLiteral("文本文件 (*.txt)"));
        QCOMPARE(suffixes.value(i), QString());
    }
}

void TestActions::noSelection_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("entries");

    const QStringList some { QStringLiteral("a.com"), QStringLiteral("b.com") };
    QTest::newRow("copy, empty list") << QStringLiteral("fz") << QStringList();
    QTest::newRow("copy, entries but none selected") << QStringLiteral("fz") << some;
    QTest::newRow("book, empty list") << QStringLiteral("ydym") << QStringList();
    QTest::newRow("book, entries but none selected") << QStringLiteral("ydym") << some;
}

void TestActions::noSelection()
{
    QFETCH(QString, command);
    QFETCH(QStringList, entries);

    Form1 form(testConfig());
    form.List1->AddItems(entries);
    QCOMPARE(form.List1->ListIndex(), -1);
    form.setStatusText(QStringLiteral("查询完毕 .."));
    UrlCatcher urls;
    BoxAnswerer boxes;

    auto *action = form.cxcd->findChild<QAction *>(command);
    QVERIFY(action);
    action->trigger();

    QCOMPARE(form.statusText(), QStringLiteral("请先进行获取 .."));
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("held before"));
    QVERIFY(urls.opened.isEmpty());
    QVERIFY(boxes.seen.isEmpty());
}

void TestActions::copyPutsExactText()
{
    Form1 form(testConfig());
    form.List1->AddItems(
        { QStringLiteral("first.com"), QStringLiteral("Second-Name.NET "), QStringLiteral("third.cn") });
    form.List1->setListIndex(1);
    BoxAnswerer boxes;

    form.fz->trigger();

    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Second-Name.NET "));
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    QVERIFY(data);
    QCOMPARE(data->formats(), QStringList { QStringLiteral("text/plain") });
    QCOMPARE(form.statusText(), QStringLiteral("域名已复制 .."));
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(form.List1->ListIndex(), 1);
}

void TestActions::rightPressActsOnSelected_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("copy") << QStringLiteral("fz");
    QTest::newRow("book") << QStringLiteral("ydym");
}

void TestActions::rightPressActsOnSelected()
{
    QFETCH(QString, command);

    Form1 form(testConfig());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.List1->AddItems({ QStringLiteral("selected.com"), QStringLiteral("other.net"), QStringLiteral("pointer.cn") });
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {}, entryCentre(form.List1, 0));
    QCOMPARE(form.List1->ListIndex(), 0);

    QTest::mousePress(form.List1->viewport(), Qt::RightButton, {}, entryCentre(form.List1, 2));
    QTest::mouseRelease(form.List1->viewport(), Qt::RightButton, {}, entryCentre(form.List1, 2));
    QCOMPARE(form.List1->ListIndex(), 0);
    if (form.cxcd->isVisible())
        form.cxcd->hide();

    UrlCatcher urls;
    form.cxcd->findChild<QAction *>(command)->trigger();

    if (command == QLatin1String("fz")) {
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("selected.com"));
        QVERIFY(urls.opened.isEmpty());
    } else {
        QCOMPARE(urls.opened.size(), 1);
        QCOMPARE(urls.opened[0].toString(QUrl::FullyEncoded), MarketUrl + QStringLiteral("/backorder/selected.com"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("held before"));
    }
}

void TestActions::bookOpensBackorderPage_data()
{
    QTest::addColumn<QString>("domain");
    QTest::addColumn<QString>("encodedTail");

    QTest::newRow("plain name") << QStringLiteral("abc.com") << QStringLiteral("abc.com");
    QTest::newRow("case kept") << QStringLiteral("MiXed.Com") << QStringLiteral("MiXed.Com");
    QTest::newRow("hostile name: quotes, blanks, ? # %") << QStringLiteral(
        "a\" & calc \"b?c=1#frag%41.com") << QStringLiteral("a%22%20%26%20calc%20%22b%3Fc%3D1%23frag%2541.com");
    QTest::newRow("shell characters") << QStringLiteral("x.com;rm -rf ~|`id`")
                                      << QStringLiteral("x.com%3Brm%20-rf%20~%7C%60id%60");
    QTest::newRow("chinese name") << QStringLiteral("中文.com") << QStringLiteral("%E4%B8%AD%E6%96%87.com");
    QTest::newRow("parent segments: slashes encoded, the page stays below /backorder/")
        << QStringLiteral("../../x.com") << QStringLiteral("..%2F..%2Fx.com");
    QTest::newRow("NUL and control characters")
        << (QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b\u0001\u007f\r\n.com"))
        << QStringLiteral("a%00b%01%7F%0D%0A.com");
    QTest::newRow("right-to-left override") << QStringLiteral("\u202Emoc.com") << QStringLiteral("%E2%80%AEmoc.com");
    QTest::newRow("64 KiB name") << QString(64 * 1024, u'a') << QString(64 * 1024, u'a');
}

// The name ".." cannot be carried below /backorder/: nothing is opened rather than another page.
void TestActions::bookDotSegmentNameOpensNothing()
{
    Form1 form(testConfig());
    form.List1->AddItems({ QStringLiteral("..") });
    form.List1->setListIndex(0);
    UrlCatcher urls;
    BoxAnswerer boxes;

    form.ydym->trigger();

    QVERIFY(urls.opened.isEmpty());
    QVERIFY(boxes.seen.isEmpty());
}

void TestActions::bookOpensBackorderPage()
{
    QFETCH(QString, domain);
    QFETCH(QString, encodedTail);

    Form1 form(testConfig());
    form.List1->AddItems({ QStringLiteral("before.com"), domain });
    form.List1->setListIndex(1);
    form.setStatusText(QStringLiteral("查询完毕 .."));
    UrlCatcher urls;
    BoxAnswerer boxes;

    form.ydym->trigger();

    QCOMPARE(urls.opened.size(), 1);
    const QUrl opened = urls.opened[0];
    QCOMPARE(opened.toString(QUrl::FullyEncoded), MarketUrl + QStringLiteral("/backorder/") + encodedTail);
    // Nothing of the name leaks into the query or a fragment; decoded, the path holds it unchanged.
    QVERIFY(!opened.hasQuery());
    QVERIFY(!opened.hasFragment());
    QCOMPARE(opened.host(), QStringLiteral("127.0.0.1"));
    QCOMPARE(opened.path(QUrl::FullyDecoded), QStringLiteral("/backorder/") + domain);
    // Booking writes no status message.
    QCOMPARE(form.statusText(), QStringLiteral("查询完毕 .."));
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("held before"));
}

QTEST_MAIN(TestActions)
#include "tst_actions.moc"
