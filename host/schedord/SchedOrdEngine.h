#pragma once

#include "SchedOrdClock.h"
#include "SchedOrdOrderSender.h"
#include "SchedOrdOutbox.h"
#include "SchedOrdStore.h"

#include <QSet>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

class MarketSimulator;
class SecurityCatalogue;
class SimBroker;

// The worker thread of one scheduled-order service. It owns the store, sleeps until the next
// due sub-task, fires every due sub-task in one pass under the lock, matches resting orders
// when their quotes move, and emits what the outbox collected once the lock is released.
// Operations from other threads run under the same lock through change() and read().
class SchedOrdEngine final
{
public:
    using Emitter = std::function<void(const SchedOrdOutbox::Notification&)>;

    SchedOrdEngine(const SecurityCatalogue& catalogue, MarketSimulator& market, SimBroker& broker, Emitter emitter);
    ~SchedOrdEngine();
    SchedOrdEngine(const SchedOrdEngine&) = delete;
    SchedOrdEngine& operator=(const SchedOrdEngine&) = delete;

    // Runs `change(store, outbox, now)` under the lock, then wakes the thread to act on it.
    template <typename Change>
    auto change(Change&& change)
    {
        std::lock_guard<std::mutex> guard(m_sync->mutex);
        auto result = change(m_store, m_outbox, m_clock->now());
        m_sync->wake.notify_all();
        return result;
    }

    // Runs `read(store, outbox)` under the lock.
    template <typename Read>
    auto read(Read&& read) const
    {
        std::lock_guard<std::mutex> guard(m_sync->mutex);
        return read(static_cast<const SchedOrdStore&>(m_store), static_cast<const SchedOrdOutbox&>(m_outbox));
    }

    void setClock(std::shared_ptr<SchedOrdClock> clock);
    // A quote moved: resting orders of that security may trade now.
    void quoteUpdated(const QString& securityKey);
    // Returns once the thread has completed a pass begun after this call (at once on the thread itself).
    void waitForIdle();
    // Stops and joins the thread; nothing is emitted afterwards.
    void stop();

private:
    // Shared with the clock's wake handler, which may outlive the engine.
    struct Sync {
        std::mutex mutex;
        std::condition_variable wake;
    };
    // What one pass did to one main task.
    struct Touched {
        std::unordered_set<int> subTaskIds;
        int fired = 0;
        int filledLater = 0;
        int outcomes[5] = {};                       // by trigger code '1'..'5'
        const VELMSCHEDORDAPI::SchedOrdSubTaskField* last = nullptr;
    };

    void run();
    void runPass(int64_t now);
    void fireDue(int64_t now);
    void matchMovedQuotes(int64_t now);
    void reportTouched(int64_t now);
    void logFired(int64_t now, int mainTaskId, const Touched& touched);
    void logFilled(int64_t now, int mainTaskId, const Touched& touched);
    Touched& touchedOf(int mainTaskId);
    void emitPending(std::unique_lock<std::mutex>& lock);
    bool hasWork() const;
    std::function<void()> wakeHandler() const;

    std::shared_ptr<Sync> m_sync = std::make_shared<Sync>();
    std::condition_variable m_idle;
    std::shared_ptr<SchedOrdClock> m_clock;
    SchedOrdStore m_store;
    SchedOrdOutbox m_outbox;
    SchedOrdOrderSender m_sender;
    Emitter m_emit;

    std::map<int, Touched> m_touched;
    int m_lastTouchedId = 0;
    Touched* m_lastTouched = nullptr;
    QSet<QString> m_movedQuotes;
    std::vector<SchedOrdOutbox::Notification> m_emitting;
    uint64_t m_requestedPass = 0;
    uint64_t m_completedPass = 0;
    bool m_stopping = false;
    bool m_running = false;
    std::thread::id m_threadId;
    std::thread m_thread;
};
