// The skinning library: a skin file is a Qt style sheet, applied to the whole application.
// Whatever goes wrong, the call comes back and the look stays as it was.
#include <QApplication>
#include <QFile>
#include <QStringDecoder>

namespace {

// A skin is a page or two of text; anything this large is not one.
constexpr qint64 MaxSkinBytes = 1024 * 1024;

enum AttachResult : int {
    Attached = 1,
    NotAttached = 0,
};

} // namespace

// skinFile: path in the local 8-bit encoding. password: accepted for compatibility, unused.
extern "C" __attribute__((visibility("default"))) int SkinH_AttachEx(const char *skinFile, const char *password)
{
    Q_UNUSED(password)
    auto *application = qobject_cast<QApplication *>(QCoreApplication::instance());
    if (!application || !skinFile || !*skinFile)
        return NotAttached;

    QFile file(QString::fromLocal8Bit(skinFile));
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxSkinBytes)
        return NotAttached;
    const QByteArray bytes = file.read(MaxSkinBytes + 1);
    if (bytes.size() > MaxSkinBytes || bytes.contains('\0'))
        return NotAttached;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString styleSheet = utf8.decode(bytes);
    if (utf8.hasError())
        return NotAttached;

    application->setStyleSheet(styleSheet);
    return Attached;
}
