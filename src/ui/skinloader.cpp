#include "ui/skinloader.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {

const char SkinLibraryFile[] = "libskinh.so";
const char SkinEntryPoint[] = "SkinH_AttachEx";

} // namespace

bool attachSkin(const QString &programFolder, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    // Appended as it is, slash included, whatever the folder ends in.
    const QString skinFile = programFolder + QStringLiteral("/skinh.she");

    // Loaded now, from the program folder, not found along the system's library path.
    const QString libraryPath = programFolder + u'/' + QLatin1String(SkinLibraryFile);
    QLibrary skinLibrary(libraryPath);
    if (!skinLibrary.load()) {
        const QString what
            = QFileInfo::exists(libraryPath) ? QStringLiteral("无法加载皮肤组件") : QStringLiteral("找不到皮肤组件");
        return fail(QStringLiteral("无法启动：%1 %2\n%3")
                .arg(what, QLatin1String(SkinLibraryFile), QDir::toNativeSeparators(libraryPath)));
    }
    using AttachFunction = int (*)(const char *skinFile, const char *password);
    const auto attach = reinterpret_cast<AttachFunction>(skinLibrary.resolve(SkinEntryPoint));
    if (!attach)
        return fail(QStringLiteral("无法启动：皮肤组件 %1 中没有入口 %2")
                .arg(QLatin1String(SkinLibraryFile), QLatin1String(SkinEntryPoint)));
    attach(skinFile.toLocal8Bit().constData(), "");
    return true;
}
