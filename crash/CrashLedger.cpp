#include "CrashLedger.h"

#include <algorithm>

namespace {

constexpr char kRunning = '2';
constexpr char kAllTriggered = '4';
constexpr char kSubNotStarted = '1';
constexpr char kSubRunning = '2';
constexpr char kSubPaused = '5';
constexpr char kNotTriggered = '1';
constexpr char kFailed = '2';
constexpr char kRejected = '4';
constexpr char kSent = '3';
constexpr char kFilled = '5';
constexpr int64_t kTicksPerSecond = 10000000;

int toInt(const QByteArray& word)
{
    return word.toInt();
}

bool startedStatus(char status)
{
    return status == kRunning || status == kAllTriggered;
}

} // namespace

CrashLedger::CrashLedger(int accountId, OrderSource source)
    : m_accountId(accountId)
    , m_orderSource(source)
    , m_counterparty(source == OrderSource::Exchange ? QStringLiteral("the exchange") : QStringLiteral("the broker"))
{
}

void CrashLedger::beginRun(int run, int64_t startTicks)
{
    m_run = run;
    m_runStartSecond = startTicks - startTicks % kTicksPerSecond;
    m_ready = false;
    m_snapshotSequence = -1;
    m_thisRun = RunCounts();
    m_pending.clear();
    m_stored.clear();
    m_sentThisRun.clear();
}

void CrashLedger::take(const QByteArray& line)
{
    ++m_sequence;
    const int space = line.indexOf(' ');
    const QByteArray kind = space < 0 ? line : line.left(space);
    const QByteArray rest = space < 0 ? QByteArray() : line.mid(space + 1);
    if (kind == "ORDER" && m_orderSource == OrderSource::ChildBroker) {
        ++m_thisRun.orders;
        takeOrder(rest);
    } else if (kind == "SEND" && m_orderSource == OrderSource::Exchange) {
        ++m_thisRun.orders;
        m_sentThisRun.insert(rest);
    } else if (kind == "LOG") {
        ++m_logLines[rest];
        ++m_thisRun.logLines;
    } else if (kind == "DO") {
        if (!m_pending.isEmpty())
            fail(QStringLiteral("operation '%1' began before '%2' was acknowledged").arg(QString::fromUtf8(rest), QString::fromUtf8(m_pending)));
        m_pending = rest;
    } else if (kind == "ACK") {
        const QByteArray operation = rest.mid(2);
        if (operation != m_pending)
            fail(QStringLiteral("acknowledged '%1' but '%2' was begun").arg(QString::fromUtf8(operation), QString::fromUtf8(m_pending)));
        m_pending.clear();
        takeOperation(operation, true, rest.startsWith('1'));
        ++m_thisRun.acknowledged;
        ++m_totalAcknowledged;
    } else if (kind == "SNAPSHOT") {
        m_snapshotSequence = m_sequence;
    } else if (kind == "T" || kind == "S") {
        takeStored(line.split(' '));
    } else if (kind == "IDS") {
        const QByteArrayList words = rest.split(' ');
        m_drawnMain = toInt(words.value(0));
        m_drawnSub = toInt(words.value(1));
    } else if (kind == "STALLED") {
        fail(QStringLiteral("run %1 never became ready: %2").arg(m_run).arg(QString::fromUtf8(rest)));
    } else if (kind == "READY") {
        verifyRestart();
        m_ready = true;
    } else {
        fail(QStringLiteral("unexpected line from the child: %1").arg(QString::fromUtf8(line)));
    }
}

void CrashLedger::takeExchangeOrder(const QByteArray& ref)
{
    ++m_sequence;
    ++m_thisRun.received;
    takeOrder(ref);
}

void CrashLedger::endRun()
{
    if (m_pending.isEmpty())
        return;
    ++m_totalInDoubt;
    takeOperation(m_pending, false, false);
}

void CrashLedger::checkStoredLog(const QHash<QByteArray, int>& stored)
{
    for (auto it = m_logLines.cbegin(); it != m_logLines.cend(); ++it) {
        const int kept = stored.value(it.key());
        if (kept < it.value())
            fail(QStringLiteral("log line announced %1 times but stored %2 times: %3")
                     .arg(it.value()).arg(kept).arg(QString::fromUtf8(it.key())));
    }
}

