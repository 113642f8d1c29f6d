// Small helpers shared by the benchmark programs.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

class LoopbackServer;

namespace Bench {

double median(std::vector<double> values);
// The median of the last count values (all of them when there are fewer).
double medianOfLast(const std::vector<double> &values, std::size_t count);

QStringList toQStringList(const std::vector<std::string> &names);

// A results page of the sample marketplace, as the program reads it off the wire.
QString sampleResultsPage(int pageNo);

// The sample marketplace with pageCount results pages, no compression and latencyMs added to
// every answer (the only delay of the server). False when it could not bind.
bool startSampleMarket(LoopbackServer &server, int pageCount, int latencyMs);

// This process's peak resident memory (VmHWM), in MiB; std::nullopt when it cannot be read.
std::optional<double> peakMemoryMiB();

// "met" or "MISSED".
const char *verdict(bool met);

} // namespace Bench
