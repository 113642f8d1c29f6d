// The update check: reads the maker's version file and judges the published version.
#pragma once

#include "core/config.h"
#include "core/update/versionfile.h"

#include <QObject>
#include <QPointer>

class UpdateCheck : public QObject
{
    Q_OBJECT
public:
    UpdateCheck(PageFetcher &fetcher, const AppConfig &config, QObject *parent = nullptr);

    void start();

signals:
    void finished(const VersionVerdict &verdict);

private:
    PageFetcher &m_fetcher;
    const AppConfig m_config;
    QPointer<PendingFetch> m_fetch;
};
