// What asking DNS for the other suffixes costs a batch lookup: 1,000 names of the sample marketplace
// looked up (backorder page and ICP page) while DNS is asked, through the same polite clients, whether
// each label is taken under the default other suffixes; the wall time against the bound the web and DNS
// limits set (they run side by side, so the larger of the two).
//
//   bench-lookup [--names 1000] [--rate 50] [--at-once 4] [--dns-rate 100] [--dns-at-once 4]
#include "bench/benchcommon.h"
#include "core/batch/batchlookup.h"
#include "core/dns/othersuffixcheck.h"
#include "core/net/pagefetcher.h"
#include "tools/fakedns.h"
#include "tools/fakesite.h"
#include "tools/samplemarket.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double TargetRatio = 1.15;

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption namesOption(QStringLiteral("names"), QStringLiteral("Names looked up."),
        QStringLiteral("N"), QStringLiteral("1000"));
    const QCommandLineOption rateOption(QStringLiteral("rate"), QStringLiteral("Web requests a second."),
        QStringLiteral("R"), QStringLiteral("50"));
    const QCommandLineOption atOnceOption(QStringLiteral("at-once"), QStringLiteral("Web requests at a time."),
        QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption dnsRateOption(QStringLiteral("dns-rate"), QStringLiteral("DNS queries a second."),
        QStringLiteral("R"), QStringLiteral("100"));
    const QCommandLineOption dnsAtOnceOption(QStringLiteral("dns-at-once"), QStringLiteral("DNS queries at a time."),
        QStringLiteral("N"), QStringLiteral("4"));
    parser.addOptions({ namesOption, rateOption, atOnceOption, dnsRateOption, dnsAtOnceOption });
    parser.addHelpOption();
    parser.process(app);
    const int nameCount = parser.value(namesOption).toInt();
    const double rate = parser.value(rateOption).toDouble();
    const int atOnce = parser.value(atOnceOption).toInt();
    const int dnsRate = parser.value(dnsRateOption).toInt();
    const int dnsAtOnce = parser.value(dnsAtOnceOption).toInt();

    FakeSite site;
    // One page more than the names need: a page may list a name another lists too.
    const int pages = (nameCount + SampleMarket::RowsPerPage - 1) / SampleMarket::RowsPerPage + 1;
    if (!Bench::startSampleMarket(site, pages, 0)) {
        std::fprintf(stderr, "bench-lookup: the sample marketplace cannot listen\n");
        return 1;
    }
    FakeDnsServer dns;
    dns.setAnswerer([](const std::string &name) {
        return SampleMarket::inSampleDns(name) ? FakeDnsServer::Mode::NameServers : FakeDnsServer::Mode::NxDomain;
    });
    if (!dns.start()) {
        std::fprintf(stderr, "bench-lookup: the DNS server cannot listen\n");
        return 1;
    }

    // Names that repeat (the sample's pages may list one twice) are looked up once.
    QStringList names = Bench::namesOfPages(1, pages);
    names.removeDuplicates();
    names = names.mid(0, nameCount);

    AppConfig config;
    config.marketUrl = config.icpUrl = QString::fromStdString(site.url());
    BatchOptions batchOptions;
    batchOptions.politeness.requestsPerSecond = rate;
    batchOptions.politeness.requestsAtOnce = atOnce;
    OtherSuffixOptions elsewhereOptions;
    elsewhereOptions.suffixes = defaultOtherSuffixes();
    elsewhereOptions.dns.server = QString::fromStdString(dns.address());
    elsewhereOptions.dns.queriesPerSecond = dnsRate;
    elsewhereOptions.dns.inFlight = dnsAtOnce;

    PageFetcher fetcher;
    BatchLookup batch(fetcher, config, nullptr, batchOptions);
    OtherSuffixCheck check(elsewhereOptions, nullptr);
    int lookedUp = 0;
    int failed = 0;
    int checked = 0;
    int taken = 0;
    int unknown = 0;
    bool lookupsDone = false;
    QElapsedTimer clock;
    qint64 lookupsMs = 0;
    qint64 dnsMs = 0;
    const auto finishIfDone = [&] {
        if (lookupsDone && checked == names.size())
            app.quit();
    };
    QObject::connect(&batch, &BatchLookup::lookedUp, &app, [&](const LookupRecord &record, bool) {
        ++lookedUp;
        failed += record.failed();
    });
    QObject::connect(&batch, &BatchLookup::finished, &app, [&](int, int, bool) {
        lookupsDone = true;
        lookupsMs = clock.elapsed();
        finishIfDone();
    });
    QObject::connect(&check, &OtherSuffixCheck::checked, &app,
        [&](const QString &, const ElsewhereResult &result, const QList<ElsewhereState> &) {
            ++checked;
            taken += int(result.taken.size());
            unknown += int(result.unknown.size());
            if (checked == names.size())
                dnsMs = clock.elapsed();
            finishIfDone();
        });
    clock.start();
    for (const QString &name : std::as_const(names))
        check.check(name);
    batch.start(names);
    app.exec();
    const double wallSeconds = clock.elapsed() / 1000.0;

    const int webRequests = int(site.requests().size());
    const int queries = int(dns.queries().size());
    // At most R requests in any one second: the first R at once, then R a second.
    const double webBound = (webRequests - 1) / rate;
    const double dnsBound = std::max(0.0, std::ceil(double(queries) / dnsRate) - 1);
    const double bound = std::max(webBound, dnsBound);
    const double ratio = wallSeconds / bound;
    std::printf("bench-lookup: %d names, %d looked up (%d failed), %d checked under other suffixes\n",
        int(names.size()), lookedUp, failed, checked);
    std::printf("  web: %d requests at %.0f a second, %d at once: bound %.2f s, lookups done after %.2f s\n",
        webRequests, rate, atOnce, webBound, lookupsMs / 1000.0);
    std::printf("  DNS: %d queries at %d a second, %d in flight: bound %.2f s, checks done after %.2f s"
                " (%d taken, %d unknown)\n",
        queries, dnsRate, dnsAtOnce, dnsBound, dnsMs / 1000.0, taken, unknown);
    std::printf("  wall time %.2f s against the bound of %.2f s: %.3fx (target within %.2fx: %s)\n", wallSeconds,
        bound, ratio, TargetRatio, Bench::verdict(ratio <= TargetRatio));
    return ratio <= TargetRatio && failed == 0 && unknown == 0 ? 0 : 1;
}
