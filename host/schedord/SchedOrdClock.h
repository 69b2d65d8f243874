#pragma once

#include "VelmBaseExport.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

class QString;

// The engine's source of time. The engine asks it for "now" and waits through it, so tests can
// drive time by hand while the real clock waits on the wall clock (a stepped system clock then
// neither skips nor repeats a due sub-task).
class VELM_BASE_EXPORT SchedOrdClock
{
public:
    static constexpr int64_t TicksPerSecond = 10000000;

    // The wall clock in ticks, and a tick value as local "%H:%M:%S": the host's own reading of
    // task times, for its log lines and windows.
    static int64_t wallClockNow();
    static QString timeOfDayText(int64_t ticks);

    virtual ~SchedOrdClock();
    // Ticks (100 ns) since the epoch.
    virtual int64_t now() const = 0;
    // Blocks with `lock` released until `deadline` (ticks) is reached or `wake` is notified.
    virtual void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int64_t deadline) = 0;
    // Called by the engine so that a clock whose time moves by hand can wake it.
    virtual void setWakeHandler(std::function<void()> handler);
};

// The system's wall clock.
class VELM_BASE_EXPORT SystemSchedOrdClock final : public SchedOrdClock
{
public:
    int64_t now() const override;
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int64_t deadline) override;
};

// A clock that only moves when told to: tests set and advance it, and the engine wakes at once.
class VELM_BASE_EXPORT ManualSchedOrdClock final : public SchedOrdClock
{
public:
    explicit ManualSchedOrdClock(int64_t start);
    int64_t now() const override;
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int64_t deadline) override;
    void setWakeHandler(std::function<void()> handler) override;

    void setNow(int64_t ticks);
    void advanceSeconds(double seconds);

private:
    void wakeEngine();

    mutable std::mutex m_mutex;
    int64_t m_now;
    std::function<void()> m_wake;
};
