#include "app/form1.h"

#include "app/urls.h"
#include "update/versioncheck.h"

void Form1::gx()
{
    int status = 0;
    const QString body = GetBody(Urls::versionFile(config().updateUrl), QStringLiteral("gbk"), &status);
    if (isExiting())
        return;

    // An error page is no version file, even one that holds an entry (a stale copy, a broken
    // back end): the check failed.
    const VersionVerdict verdict
        = judgeVersionFile(isSuccessStatus(status) ? body : QString(), QLatin1String(ProgramVersion));
    switch (verdict.kind) {
    case VersionVerdict::Failed:
        showMessage(QMessageBox::Warning, QStringLiteral("检测更新失败!请您稍后再试,暂时使用原版"));
        return;
    case VersionVerdict::Current:
        setStatusText(QStringLiteral("欢迎使用Vexlon系列软件"));
        return;
    case VersionVerdict::Newer:
        showMessage(QMessageBox::Information,
            QStringLiteral("发现最新版本![") + verdict.version + QStringLiteral("]\r\n \r\n确定后自动打开官方论坛!"));
        if (isExiting())
            return;
        // The same page the forum button opens.
        Command2_Click();
        return;
    }
}
