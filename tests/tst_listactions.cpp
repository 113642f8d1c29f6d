// What the user does with the collected list: save it to a file, copy a name, book a name in the
// browser; and every command with nothing selected.
#include "tests/sitetest.h"
#include "tests/windowtest.h"
#include "ui/domainlistview.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int WaitMs = 15000;
const QString HeldBefore = u"held before"_s;
const QString Saved = u"域名保存成功!"_s;

// Boxes as "icon title: text", save dialogs as "title | filter | suggested path".
QString box(int icon, const QString &title, const QString &text)
{
    return u"%1 %2: %3"_s.arg(icon).arg(title, text);
}

QString info(const QString &text)
{
    return box(QMessageBox::Information, Dialogs::messageTitle(), text);
}

QStringList boxesShown()
{
    QStringList boxes;
    for (const Dialogs::AnsweredMessage &message : Dialogs::takeAnsweredMessages())
        boxes.append(box(message.icon, message.title, message.text));
    return boxes;
}

QString saveDialog(const QString &suggestedPath)
{
    return u"请选择要保存的路径 | 文本文件 (*.txt) | "_s + suggestedPath;
}

QStringList saveDialogsShown()
{
    QStringList dialogs;
    for (const Dialogs::AnsweredSaveDialog &dialog : Dialogs::takeAnsweredSaveDialogs())
        dialogs.append(dialog.title + u" | "_s + dialog.filter + u" | "_s + dialog.suggestedPath);
    return dialogs;
}

QByteArray linesOf(const QStringList &names)
{
    QByteArray bytes;
    for (const QString &name : names)
        bytes += name.toLatin1() + "\r\n";
    return bytes;
}

} // namespace

class TestListActions : public WindowTest
{
    Q_OBJECT
    QString pathOf(const QString &name) const { return m_dir->filePath(name); }

    QStringList filesInDir() const
    {
        return QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    void save(const std::optional<QString> &answer)
    {
        Dialogs::setNextSaveFileName(answer);
        click("saveButton");
    }

    // Clicks the save button and waits for the real dialog.
    QFileDialog *openSaveDialog()
    {
        click("saveButton");
        QFileDialog *dialog = nullptr;
        const auto shown = [&] { return (dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())); };
        return QTest::qWaitFor(shown, WaitMs) ? dialog : nullptr;
    }

