#pragma once

#include <QString>
#include <cstdint>

class QTime;

namespace VELMSCHEDORDAPI {

// Task times: 100-ns ticks since the epoch, made from and shown as a local time of day.
class SchedOrdTaskTime
{
public:
    static constexpr int64_t TicksPerSecond = 10000000;

    // Today's local date at hour:minute:second (through mktime, so the zone's rules apply).
    static int64_t fromClockTime(int hour, int minute, int second);
    // A local date and time of day; the zone's daylight-saving rules decide the offset.
    static int64_t fromLocalDateTime(int year, int month, int day, int hour, int minute, int second);
    // Milliseconds of the time are dropped.
    static int64_t fromQTime(const QTime& time);
    // Local "%H:%M:%S" of the value (seconds truncated toward zero).
    static QString toText(int64_t ticks);
    // Now, in ticks, from the system's wall clock.
    static int64_t now();
};

} // namespace VELMSCHEDORDAPI
