#pragma once

#include "SchedOrdTaskField.h"

#include <QStringList>

#include <cstdint>
#include <memory>

class ManualSchedOrdClock;
class ServiceScheduledOrder;

namespace VelmTest {

// One order of a main task under construction.
struct OrderSpec
{
    QString securityKey;     // e.g. "600000.SH"
    char direction = '0';
    int64_t startTime = 0;
    int volume = 100;
    int priceType = 1;       // ask 1
};

// A sub-task as the module builds one from `order`: code and exchange from the key, not started, not
// fired (trigger time midnight today), a tick shift of 0, ending at its start.
VELMSCHEDORDAPI::SchedOrdSubTaskField makeSubTask(const OrderSpec& order, int mainTaskId = 0, int subTaskId = 0);

// A main task as the module builds one: ids drawn from the service, state not started, the
// aggregates (times, equal-time flags, common direction) computed over its sub-tasks.
VELMSCHEDORDAPI::SchedOrdTaskField makeMainTask(ServiceScheduledOrder& service, const QString& name,
                                                const QList<OrderSpec>& orders);

// Adds a task of `count` buys of one security at `start` and returns its id.
int addMainTask(ServiceScheduledOrder& service, const QString& name, const QString& securityKey, int count,
                int64_t start, char direction = '0');

// Puts a hand-driven clock into the service's engine, set to `start`.
std::shared_ptr<ManualSchedOrdClock> driveClock(ServiceScheduledOrder& service, int64_t start);

} // namespace VelmTest