    std::unique_ptr<QTemporaryDir> m_dir;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QGuiApplication::clipboard()->setText(HeldBefore);
        startWindow();
    }

    void cleanup() { endWindow(); }

    void saveEmptyList()
    {
        click("saveButton");
        QCOMPARE(boxesShown(), QStringList { info(u"没有可导出域名,请先进行采集"_s) });
        QVERIFY(saveDialogsShown().isEmpty());
    }

    void saveWritesReplacesAndCancelWritesNothing()
    {
        const QString path = pathOf(u"中文名单.txt"_s);
        const QStringList names { u"中文.com"_s, u"域名.中国"_s, u"𠀀.cn"_s };
        fillList(names, 0);
        save(std::nullopt);
        QVERIFY(filesInDir().isEmpty());
        QVERIFY(boxesShown().isEmpty());
        // Chinese names in GBK bytes under a Chinese file name (tst_listexport writes a list of 40,000).
        save(path);
        QCOMPARE(readFile(path),
            QByteArray::fromHex("d6d0cec42e636f6d0d0a"
                                "d3f2c3fb2ed6d0b9fa0d0a"
                                "953282362e636e0d0a"));
        QCOMPARE(filesInDir(), QStringList { u"中文名单.txt"_s });
        QCOMPARE(domainList()->names(), names);
        fillList({ u"x.cn"_s });
        save(path);
        QCOMPARE(readFile(path), QByteArray("x.cn\r\n"));
        QCOMPARE(boxesShown(), QStringList(2, info(Saved)));
        save(std::nullopt);
        QCOMPARE(readFile(path), QByteArray("x.cn\r\n"));
        QVERIFY(boxesShown().isEmpty());
        // The dialog offers the file chosen last, not one only offered or cancelled.
        QCOMPARE(saveDialogsShown(),
            QStringList({ saveDialog(QString()), saveDialog(QString()), saveDialog(path), saveDialog(path) }));
    }

    // One box with the reason and the file on lines of their own (tst_listexport has the reasons, what stays).
    void saveFailure()
    {
        QVERIFY(QDir(m_dir->path()).mkdir(u"folder"_s));
        fillList({ u"a.com"_s, u"b.com"_s });
        save(pathOf(u"folder"_s));
        const QString text
            = u"域名保存失败!\n原因：同名的文件夹已存在\n文件："_s + QDir::toNativeSeparators(pathOf(u"folder"_s));
        QCOMPARE(boxesShown(), QStringList { box(QMessageBox::Warning, Dialogs::messageTitle(), text) });
        QCOMPARE(filesInDir(), QStringList { u"folder"_s });
    }

    // The list is read when the dialog closes: a page collected while it is open is saved too.
    void saveThroughTheRealDialog()
    {
        fillList({ u"a.com"_s, u"b.com"_s });
        site().hold(pageTarget(1));
        click("startButton");
        QVERIFY(waitForRequest(pageTarget(1)));
        QFileDialog *dialog = openSaveDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), u"请选择要保存的路径"_s);
        QCOMPARE(dialog->nameFilters(), QStringList { u"文本文件 (*.txt)"_s });
        site().release(pageTarget(1));
        QTRY_COMPARE_WITH_TIMEOUT(domainList()->count(), 52, WaitMs);
        const QString typed = pathOf(u"typed-name"_s);
        auto *nameEdit = dialog->findChild<QLineEdit *>(u"fileNameEdit"_s);
        QVERIFY(nameEdit);
        nameEdit->setText(typed);
        static_cast<QDialog *>(dialog)->accept(); // as the Save button does
        QCOMPARE(readFile(typed), linesOf(domainList()->names()));
        QCOMPARE(filesInDir(), QStringList { u"typed-name"_s });
        QCOMPARE(boxesShown(), QStringList { info(Saved) });
        // The next showing offers the name typed this time; cancelling there changes nothing.
        QTRY_VERIFY(!QApplication::activeModalWidget());
        dialog = openSaveDialog();
        QVERIFY(dialog);
        QCOMPARE(dialog->selectedFiles().value(0), typed);
        dialog->reject();
        QCOMPARE(readFile(typed), linesOf(domainList()->names()));
        QVERIFY(boxesShown().isEmpty());
        QVERIFY(saveDialogsShown().isEmpty());
    }

    void windowGoneDuringSaveDialog()
    {
        fillList({ u"a.com"_s });
        QVERIFY(openSaveDialog());
        endWindow();
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QVERIFY(filesInDir().isEmpty());
        QVERIFY(boxesShown().isEmpty());
    }

    // With nothing selected every command says so and does nothing else.
    void noSelection_data()
    {
        QTest::addColumn<QString>("command"); // an action of the menu, or "double-click" below the entries
        QTest::addColumn<QStringList>("entries");
        for (const char *command : { "copyAction", "queryAction", "bookAction", "double-click" }) {
            QTest::addRow("%s, empty list", command) << QString::fromLatin1(command) << QStringList();
            QTest::addRow("%s, none selected", command)
                << QString::fromLatin1(command) << QStringList { u"a.com"_s, u"b.com"_s };
        }
    }

    void noSelection()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, entries);
        fillList(entries);
        if (command == u"double-click") {
            QWidget *area = domainList()->viewport();
            QTest::mouseDClick(area, Qt::LeftButton, {}, QPoint(5, area->height() - 5));
        } else {
            choose(command.toLatin1().constData());
        }
        QCOMPARE(status(), u"请先进行获取 .."_s);
        QCOMPARE(QGuiApplication::clipboard()->text(), HeldBefore);
        QVERIFY(openedUrls.isEmpty());
        QVERIFY(boxesShown().isEmpty());
        QVERIFY(site().requests().empty());
        QCOMPARE(QStringList({ textOf("deletionTypeLabel"), textOf("platformCell"), textOf("icpFilingLabel") }),
            QStringList({ u"删除类型：未查询"_s, u"未查询"_s, u"是否备案：未查询"_s }));
    }

    // Copies the selected entry, not the one the right button went down on.
    void copyPutsExactText()
    {
        fillList({ u"first.com"_s, u"Second-Name.NET "_s, u"third.cn"_s });
        clickRow(1);
        clickRow(2, Qt::RightButton);
        control<QMenu>("domainMenu")->hide();
        choose("copyAction");
        QCOMPARE(QGuiApplication::clipboard()->text(), u"Second-Name.NET "_s);
        QCOMPARE(QGuiApplication::clipboard()->mimeData()->formats(), QStringList { u"text/plain"_s });
        QCOMPARE(status(), u"域名已复制 .."_s);
        QCOMPARE(domainList()->currentRow(), 1);
        QVERIFY(openedUrls.isEmpty());
        QVERIFY(boxesShown().isEmpty());
    }

    void bookOpensBackorderPage_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("encodedTail");
        QTest::newRow("hostile name: quotes, blanks, ? # %")
            << u"a\" & calc \"b?c=1#frag%41.com"_s << u"a%22%20%26%20calc%20%22b%3Fc%3D1%23frag%2541.com"_s;
        QTest::newRow("parent segments: slashes encoded, the page stays below /backorder/")
            << u"../../x.com"_s << u"..%2F..%2Fx.com"_s;
        // Neither name can be carried below /backorder/: nothing opens rather than another page.
        QTest::newRow(".") << u"."_s << QString();
        QTest::newRow("..") << u".."_s << QString();
    }

    void bookOpensBackorderPage()
    {
        QFETCH(QString, domain);
        QFETCH(QString, encodedTail);
        fillList({ u"before.com"_s, domain }, 1);
        const QString statusBefore = status();
        choose("bookAction");
        QCOMPARE(openedUrls.size(), encodedTail.isNull() ? 0 : 1);
        if (!encodedTail.isNull()) {
            const QUrl opened = openedUrls.constFirst();
            QCOMPARE(opened.toString(QUrl::FullyEncoded), siteUrl() + u"/backorder/"_s + encodedTail);
            // Nothing of the name leaks into a query or fragment; decoded, the path holds it unchanged.
            QVERIFY(!opened.hasQuery() && !opened.hasFragment());
            QCOMPARE(opened.path(QUrl::FullyDecoded), u"/backorder/"_s + domain);
        }
        QCOMPARE(status(), statusBefore);
        QCOMPARE(QGuiApplication::clipboard()->text(), HeldBefore);
        QVERIFY(boxesShown().isEmpty());
    }
};

QTEST_MAIN(TestListActions)
#include "tst_listactions.moc"
