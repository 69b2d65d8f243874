#include "CrashWorkload.h"

#include "CrashReport.h"
#include "CrashWatchedRoute.h"
#include "SchedOrdClock.h"
#include "SchedOrdCodes.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "Util.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QTimer>

#include <algorithm>

using namespace VELMSCHEDORDAPI;

namespace {

constexpr int kBurstSize = 5000;
constexpr int kMostKnownTasks = 12;
constexpr int kMostKnownSubTasks = 15000;
constexpr int64_t kTicksPerMs = SchedOrdClock::TicksPerSecond / 1000;
constexpr int kReconcilePollMs = 50;
constexpr int kStalledExitCode = 3;

bool beingChecked(const SchedOrdSubTaskField& subTask)
{
    return Util::Str2QStr(subTask.ErrorMsg).startsWith(QStringLiteral("正在向券商核对"));
}

QByteArray number(int64_t value)
{
    return QByteArray::number(static_cast<qlonglong>(value));
}

QByteArray idList(const std::vector<int>& ids)
{
    QByteArray text;
    for (const int id : ids)
        text += ' ' + number(id);
    return text;
}

// The harness tells the failures it must accept from the others by these classes.
char failureClass(const SchedOrdSubTaskField& subTask)
{
    const QString error = Util::Str2QStr(subTask.ErrorMsg);
    if (error.startsWith(QStringLiteral("错过设定时间")))
        return 'M';
    if (error.startsWith(QStringLiteral("委托状态未知")))
        return 'U';
    if (error.startsWith(QStringLiteral("路由未连接")))
        return 'R';
    return '-';
}

} // namespace

CrashWorkload::CrashWorkload(int accountId, ServiceScheduledOrder& service, const SimBroker& broker,
                             const CrashReport& report, uint32_t seed)
    : m_accountId(accountId)
    , m_service(service)
    , m_broker(broker)
    , m_report(report)
    , m_random(seed)
{
}

bool CrashWorkload::open(const QString& databasePath)
{
    QString message;
    if (!m_service.openStorage(databasePath, &message)) {
        m_report.line("OPEN-FAILED " + message.toUtf8());
        return false;
    }
    return true;
}

void CrashWorkload::start()
{
    reportState();
    QTimer::singleShot(0, this, &CrashWorkload::step);
}

void CrashWorkload::startWhenReconciled(const CrashWatchedRoute& route, int timeoutMs)
{
    m_route = &route;
    m_reconcileTimeoutMs = timeoutMs;
    m_reconcileClock.start();
    checkReconciled();
}

void CrashWorkload::checkReconciled()
{
    // Read before this poll's pass: answers counted here were handed to the engine before it.
    const bool askedAll = m_passedSinceLogon;
    const int unanswered = m_route->unansweredRequests();
    if (m_route->hasLoggedOn()) {
        // The first pass after logon asks about every open order; each pass applies the answers come.
        m_service.waitForEngineIdle();
        m_passedSinceLogon = true;
    }
    const int checking = subTasksBeingChecked();
    if (askedAll && m_route->isConnected() && unanswered == 0 && checking == 0) {
        start();
        return;
    }
    if (m_reconcileClock.elapsed() > m_reconcileTimeoutMs) {
        m_report.line("STALLED after " + number(m_reconcileClock.elapsed()) + " ms: "
                      + (m_passedSinceLogon ? number(unanswered) + " status requests unanswered, " + number(checking)
                                                  + " sub-tasks still being checked with the broker"
                                            : QByteArray("the route never logged on")));
        QCoreApplication::exit(kStalledExitCode);
        return;
    }
    QTimer::singleShot(kReconcilePollMs, this, &CrashWorkload::checkReconciled);
}

int CrashWorkload::subTasksBeingChecked() const
{
    int checking = 0;
    for (const SchedOrdTaskField& task : m_service.getVecMainTask())
        checking += int(std::count_if(task.VecSubTask.begin(), task.VecSubTask.end(), beingChecked));
    return checking;
}

void CrashWorkload::reportState()
{
    // Orders reported before this line were placed before the state below was read.
    m_report.line("SNAPSHOT");
    const std::vector<SchedOrdTaskField> tasks = m_service.getVecMainTask();
    // Read after the tasks: fills only add, so a sub-task never shows more traded than its order.
    QHash<QString, int> brokerTraded;
    for (const SimOrder& order : m_broker.orders())
        brokerTraded.insert(order.ClientOrderRef, order.TradedVolume);
    QByteArrayList lines;
    for (const SchedOrdTaskField& task : tasks) {
        lines.append("T " + number(task.MainTaskID) + ' ' + task.MainTaskStatus + ' ' + number(int(task.VecSubTask.size())));
        for (const SchedOrdSubTaskField& s : task.VecSubTask) {
            lines.append("S " + number(s.MainTaskID) + ' ' + number(s.SubTaskID) + ' ' + s.SubTaskStatus + ' '
                         + s.TriggerStatus + ' ' + failureClass(s) + ' ' + number(s.TargetVolume) + ' '
                         + number(s.StartTime) + ' ' + number(s.TradeVolume) + ' '
                         + number(brokerTraded.value(clientOrderRef(s), -1)));
        }
        if (!task.VecSubTask.empty())
            m_known[task.MainTaskID] = Known{task.VecSubTask.front().SubTaskID, int(task.VecSubTask.size())};
    }
    m_report.lines(lines);
    const int nextMain = m_service.getNextMainTaskID();
    const int nextSub = m_service.getNextSubTaskID();
    m_report.line("IDS " + number(nextMain) + ' ' + number(nextSub));
    m_report.line("READY");
}

