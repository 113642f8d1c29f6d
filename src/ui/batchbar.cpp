#include "ui/batchbar.h"

#include "ui/controls.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QSettings>
#include <QLabel>
#include <QProgressBar>

using Controls::button;
using Controls::named;

BatchBar::BatchBar(const AppConfig &config, const HistoryStore *history, QWidget *parent)
    : QWidget(parent)
    , m_config(config)
    , m_history(history)
    , m_fetcher(new PageFetcher(this))
{
    setObjectName(QStringLiteral("batchBar"));
    m_lookupButton = button(this, "lookupButton", QStringLiteral("批量查询"));
    otherSuffixesCheck = named(new QCheckBox(QStringLiteral("查询其他后缀"), this), "otherSuffixesCheck",
        QStringLiteral("查询其他后缀"));
    otherSuffixesCheck->setChecked(true);
    otherSuffixesCheck->setToolTip(QStringLiteral("批量查询时同时经 DNS 查询同名域名在 .com .net .cn .com.cn .org 下是否已注册"));
    m_pauseButton = button(this, "pauseButton", QStringLiteral("暂停"));
    m_cancelButton = button(this, "cancelButton", QStringLiteral("取消"));
    progressBar = named(new QProgressBar(this), "progressBar", QStringLiteral("查询进度"));
    progressBar->setFormat(QStringLiteral("%v / %m"));
    progressLabel = named(new QLabel(this), "progressLabel", QStringLiteral("查询情况"));
    progressLabel->setTextFormat(Qt::PlainText);
    // A host's name may be long: cut at the window's edge rather than widening the window past the screen.
    progressLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    clearProgress();

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *widget : std::initializer_list<QWidget *> { m_lookupButton, otherSuffixesCheck, m_pauseButton, m_cancelButton })
        layout->addWidget(widget);
    layout->addWidget(progressBar, 1);
    layout->addWidget(progressLabel, 1);
}

BatchBar::~BatchBar()
{
    if (m_batch)
        m_batch->disconnect(this);
    if (m_elsewhere)
        m_elsewhere->disconnect(this);
}

bool BatchBar::checksOtherSuffixes() const
{
    return otherSuffixesCheck->isChecked();
}

void BatchBar::restoreSettings(const QSettings &settings)
{
    otherSuffixesCheck->setChecked(settings.value(QStringLiteral("otherSuffixes"), true).toBool());
}

void BatchBar::saveSettings(QSettings &settings) const
{
    settings.setValue(QStringLiteral("otherSuffixes"), otherSuffixesCheck->isChecked());
}

void BatchBar::start(const QStringList &domains)
{
    if (m_batch)
        return;
    m_batch = new BatchLookup(*m_fetcher, m_config, m_history, m_options, this);
    connect(m_batch, &BatchLookup::lookedUp, this, &BatchBar::lookedUp);
    connect(m_batch, &BatchLookup::progress, this, [this](int done, int total, int failed) {
        progressBar->setRange(0, total);
        progressBar->setValue(done);
        progressLabel->setText(QStringLiteral("失败 %L1 个").arg(failed));
    });
    connect(m_batch, &BatchLookup::waiting, this, [this](const QString &host, qint64 milliseconds) {
        progressLabel->setText(QStringLiteral("%1 要求等待 %2 秒 ..").arg(host).arg((milliseconds + 999) / 1000));
    });
    connect(m_batch, &BatchLookup::finished, this, &BatchBar::finish);
    progressBar->setRange(0, int(domains.size()));
    progressBar->setValue(0);
    progressBar->setTextVisible(true);
    progressLabel->clear();
    emit statusChanged(QStringLiteral("正在批量查询 %L1 个域名 ..").arg(domains.size()));
    if (otherSuffixesCheck->isChecked()) {
        if (!m_elsewhere) {
            OtherSuffixOptions options;
            options.suffixes = defaultOtherSuffixes();
            options.dns.server = m_config.dnsServer;
            options.maxAgeSeconds = m_options.maxAgeSeconds;
            options.refresh = m_options.refresh;
            m_elsewhere = new OtherSuffixCheck(options, m_history, this);
            connect(m_elsewhere, &OtherSuffixCheck::checked, this, &BatchBar::elsewhereChecked);
            connect(m_elsewhere, &OtherSuffixCheck::finished, m_elsewhere, &QObject::deleteLater);
        }
        for (const QString &domain : domains)
            m_elsewhere->check(domain);
    }
    m_batch->start(domains);
    emit runningChanged();
}

void BatchBar::pauseOrResume()
{
    if (!m_batch)
        return;
    if (m_batch->isPaused())
        m_batch->resume();
    else
        m_batch->pause();
    showPaused();
    emit statusChanged(m_batch->isPaused() ? QStringLiteral("批量查询已暂停 ..") : QStringLiteral("正在批量查询 .."));
}

void BatchBar::cancel()
{
    if (m_batch)
        m_batch->cancel();
    delete m_elsewhere;
}

void BatchBar::clearProgress()
{
    progressBar->setRange(0, 1);
    progressBar->setValue(0);
    progressBar->setTextVisible(false);
    progressLabel->clear();
}

void BatchBar::finish(int done, int failed, bool cancelled)
{
    if (m_batch)
        m_batch->deleteLater();
    m_batch = nullptr;
    showPaused();
    progressLabel->setText(QStringLiteral("失败 %L1 个").arg(failed));
    emit statusChanged(cancelled ? QStringLiteral("批量查询已取消：已查询 %L1 个域名").arg(done)
                                 : QStringLiteral("批量查询完毕：共 %L1 个域名，失败 %L2 个").arg(done).arg(failed));
    emit runningChanged();
}

void BatchBar::showPaused()
{
    m_pauseButton->setText(m_batch && m_batch->isPaused() ? QStringLiteral("继续") : QStringLiteral("暂停"));
    m_pauseButton->setAccessibleName(m_pauseButton->text());
}
