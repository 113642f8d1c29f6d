#include "app/savedialog.h"

#include <QFileDialog>

bool SaveDialog::ShowSave(QWidget *parent)
{
    std::optional<QString> chosen;
    if (m_responder) {
        chosen = m_responder(*this);
    } else {
        QFileDialog dialog(parent, DialogTitle);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(Filter);
        // No default extension: a name typed without one is used as typed.
        dialog.setDefaultSuffix(QString());
        if (!FileName.isEmpty())
            dialog.selectFile(FileName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (!chosen || chosen->isEmpty())
        return false;
    FileName = *chosen;
    return true;
}
