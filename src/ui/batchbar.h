// The domain table's batch lookup row: 批量查询, 查询其他后缀, 暂停/继续 and 取消, the progress bar and what the
// batch waits for. It runs one batch at a time, hands on each answer and says how the batch goes. With
// 查询其他后缀 ticked, DNS is asked besides whether each name's label is taken under the usual other suffixes.
#pragma once

#include "core/batch/batchlookup.h"
#include "core/config.h"
#include "core/dns/othersuffixcheck.h"

#include <QPointer>
#include <QWidget>

class HistoryStore;
class PageFetcher;
class QCheckBox;
class QLabel;
class QSettings;
class QProgressBar;
class QPushButton;

class BatchBar : public QWidget
{
    Q_OBJECT
public:
    // history may be null: no answers are taken from it then. The bar records nothing: its window does.
    BatchBar(const AppConfig &config, const HistoryStore *history, QWidget *parent = nullptr);
    ~BatchBar() override;

    void setOptions(const BatchOptions &options) { m_options = options; }
    bool isRunning() const { return !m_batch.isNull(); }
    // Nothing when a batch is running already.
    void start(const QStringList &domains);
    void pauseOrResume();
    // finished follows at once when a batch was running.
    void cancel();
    // No progress shown, for a new list.
    void clearProgress();
    // Whether 查询其他后缀 is ticked; on until the user unticks it.
    bool checksOtherSuffixes() const;
    void restoreSettings(const QSettings &settings);
    void saveSettings(QSettings &settings) const;

    // For the window's commands, which these buttons run.
    QPushButton *lookupButton() const { return m_lookupButton; }
    QPushButton *pauseButton() const { return m_pauseButton; }
    QPushButton *cancelButton() const { return m_cancelButton; }

signals:
    // fromHistory when no request was made.
    void lookedUp(const LookupRecord &record, bool fromHistory);
    // fresh: what DNS said now, for the window to record.
    void elsewhereChecked(const QString &domain, const ElsewhereResult &result, const QList<ElsewhereState> &fresh);
    void statusChanged(const QString &text);
    void runningChanged();

private:
    void finish(int done, int failed, bool cancelled);
    void showPaused();

    const AppConfig m_config;
    const HistoryStore *const m_history;
    PageFetcher *const m_fetcher;
    BatchOptions m_options;
    QPointer<BatchLookup> m_batch;
    QPointer<OtherSuffixCheck> m_elsewhere; // lives until its names are answered, or the batch is cancelled

    QPushButton *m_lookupButton = nullptr;
    QCheckBox *otherSuffixesCheck = nullptr;
    QPushButton *m_pauseButton = nullptr;
    QPushButton *m_cancelButton = nullptr;
    QProgressBar *progressBar = nullptr;
    QLabel *progressLabel = nullptr;
};
