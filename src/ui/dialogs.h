// Every message box and file dialog of the program goes through here. Boxes and dialogs are
// modal but never block: the code that waits for one gives a callback, which runs when the user
// closes it, and never once its parent window is gone.
//
// Tests answer them in advance (setAnsweredInAdvance, setNextSaveFileName): the box or dialog is
// then not shown, what it would have said is kept, and the callback runs at once.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace Dialogs {

// The title of every box of the program.
QString messageTitle();

// A box with the text, the icon and the OK button alone, modal for the whole program. onClosed runs
// when it is closed, however that happens.
void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text, std::function<void()> onClosed = {});

// A modal save dialog with the title and the name filter, offering suggestedPath. onChosen runs
// with the chosen path; not at all when the user cancels.
void chooseSaveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suggestedPath,
                    std::function<void(const QString &path)> onChosen);

// A modal box asking for one line of text, offering initialText. onAnswered runs with what the user
// wrote once they press OK; not at all when they cancel.
void askText(QWidget *parent, const QString &title, const QString &label, const QString &initialText,
             std::function<void(const QString &text)> onAnswered);

// A modal question with 是 and 否; onYes runs only when the user says yes.
void confirm(QWidget *parent, const QString &text, std::function<void()> onYes);

// Closes every box and dialog open over parent without running their callbacks: what they waited for
// is not to happen any more (the window is closing).
void dismissAll(QWidget *parent);

// ---- for tests ----
struct AnsweredMessage
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
};
struct AnsweredSaveDialog
{
    QString title;
    QString filter;
    QString suggestedPath;
};

// While on, boxes are answered with OK without being shown.
void setAnsweredInAdvance(bool answered);
// The boxes answered so far, oldest first; taking them forgets them.
QList<AnsweredMessage> takeAnsweredMessages();
// The next save dialog is answered with this path, or cancelled for std::nullopt, without being
// shown. Each call answers one dialog.
void setNextSaveFileName(const std::optional<QString> &path);
QList<AnsweredSaveDialog> takeAnsweredSaveDialogs();
// The next text box is answered with this text, or cancelled for std::nullopt, without being shown.
void setNextText(const std::optional<QString> &text);
// The next question is answered yes or no without being shown.
void setNextConfirmation(bool yes);
// Forgets the save answers not used yet and the boxes and dialogs answered so far.
void clearAnswers();

} // namespace Dialogs
