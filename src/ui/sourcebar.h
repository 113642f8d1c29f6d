// The domain table's source row: where the list comes from (the main window's list, a day of the history,
// a text file) and how many names it has. It reads a day or a file and hands the names on; a large file
// is read off the window's thread.
#pragma once

#include <QDate>
#include <QStringList>
#include <QWidget>

class HistoryStore;
class QDateEdit;
class QLabel;
class QPushButton;

class SourceBar : public QWidget
{
    Q_OBJECT
public:
    // history may be null: no days to read then.
    explicit SourceBar(const HistoryStore *history, QWidget *parent = nullptr);

    void showNames(const QStringList &names);
    void showDay(const QDate &day);
    // False, after telling the user why, when the file cannot be read. A large file's names come once it
    // has been read, unless another list came first.
    bool showFile(const QString &path);
    void chooseFile();
    // Names from elsewhere (a watch's matches), under the source's name.
    void showList(const QStringList &names, const QString &source);
    // The source as the table shows it, with how many names it kept.
    void showCount(const QString &source, int names);

    QPushButton *openFileButton() const { return m_openFileButton; }

signals:
    void listChosen(const QStringList &names, const QString &source);
    void statusChanged(const QString &text);

private:
    void tellReadFailure(const QString &path, const QString &reason);

    const HistoryStore *const m_history;
    // Counts the lists chosen: a file read in the background is shown only if no other list came since.
    quint64 m_listsChosen = 0;
    QLabel *sourceLabel = nullptr;
    QDateEdit *dateEdit = nullptr;
    QPushButton *loadDayButton = nullptr;
    QPushButton *m_openFileButton = nullptr;
};
