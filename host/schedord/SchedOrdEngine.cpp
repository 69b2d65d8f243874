#include "SchedOrdEngine.h"

#include "SchedOrdClock.h"
#include "SchedOrdCodes.h"
#include "SimBroker.h"
#include "Util.h"

#include <algorithm>
#include <chrono>

using namespace VELMSCHEDORDAPI;

namespace {

QString triggerText(char triggerStatus)
{
    switch (triggerStatus) {
    case SubTriggerStatus::Failed: return QStringLiteral("已触发(失败)");
    case SubTriggerStatus::Sent: return QStringLiteral("已触发(已发送)");
    case SubTriggerStatus::Rejected: return QStringLiteral("已触发(废单)");
    case SubTriggerStatus::Filled: return QStringLiteral("已触发(全成交)");
    default: return QStringLiteral("未触发");
    }
}

QString subTaskName(const SchedOrdSubTaskField& subTask, int mainTaskId)
{
    return QStringLiteral("子任务 #%1_%2").arg(mainTaskId).arg(subTask.SubTaskID);
}

int outcomeIndex(char triggerStatus)
{
    const int index = triggerStatus - SubTriggerStatus::NotTriggered;
    return index >= 0 && index < 5 ? index : 0;
}

} // namespace

SchedOrdEngine::OperationLock::OperationLock(Sync& sync, Access access)
    : m_sync(sync)
{
    const bool reads = access == Access::Read;
    ++m_sync.waitingOperations;
    if (reads)
        ++m_sync.waitingReads;
    std::unique_lock<std::mutex> lock(m_sync.mutex);
    if (reads)
        --m_sync.waitingReads;
    else    // a change in the middle of a slice would pull sub-tasks from under the orders in hand
        m_sync.sliceDone.wait(lock, [this] { return !m_sync.sliceInFlight; });
    --m_sync.waitingOperations;
    lock.release();
}

SchedOrdEngine::OperationLock::~OperationLock()
{
    m_sync.mutex.unlock();
    m_sync.operationDone.notify_all();
}

SchedOrdEngine::SchedOrdEngine(int accountId, const SecurityCatalogue& catalogue, MarketSimulator& market, SimBroker& broker,
                               Emitter emitter)
    : m_clock(std::make_shared<SystemSchedOrdClock>())
    , m_accountId(accountId)
    , m_broker(broker)
    , m_simRoute(broker, market, catalogue)
    , m_sender(accountId, catalogue, market, m_simRoute)
    , m_emit(std::move(emitter))
{
    installRouteHandlers();
    m_running = true;
    m_thread = std::thread([this] { run(); });
}

SchedOrdEngine::~SchedOrdEngine()
{
    stop();
    m_clock->setWakeHandler(nullptr);
}

void SchedOrdEngine::setClock(std::shared_ptr<SchedOrdClock> clock)
{
    if (!clock)
        return;
    OperationLock lock(*m_sync);
    m_clock->setWakeHandler(nullptr);
    m_clock = std::move(clock);
    m_clock->setWakeHandler(wakeHandler());
    requestWake(*m_sync);
}

void SchedOrdEngine::setRoute(BrokerRoute* route)
{
    OperationLock lock(*m_sync);
    m_route->setReportHandler(nullptr);
    m_route->setReconcileHandler(nullptr);
    m_route = route ? route : &m_simRoute;
    m_sender.setRoute(*m_route);
    m_sliceSize = m_route->answersAtOnce() ? SliceSize : RouteSliceSize;
    installRouteHandlers();
    // Its session may have come up before it was ours to hear of.
    m_reconcileRequested = true;
    requestWake(*m_sync);
}

void SchedOrdEngine::setAccount(int apiType, const QMap<char, QString>& shareholderAccounts)
{
    OperationLock lock(*m_sync);
    m_sender.setAccount(apiType, shareholderAccounts);
}