void CrashLedger::takeOperation(const QByteArray& operation, bool acknowledged, bool result)
{
    const QByteArrayList words = operation.split(' ');
    const QByteArray& verb = words.front();
    if (verb == "ADD")
        applyAdd(words, acknowledged);
    else if (verb == "START")
        applySwitch(words, acknowledged, Switch::Started);
    else if (verb == "PAUSE")
        applySwitch(words, acknowledged, Switch::NotRunning);
    else if (verb == "DELETE")
        applyDelete(words, acknowledged);
    else if (verb == "MODIFY")
        applyModify(words, acknowledged, result);
    else
        fail(QStringLiteral("unknown operation: %1").arg(QString::fromUtf8(operation)));
}

void CrashLedger::applyAdd(const QByteArrayList& words, bool acknowledged)
{
    for (int i = 1; i < words.size(); ++i) {
        const QByteArrayList parts = words[i].split(':');
        const int id = toInt(parts.value(0));
        Task task;
        task.presence = acknowledged ? Presence::Present : Presence::Either;
        task.firstSubTaskId = toInt(parts.value(1));
        task.subTaskCount = toInt(parts.value(2));
        if (acknowledged && (id <= m_idFloorMain || task.firstSubTaskId <= m_idFloorSub))
            fail(QStringLiteral("run %1 added task #%2 (sub-tasks from #%3) at or below ids already used (#%4, #%5)")
                     .arg(m_run).arg(id).arg(task.firstSubTaskId).arg(m_idFloorMain).arg(m_idFloorSub));
        m_tasks[id] = task;
        if (acknowledged) {
            m_idFloorMain = std::max(m_idFloorMain, id);
            m_idFloorSub = std::max(m_idFloorSub, task.firstSubTaskId + task.subTaskCount - 1);
        }
    }
}

void CrashLedger::applySwitch(const QByteArrayList& words, bool acknowledged, Switch to)
{
    for (int i = 1; i < words.size(); ++i) {
        const auto it = m_tasks.find(toInt(words[i]));
        if (it != m_tasks.end() && it->second.presence != Presence::Absent)
            it->second.state = acknowledged ? to : Switch::Unknown;
    }
}

void CrashLedger::applyDelete(const QByteArrayList& words, bool acknowledged)
{
    for (int i = 1; i < words.size(); ++i) {
        const auto it = m_tasks.find(toInt(words[i]));
        if (it != m_tasks.end() && it->second.presence != Presence::Absent)
            it->second.presence = acknowledged ? Presence::Absent : Presence::Either;
    }
}

void CrashLedger::applyModify(const QByteArrayList& words, bool acknowledged, bool result)
{
    const std::pair<int, int> key(toInt(words.value(1)), toInt(words.value(2)));
    const Values values{toInt(words.value(3)), words.value(4).toLongLong()};
    if (acknowledged) {
        if (result)
            m_modified[key] = {values};
        return;
    }
    // In doubt: the new values or the ones before, if those are known at all.
    const auto it = m_modified.find(key);
    if (it != m_modified.end())
        it->second.push_back(values);
}

void CrashLedger::takeStored(const QByteArrayList& words)
{
    const int mainTaskId = toInt(words.value(1));
    if (words.front() == "T") {
        StoredTask& task = m_stored[mainTaskId];
        task.status = words.value(2).at(0);
        task.subTaskCount = toInt(words.value(3));
        return;
    }
    StoredSubTask subTask;
    subTask.subTaskId = toInt(words.value(2));
    subTask.status = words.value(3).at(0);
    subTask.trigger = words.value(4).at(0);
    subTask.failure = words.value(5).at(0);
    subTask.values = Values{toInt(words.value(6)), words.value(7).toLongLong()};
    subTask.traded = toInt(words.value(8));
    subTask.brokerTraded = toInt(words.value(9));
    m_stored[mainTaskId].subTasks.push_back(subTask);
}

void CrashLedger::takeOrder(const QByteArray& ref)
{
    const auto it = m_orders.constFind(ref);
    if (it != m_orders.constEnd()) {
        fail(QStringLiteral("order %1 reached %2 twice (runs %3 and %4)").arg(QString::fromUtf8(ref), m_counterparty).arg(it->firstRun).arg(m_run));
        return;
    }
    m_orders.insert(ref, Order{m_run, m_sequence});
}

