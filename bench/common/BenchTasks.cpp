#include "BenchTasks.h"

#include "SchedOrdCodes.h"
#include "Util.h"

#include <algorithm>

using namespace VELMSCHEDORDAPI;

namespace BenchTasks {

int64_t toTicks(std::chrono::system_clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count() / 100;
}

double ticksToMs(int64_t ticks)
{
    return static_cast<double>(ticks) / 10000.0;
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(share * static_cast<double>(values.size()) + 0.999999);
    return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

SchedOrdSubTaskField makeSub(int mainId, int subId, int64_t start)
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = mainId;
    sub.SubTaskID = subId;
    sub.SecurityKey = "600000.SH";
    sub.SecurityID = "600000";
    sub.ExchangeID = Exchange::Shanghai;
    sub.Direction = Direction::Buy;
    sub.TargetVolume = 100;
    sub.SubTaskStatus = SubTaskStatus::NotStarted;
    sub.TriggerStatus = SubTriggerStatus::NotTriggered;
    sub.PriceType = 1;
    sub.PriceFloatType = PriceFloatType::Tick;
    sub.StartTime = start;
    sub.EndTime = start;
    return sub;
}

SchedOrdTaskField makeTask(int id, std::vector<SchedOrdSubTaskField> subs)
{
    SchedOrdTaskField task;
    task.MainTaskID = id;
    task.MainTaskName = Util::QStr2str(QStringLiteral("600000_浦发银行"));
    task.MainTaskStatus = MainTaskStatus::NotStarted;
    task.TriggerStatus = MainTriggerStatus::None;
    task.StartTime = subs.front().StartTime;
    task.EndTime = subs.back().EndTime;
    task.IsSameStartTime = task.StartTime == task.EndTime;
    task.IsSameEndTime = task.IsSameStartTime;
    task.Direction = Direction::Buy;
    task.VecSubTask = std::move(subs);
    return task;
}

} // namespace BenchTasks