// Reports of a route that answers at once arrive on this thread, inside the call that caused
// them, and are applied there; others queue for the next slice. Only the shared part is reached
// from another thread, so a handler outliving the engine does no harm.
void SchedOrdEngine::installRouteHandlers()
{
    const std::weak_ptr<Sync> weakSync = m_sync;
    m_route->setReportHandler([this, weakSync](const BrokerExecutionReport& report) {
        const std::shared_ptr<Sync> sync = weakSync.lock();
        if (!sync)
            return;
        if (sync->engineThread.load() == std::this_thread::get_id()) {
            applyReport(report);
            return;
        }
        {
            std::lock_guard<std::mutex> guard(sync->wakeMutex);
            sync->incomingReports.push_back(report);
            sync->wakeRequested = true;
        }
        sync->wake.notify_all();
    });
    m_route->setReconcileHandler([weakSync] {
        const std::shared_ptr<Sync> sync = weakSync.lock();
        if (!sync)
            return;
        {
            std::lock_guard<std::mutex> guard(sync->wakeMutex);
            sync->reconcileRequested = true;
            sync->wakeRequested = true;
        }
        sync->wake.notify_all();
    });
}

void SchedOrdEngine::quoteUpdated(const QString& securityKey)
{
    {
        std::lock_guard<std::mutex> guard(m_sync->wakeMutex);
        m_incomingQuotes.insert(securityKey);
        m_sync->wakeRequested = true;
    }
    m_sync->wake.notify_all();
}

void SchedOrdEngine::waitForIdle()
{
    std::unique_lock<std::mutex> lock(m_sync->mutex);
    // A receiver connected directly runs on the engine thread, which would wait for itself.
    if (!m_running || std::this_thread::get_id() == m_threadId)
        return;
    const uint64_t ticket = ++m_requestedPass;
    requestWake(*m_sync);
    m_idle.wait(lock, [&] { return m_completedPass >= ticket || !m_running; });
}

void SchedOrdEngine::stop()
{
    {
        OperationLock lock(*m_sync);
        if (!m_thread.joinable())
            return;
        m_stopping = true;
        {
            std::lock_guard<std::mutex> guard(m_sync->wakeMutex);
            m_sync->stopRequested = true;
        }
        requestWake(*m_sync);
    }
    m_thread.join();
}

void SchedOrdEngine::requestWake(Sync& sync)
{
    {
        std::lock_guard<std::mutex> guard(sync.wakeMutex);
        sync.wakeRequested = true;
    }
    sync.wake.notify_all();
}

void SchedOrdEngine::run()
{
    std::unique_lock<std::mutex> lock(m_sync->mutex);
    m_threadId = std::this_thread::get_id();
    m_sync->engineThread = m_threadId;
    while (!m_stopping) {
        const uint64_t pass = m_requestedPass;
        runPass(lock);
        m_completedPass = pass;
        m_idle.notify_all();
        if (!m_stopping && m_requestedPass == m_completedPass)
            sleepUntilWoken(lock);
    }
    m_running = false;
    m_idle.notify_all();
}

void SchedOrdEngine::runPass(std::unique_lock<std::mutex>& lock)
{
    bool moreDue = true;
    while (moreDue && !m_stopping) {
        m_sync->sliceInFlight = true;
        moreDue = runSlice(lock, m_clock->now());
        m_sync->sliceInFlight = false;
        m_sync->sliceDone.notify_all();
        if (m_outbox.hasPending())
            emitPending(lock);
        letWaitingOperationsIn(lock);
    }
    if (!m_markedAhead.empty())
        releaseUnfiredMarks(m_clock->now());
}

bool SchedOrdEngine::runSlice(std::unique_lock<std::mutex>& lock, int64_t now)
{
    const SchedOrdOutbox::Checkpoint checkpoint = m_outbox.checkpoint();
    const bool moreDue = fireDue(lock, now);
    takeIncoming();
    if (!m_movedQuotes.isEmpty())
        passMovedQuotes(now);
    for (const BrokerExecutionReport& report : m_reports) {
        applyReport(report);
        letWaitingReadsIn(lock);
    }
    m_reports.clear();
    if (m_reconcileRequested)
        reconcileOpenOrders(now);
    // The broker's records changed before the sub-tasks that report them.
    if (const SimBroker::Changes changes = m_broker.takeChanges())
        m_outbox.brokerChanged(static_cast<int>(changes));
    if (!m_touched.empty())
        reportTouched(now);
    // Stored before the outbox is emitted: nobody hears of what a crash could undo.
    if (m_storage && m_outbox.pending().size() != checkpoint.pending)
        commitSlice(checkpoint, now);
    return moreDue;
}