void CrashLedger::verifyRestart()
{
    if (m_snapshotSequence < 0)
        fail(QStringLiteral("run %1 reported its state without SNAPSHOT").arg(m_run));
    for (auto& entry : m_tasks) {
        const auto stored = m_stored.find(entry.first);
        verifyTask(entry.first, entry.second, stored == m_stored.end() ? nullptr : &stored->second);
    }
    for (const auto& entry : m_stored) {
        if (!m_tasks.count(entry.first))
            fail(QStringLiteral("run %1 loaded task #%2, which was never added").arg(m_run).arg(entry.first));
        for (const StoredSubTask& subTask : entry.second.subTasks)
            verifySubTask(entry.first, subTask);
    }
    verifyIds();
}

void CrashLedger::verifyTask(int id, Task& task, const StoredTask* stored)
{
    if (task.presence == Presence::Either)
        task.presence = stored ? Presence::Present : Presence::Absent;
    if (task.presence == Presence::Absent) {
        if (stored)
            fail(QStringLiteral("run %1 loaded task #%2, whose deletion was acknowledged").arg(m_run).arg(id));
        return;
    }
    if (!stored) {
        fail(QStringLiteral("run %1 lost task #%2, whose addition was acknowledged").arg(m_run).arg(id));
        return;
    }
    m_idFloorMain = std::max(m_idFloorMain, id);
    m_idFloorSub = std::max(m_idFloorSub, task.firstSubTaskId + task.subTaskCount - 1);
    if (task.state == Switch::Unknown)
        task.state = startedStatus(stored->status) ? Switch::Started : Switch::NotRunning;
    if (task.state == Switch::Started && !startedStatus(stored->status))
        fail(QStringLiteral("run %1: task #%2 has status %3 after an acknowledged start").arg(m_run).arg(id).arg(stored->status));
    if (task.state == Switch::NotRunning && stored->status == kRunning)
        fail(QStringLiteral("run %1: task #%2 runs but was never started, or its pause was acknowledged").arg(m_run).arg(id));
    verifySubTasks(id, task, *stored);
}

void CrashLedger::verifySubTasks(int id, const Task& task, const StoredTask& stored)
{
    std::vector<int> ids;
    for (const StoredSubTask& subTask : stored.subTasks) {
        ids.push_back(subTask.subTaskId);
        const bool waitsUnstarted = subTask.status == kSubNotStarted || subTask.status == kSubPaused;
        if (task.state == Switch::Started && waitsUnstarted && subTask.trigger == kNotTriggered)
            fail(QStringLiteral("run %1: sub-task #%2_%3 has status %4 after an acknowledged start")
                     .arg(m_run).arg(id).arg(subTask.subTaskId).arg(subTask.status));
        if (task.state == Switch::NotRunning && subTask.status == kSubRunning)
            fail(QStringLiteral("run %1: sub-task #%2_%3 waits to fire in a task that is not running")
                     .arg(m_run).arg(id).arg(subTask.subTaskId));
    }
    std::sort(ids.begin(), ids.end());
    const bool idsMatch = int(ids.size()) == task.subTaskCount && stored.subTaskCount == task.subTaskCount
        && (ids.empty() || (ids.front() == task.firstSubTaskId && ids.back() == task.firstSubTaskId + task.subTaskCount - 1
                            && std::adjacent_find(ids.begin(), ids.end()) == ids.end()));
    if (!idsMatch)
        fail(QStringLiteral("run %1: task #%2 has %3 sub-tasks, added with %4 from #%5")
                 .arg(m_run).arg(id).arg(ids.size()).arg(task.subTaskCount).arg(task.firstSubTaskId));
}

void CrashLedger::verifySubTask(int mainTaskId, const StoredSubTask& subTask)
{
    const QByteArray ref = refOf(mainTaskId, subTask.subTaskId);
    // Due before this run began: at start it fails as missed, it never leaves late.
    if (subTask.status == kSubRunning && subTask.trigger == kNotTriggered && subTask.values.startTime < m_runStartSecond)
        fail(QStringLiteral("run %1: sub-task %2 still waits although its set time passed before the run began")
                 .arg(m_run).arg(QString::fromUtf8(ref)));
    if (subTask.failure == 'M')
        m_missed.insert(ref);
    else if (subTask.failure == 'U')
        m_unknown.insert(ref);
    verifyModified(mainTaskId, subTask);
    if (m_orderSource == OrderSource::ChildBroker)
        verifyBrokerOrder(ref, subTask);
}

