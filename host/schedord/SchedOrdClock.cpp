#include "SchedOrdClock.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

namespace {

// A stepped wall clock must be noticed even by a wait that does not follow it.
constexpr int64_t kLongestWaitTicks = SchedOrdClock::TicksPerSecond;

std::chrono::system_clock::time_point toSystemTime(int64_t ticks)
{
    using namespace std::chrono;
    return system_clock::time_point(duration_cast<system_clock::duration>(nanoseconds(ticks * 100)));
}

} // namespace

int64_t SchedOrdClock::wallClockNow()
{
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count() / 100;
}

QString SchedOrdClock::timeOfDayText(int64_t ticks)
{
    const auto seconds = static_cast<std::time_t>(ticks / TicksPerSecond);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char text[16] = {};
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return QString::fromLatin1(text);
}

SchedOrdClock::~SchedOrdClock() = default;

void SchedOrdClock::setWakeHandler(std::function<void()> handler)
{
    Q_UNUSED(handler)
}

int64_t SystemSchedOrdClock::now() const
{
    return wallClockNow();
}

void SystemSchedOrdClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int64_t deadline)
{
    const int64_t capped = std::min(deadline, now() + kLongestWaitTicks);
    // A system_clock deadline follows the wall clock where the platform allows it; the cap
    // covers platforms that convert it to a steady wait once.
    wake.wait_until(lock, toSystemTime(capped));
}

ManualSchedOrdClock::ManualSchedOrdClock(int64_t start)
    : m_now(start)
{
}

int64_t ManualSchedOrdClock::now() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_now;
}

void ManualSchedOrdClock::waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int64_t deadline)
{
    if (deadline <= now())
        return;
    // Only a move of this clock (or other work) can make anything due: wait for the wake handler.
    wake.wait(lock);
}

void ManualSchedOrdClock::setWakeHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_wake = std::move(handler);
}

void ManualSchedOrdClock::setNow(int64_t ticks)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_now = ticks;
    }
    wakeEngine();
}

void ManualSchedOrdClock::advanceSeconds(double seconds)
{
    const auto delta = static_cast<int64_t>(std::llround(seconds * SchedOrdClock::TicksPerSecond));
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_now += delta;
    }
    wakeEngine();
}

void ManualSchedOrdClock::wakeEngine()
{
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        wake = m_wake;
    }
    // Called outside our own lock: the handler takes the engine's wake lock, which the engine
    // holds while this clock decides whether to wait.
    if (wake)
        wake();
}