bool SchedOrdEngine::fireDue(std::unique_lock<std::mutex>& lock, int64_t now)
{
    takeDueSlice(now);
    if (m_dueSlice.empty())
        return false;
    // At most once: an order leaves only once its sub-task is marked on disk.
    const bool marked = markDueSlice(now);
    for (const SchedOrdStore::SubTaskRef& ref : m_dueSlice) {
        settleMark(ref.subTask->SubTaskID);
        if (marked) {
            // Open before it leaves: a route that answers at once reports inside fire().
            m_store.addOpen(ref);
            m_firing = true;
            const bool sent = m_sender.fire(*ref.subTask, now);
            m_firing = false;
            if (!sent || ref.subTask->SubTaskStatus == SubTaskStatus::Completed)
                m_store.dropOpen(ref.subTask->SubTaskID);
        } else {
            SchedOrdOrderSender::failUnsent(*ref.subTask, now,
                                            QStringLiteral("未能保存发送记录，委托未发送：%1").arg(m_storage->lastError()));
        }
        Touched& touched = touchedOf(ref.mainTask->MainTaskID);
        touched.subTaskIds.push_back(ref.subTask->SubTaskID);
        ++touched.fired;
        ++touched.outcomes[outcomeIndex(ref.subTask->TriggerStatus)];
        touched.last = ref.subTask;
        letWaitingReadsIn(lock);
    }
    return m_dueSlice.size() == m_sliceSize && m_store.nextDueTime() <= now;
}

void SchedOrdEngine::takeDueSlice(int64_t now)
{
    m_dueSlice.clear();
    SchedOrdStore::SubTaskRef ref;
    while (m_dueSlice.size() < m_sliceSize && m_store.takeDue(now, ref))
        m_dueSlice.push_back(ref);
}

bool SchedOrdEngine::markDueSlice(int64_t now)
{
    if (!m_storage)
        return true;
    m_toMark.clear();
    for (const SchedOrdStore::SubTaskRef& ref : m_dueSlice) {
        if (!m_markedAhead.count(ref.subTask->SubTaskID))
            m_toMark.push_back(ref);
    }
    if (m_toMark.empty())
        return true;
    // Whatever else is due now is marked in the same commit.
    const size_t slice = m_toMark.size();
    m_store.peekDue(now, MarkAhead, m_toMark);
    m_toMark.erase(std::remove_if(m_toMark.begin() + static_cast<std::ptrdiff_t>(slice), m_toMark.end(),
                                  [this](const SchedOrdStore::SubTaskRef& ref) {
                                      return m_markedAhead.count(ref.subTask->SubTaskID) > 0;
                                  }),
                   m_toMark.end());
    if (!m_storage->markSending(m_toMark))
        return false;
    for (const SchedOrdStore::SubTaskRef& ref : m_toMark)
        m_markedAhead.insert(ref.subTask->SubTaskID);
    return true;
}

void SchedOrdEngine::settleMark(int subTaskId)
{
    if (m_markedAhead.erase(subTaskId) > 0)
        m_storage->settle(subTaskId);
}

// Sub-tasks marked ahead that a pause, a delete or a modification took out of the burst never
// left: their marks go, or a restart would take them for orders of unknown fate.
void SchedOrdEngine::releaseUnfiredMarks(int64_t now)
{
    for (const int subTaskId : m_markedAhead)
        m_storage->settle(subTaskId);
    m_markedAhead.clear();
    m_storage->commit(m_outbox.pending(), m_outbox.pending().size(), m_store, now, SchedOrdDatabase::Sync::Ordered);
}

void SchedOrdEngine::commitSlice(const SchedOrdOutbox::Checkpoint& checkpoint, int64_t now)
{
    // Its orders were marked durably before they left: the results need not wait for the disk.
    if (m_storage->commit(m_outbox.pending(), checkpoint.pending, m_store, now, SchedOrdDatabase::Sync::Ordered)) {
        m_sliceStoreFailing = false;
        return;
    }
    // Told once per run of failures, not once per slice of a burst.
    if (!m_sliceStoreFailing)
        m_outbox.storageFailed(QStringLiteral("定时委托的执行结果未能保存：%1。已发送的委托将在下次启动时向券商核对。")
                                   .arg(m_storage->lastError()));
    m_sliceStoreFailing = true;
}

