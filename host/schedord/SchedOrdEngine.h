#pragma once

#include "BrokerRoute.h"
#include "SchedOrdClock.h"
#include "SchedOrdOrderSender.h"
#include "SchedOrdOutbox.h"
#include "SchedOrdStorage.h"
#include "SchedOrdStore.h"
#include "SimBrokerRoute.h"

#include <QMap>
#include <QSet>
#include <QString>

#include <atomic>
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
// due sub-task and fires what is due in slices of at most SliceSize sub-tasks through its order
// route. A slice is one unit: fire, pass moved quotes to the route, apply the route's reports,
// report what changed to the outbox, all under the lock; then the lock is released, the outbox
// is emitted and operations waiting for the lock (change() from other threads) run before the
// next slice. A read() gets in sooner, between two orders or reports of a slice.
//
// Two locks: the store's, held for a slice, and a small one for waking the thread (new quotes,
// the clock, operations), which nobody holds for long: a quote never waits for a slice.
class SchedOrdEngine final
{
public:
    using Emitter = std::function<void(const SchedOrdOutbox::Notification&)>;

    // Bounds how long an operation waits for a burst; sub-tasks of one main task fired in the
    // same slice are reported together.
    static constexpr int SliceSize = 1000;
    // A route that answers later writes every order to its own store on the way out (about
    // 0.1 ms over FIX): smaller slices keep a pause or a modification from waiting long behind
    // a burst, and each is still reported in one signal per main task.
    static constexpr int RouteSliceSize = 256;
    // Reports of such a route arrive one by one; gathering them this long turns a burst's fills
    // into a handful of signals instead of thousands.
    static constexpr int ReportGatherMs = 10;
    // How many sub-tasks due now are marked as being sent in one durable commit: a burst waits
    // for the disk once, not once per slice.
    static constexpr int MarkAhead = 20000;

    SchedOrdEngine(int accountId, const SecurityCatalogue& catalogue, MarketSimulator& market, SimBroker& broker, Emitter emitter);
    ~SchedOrdEngine();
    SchedOrdEngine(const SchedOrdEngine&) = delete;
    SchedOrdEngine& operator=(const SchedOrdEngine&) = delete;

    using StorageFailureHandler = std::function<void(const QString& message)>;

    // Runs `change(store, outbox, now)` under the lock, stores what it announced, then wakes the
    // thread to act on it. When storing fails the change is undone, nothing of it is announced,
    // the result is false and the failure handler hears why (after the lock is released).
    template <typename Change>
    auto change(Change&& change)
    {
        QString failure;
        auto result = [&] {
            OperationLock lock(*m_sync);
            const SchedOrdOutbox::Checkpoint checkpoint = m_outbox.checkpoint();
            const int64_t now = m_clock->now();
            auto outcome = change(m_store, m_outbox, now);
            if (!commitOperation(checkpoint, now, failure))
                outcome = {};
            requestWake(*m_sync);
            return outcome;
        }();
        if (!failure.isEmpty())
            reportStorageFailure(failure);
        return result;
    }

    // Runs `read(store, outbox)` under the lock. A read need not wait for a slice to end: the
    // engine lets it in between two orders (it sees them fired, their main task not yet settled).
    template <typename Read>
    auto read(Read&& read) const
    {
        OperationLock lock(*m_sync, Access::Read);
        return read(static_cast<const SchedOrdStore&>(m_store), static_cast<const SchedOrdOutbox&>(m_outbox));
    }

    void setClock(std::shared_ptr<SchedOrdClock> clock);
    // Orders leave through `route` from now on (null: the simulated broker). Set it before storage
    // is attached; the route must outlive the engine or be replaced first. Its reports may come
    // on any thread.
    void setRoute(BrokerRoute* route);
    // The account's kind and shareholder accounts, which every order names.
    void setAccount(int apiType, const QMap<char, QString>& shareholderAccounts);
    // From now on every operation and slice is stored there: loads what it holds (with the
    // engine clock's now deciding what was missed), and announces what the load changed.
    bool attachStorage(std::unique_ptr<SchedOrdStorage> storage, int& nextMainTaskId, int& nextSubTaskId,
                       QString* error);
    // Called with the lock held (inside change()): the ids the next commit stores.
    void noteNextIds(int nextMainTaskId, int nextSubTaskId);
    void setStorageFailureHandler(StorageFailureHandler handler);
    bool limitStoragePages(int maxPages);
    // A quote moved: resting orders of that security may trade now. Takes only the wake lock.
    void quoteUpdated(const QString& securityKey);
    // Returns once the thread has completed a pass begun after this call (at once on the thread itself).
    void waitForIdle();
    // Stops and joins the thread after the slice in hand; its notifications still leave.
    void stop();

private:
    // Shared with the clock's wake handler and the route's handlers, which may outlive the engine.
    struct Sync {
        std::mutex mutex;                       // the store, the outbox, the engine's state
        std::atomic<int> waitingOperations{0};      // reads included
        std::atomic<int> waitingReads{0};
        std::condition_variable operationDone;
        bool sliceInFlight = false;                 // guarded by mutex: a change waits it out
        std::condition_variable sliceDone;
        std::mutex wakeMutex;                   // wakeRequested and the engine's incoming quotes
        std::condition_variable wake;
        bool wakeRequested = false;
        std::vector<BrokerExecutionReport> incomingReports;    // guarded by wakeMutex
        bool reconcileRequested = false;                        // guarded by wakeMutex
        bool stopRequested = false;                             // guarded by wakeMutex
        std::atomic<std::thread::id> engineThread;
    };
    enum class Access { Read, Change };
    // The store's lock for an operation from another thread: while one waits, the engine yields
    // between slices, and to a read also between two orders of a slice.
    class OperationLock final
    {
    public:
        explicit OperationLock(Sync& sync, Access access = Access::Change);
        ~OperationLock();
        OperationLock(const OperationLock&) = delete;
        OperationLock& operator=(const OperationLock&) = delete;

