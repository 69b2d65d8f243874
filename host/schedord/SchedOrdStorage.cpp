#include "SchedOrdStorage.h"

#include "SchedOrdClock.h"
#include "SchedOrdCodes.h"
#include "SchedOrdOrderSender.h"
#include "SimBrokerRoute.h"
#include "Util.h"

#include <QDateTime>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

using namespace VELMSCHEDORDAPI;

namespace {

int64_t startOfDay(int64_t ticks)
{
    constexpr int64_t ticksPerMs = SchedOrdClock::TicksPerSecond / 1000;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ticks / ticksPerMs);
    return QDateTime(local.date(), QTime(0, 0)).toMSecsSinceEpoch() * ticksPerMs;
}

// Today's set times by their time of day, earlier days' with their date.
QString setTimeText(int64_t startTime, int64_t today)
{
    if (startTime >= today)
        return SchedOrdClock::timeOfDayText(startTime);
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(startTime / (SchedOrdClock::TicksPerSecond / 1000));
    return local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

bool isWaiting(const SchedOrdSubTaskField& subTask)
{
    return subTask.SubTaskStatus == SubTaskStatus::Running && subTask.TriggerStatus == SubTriggerStatus::NotTriggered;
}

void failSubTask(SchedOrdSubTaskField& subTask, const QString& reason)
{
    subTask.TriggerStatus = SubTriggerStatus::Failed;
    subTask.SubTaskStatus = SubTaskStatus::Completed;
    subTask.ErrorMsg = Util::QStr2str(reason);
}

} // namespace

SchedOrdStorage::SchedOrdStorage(int accountId, SimBroker& broker)
    : m_accountId(accountId)
    , m_broker(broker)
{
}

SchedOrdDatabase::OpenResult SchedOrdStorage::open(const QString& filePath)
{
    return m_db.open(filePath);
}

bool SchedOrdStorage::load(SchedOrdStore& store, SchedOrdOutbox& outbox, int64_t now, int& nextMainTaskId,
                           int& nextSubTaskId)
{
    if (!loadBroker() || !m_db.loadNextIds(m_accountId, nextMainTaskId, nextSubTaskId))
        return false;
    std::vector<SchedOrdTaskField> tasks = m_db.loadMainTasks(m_accountId);
    QStringList earlierLog;
    for (const SchedOrdDatabase::LogLine& line : m_db.loadLog(m_accountId, startOfDay(now)))
        earlierLog.append(line.text);
    outbox.setEarlierLog(std::move(earlierLog));

    std::vector<const SchedOrdTaskField*> changed;
    const Recovery recovery = recover(tasks, now, changed);
    std::vector<std::pair<int, std::vector<int>>> changedSubTasks;
    for (const SchedOrdTaskField* task : changed) {
        std::vector<int> ids;
        for (const SchedOrdSubTaskField& subTask : task->VecSubTask)
            ids.push_back(subTask.SubTaskID);
        changedSubTasks.emplace_back(task->MainTaskID, std::move(ids));
    }
    for (SchedOrdTaskField& task : tasks) {
        // Ids drawn later must stay above every stored one, whatever the counters say.
        nextMainTaskId = std::max(nextMainTaskId, task.MainTaskID + 1);
        for (const SchedOrdSubTaskField& subTask : task.VecSubTask)
            nextSubTaskId = std::max(nextSubTaskId, subTask.SubTaskID + 1);
        store.add(task);
    }

    for (auto& entry : changedSubTasks) {
        outbox.subTasksChanged(entry.first, std::move(entry.second));
        outbox.mainTaskChanged(entry.first);
    }
    if (recovery.awaitingRoute > 0)
        outbox.log(now, QStringLiteral("启动核对：%1个子任务在发送委托时中断，将在路由连接后向券商查询委托状态")
                            .arg(recovery.awaitingRoute));
    const int interrupted = recovery.reconciledFound + recovery.reconciledMissing;
    if (interrupted > 0)
        outbox.log(now, QStringLiteral("启动核对：%1个子任务在发送委托时中断，券商处找到%2个，未找到%3个（状态未知，请核对）")
                            .arg(interrupted)
                            .arg(recovery.reconciledFound)
                            .arg(recovery.reconciledMissing));
    if (recovery.missed > 0)
        outbox.log(now, QStringLiteral("启动时%1个子任务已错过设定时间，未发送").arg(recovery.missed));
    setNextIds(nextMainTaskId, nextSubTaskId);
    return true;
}

bool SchedOrdStorage::loadBroker()
{
    SimBroker::State stored;
    if (m_db.loadBrokerState(m_accountId, stored)) {
        m_broker.restore(stored);
        m_broker.state(&m_brokerCursor);
        return true;
    }
    if (!m_db.lastError().isEmpty() && !m_db.isOpen())
        return false;
    // Never stored: what the broker holds now (the client's opening balances) is the start.
    m_brokerCursor = SimBroker::Cursor();
    return m_db.begin() && m_broker.changesSince(m_brokerCursor, m_brokerChanges)
           && m_db.saveBrokerState(m_accountId, m_brokerChanges) && m_db.commit();
}