bool SchedOrdEngine::commitOperation(const SchedOrdOutbox::Checkpoint& checkpoint, int64_t now, QString& failure)
{
    if (!m_storage || m_outbox.pending().size() == checkpoint.pending)
        return true;
    if (m_storage->commit(m_outbox.pending(), checkpoint.pending, m_store, now))
        return true;
    failure = QStringLiteral("定时委托任务未能保存，本次操作未生效：%1").arg(m_storage->lastError());
    m_storage->restoreCommitted(m_outbox.pending(), checkpoint.pending, m_store);
    m_outbox.rollbackTo(checkpoint);
    return false;
}

void SchedOrdEngine::reportStorageFailure(const QString& message)
{
    if (m_storageFailed)
        m_storageFailed(message);
}

void SchedOrdEngine::setStorageFailureHandler(StorageFailureHandler handler)
{
    OperationLock lock(*m_sync);
    m_storageFailed = std::move(handler);
}

bool SchedOrdEngine::limitStoragePages(int maxPages)
{
    OperationLock lock(*m_sync);
    return m_storage && m_storage->database().limitPages(maxPages);
}

void SchedOrdEngine::noteNextIds(int nextMainTaskId, int nextSubTaskId)
{
    if (m_storage)
        m_storage->setNextIds(nextMainTaskId, nextSubTaskId);
}

bool SchedOrdEngine::attachStorage(std::unique_ptr<SchedOrdStorage> storage, int& nextMainTaskId, int& nextSubTaskId,
                                   QString* error)
{
    OperationLock lock(*m_sync);
    const SchedOrdOutbox::Checkpoint checkpoint = m_outbox.checkpoint();
    const int64_t now = m_clock->now();
    storage->setReconcileLater(!m_route->answersAtOnce());
    if (!storage->load(m_store, m_outbox, now, nextMainTaskId, nextSubTaskId)
        || !storage->commit(m_outbox.pending(), checkpoint.pending, m_store, now)) {
        if (error)
            *error = storage->lastError();
        // Nothing runs that could not be stored: its orders could leave twice.
        for (const SchedOrdTaskField& task : m_store.mainTasks())
            m_store.remove(task.MainTaskID);
        m_outbox.rollbackTo(checkpoint);
        return false;
    }
    m_storage = std::move(storage);
    // Orders the load found open may have changed while the client was not running.
    m_reconcileRequested = true;
    requestWake(*m_sync);
    return true;
}

void SchedOrdEngine::takeIncoming()
{
    std::lock_guard<std::mutex> guard(m_sync->wakeMutex);
    m_movedQuotes.swap(m_incomingQuotes);
    m_reports.swap(m_sync->incomingReports);
    m_reconcileRequested = m_reconcileRequested || m_sync->reconcileRequested;
    m_sync->reconcileRequested = false;
}

void SchedOrdEngine::passMovedQuotes(int64_t now)
{
    for (const QString& securityKey : qAsConst(m_movedQuotes))
        m_route->quoteMoved(securityKey, now);
    m_movedQuotes.clear();
}

void SchedOrdEngine::applyReport(const BrokerExecutionReport& report)
{
    int accountId = 0;
    int mainTaskId = 0;
    int subTaskId = 0;
    SchedOrdStore::SubTaskRef ref;
    // Another account's order, a deleted task's, or one already done with: nothing to change.
    if (!SchedOrdOrderSender::parseClientOrderRef(report.clientOrderRef, &accountId, &mainTaskId, &subTaskId)
        || accountId != m_accountId || !m_store.findOpen(subTaskId, ref))
        return;
    SchedOrdSubTaskField& subTask = *ref.subTask;
    const char triggerBefore = subTask.TriggerStatus;
    const char statusBefore = subTask.SubTaskStatus;
    const int orderVolumeBefore = subTask.OrderVolume;
    const int tradedBefore = subTask.TradeVolume;
    const bool hadError = !subTask.ErrorMsg.empty();
    if (SchedOrdOrderSender::applyReport(subTask, report))
        m_store.dropOpen(subTaskId);
    // The fire in hand records its own outcome.
    if (m_firing)
        return;
    const bool changed = subTask.TriggerStatus != triggerBefore || subTask.SubTaskStatus != statusBefore
        || subTask.OrderVolume != orderVolumeBefore || subTask.TradeVolume != tradedBefore
        || subTask.ErrorMsg.empty() == hadError;
    if (!changed)
        return;
    Touched& touched = touchedOf(ref.mainTask->MainTaskID);
    touched.subTaskIds.push_back(subTaskId);
    touched.last = &subTask;
    if (subTask.TradeVolume > tradedBefore) {
        ++touched.filledLater;
        touched.lastReported = &subTask;
    } else if (report.state == BrokerExecutionReport::State::Rejected) {
        ++touched.rejectedLater;
        touched.lastReported = &subTask;
    } else if (report.state == BrokerExecutionReport::State::Unknown) {
        ++touched.unknownLater;
        touched.lastReported = &subTask;
    }
}

