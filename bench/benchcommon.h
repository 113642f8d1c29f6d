// Small helpers shared by the benchmark programs.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class FakeSite;

namespace Bench {

double median(std::vector<double> values);
// The median of the last count values (all of them when there are fewer).
double medianOfLast(const std::vector<double> &values, std::size_t count);

QStringList toQStringList(const std::vector<std::string> &names);
// The sample marketplace's names of pages first to last.
QStringList namesOfPages(int first, int last);

// The sample marketplace with pageCount results pages and latencyMs added to every answer (the only
// delay of the server). False when it could not bind.
bool startSampleMarket(FakeSite &site, int pageCount, int latencyMs);

// This process's peak resident memory (VmHWM), in MiB; std::nullopt when it cannot be read.
std::optional<double> peakMemoryMiB();

// "met" or "MISSED".
const char *verdict(bool met);

} // namespace Bench
