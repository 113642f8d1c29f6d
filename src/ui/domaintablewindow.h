// The domain table window (域名工作台): a whole list at once, from the main window, a day's runs in the
// history or a text file; sorted and filtered as the user types, looked up in a batch, exported for a
// spreadsheet. Every command has a button and a shortcut, which comes first even in a text field:
//   Ctrl+F filter  Ctrl+L look up  Ctrl+P pause/resume  Esc cancel  Ctrl+C copy  Ctrl+D booking page
//   Ctrl+E export CSV  Ctrl+Shift+E export TXT  Ctrl+O open a file
#pragma once

#include "core/batch/batchlookup.h"
#include "core/config.h"

#include <QDate>
#include <QWidget>

#include <functional>

class BatchBar;
class DomainTableModel;
class DomainTableProxy;
class DomainTableView;
class ExportButtons;
class FilterBar;
class HistoryStore;
class SourceBar;
class WatchPanel;
class HistoryWriter;
class QAction;
class QLabel;
class QPushButton;

class DomainTableWindow : public QWidget
{
    Q_OBJECT
public:
    // history may be null: no first-seen dates and no day's runs then, and lookups are not cached; its
    // lookups are recorded through writer, when there is one. A window of its own even with a parent; it
    // remembers its size, columns, sort and filters.
    explicit DomainTableWindow(const AppConfig &config, HistoryStore *history = nullptr,
        HistoryWriter *writer = nullptr, QWidget *parent = nullptr);
    ~DomainTableWindow() override;

    // The sources. A batch lookup under way is cancelled first.
    void showNames(const QStringList &names);
    void showDay(const QDate &day);
    // False, after telling the user why, when the file cannot be read. A large file is read off the
    // window's thread: its names show once it has been read, unless another list came first.
    bool showFile(const QString &path);

    // How politely batch lookups ask; the defaults suit the real sites.
    void setBatchOptions(const BatchOptions &options);

    // What the buttons and shortcuts do.
    void lookUp();
    void pauseOrResume();
    void cancelLookUp();
    void copySelected();
    void openBookingPage();
    void exportShown(bool csv);
    void chooseFile();
    void focusFilter();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createActions();
    void showList(const QStringList &names, const QString &source);
    void showStatus(const QString &text);
    void updateButtons();
    void restoreSettings();
    void saveSettings();

    const AppConfig m_config;
    HistoryStore *const m_history;
    HistoryWriter *const m_writer;

    DomainTableModel *m_model = nullptr;
    DomainTableProxy *m_proxy = nullptr;

    SourceBar *sourceBar = nullptr;
    FilterBar *filterBar = nullptr;
    WatchPanel *watchPanel = nullptr;
    DomainTableView *table = nullptr;
    BatchBar *batchBar = nullptr;
    QPushButton *copyButton = nullptr;
    QPushButton *bookButton = nullptr;
    ExportButtons *exportButtons = nullptr;
    QLabel *statusLine = nullptr;
    QAction *lookupAction = nullptr;
    QAction *pauseAction = nullptr;
    QAction *cancelAction = nullptr;
    QAction *copyAction = nullptr;
    QAction *bookAction = nullptr;
    QAction *exportCsvAction = nullptr;
    QAction *exportTxtAction = nullptr;
};
