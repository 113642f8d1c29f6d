#include "app/form1.h"

#include "actions/domainexport.h"
#include "app/domainlist.h"
#include "app/savedialog.h"
#include "app/urls.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>

void Form1::Command5_Click()
{
    if (List1->ListCount() == 0) {
        showMessage(QMessageBox::Information, QStringLiteral("没有可导出域名,请先进行采集"));
        return;
    }

    C1->DialogTitle = QStringLiteral("请选择要保存的路径");
    const bool chosen = C1->ShowSave(this);
    if (isExiting() || !chosen)
        return;

    // The list is read only now: a collection run may have added entries while the dialog was open.
    const ExportResult result = writeDomainList(List1->entries(), C1->FileName);
    if (result.saved)
        showMessage(QMessageBox::Information, QStringLiteral("域名保存成功!"));
    else
        showMessage(QMessageBox::Warning, QStringLiteral("域名保存失败!") + result.errorText);
}

void Form1::fz_Click()
{
    const QString domain = List1->text();
    if (domain.isEmpty()) {
        setStatusText(QStringLiteral("请先进行获取 .."));
        return;
    }
    // setText replaces whatever the clipboard held with this one plain-text entry.
    QGuiApplication::clipboard()->setText(domain);
    setStatusText(QStringLiteral("域名已复制 .."));
}

void Form1::ydym_Click()
{
    const QString domain = List1->text();
    if (domain.isEmpty()) {
        setStatusText(QStringLiteral("请先进行获取 .."));
        return;
    }
    // The name comes from a web page: it reaches the browser percent-encoded, never through a shell.
    QDesktopServices::openUrl(Urls::backorderPage(config().marketUrl, domain));
}
