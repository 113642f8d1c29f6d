// The save dialog of the export. It keeps the name chosen last time and offers it again.
// Tests answer it through setResponder() instead of a real dialog.
#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

class SaveDialog
{
public:
    QString DialogTitle;
    QString Filter = QStringLiteral("文本文件 (*.txt)");
    // The full path of the file chosen last; offered again at the next showing.
    QString FileName;

    // Shows the modal save dialog. False when it was cancelled; FileName is then unchanged.
    bool ShowSave(QWidget *parent);

    // Answers the next showings without a dialog: the chosen path, or std::nullopt for a cancel.
    using Responder = std::function<std::optional<QString>(const SaveDialog &dialog)>;
    void setResponder(Responder responder) { m_responder = std::move(responder); }

private:
    Responder m_responder;
};
