#include "SchedOrdTaskTime.h"

#include <QTime>

#include <chrono>
#include <ctime>

namespace VELMSCHEDORDAPI {

namespace {

std::tm localTm(std::time_t seconds)
{
    std::tm result{};
#ifdef _WIN32
    localtime_s(&result, &seconds);
#else
    localtime_r(&seconds, &result);
#endif
    return result;
}

} // namespace

int64_t SchedOrdTaskTime::fromClockTime(int hour, int minute, int second)
{
    std::tm today = localTm(std::time(nullptr));
    return fromLocalDateTime(today.tm_year + 1900, today.tm_mon + 1, today.tm_mday, hour, minute, second);
}

int64_t SchedOrdTaskTime::fromLocalDateTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm wanted{};
    wanted.tm_year = year - 1900;
    wanted.tm_mon = month - 1;
    wanted.tm_mday = day;
    wanted.tm_hour = hour;
    wanted.tm_min = minute;
    wanted.tm_sec = second;
    // Let mktime find the offset of that moment: the one of "now" is wrong on a change-over day.
    wanted.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&wanted)) * TicksPerSecond;
}

int64_t SchedOrdTaskTime::fromQTime(const QTime& time)
{
    return fromClockTime(time.hour(), time.minute(), time.second());
}

QString SchedOrdTaskTime::toText(int64_t ticks)
{
    const std::tm local = localTm(static_cast<std::time_t>(ticks / TicksPerSecond));
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return QString::fromLatin1(text);
}

int64_t SchedOrdTaskTime::now()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
}

} // namespace VELMSCHEDORDAPI