SchedOrdStorage::Recovery SchedOrdStorage::recover(std::vector<SchedOrdTaskField>& tasks, int64_t now,
                                                   std::vector<const SchedOrdTaskField*>& changed)
{
    Recovery recovery;
    std::unordered_map<int, SchedOrdSubTaskField*> subTaskById;
    for (SchedOrdTaskField& task : tasks) {
        for (SchedOrdSubTaskField& subTask : task.VecSubTask)
            subTaskById.emplace(subTask.SubTaskID, &subTask);
    }
    std::unordered_set<int> touched;
    for (const SchedOrdDatabase::SendingMark& mark : m_db.loadSending(m_accountId)) {
        m_marked.push_back(mark.subTaskId);
        const auto found = subTaskById.find(mark.subTaskId);
        if (found == subTaskById.end() || found->second->TriggerStatus != SubTriggerStatus::NotTriggered)
            continue;
        reconcile(*found->second, mark.clientOrderRef, recovery);
        touched.insert(mark.mainTaskId);
    }

    const int64_t today = startOfDay(now);
    const int64_t thisSecond = now - now % SchedOrdClock::TicksPerSecond;
    for (SchedOrdTaskField& task : tasks) {
        if (task.MainTaskStatus != MainTaskStatus::Running)
            continue;
        for (SchedOrdSubTaskField& subTask : task.VecSubTask) {
            if (!isWaiting(subTask) || subTask.StartTime >= thisSecond)
                continue;
            failSubTask(subTask, QStringLiteral("错过设定时间 %1：客户端当时未运行，委托未发送")
                                     .arg(setTimeText(subTask.StartTime, today)));
            ++recovery.missed;
            touched.insert(task.MainTaskID);
        }
    }
    for (SchedOrdTaskField& task : tasks) {
        if (!touched.count(task.MainTaskID))
            continue;
        SchedOrdStore::settleTrigger(task);
        changed.push_back(&task);
    }
    return recovery;
}

void SchedOrdStorage::reconcile(SchedOrdSubTaskField& subTask, const std::string& clientOrderRef, Recovery& recovery)
{
    if (m_reconcileLater) {
        // Sent as far as anyone can tell here: the route asks the broker once its session is up.
        ++recovery.awaitingRoute;
        subTask.TriggerTime = subTask.StartTime;
        subTask.TriggerStatus = SubTriggerStatus::Sent;
        subTask.SubTaskStatus = SubTaskStatus::Triggered;
        subTask.OrderVolume = subTask.TargetVolume;
        subTask.ErrorMsg = Util::QStr2str(QStringLiteral("正在向券商核对：发送委托时程序中断，参考号 %1")
                                              .arg(QString::fromStdString(clientOrderRef)));
        return;
    }
    SimOrder order;
    if (!m_broker.findOrderByClientRef(QString::fromStdString(clientOrderRef), &order)) {
        ++recovery.reconciledMissing;
        subTask.TriggerTime = subTask.StartTime;
        failSubTask(subTask, QStringLiteral("委托状态未知：发送委托时程序中断，券商处未找到参考号 %1 的委托，请核对")
                                 .arg(QString::fromStdString(clientOrderRef)));
        return;
    }
    ++recovery.reconciledFound;
    subTask.TriggerTime = order.InsertTime;
    BrokerExecutionReport report;
    SimBrokerRoute::reportOf(order, report);
    SchedOrdOrderSender::applyReport(subTask, report);
}

void SchedOrdStorage::setNextIds(int nextMainTaskId, int nextSubTaskId)
{
    if (nextMainTaskId == m_nextMainTaskId && nextSubTaskId == m_nextSubTaskId)
        return;
    m_nextMainTaskId = nextMainTaskId;
    m_nextSubTaskId = nextSubTaskId;
    m_idsChanged = true;
}

bool SchedOrdStorage::markSending(const std::vector<SchedOrdStore::SubTaskRef>& refs)
{
    if (!m_db.begin())
        return false;
    for (const SchedOrdStore::SubTaskRef& ref : refs) {
        const int mainTaskId = ref.mainTask->MainTaskID;
        const int subTaskId = ref.subTask->SubTaskID;
        if (!m_db.markSending(m_accountId, mainTaskId, subTaskId, SchedOrdOrderSender::clientOrderRef(m_accountId, mainTaskId, subTaskId))) {
            m_db.rollback();
            return false;
        }
    }
    return m_db.commit();
}

