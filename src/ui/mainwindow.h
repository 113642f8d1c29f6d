// The main window: the domain list and its page count, the domain info area, the buttons and the
// status line. It connects the operations of the core to its controls and only moves values.
#pragma once

#include "core/config.h"

#include <QPointer>
#include <QWidget>

class CollectionRun;
class DomainListView;
class DomainTableWindow;
class DomainLookup;
class ElidedLabel;
class HistoryStore;
class HistoryWriter;
class PageCountArrows;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class SinglePageCollection;
class UpdateCheck;
struct BackorderPage;
struct VersionVerdict;
enum class LookupTrigger;

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    // With a history, the window records its runs and lookups there.
    explicit MainWindow(const AppConfig &config = AppConfig(), HistoryStore *history = nullptr,
                        QWidget *parent = nullptr);
    ~MainWindow() override;

    // Shows the window centred on its screen.
    void showCentred();
    // Asks the update server for the published version and tells the user what it means.
    void checkForUpdates();

    // What the buttons and the domain list's menu do.
    void startOrStopCollection();
    void saveList();
    void copyDomain();
    void queryDomain(LookupTrigger trigger);
    void bookDomain();
    void openHomePage();
    void openForum();
    // Ctrl+B: the domain table window with the list's names.
    void openTableWindow();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createStatusBar();
    void createDomainMenu();
    void connectOperations();
    void recordInHistory(HistoryWriter *writer);

    void pageCountEdited(const QString &text);
    void appendNames(const QStringList &names);
    void showStatus(const QString &text);
    void showBackorder(const BackorderPage &values);
    void showKeyValue(ElidedLabel *label, const QString &text);
    void layOutKeyValues();
    void updateCheckFinished(const VersionVerdict &verdict);

    AppConfig m_config;
    HistoryStore *m_history = nullptr;
    HistoryWriter *m_historyWriter = nullptr;
    QPointer<DomainTableWindow> m_tableWindow;
    PageFetcher *m_fetcher = nullptr;
    bool m_toldNoNotifications = false;
    CollectionRun *m_collectionRun = nullptr;
    SinglePageCollection *m_singlePageCollection = nullptr;
    DomainLookup *m_lookup = nullptr;
    UpdateCheck *m_updateCheck = nullptr;
    // The save dialog offers the file chosen last time again.
    QString m_lastSavePath;

    DomainListView *domainList = nullptr;
    QLineEdit *pageCountEdit = nullptr;
    PageCountArrows *pageCountArrows = nullptr;
    ElidedLabel *deletionTypeLabel = nullptr;
    ElidedLabel *deletionTimeLabel = nullptr;
    ElidedLabel *deadlineLabel = nullptr;
    ElidedLabel *icpFilingLabel = nullptr;
    ElidedLabel *platformCell = nullptr;
    ElidedLabel *priceCell = nullptr;
    ElidedLabel *rmbCell = nullptr;
    ElidedLabel *depositCell = nullptr;
    QPlainTextEdit *whoisText = nullptr;
    QPushButton *startButton = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *homePageButton = nullptr;
    QPushButton *forumButton = nullptr;
    QPushButton *exitButton = nullptr;
    QLabel *statusLine = nullptr;
    QMenu *domainMenu = nullptr;
    QAction *copyAction = nullptr;
    QAction *queryAction = nullptr;
    QAction *bookAction = nullptr;
};
