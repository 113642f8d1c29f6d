#include "ui/exportbuttons.h"

#include "core/export/csv.h"
#include "core/export/listexport.h"
#include "core/table/domaintableproxy.h"
#include "ui/controls.h"
#include "ui/dialogs.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QSettings>
#include <QStandardPaths>

ExportButtons::ExportButtons(const DomainTableProxy *proxy, QWidget *parent)
    : QWidget(parent)
    , m_proxy(proxy)
    , m_csvButton(Controls::button(this, "exportCsvButton", QStringLiteral("导出CSV")))
    , m_txtButton(Controls::button(this, "exportTxtButton", QStringLiteral("导出TXT")))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_csvButton);
    layout->addWidget(m_txtButton);
}

QString ExportButtons::suggestedPath(const QString &extension) const
{
    if (m_lastPath.isEmpty()) {
        return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + QStringLiteral("/域名-")
            + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + extension;
    }
    const QFileInfo last(m_lastPath);
    return last.dir().filePath(last.completeBaseName() + extension);
}

void ExportButtons::exportShown(bool csv)
{
    if (m_proxy->rowCount() == 0) {
        Dialogs::showMessage(window(), QMessageBox::Information, QStringLiteral("没有可导出域名"));
        return;
    }
    Dialogs::chooseSaveFile(window(), csv ? QStringLiteral("导出为CSV文件") : QStringLiteral("导出为文本文件"),
        csv ? QStringLiteral("CSV文件 (*.csv)") : QStringLiteral("文本文件 (*.txt)"),
        suggestedPath(csv ? QStringLiteral(".csv") : QStringLiteral(".txt")), [this, csv](const QString &path) {
            m_lastPath = path;
            // Read only now: answers may have come in while the dialog was open.
            QString reason;
            const bool saved = csv ? writeCsv(path, DomainTableModel::columnTitles(), m_proxy->shownRows(), &reason)
                                   : writeDomainList(m_proxy->shownDomains(), path, &reason);
            if (saved) {
                Dialogs::showMessage(window(), QMessageBox::Information, QStringLiteral("域名保存成功!"));
                return;
            }
            Dialogs::showMessage(window(), QMessageBox::Warning,
                QStringLiteral("域名保存失败!\n原因：") + reason + QStringLiteral("\n文件：")
                    + QDir::toNativeSeparators(path));
        });
}

void ExportButtons::restoreSettings(const QSettings &settings)
{
    m_lastPath = settings.value(QStringLiteral("lastExport")).toString();
}

void ExportButtons::saveSettings(QSettings &settings) const
{
    settings.setValue(QStringLiteral("lastExport"), m_lastPath);
}