void CrashWorkload::step()
{
    runOneOperation();
    QTimer::singleShot(pick(5, 40), this, &CrashWorkload::step);
}

void CrashWorkload::runOneOperation()
{
    trimWhenLarge();
    const int dice = pick(0, 99);
    if (dice < 18)
        importTasks();
    else if (dice < 38)
        singleOrder();
    else if (dice < 42)
        burst();
    else if (dice < 56)
        switchTasks(true);
    else if (dice < 66)
        switchTasks(false);
    else if (dice < 74)
        deleteTasks(someKnownIds(2));
    else
        modifyOne();
}

void CrashWorkload::importTasks()
{
    std::vector<SchedOrdTaskField> tasks;
    const int count = pick(1, 3);
    for (int i = 0; i < count; ++i)
        tasks.push_back(makeTask(pick(20, 400), false));
    add(std::move(tasks), pick(0, 1) == 1);
}

void CrashWorkload::singleOrder()
{
    add({makeTask(1, false)}, true);
}

void CrashWorkload::burst()
{
    for (const auto& entry : m_known) {
        if (entry.second.subTaskCount >= kBurstSize)
            return;
    }
    add({makeTask(kBurstSize, true)}, true);
}

void CrashWorkload::switchTasks(bool start)
{
    const std::vector<int> ids = someKnownIds(3);
    if (ids.empty())
        return;
    const QByteArray operation = (start ? "START" : "PAUSE") + idList(ids);
    m_report.line("DO " + operation);
    acknowledge(operation, start ? m_service.StartMainTasks(ids) : m_service.PauseMainTasks(ids));
}

void CrashWorkload::deleteTasks(const std::vector<int>& ids)
{
    if (ids.empty())
        return;
    const QByteArray operation = "DELETE" + idList(ids);
    m_report.line("DO " + operation);
    const bool deleted = m_service.DeleteMainTasks(ids);
    for (const int id : ids)
        m_known.erase(id);
    acknowledge(operation, deleted);
}

void CrashWorkload::modifyOne()
{
    const std::vector<int> ids = someKnownIds(1);
    if (ids.empty())
        return;
    SchedOrdTaskField task = m_service.getOneMainTask(ids.front());
    if (task.VecSubTask.empty())
        return;
    // Mostly one that still waits; now and then one that fired, which must be refused.
    std::vector<const SchedOrdSubTaskField*> candidates;
    for (const SchedOrdSubTaskField& subTask : task.VecSubTask) {
        if (subTask.TriggerStatus == SubTriggerStatus::NotTriggered)
            candidates.push_back(&subTask);
    }
    SchedOrdSubTaskField subTask = candidates.empty() || pick(0, 9) == 0
        ? task.VecSubTask[size_t(pick(0, int(task.VecSubTask.size()) - 1))]
        : *candidates[size_t(pick(0, int(candidates.size()) - 1))];
    subTask.TargetVolume = 100 * pick(1, 50);
    subTask.StartTime = soon();
    subTask.EndTime = subTask.StartTime;
    const QByteArray operation = "MODIFY " + number(subTask.MainTaskID) + ' ' + number(subTask.SubTaskID) + ' '
                                 + number(subTask.TargetVolume) + ' ' + number(subTask.StartTime);
    m_report.line("DO " + operation);
    acknowledge(operation, m_service.ModifyOneSubTask(subTask));
}

void CrashWorkload::trimWhenLarge()
{
    while (m_known.size() > size_t(kMostKnownTasks) || knownSubTasks() > kMostKnownSubTasks) {
        auto largest = m_known.begin();
        for (auto it = m_known.begin(); it != m_known.end(); ++it) {
            if (it->second.subTaskCount > largest->second.subTaskCount)
                largest = it;
        }
        const int victim = m_known.size() > size_t(kMostKnownTasks) ? m_known.begin()->first : largest->first;
        deleteTasks({victim});
    }
}