// After the route asked for it (or the service started): every order still open is asked about,
// as its reports may have been lost; one the broker never got fails then.
void SchedOrdEngine::reconcileOpenOrders(int64_t now)
{
    m_reconcileRequested = false;
    if (m_route->answersAtOnce() || !m_route->isConnected())
        return;
    int asked = 0;
    m_store.forEachOpen([&](int mainTaskId, int subTaskId) {
        if (m_route->requestStatus(SchedOrdOrderSender::clientOrderRef(m_accountId, mainTaskId, subTaskId)))
            ++asked;
    });
    if (asked > 0)
        m_outbox.log(now, QStringLiteral("经%1向券商查询%2个未完结委托的状态").arg(m_route->name()).arg(asked));
}

void SchedOrdEngine::reportTouched(int64_t now)
{
    for (auto& entry : m_touched) {
        const int mainTaskId = entry.first;
        Touched& touched = entry.second;
        SchedOrdTaskField* mainTask = m_store.find(mainTaskId);
        if (!mainTask)
            continue;
        if (touched.fired > 0) {
            SchedOrdStore::settleTrigger(*mainTask);
            logFired(now, mainTaskId, touched);
        } else {
            logReported(now, mainTaskId, touched);
        }
        m_outbox.subTasksChanged(mainTaskId, std::move(touched.subTaskIds));
        // Fills of resting orders change only the sub-tasks; firing changes the main task too.
        if (touched.fired > 0)
            m_outbox.mainTaskChanged(mainTaskId);
    }
    m_touched.clear();
    m_lastTouched = nullptr;
}

void SchedOrdEngine::logFired(int64_t now, int mainTaskId, const Touched& touched)
{
    if (touched.fired == 1 && touched.filledLater == 0) {
        const SchedOrdSubTaskField& subTask = *touched.last;
        const QString detail = subTask.ErrorMsg.empty()
            ? QStringLiteral("，报单%1股，成交%2股").arg(subTask.OrderVolume).arg(subTask.TradeVolume)
            : QStringLiteral("：%1").arg(Util::Str2QStr(subTask.ErrorMsg));
        m_outbox.log(now, subTaskName(subTask, mainTaskId) + QLatin1Char(' ') + triggerText(subTask.TriggerStatus) + detail);
        return;
    }
    m_outbox.log(now, QStringLiteral("任务 #%1 触发%2个子任务：已发送%3，全成交%4，失败%5，废单%6")
                          .arg(mainTaskId)
                          .arg(touched.fired)
                          .arg(touched.outcomes[outcomeIndex(SubTriggerStatus::Sent)])
                          .arg(touched.outcomes[outcomeIndex(SubTriggerStatus::Filled)])
                          .arg(touched.outcomes[outcomeIndex(SubTriggerStatus::Failed)])
                          .arg(touched.outcomes[outcomeIndex(SubTriggerStatus::Rejected)]));
}

void SchedOrdEngine::logReported(int64_t now, int mainTaskId, const Touched& touched)
{
    const int reported = touched.filledLater + touched.rejectedLater + touched.unknownLater;
    if (reported == 0)
        return;
    if (reported == 1) {
        const SchedOrdSubTaskField& subTask = *touched.lastReported;
        if (touched.filledLater == 1)
            m_outbox.log(now, QStringLiteral("%1 成交，累计成交%2股").arg(subTaskName(subTask, mainTaskId)).arg(subTask.TradeVolume));
        else
            m_outbox.log(now, subTaskName(subTask, mainTaskId) + QLatin1Char(' ') + triggerText(subTask.TriggerStatus)
                                  + QStringLiteral("：%1").arg(Util::Str2QStr(subTask.ErrorMsg)));
        return;
    }
    if (reported == touched.filledLater) {
        m_outbox.log(now, QStringLiteral("任务 #%1 的%2个子任务有新成交").arg(mainTaskId).arg(touched.filledLater));
        return;
    }
    m_outbox.log(now, QStringLiteral("任务 #%1 的%2个子任务有新回报：成交%3，废单%4，状态未知%5")
                          .arg(mainTaskId)
                          .arg(reported)
                          .arg(touched.filledLater)
                          .arg(touched.rejectedLater)
                          .arg(touched.unknownLater));
}

