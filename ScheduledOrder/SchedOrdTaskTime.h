#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QDateTime;
class QTime;

namespace VELMSCHEDORDAPI {

// Task times: 100-ns ticks since the epoch, made from and shown as a local time of day.
class SchedOrdTaskTime
{
public:
    static constexpr int64_t TicksPerSecond = 10000000;
    using Clock = std::function<QDateTime()>;

    // The module's "now": the system's local clock unless a test has set another. Every check
    // against now and every "today" of the module reads it (on the GUI thread).
    static QDateTime currentDateTime();
    // An empty clock restores the system's.
    static void setClock(Clock clock);

    // Today's local date at hour:minute:second (through mktime, so the zone's rules apply).
    static int64_t fromClockTime(int hour, int minute, int second);
    // A local date and time of day; the zone's daylight-saving rules decide the offset.
    static int64_t fromLocalDateTime(int year, int month, int day, int hour, int minute, int second);
    // Milliseconds of the time are dropped.
    static int64_t fromQTime(const QTime& time);
    // The current second of today.
    static int64_t currentSecond();
    // Local "%H:%M:%S" of the value (seconds truncated toward zero).
    static QString toText(int64_t ticks);
    // Now, in ticks, from the module's clock.
    static int64_t now();
};

} // namespace VELMSCHEDORDAPI