void CrashWorkload::add(std::vector<SchedOrdTaskField> tasks, bool thenStart)
{
    QByteArray operation = "ADD";
    std::vector<int> ids;
    for (const SchedOrdTaskField& task : tasks) {
        operation += ' ' + number(task.MainTaskID) + ':' + number(task.VecSubTask.front().SubTaskID) + ':'
                     + number(int(task.VecSubTask.size()));
        ids.push_back(task.MainTaskID);
    }
    m_report.line("DO " + operation);
    m_service.AddMainTasks(tasks);
    for (const SchedOrdTaskField& task : tasks)
        m_known[task.MainTaskID] = Known{task.VecSubTask.front().SubTaskID, int(task.VecSubTask.size())};
    acknowledge(operation, true);
    if (thenStart) {
        const QByteArray start = "START" + idList(ids);
        m_report.line("DO " + start);
        acknowledge(start, m_service.StartMainTasks(ids));
    }
}

SchedOrdTaskField CrashWorkload::makeTask(int subTasks, bool sameSecond)
{
    // Due together on a whole second, or spread over the next few seconds.
    const int64_t second = SchedOrdClock::TicksPerSecond;
    const int64_t together = (nowTicks() / second + 2) * second;
    SchedOrdTaskField task;
    task.MainTaskID = m_service.getNextMainTaskID();
    task.MainTaskName = Util::QStr2str(QStringLiteral("崩溃测试"));
    task.MainTaskStatus = MainTaskStatus::NotStarted;
    task.TriggerStatus = MainTriggerStatus::None;
    task.CreateTime = nowTicks();
    task.VecSubTask.reserve(size_t(subTasks));
    for (int i = 0; i < subTasks; ++i)
        task.VecSubTask.push_back(makeSubTask(task.MainTaskID, sameSecond ? together : soon()));
    task.StartTime = task.EndTime = task.VecSubTask.front().StartTime;
    for (const SchedOrdSubTaskField& subTask : task.VecSubTask) {
        task.StartTime = std::min(task.StartTime, subTask.StartTime);
        task.EndTime = std::max(task.EndTime, subTask.EndTime);
    }
    task.IsSameStartTime = task.IsSameEndTime = task.StartTime == task.EndTime;
    task.Direction = task.VecSubTask.front().Direction;
    return task;
}

SchedOrdSubTaskField CrashWorkload::makeSubTask(int mainTaskId, int64_t startTime)
{
    // Mostly buys of 600000 and sells of the held 000001; a sell of 600519, which the account does
    // not hold, is rejected by the broker.
    const int kind = pick(0, 9);
    SchedOrdSubTaskField subTask;
    subTask.MainTaskID = mainTaskId;
    subTask.SubTaskID = m_service.getNextSubTaskID();
    subTask.SecurityID = kind < 6 ? "600000" : kind < 9 ? "000001" : "600519";
    subTask.ExchangeID = kind < 6 || kind == 9 ? Exchange::Shanghai : Exchange::Shenzhen;
    subTask.SecurityKey = subTask.SecurityID + (subTask.ExchangeID == Exchange::Shanghai ? ".SH" : ".SZ");
    subTask.Direction = kind < 6 ? Direction::Buy : Direction::Sell;
    subTask.TargetVolume = 100 * pick(1, 20);
    subTask.SubTaskStatus = SubTaskStatus::NotStarted;
    subTask.TriggerStatus = SubTriggerStatus::NotTriggered;
    // Ask 1 trades at once as far as the levels reach; bid 1 mostly rests.
    subTask.PriceType = pick(0, 3) == 0 ? 2 : 1;
    subTask.PriceFloatType = PriceFloatType::Tick;
    subTask.StartTime = startTime;
    subTask.EndTime = startTime;
    return subTask;
}

std::vector<int> CrashWorkload::someKnownIds(int most)
{
    std::vector<int> ids;
    if (m_known.empty())
        return ids;
    const int count = pick(1, most);
    for (int i = 0; i < count; ++i) {
        auto it = m_known.begin();
        std::advance(it, pick(0, int(m_known.size()) - 1));
        if (std::find(ids.begin(), ids.end(), it->first) == ids.end())
            ids.push_back(it->first);
    }
    return ids;
}

QString CrashWorkload::clientOrderRef(const SchedOrdSubTaskField& subTask) const
{
    // The engine names each order so: account, main task, sub-task.
    return QStringLiteral("%1-%2-%3").arg(m_accountId).arg(subTask.MainTaskID).arg(subTask.SubTaskID);
}

int CrashWorkload::knownSubTasks() const
{
    int total = 0;
    for (const auto& entry : m_known)
        total += entry.second.subTaskCount;
    return total;
}

int64_t CrashWorkload::nowTicks() const
{
    return QDateTime::currentMSecsSinceEpoch() * kTicksPerMs;
}

int64_t CrashWorkload::soon()
{
    return nowTicks() + pick(200, 2500) * kTicksPerMs;
}

int CrashWorkload::pick(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(m_random);
}

void CrashWorkload::acknowledge(const QByteArray& operation, bool result)
{
    m_report.line("ACK " + QByteArray(result ? "1 " : "0 ") + operation);
}