void CrashLedger::verifyModified(int mainTaskId, const StoredSubTask& subTask)
{
    const auto modified = m_modified.find({mainTaskId, subTask.subTaskId});
    if (modified == m_modified.end())
        return;
    const std::vector<Values>& allowed = modified->second;
    if (std::find(allowed.begin(), allowed.end(), subTask.values) == allowed.end())
        fail(QStringLiteral("run %1: sub-task %2 has %3 shares at %4, not what its acknowledged modification set (%5 at %6)")
                 .arg(m_run).arg(QString::fromUtf8(refOf(mainTaskId, subTask.subTaskId))).arg(subTask.values.volume)
                 .arg(subTask.values.startTime).arg(allowed.front().volume).arg(allowed.front().startTime));
    modified->second = {subTask.values};
}

void CrashLedger::verifyBrokerOrder(const QByteArray& ref, const StoredSubTask& subTask)
{
    const auto order = m_orders.constFind(ref);
    const bool reachedBroker = subTask.trigger != kNotTriggered && subTask.trigger != kFailed;
    if (reachedBroker && order == m_orders.constEnd())
        fail(QStringLiteral("run %1: sub-task %2 is stored as sent (%3) but no order reached the broker")
                 .arg(m_run).arg(QString::fromUtf8(ref)).arg(subTask.trigger));
    // The sub-task's state and the broker's are stored in one transaction.
    if (reachedBroker && subTask.trigger != kRejected && (subTask.brokerTraded < 0 || subTask.traded > subTask.brokerTraded))
        fail(QStringLiteral("run %1: sub-task %2 is stored as sent with %3 traded, the broker's order has %4")
                 .arg(m_run).arg(QString::fromUtf8(ref)).arg(subTask.traded).arg(subTask.brokerTraded));
    if (subTask.trigger == kNotTriggered && order != m_orders.constEnd() && order->sequence < m_snapshotSequence)
        fail(QStringLiteral("run %1: sub-task %2 waits to fire again although its order reached the broker in run %3")
                 .arg(m_run).arg(QString::fromUtf8(ref)).arg(order->firstRun));
}

void CrashLedger::verifyExchange()
{
    if (!m_ready)
        return;
    for (const auto& entry : m_stored) {
        for (const StoredSubTask& subTask : entry.second.subTasks)
            verifyExchangeOrder(refOf(entry.first, subTask.subTaskId), subTask);
    }
}

void CrashLedger::verifyExchangeOrder(const QByteArray& ref, const StoredSubTask& subTask)
{
    const auto order = m_orders.constFind(ref);
    const bool received = order != m_orders.constEnd();
    const bool left = subTask.trigger == kSent || subTask.trigger == kFilled || subTask.trigger == kRejected;
    // One this run sent itself may still be found unsent (its number gap-filled, or it never left
    // the socket); the next restart reconciles it, and its report is held to this.
    if (left && !received && !m_sentThisRun.contains(ref))
        fail(QStringLiteral("run %1: sub-task %2 is stored as sent (%3) but the exchange never received its order")
                 .arg(m_run).arg(QString::fromUtf8(ref)).arg(subTask.trigger));
    // A failed sub-task never fires again: any order of it at all was sent although it says not.
    if (subTask.trigger == kFailed && received)
        fail(QStringLiteral("run %1: sub-task %2 failed unsent (%3) but the exchange received its order in run %4")
                 .arg(m_run).arg(QString::fromUtf8(ref)).arg(QLatin1Char(subTask.failure)).arg(order->firstRun));
    // One still waiting may fire after the restart reported it; never before.
    if (subTask.trigger == kNotTriggered && received && order->firstRun < m_run)
        fail(QStringLiteral("run %1: sub-task %2 waits to fire although the exchange received its order in run %3")
                 .arg(m_run).arg(QString::fromUtf8(ref)).arg(order->firstRun));
}

void CrashLedger::verifyIds()
{
    if (m_drawnMain <= m_idFloorMain || m_drawnSub <= m_idFloorSub)
        fail(QStringLiteral("run %1 drew ids #%2 and #%3, not above the used #%4 and #%5")
                 .arg(m_run).arg(m_drawnMain).arg(m_drawnSub).arg(m_idFloorMain).arg(m_idFloorSub));
}

QByteArray CrashLedger::refOf(int mainTaskId, int subTaskId) const
{
    return QByteArray::number(m_accountId) + '-' + QByteArray::number(mainTaskId) + '-' + QByteArray::number(subTaskId);
}

void CrashLedger::fail(const QString& what)
{
    m_faults.append(what);
}
