// The one window of the program. It owns every control, the window-level state and every
// handler; the handlers are written in the folder of the subsystem they belong to.
#pragma once

#include "app/config.h"
#include "app/formstate.h"
#include "fetch/pagefetcher.h"

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <optional>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTimer;
class CollectionRun;
class DomainList;
class InternetTransfer;
class SaveDialog;
class SpinArrows;

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(const AppConfig &config = AppConfig(), QWidget *parent = nullptr);
    ~Form1() override;

    const AppConfig &config() const { return m_config; }

    // ---- app/: the window, start-up, exit and the maker's pages ----
    // Attaches the skin, shows the window and runs the version check. Returns false, after
    // telling the user, when the skinning library or its entry point is missing; the window
    // is then never shown.
    bool Form_Load();
    // Where start-up looks for the skinning library and the skin file; the program's folder
    // unless set otherwise.
    QString programFolder() const { return m_programFolder; }
    void setProgramFolder(const QString &folder) { m_programFolder = folder; }

    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    // Opens cxcd for the right button, at the press position (in List1's coordinates) or, without
    // one, at the mouse pointer. The selection is left alone.
    void List1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift = Qt::NoModifier,
                         std::optional<QPoint> position = std::nullopt);
    // Sets a key-and-value label's caption (Label1, Label2, Label12, Label13); the label grows
    // to the right with its text.
    void setAutoSizedCaption(QLabel *label, const QString &text);

    void setStatusText(const QString &text);
    QString statusText() const;
    // A modal box titled "Vexlon系列软件" with an OK button alone.
    void showMessage(QMessageBox::Icon icon, const QString &text);
    // True once the user asked to end the program: waiting handlers stop writing to the window.
    bool isExiting() const { return m_exiting; }

    // ---- fetch/ ----
    // GET with "If-Modified-Since: 0", waiting while window events run. The body decoded by its
    // declared charset (UTF-8 when none); empty when no complete response came. Coding is unused.
    // httpStatus, when given, receives the response's status (0: no response).
    QString GetBody(const QUrl &Url, const QString &Coding, int *httpStatus = nullptr);
    // GET on a worker thread while the window's thread blocks; the body decoded from GBK.
    // std::nullopt when the server could not be reached; empty when the request did not complete.
    std::optional<QString> HtmlStr(const QUrl &url, int *httpStatus = nullptr);
    PageFetcher *fetcher() const { return m_fetcher; }
    // Time-out and size cap of every request of this window.
    FetchLimits fetchLimits;

    // ---- collect/ ----
    void Command1_Click();
    void Timer1_Timer();
    void Text1_Change();
    void HScroll1_Change();
    // Fetches results page PageNo and lists its names. False when the page could not be fetched
    // or holds no results marker: nothing is listed and slots 1 to 3 keep what they held.
    bool jl();
    void jx();
    // jl's steps after the fetch: slots 0 to 2 from the page text, then what jx does. False
    // when the page holds no results marker.
    bool takeResultsPage(const QString &pageText);
    // The text of Text1 as a number.
    double pageCount() const;
    // The bookkeeping of the collection run; made on first use.
    CollectionRun *collectionRun();

    // ---- detail/ ----
    void cx_Click();
    void List1_DblClick();
    void csh();

    // ---- actions/ ----
    // Saves every entry of List1 to the file chosen in C1, one per line.
    void Command5_Click();
    // Copy and book act on the selected entry, never on the one under the pointer.
    void fz_Click();
    void ydym_Click();

    // ---- update/ ----
    // Asks the update server for the published version and tells the user what it means.
    void gx();

    // ---- controls ----
    QGroupBox *Frame1 = nullptr;
    DomainList *List1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QLineEdit *Text1 = nullptr;
    SpinArrows *HScroll1 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label7 = nullptr;
    QLabel *Label8 = nullptr;
    QLabel *Label9 = nullptr;
    QLabel *Label10 = nullptr;
    QLabel *Label11 = nullptr;
    QLabel *Label12 = nullptr;
    QLabel *Label13 = nullptr;
    QFrame *Line1 = nullptr;
    QFrame *Line2 = nullptr;
    QFrame *Line3 = nullptr;
    QFrame *Line4 = nullptr;
    QFrame *Line5 = nullptr;
    QFrame *Line6 = nullptr;
    QFrame *Line7 = nullptr;
    QFrame *Line8 = nullptr;
    QFrame *Line9 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QPlainTextEdit *Text2 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command4 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command3 = nullptr;
    QStatusBar *S1 = nullptr;
    QMenu *cxcd = nullptr;
    QAction *fz = nullptr;
    QAction *x1 = nullptr;
    QAction *cx = nullptr;
    QAction *x2 = nullptr;
    QAction *ydym = nullptr;
    QTimer *Timer1 = nullptr;
    SaveDialog *C1 = nullptr;
    InternetTransfer *Inet1 = nullptr;

    // ---- window-level state ----
    PageSlots PageParts;
    qint16 PageNo = 0;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // app/
    void createControls();
    void connectHandlers();
    void requestExit();

    AppConfig m_config;
    QString m_programFolder;
    PageFetcher *m_fetcher = nullptr;
    QLabel *m_statusLine = nullptr;
    bool m_exiting = false;

    // collect/
    void collectSinglePage();
    void appendCollectedNames(const QStringList &names);
    CollectionRun *m_run = nullptr;

    // detail/
    enum class QueryEntry { Menu, DoubleClick };
    void runDetailQuery(QueryEntry entry);
    // False when the page holds none of the backorder page's markers.
    bool showBackorderPage(const QString &page);
    // Writes Label12. False when the query must write nothing more: the window is closing or
    // a newer query took over during the wait.
    bool lookUpIcpFiling(const QString &domain, QueryEntry entry, quint64 query);
    // Counts queries: one that a newer query overtook during its wait writes nothing more.
    quint64 m_queryGeneration = 0;
};
