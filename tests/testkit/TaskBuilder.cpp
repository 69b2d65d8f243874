#include "TaskBuilder.h"

#include "SchedOrdClock.h"
#include "SchedOrdTaskTime.h"
#include "ServiceScheduledOrder.h"
#include "Util.h"

#include <algorithm>

using namespace VELMSCHEDORDAPI;

namespace VelmTest {

SchedOrdSubTaskField makeSubTask(const OrderSpec& order, int mainTaskId, int subTaskId)
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = mainTaskId;
    sub.SubTaskID = subTaskId;
    const QString code = order.securityKey.section(QLatin1Char('.'), 0, 0);
    const QString exchange = order.securityKey.section(QLatin1Char('.'), 1, 1);
    sub.SecurityID = code.toStdString();
    sub.ExchangeID = exchange == QLatin1String("SH") ? '1' : exchange == QLatin1String("SZ") ? '2' : '4';
    sub.SecurityKey = order.securityKey.toStdString();
    sub.Direction = order.direction;
    sub.TriggerTime = SchedOrdTaskTime::fromClockTime(0, 0, 0);
    sub.TargetVolume = order.volume;
    sub.SubTaskStatus = '1';
    sub.TriggerStatus = '1';
    sub.PriceType = order.priceType;
    sub.PriceFloatType = '0';
    sub.StartTime = order.startTime;
    sub.EndTime = order.startTime;
    return sub;
}

SchedOrdTaskField makeMainTask(ServiceScheduledOrder& service, const QString& name, const QList<OrderSpec>& orders)
{
    SchedOrdTaskField task;
    task.MainTaskID = service.getNextMainTaskID();
    task.MainTaskName = Util::QStr2str(name);
    task.MainTaskStatus = '1';
    task.TriggerStatus = '1';
    task.CreateTime = SchedOrdTaskTime::fromClockTime(8, 0, 0);
    for (const OrderSpec& order : orders)
        task.VecSubTask.push_back(makeSubTask(order, task.MainTaskID, service.getNextSubTaskID()));
    if (task.VecSubTask.empty())
        return task;
    const SchedOrdSubTaskField& first = task.VecSubTask.front();
    task.StartTime = first.StartTime;
    task.EndTime = first.EndTime;
    task.Direction = first.Direction;
    for (const SchedOrdSubTaskField& sub : task.VecSubTask) {
        task.StartTime = std::min(task.StartTime, sub.StartTime);
        task.EndTime = std::max(task.EndTime, sub.EndTime);
        task.IsSameStartTime = task.IsSameStartTime && sub.StartTime == first.StartTime;
        task.IsSameEndTime = task.IsSameEndTime && sub.EndTime == first.EndTime;
        if (sub.Direction != first.Direction)
            task.Direction = 0;
    }
    return task;
}

int addMainTask(ServiceScheduledOrder& service, const QString& name, const QString& securityKey, int count,
                int64_t start, char direction)
{
    QList<OrderSpec> orders;
    for (int i = 0; i < count; ++i)
        orders.append({securityKey, direction, start, 100, 1});
    const SchedOrdTaskField task = makeMainTask(service, name, orders);
    service.AddMainTasks({task});
    return task.MainTaskID;
}

std::shared_ptr<ManualSchedOrdClock> driveClock(ServiceScheduledOrder& service, int64_t start)
{
    auto clock = std::make_shared<ManualSchedOrdClock>(start);
    service.setClock(clock);
    return clock;
}

} // namespace VelmTest
