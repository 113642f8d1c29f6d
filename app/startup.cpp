#include "app/form1.h"

#include "app/domainlist.h"

#include <QCursor>
#include <QDesktopServices>
#include <QLibrary>
#include <QMenu>
#include <QUrl>

bool Form1::Form_Load()
{
    setWindowIcon(QIcon());
    const QString skinFile = m_programFolder + QStringLiteral("/skinh.she");

    QLibrary skinLibrary(m_programFolder + QStringLiteral("/libskinh"));
    using AttachFunction = int (*)(const char *, const char *);
    const auto attach = reinterpret_cast<AttachFunction>(skinLibrary.resolve("SkinH_AttachEx"));
    if (!attach) {
        showMessage(QMessageBox::Critical, QStringLiteral("无法加载皮肤组件: %1").arg(skinLibrary.errorString()));
        return false;
    }
    attach(skinFile.toLocal8Bit().constData(), "");

    show();
    gx();
    return true;
}

void Form1::Command2_Click()
{
    QDesktopServices::openUrl(QUrl(m_config.forumUrl));
}

void Form1::Command3_Click()
{
    close();
}

void Form1::Command4_Click()
{
    QDesktopServices::openUrl(QUrl(m_config.homeUrl));
}

void Form1::List1_MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        cxcd->popup(QCursor::pos());
}