    private:
        Sync& m_sync;
    };
    // What one slice did to one main task.
    struct Touched {
        std::vector<int> subTaskIds;                // a fill may repeat a fired one
        int fired = 0;
        int filledLater = 0;
        int rejectedLater = 0;
        int unknownLater = 0;
        int outcomes[5] = {};                       // by trigger code '1'..'5'
        const VELMSCHEDORDAPI::SchedOrdSubTaskField* last = nullptr;
        const VELMSCHEDORDAPI::SchedOrdSubTaskField* lastReported = nullptr;
    };

    static void requestWake(Sync& sync);
    bool commitOperation(const SchedOrdOutbox::Checkpoint& checkpoint, int64_t now, QString& failure);
    void reportStorageFailure(const QString& message);
    void takeDueSlice(int64_t now);
    bool markDueSlice(int64_t now);
    void settleMark(int subTaskId);
    void releaseUnfiredMarks(int64_t now);
    void commitSlice(const SchedOrdOutbox::Checkpoint& checkpoint, int64_t now);
    void run();
    void runPass(std::unique_lock<std::mutex>& lock);
    bool runSlice(std::unique_lock<std::mutex>& lock, int64_t now);
    bool fireDue(std::unique_lock<std::mutex>& lock, int64_t now);
    void letWaitingReadsIn(std::unique_lock<std::mutex>& lock);
    void takeIncoming();
    void passMovedQuotes(int64_t now);
    void applyReport(const BrokerExecutionReport& report);
    void reconcileOpenOrders(int64_t now);
    void installRouteHandlers();
    void reportTouched(int64_t now);
    void logFired(int64_t now, int mainTaskId, const Touched& touched);
    void logReported(int64_t now, int mainTaskId, const Touched& touched);
    Touched& touchedOf(int mainTaskId);
    void emitPending(std::unique_lock<std::mutex>& lock);
    void letWaitingOperationsIn(std::unique_lock<std::mutex>& lock);
    void sleepUntilWoken(std::unique_lock<std::mutex>& lock);
    void gatherReports(std::unique_lock<std::mutex>& wakeLock, const SchedOrdClock& clock, int64_t deadline);
    std::function<void()> wakeHandler() const;

    std::shared_ptr<Sync> m_sync = std::make_shared<Sync>();
    std::condition_variable m_idle;
    std::shared_ptr<SchedOrdClock> m_clock;
    SchedOrdStore m_store;
    SchedOrdOutbox m_outbox;
    std::unique_ptr<SchedOrdStorage> m_storage;
    StorageFailureHandler m_storageFailed;      // set before the first operation
    bool m_sliceStoreFailing = false;           // told once per run of failing slices
    std::vector<SchedOrdStore::SubTaskRef> m_dueSlice;
    std::vector<SchedOrdStore::SubTaskRef> m_toMark;
    std::unordered_set<int> m_markedAhead;      // marked durably, not fired yet
    const int m_accountId;
    SimBroker& m_broker;
    SimBrokerRoute m_simRoute;
    BrokerRoute* m_route = &m_simRoute;
    SchedOrdOrderSender m_sender;
    size_t m_sliceSize = SliceSize;
    bool m_firing = false;                      // a report now is the answer to the order being fired
    Emitter m_emit;

    std::map<int, Touched> m_touched;
    int m_lastTouchedId = 0;
    Touched* m_lastTouched = nullptr;
    QSet<QString> m_incomingQuotes;             // guarded by the wake lock
    QSet<QString> m_movedQuotes;
    std::vector<BrokerExecutionReport> m_reports;
    bool m_reconcileRequested = false;
    std::vector<SchedOrdOutbox::Notification> m_emitting;
    uint64_t m_requestedPass = 0;
    uint64_t m_completedPass = 0;
    bool m_stopping = false;
    bool m_running = false;
    std::thread::id m_threadId;
    std::thread m_thread;
};
