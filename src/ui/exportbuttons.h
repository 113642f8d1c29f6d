// 导出CSV and 导出TXT: the rows the table shows, in a file the user chooses, suggested beside the last one.
#pragma once

#include <QWidget>

class DomainTableProxy;
class QPushButton;
class QSettings;

class ExportButtons : public QWidget
{
    Q_OBJECT
public:
    explicit ExportButtons(const DomainTableProxy *proxy, QWidget *parent = nullptr);

    // CSV: every column of the rows shown; else their names, one a line, in GBK.
    void exportShown(bool csv);

    void restoreSettings(const QSettings &settings);
    void saveSettings(QSettings &settings) const;

    // For the window's commands, which these buttons run.
    QPushButton *csvButton() const { return m_csvButton; }
    QPushButton *txtButton() const { return m_txtButton; }

private:
    QString suggestedPath(const QString &extension) const;

    const DomainTableProxy *const m_proxy;
    QString m_lastPath;
    QPushButton *m_csvButton = nullptr;
    QPushButton *m_txtButton = nullptr;
};