SchedOrdEngine::Touched& SchedOrdEngine::touchedOf(int mainTaskId)
{
    // A burst fires many sub-tasks of one main task in a row.
    if (!m_lastTouched || m_lastTouchedId != mainTaskId) {
        m_lastTouched = &m_touched[mainTaskId];
        m_lastTouchedId = mainTaskId;
    }
    return *m_lastTouched;
}

void SchedOrdEngine::emitPending(std::unique_lock<std::mutex>& lock)
{
    m_outbox.takePending(m_emitting);
    // Receivers connected directly may call back into the service: never emit under the lock.
    lock.unlock();
    for (const SchedOrdOutbox::Notification& notification : m_emitting)
        m_emit(notification);
    lock.lock();
    m_emitting.clear();
}

void SchedOrdEngine::letWaitingOperationsIn(std::unique_lock<std::mutex>& lock)
{
    // The lock is not fair: without this the thread would take it straight back.
    m_sync->operationDone.wait(lock, [this] { return m_sync->waitingOperations.load() == 0; });
}

// The tables' reads on the GUI thread wait for one order, not for a slice of them.
void SchedOrdEngine::letWaitingReadsIn(std::unique_lock<std::mutex>& lock)
{
    if (m_sync->waitingReads.load() > 0)
        m_sync->operationDone.wait(lock, [this] { return m_sync->waitingReads.load() == 0; });
}

void SchedOrdEngine::sleepUntilWoken(std::unique_lock<std::mutex>& lock)
{
    const int64_t deadline = m_store.nextDueTime();
    // Idle with nothing due within a second: the time to copy the journal back into the file.
    if (m_storage && deadline - m_clock->now() > SchedOrdClock::TicksPerSecond)
        m_storage->checkpointIfGrown();
    // Room for the next marks is made while nothing is due, so its sync delays no trigger.
    if (m_storage && deadline - m_clock->now() > SchedOrdClock::TicksPerSecond / 20)
        m_storage->reserveJournalRoom();
    // Held locally: a test may swap the clock while the thread waits on this one.
    const std::shared_ptr<SchedOrdClock> clock = m_clock;
    const bool reportsComeLater = !m_route->answersAtOnce();
    lock.unlock();
    {
        std::unique_lock<std::mutex> wakeLock(m_sync->wakeMutex);
        // Whatever asked for a wake-up since the store was last looked at was noted here.
        if (!m_sync->wakeRequested)
            clock->waitUntil(wakeLock, m_sync->wake, deadline);
        if (reportsComeLater && !m_sync->incomingReports.empty())
            gatherReports(wakeLock, *clock, deadline);
        m_sync->wakeRequested = false;
    }
    lock.lock();
}

// Waits a little for more reports, never past the next set time, a stop or a reconnection.
void SchedOrdEngine::gatherReports(std::unique_lock<std::mutex>& wakeLock, const SchedOrdClock& clock, int64_t deadline)
{
    const int64_t ticksPerMs = SchedOrdClock::TicksPerSecond / 1000;
    const int64_t untilDueMs = std::max<int64_t>(0, (deadline - clock.now()) / ticksPerMs);
    const auto gather = std::chrono::milliseconds(std::min<int64_t>(ReportGatherMs, untilDueMs));
    m_sync->wake.wait_for(wakeLock, gather, [this] { return m_sync->stopRequested || m_sync->reconcileRequested; });
}

std::function<void()> SchedOrdEngine::wakeHandler() const
{
    std::weak_ptr<Sync> weakSync = m_sync;
    return [weakSync] {
        if (const std::shared_ptr<Sync> sync = weakSync.lock())
            requestWake(*sync);
    };
}
