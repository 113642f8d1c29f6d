// What appraising names costs: 1,000,000 names of the sample marketplace's pages appraised one after
// the other on this thread; "vexlon-collector appraise" over 200,000 names from stdin, its rows to
// /dev/null, start to end; and the domain table's filter by a tag over 100,000 different names (the
// slowest of a few tags counts).
//
//   bench-appraise
#include "bench/benchcommon.h"
#include "core/appraise/appraisal.h"
#include "core/table/domaintablemodel.h"
#include "core/table/domaintableproxy.h"
#include "tools/samplemarket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qsizetype AppraisedNames = 1000000;
constexpr double AppraiseTargetMs = 1000;
constexpr qsizetype CommandNames = 200000;
constexpr double CommandTargetMs = 2000;
constexpr qsizetype TableRows = 100000;
constexpr double FilterTargetMs = 50;

// Names of the pages from the first on, repeats and all, until there are count of them.
QStringList namesOfPages(qsizetype count)
{
    QStringList names;
    names.reserve(count);
    for (int page = 1; names.size() < count; ++page) {
        for (const std::string &name : SampleMarket::namesForPage(page)) {
            if (names.size() < count)
                names.append(QString::fromStdString(name));
        }
    }
    return names;
}

QStringList differentNames(qsizetype count)
{
    QStringList names;
    QSet<QString> seen;
    for (int page = 1; names.size() < count && page < 100 * count; ++page) {
        for (const std::string &name : SampleMarket::namesForPage(page)) {
            const QString domain = QString::fromStdString(name);
            if (names.size() < count && !seen.contains(domain)) {
                seen.insert(domain);
                names.append(domain);
            }
        }
    }
    return names;
}

// "vexlon-collector appraise" with the names on stdin, from its start to its end; std::nullopt when it failed.
std::optional<double> timeAppraiseCommand(const QStringList &names)
{
    QTemporaryFile input;
    if (!input.open() || input.write((names.join(u'\n') + u'\n').toUtf8()) < 0 || !input.flush())
        return std::nullopt;
    QProcess program;
    program.setStandardInputFile(input.fileName());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vexlon-collector"),
        { QStringLiteral("appraise"), QStringLiteral("--format"), QStringLiteral("csv") });
    if (!program.waitForFinished(120000) || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0)
        return std::nullopt;
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    std::printf("appraise: %s build\n", BENCH_BUILD_TYPE);

    const QStringList names = namesOfPages(AppraisedNames);
    // The word list is read when first needed: once, before the clock starts.
    isEnglishWord(QStringLiteral("word"));
    QElapsedTimer clock;
    clock.start();
    const NameTag twoSyllables = *nameTagFromText(u"双拼");
    qsizetype tagged = 0;
    for (const QString &name : names)
        tagged += appraise(name).tags.contains(twoSyllables);
    const double appraiseMs = clock.nsecsElapsed() / 1e6;
    std::printf("appraise: %lld names appraised on one thread (%lld 双拼): %.0f ms (target under %.0f ms): %s\n",
        qlonglong(names.size()), qlonglong(tagged), appraiseMs, AppraiseTargetMs,
        Bench::verdict(appraiseMs < AppraiseTargetMs));

    const std::optional<double> commandMs = timeAppraiseCommand(names.mid(0, CommandNames));
    if (commandMs)
        std::printf("appraise: \"vexlon-collector appraise --format csv\" of %lld names from stdin to /dev/null: "
                    "%.0f ms (target under %.0f ms): %s\n",
            qlonglong(CommandNames), *commandMs, CommandTargetMs, Bench::verdict(*commandMs < CommandTargetMs));
    else
        std::printf("appraise: \"vexlon-collector appraise\" failed: %s\n", Bench::verdict(false));

    DomainTableModel model;
    DomainTableProxy proxy(&model);
    const QStringList tableNames = differentNames(TableRows);
    clock.restart();
    model.setDomains(tableNames);
    std::printf(
        "appraise: table of %d different names made in %.0f ms\n", model.rowCount(), clock.nsecsElapsed() / 1e6);
    std::vector<double> filterMs;
    QStringList shownCounts;
    for (const char *tag : { "双拼", "纯数字", "AABB", "英文单词" }) {
        DomainFilter filter;
        filter.requiredTags = { QString::fromUtf8(tag) };
        clock.restart();
        TableFilter tableFilter;
        tableFilter.names = filter;
        proxy.setFilter(tableFilter);
        const int shown = proxy.shownCount();
        filterMs.push_back(clock.nsecsElapsed() / 1e6);
        shownCounts.append(QStringLiteral("%1 %2").arg(QString::fromUtf8(tag)).arg(shown));
    }
    const double slowestFilter = *std::max_element(filterMs.begin(), filterMs.end());
    std::printf("appraise: table filter by one tag at %d rows (%s): slowest %.1f ms (target under %.0f ms): %s\n",
        model.rowCount(), qPrintable(shownCounts.join(QLatin1String(", "))), slowestFilter, FilterTargetMs,
        Bench::verdict(slowestFilter < FilterTargetMs));

    const bool met
        = appraiseMs < AppraiseTargetMs && commandMs && *commandMs < CommandTargetMs && slowestFilter < FilterTargetMs;
    std::printf("appraise: targets (1,000,000 names under 1 s, the command under 2 s, the filter under 50 ms): %s\n",
        Bench::verdict(met));
    return commandMs ? 0 : 1;
}
