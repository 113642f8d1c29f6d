#include "ui/dialogs.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>

namespace Dialogs {

namespace {

// A box grows with its text; text from a server or a long path must not make it larger than the screen.
constexpr qsizetype MaxLineChars = 100;
constexpr qsizetype MaxLines = 30;

QString boundedForBox(const QString &text)
{
    QStringList lines = text.split(u'\n');
    if (lines.size() > MaxLines) {
        lines.resize(MaxLines - 1);
        lines.append(QStringLiteral("……"));
    }
    for (QString &line : lines) {
        if (line.size() > MaxLineChars)
            line = line.left(MaxLineChars / 2 - 1) + QChar(0x2026) + line.right(MaxLineChars / 2);
    }
    return lines.join(u'\n');
}

bool answeredInAdvance = false;
QList<AnsweredMessage> answeredMessages;
QList<std::optional<QString>> nextSaveFileNames;
QList<AnsweredSaveDialog> answeredSaveDialogs;
QList<std::optional<QString>> nextTexts;
QList<bool> nextConfirmations;

} // namespace

QString messageTitle()
{
    return QStringLiteral("Vexlon系列软件");
}

void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &text, std::function<void()> onClosed)
{
    if (answeredInAdvance) {
        answeredMessages.append({ icon, messageTitle(), text });
        if (onClosed)
            onClosed();
        return;
    }
    auto *box = new QMessageBox(icon, messageTitle(), boundedForBox(text), QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    // A published version or an error reason is shown as it came, not as markup.
    box->setTextFormat(Qt::PlainText);
    if (onClosed)
        QObject::connect(box, &QMessageBox::finished, box, [onClosed = std::move(onClosed)] { onClosed(); });
    box->show();
}

void chooseSaveFile(QWidget *parent, const QString &title, const QString &filter, const QString &suggestedPath,
                    std::function<void(const QString &path)> onChosen)
{
    if (!nextSaveFileNames.isEmpty()) {
        answeredSaveDialogs.append({ title, filter, suggestedPath });
        const std::optional<QString> path = nextSaveFileNames.takeFirst();
        if (path && !path->isEmpty())
            onChosen(*path);
        return;
    }
    auto *dialog = new QFileDialog(parent, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(filter);
    // No default extension: a name typed without one is used as typed.
    dialog->setDefaultSuffix(QString());
    if (!suggestedPath.isEmpty())
        dialog->selectFile(suggestedPath);
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [onChosen = std::move(onChosen)](const QString &path) {
        if (!path.isEmpty())
            onChosen(path);
    });
    dialog->show();
}

void askText(QWidget *parent, const QString &title, const QString &label, const QString &initialText,
             std::function<void(const QString &text)> onAnswered)
{
    if (!nextTexts.isEmpty()) {
        const std::optional<QString> text = nextTexts.takeFirst();
        if (text)
            onAnswered(*text);
        return;
    }
    auto *dialog = new QInputDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextValue(initialText);
    dialog->setOkButtonText(QStringLiteral("确定"));
    dialog->setCancelButtonText(QStringLiteral("取消"));
    QObject::connect(dialog, &QInputDialog::textValueSelected, dialog,
        [onAnswered = std::move(onAnswered)](const QString &text) { onAnswered(text); });
    dialog->show();
}

void confirm(QWidget *parent, const QString &text, std::function<void()> onYes)
{
    if (!nextConfirmations.isEmpty()) {
        if (nextConfirmations.takeFirst())
            onYes();
        return;
    }
    auto *box = new QMessageBox(QMessageBox::Question, messageTitle(), boundedForBox(text),
        QMessageBox::Yes | QMessageBox::No, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::No);
    box->button(QMessageBox::Yes)->setText(QStringLiteral("是"));
    box->button(QMessageBox::No)->setText(QStringLiteral("否"));
    QObject::connect(box, &QMessageBox::finished, box, [onYes = std::move(onYes)](int result) {
        if (result == QMessageBox::Yes)
            onYes();
    });
    box->show();
}

void dismissAll(QWidget *parent)
{
    qDeleteAll(parent->findChildren<QDialog *>(Qt::FindDirectChildrenOnly));
}

void setAnsweredInAdvance(bool answered)
{
    answeredInAdvance = answered;
}

QList<AnsweredMessage> takeAnsweredMessages()
{
    return std::exchange(answeredMessages, {});
}

void setNextSaveFileName(const std::optional<QString> &path)
{
    nextSaveFileNames.append(path);
}

QList<AnsweredSaveDialog> takeAnsweredSaveDialogs()
{
    return std::exchange(answeredSaveDialogs, {});
}

void setNextText(const std::optional<QString> &text)
{
    nextTexts.append(text);
}

void setNextConfirmation(bool yes)
{
    nextConfirmations.append(yes);
}

void clearAnswers()
{
    nextTexts.clear();
    nextConfirmations.clear();
    nextSaveFileNames.clear();
    answeredMessages.clear();
    answeredSaveDialogs.clear();
}

} // namespace Dialogs
