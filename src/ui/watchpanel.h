// The domain table's 关注 panel: the watches kept in the history, each with how many names it matched
// today; choosing one shows its matches. 保存为关注 keeps the filter bar's filter as a watch; a watch can
// be renamed and removed. Every change goes through the history's writer and is answered in the status line.
#pragma once

#include "core/table/domaintableproxy.h"
#include "core/watch/watch.h"

#include <QHash>
#include <QWidget>

class HistoryStore;
class HistoryWriter;
class QListWidget;
class QPushButton;

class WatchPanel : public QWidget
{
    Q_OBJECT
public:
    // Without a history or its writer there are no watches: the panel says so and does nothing.
    WatchPanel(const HistoryStore *history, HistoryWriter *writer, QWidget *parent = nullptr);

    // What 保存为关注 keeps: the names' filter and the age range; the other parts of the table's
    // filter say what is known of a lookup, which a name a run has just seen does not have yet.
    void setCurrentFilter(const TableFilter &filter) { m_filter = filter; }
    // Reads the watches and today's counts again.
    void refresh();

    void saveFilter();
    void renameChosen();
    void removeChosen();

signals:
    // A watch was chosen: its matches, newest first.
    void matchesChosen(const QStringList &names, const QString &source);
    void statusChanged(const QString &text);

private:
    QString chosenWatch() const;
    void showChosen();
    void updateButtons();
    // Sends the change; what the writer answers is said, and the list read again.
    // nameAfter: the watch to keep chosen once it is done.
    void change(int request, const QString &doneText, const QString &nameAfter = QString());
    bool nameIsGood(const QString &name);

    const HistoryStore *const m_history;
    HistoryWriter *const m_writer;
    TableFilter m_filter;
    struct Pending
    {
        QString doneText; // said once it is done
        QString nameAfter;
    };
    QHash<int, Pending> m_pending; // the changes waiting for their answers
    QString m_chooseNext; // kept chosen by the next refresh instead of the one chosen now
    QListWidget *list = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *renameButton = nullptr;
    QPushButton *removeButton = nullptr;
};
