#include "SchedOrdTaskTime.h"

#include <QDateTime>
#include <QTime>

#include <ctime>
#include <utility>

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

SchedOrdTaskTime::Clock& moduleClock()
{
    static SchedOrdTaskTime::Clock clock;
    return clock;
}

} // namespace

QDateTime SchedOrdTaskTime::currentDateTime()
{
    const Clock& clock = moduleClock();
    return clock ? clock() : QDateTime::currentDateTime();
}

void SchedOrdTaskTime::setClock(Clock clock)
{
    moduleClock() = std::move(clock);
}

int64_t SchedOrdTaskTime::fromClockTime(int hour, int minute, int second)
{
    const QDate today = currentDateTime().date();
    return fromLocalDateTime(today.year(), today.month(), today.day(), hour, minute, second);
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

int64_t SchedOrdTaskTime::currentSecond()
{
    const QDateTime now = currentDateTime();
    const QDate day = now.date();
    const QTime time = now.time();
    return fromLocalDateTime(day.year(), day.month(), day.day(), time.hour(), time.minute(), time.second());
}

int64_t SchedOrdTaskTime::now()
{
    return currentDateTime().toMSecsSinceEpoch() * (TicksPerSecond / 1000);
}

} // namespace VELMSCHEDORDAPI
