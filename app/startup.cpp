#include "app/form1.h"

#include "app/domainlist.h"

#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QMenu>
#include <QScreen>
#include <QUrl>

namespace {

const char SkinLibraryFile[] = "libskinh.so";
const char SkinEntryPoint[] = "SkinH_AttachEx";

} // namespace

bool Form1::Form_Load()
{
    setWindowIcon(QIcon());
    // Appended as it is, slash included, whatever the folder ends in.
    const QString skinFile = m_programFolder + QStringLiteral("/skinh.she");

    // Loaded now, from the program folder, not found along the system's library path.
    const QString libraryPath = m_programFolder + u'/' + QLatin1String(SkinLibraryFile);
    QLibrary skinLibrary(libraryPath);
    if (!skinLibrary.load()) {
        const QString what
            = QFileInfo::exists(libraryPath) ? QStringLiteral("无法加载皮肤组件") : QStringLiteral("找不到皮肤组件");
        showMessage(QMessageBox::Critical,
            QStringLiteral("无法启动：%1 %2\n%3")
                .arg(what, QLatin1String(SkinLibraryFile), QDir::toNativeSeparators(libraryPath)));
        return false;
    }
    using AttachFunction = int (*)(const char *skinFile, const char *password);
    const auto attach = reinterpret_cast<AttachFunction>(skinLibrary.resolve(SkinEntryPoint));
    if (!attach) {
        showMessage(QMessageBox::Critical,
            QStringLiteral("无法启动：皮肤组件 %1 中没有入口 %2")
                .arg(QLatin1String(SkinLibraryFile), QLatin1String(SkinEntryPoint)));
        return false;
    }
    attach(skinFile.toLocal8Bit().constData(), "");

    // First position: the client area centred on the screen.
    if (const QScreen *screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
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

void Form1::List1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, std::optional<QPoint> position)
{
    Q_UNUSED(shift) // Shift, Ctrl and Alt make no difference
    if (button != Qt::RightButton)
        return;
    cxcd->popup(position ? List1->mapToGlobal(*position) : QCursor::pos());
}
