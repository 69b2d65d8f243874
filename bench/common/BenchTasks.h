#pragma once

#include "SchedOrdTaskField.h"

#include <chrono>
#include <cstdint>
#include <vector>

// What the engine and storage benchmarks share: wall-clock ticks, percentiles, and plain buys of
// 600000.SH built without a service.
namespace BenchTasks {

int64_t toTicks(std::chrono::system_clock::time_point t);
double ticksToMs(int64_t ticks);
// The nearest-rank percentile, `share` in 0..1.
double percentile(std::vector<double> values, double share);

VELMSCHEDORDAPI::SchedOrdSubTaskField makeSub(int mainId, int subId, int64_t start);
VELMSCHEDORDAPI::SchedOrdTaskField makeTask(int id, std::vector<VELMSCHEDORDAPI::SchedOrdSubTaskField> subs);

} // namespace BenchTasks
