#include <QApplication>
#include <QFile>

extern "C" __attribute__((visibility("default"))) int SkinH_AttachEx(const char *skinFile, const char *password)
{
    Q_UNUSED(password)
    QFile file(QString::fromLocal8Bit(skinFile ? skinFile : ""));
    if (!qApp || !file.open(QIODevice::ReadOnly | QIODevice::Text))
        return 0;
    qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
    return 1;
}