bool SchedOrdStorage::commit(const std::vector<SchedOrdOutbox::Notification>& pending, size_t from,
                             const SchedOrdStore& store, int64_t now, SchedOrdDatabase::Sync sync)
{
    const SimBroker::Cursor brokerCursor = m_brokerCursor;
    bool ok = m_db.begin(sync);
    for (size_t i = from; ok && i < pending.size(); ++i)
        ok = writeNotification(pending[i], store, now);
    if (ok && m_broker.changesSince(m_brokerCursor, m_brokerChanges))
        ok = m_db.saveBrokerState(m_accountId, m_brokerChanges);
    if (ok && m_idsChanged)
        ok = m_db.saveNextIds(m_accountId, m_nextMainTaskId, m_nextSubTaskId);
    for (size_t i = 0; ok && i < m_marked.size(); ++i)
        ok = m_db.clearSending(m_accountId, m_marked[i]);
    ok = ok && m_db.commit();
    if (!ok) {
        m_db.rollback();
        m_brokerCursor = brokerCursor;
        // Their results are not stored: the marks stay, and the next start reconciles them.
        m_marked.clear();
        return false;
    }
    m_marked.clear();
    m_idsChanged = false;
    // Here rather than before a mark, and only when the idle top-ups fell behind (a long burst):
    // the next mark's durable commit then only overwrites.
    m_db.reserveJournalRoom(SchedOrdDatabase::LowRoomPages);
    return true;
}

void SchedOrdStorage::reserveJournalRoom()
{
    m_db.reserveJournalRoom();
}

void SchedOrdStorage::checkpointIfGrown()
{
    constexpr int kJournalPagesWorthCopying = 1000;
    if (m_db.journalPages() > kJournalPagesWorthCopying)
        m_db.checkpoint();
}

bool SchedOrdStorage::writeNotification(const SchedOrdOutbox::Notification& notification, const SchedOrdStore& store,
                                        int64_t now)
{
    using Kind = SchedOrdOutbox::Kind;
    switch (notification.kind) {
    case Kind::MainTaskAdded:
        if (const SchedOrdTaskField* task = store.find(notification.mainTaskId))
            return m_db.saveMainTask(m_accountId, *task);
        return true;
    case Kind::MainTaskChanged:
        if (const SchedOrdTaskField* task = store.find(notification.mainTaskId))
            return m_db.saveMainTaskState(m_accountId, *task);
        return true;
    case Kind::SubTasksChanged:
        if (const SchedOrdTaskField* task = store.find(notification.mainTaskId))
            return writeSubTasks(*task, notification.subTaskIds);
        return true;
    case Kind::MainTaskDeleted:
        for (const int id : notification.subTaskIds) {
            if (!m_db.deleteMainTask(m_accountId, id))
                return false;
        }
        return true;
    case Kind::OperationLog:
        return m_db.appendLog(m_accountId, now, notification.line);
    case Kind::OperationLogRestored:
    case Kind::BrokerChanged:
    case Kind::StorageFailed:
        return true;
    }
    return true;
}

bool SchedOrdStorage::writeSubTasks(const SchedOrdTaskField& task, const std::vector<int>& subTaskIds)
{
    if (subTaskIds.size() == 1) {
        for (const SchedOrdSubTaskField& subTask : task.VecSubTask) {
            if (subTask.SubTaskID == subTaskIds.front())
                return m_db.saveSubTask(m_accountId, subTask);
        }
        return true;
    }
    const std::unordered_set<int> wanted(subTaskIds.begin(), subTaskIds.end());
    for (const SchedOrdSubTaskField& subTask : task.VecSubTask) {
        if (wanted.count(subTask.SubTaskID) && !m_db.saveSubTask(m_accountId, subTask))
            return false;
    }
    return true;
}

void SchedOrdStorage::restoreCommitted(const std::vector<SchedOrdOutbox::Notification>& pending, size_t from,
                                       SchedOrdStore& store)
{
    using Kind = SchedOrdOutbox::Kind;
    std::vector<int> ids;
    for (size_t i = from; i < pending.size(); ++i) {
        const SchedOrdOutbox::Notification& n = pending[i];
        if (n.kind == Kind::MainTaskDeleted)
            ids.insert(ids.end(), n.subTaskIds.begin(), n.subTaskIds.end());
        else if (n.kind == Kind::MainTaskAdded || n.kind == Kind::MainTaskChanged || n.kind == Kind::SubTasksChanged)
            ids.push_back(n.mainTaskId);
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (const int id : ids) {
        SchedOrdTaskField committed;
        const bool stored = m_db.loadMainTask(m_accountId, id, committed);
        if (const SchedOrdTaskField* current = store.find(id)) {
            // A sub-task that fired stays fired: an operation never undoes an order that left.
            std::unordered_map<int, const SchedOrdSubTaskField*> fired;
            for (const SchedOrdSubTaskField& subTask : current->VecSubTask) {
                if (subTask.TriggerStatus != SubTriggerStatus::NotTriggered)
                    fired.emplace(subTask.SubTaskID, &subTask);
            }
            for (SchedOrdSubTaskField& subTask : committed.VecSubTask) {
                const auto it = fired.find(subTask.SubTaskID);
                if (it != fired.end())
                    subTask = *it->second;
            }
            SchedOrdStore::settleTrigger(committed);
            store.remove(id);
        }
        if (stored)
            store.add(committed);
    }
}
