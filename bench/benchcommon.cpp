#include "bench/benchcommon.h"

#include "tools/fakesite.h"
#include "tools/samplemarket.h"

#include <QFile>

#include <algorithm>

namespace Bench {

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double medianOfLast(const std::vector<double> &values, std::size_t count)
{
    const std::size_t first = values.size() > count ? values.size() - count : 0;
    return median(std::vector<double>(values.begin() + std::ptrdiff_t(first), values.end()));
}

QStringList toQStringList(const std::vector<std::string> &names)
{
    QStringList list;
    list.reserve(qsizetype(names.size()));
    for (const std::string &name : names)
        list.append(QString::fromStdString(name));
    return list;
}

QStringList namesOfPages(int first, int last)
{
    QStringList names;
    for (int page = first; page <= last; ++page)
        names.append(toQStringList(SampleMarket::namesForPage(page)));
    return names;
}

bool startSampleMarket(FakeSite &site, int pageCount, int latencyMs)
{
    site.setPageCount(pageCount);
    site.setLatency(std::chrono::milliseconds(latencyMs));
    return site.start();
}

std::optional<double> peakMemoryMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    // Files under /proc tell no size: read to the end rather than up to it.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("VmHWM:"))
            continue;
        // "VmHWM:     123456 kB"
        bool ok = false;
        const double kib = line.mid(6).trimmed().split(' ').value(0).toDouble(&ok);
        return ok ? std::optional<double>(kib / 1024) : std::nullopt;
    }
    return std::nullopt;
}

const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

} // namespace Bench
