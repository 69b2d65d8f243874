#include "MarketSimulator.h"
#include "SchedOrdClock.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "Util.h"
#include "VelmTest.h"

#include <QtTest>

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

using namespace VELMSCHEDORDAPI;

namespace {

const int64_t kSecond = SchedOrdTaskTime::TicksPerSecond;
// 09:25:00 on a trading day, in the zone the tests run in.
const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);
const int64_t kMidnight = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 0, 0, 0);
const QString kPufa = QStringLiteral("600000.SH");

int64_t at(double seconds)
{
    return kT0 + static_cast<int64_t>(seconds * kSecond);
}

SchedOrdSubTaskField makeSub(int mainId, int subId, int64_t start, char direction = Direction::Buy, int volume = 100,
                             int priceType = 1, const QString& key = kPufa)
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = mainId;
    sub.SubTaskID = subId;
    sub.SecurityKey = key.toStdString();
    sub.SecurityID = key.section(QLatin1Char('.'), 0, 0).toStdString();
    const QString exchange = key.section(QLatin1Char('.'), 1);
    sub.ExchangeID = exchange == QLatin1String("SH") ? '1' : exchange == QLatin1String("SZ") ? '2' : '4';
    sub.Direction = direction;
    sub.TriggerTime = kMidnight;
    sub.TargetVolume = volume;
    sub.SubTaskStatus = SubTaskStatus::NotStarted;
    sub.TriggerStatus = SubTriggerStatus::NotTriggered;
    sub.PriceType = priceType;
    sub.PriceFloatType = PriceFloatType::Tick;
    sub.StartTime = start;
    sub.EndTime = start;
    return sub;
}

// As the module builds it: aggregates over the sub-tasks, not started, not triggered.
SchedOrdTaskField makeTask(int id, std::vector<SchedOrdSubTaskField> subs)
{
    SchedOrdTaskField task;
    task.MainTaskID = id;
    task.MainTaskName = Util::QStr2str(QStringLiteral("600000_浦发银行"));
    task.MainTaskStatus = MainTaskStatus::NotStarted;
    task.TriggerStatus = MainTriggerStatus::None;
    task.CreateTime = kT0;
    task.StartTime = subs.front().StartTime;
    task.EndTime = subs.front().EndTime;
    task.Direction = subs.front().Direction;
    for (SchedOrdSubTaskField& sub : subs) {
        sub.MainTaskID = id;
        task.StartTime = std::min(task.StartTime, sub.StartTime);
        task.EndTime = std::max(task.EndTime, sub.EndTime);
        task.IsSameStartTime = task.IsSameStartTime && sub.StartTime == subs.front().StartTime;
        task.IsSameEndTime = task.IsSameEndTime && sub.EndTime == subs.front().EndTime;
        if (sub.Direction != task.Direction)
            task.Direction = 0;
    }
    task.VecSubTask = std::move(subs);
    return task;
}

SchedOrdTaskField taskOfMany(int id, int firstSubId, int count, int64_t start)
{
    std::vector<SchedOrdSubTaskField> subs;
    for (int i = 0; i < count; ++i)
        subs.push_back(makeSub(id, firstSubId + i, start));
    return makeTask(id, std::move(subs));
}

// Last 10.35, previous close 10.20, limits 11.22 / 9.18; bids 10.34 .. 10.30, asks 10.36 .. 10.40.
Lev1MarketData standardQuote()
{
    Lev1MarketData quote;
    quote.LastPrice = 10.35;
    quote.PreClosePrice = 10.20;
    quote.UpperLimitPrice = 11.22;
    quote.LowerLimitPrice = 9.18;
    for (int level = 0; level < 5; ++level) {
        quote.PriceLevels[static_cast<size_t>(level)] = {10.34 - 0.01 * level, 100000.0};
        quote.PriceLevels[static_cast<size_t>(5 + level)] = {10.36 + 0.01 * level, 100000.0};
    }
    return quote;
}

enum Book { FullBook = 0, OnlyLevelOne = 1, NoAsks = 2, ThinAskOne = 3 };

Lev1MarketData quoteWith(int book)
{
    Lev1MarketData quote = standardQuote();
    for (int level = 1; level < 5 && book != FullBook; ++level) {
        quote.PriceLevels[static_cast<size_t>(level)] = {0.0, 0.0};
        quote.PriceLevels[static_cast<size_t>(5 + level)] = {0.0, 0.0};
    }
    if (book == NoAsks)
        quote.PriceLevels[5] = {0.0, 0.0};
    if (book == ThinAskOne)
        quote.PriceLevels[5].second = 100.0;
    return quote;
}

QString differences(const SchedOrdSubTaskField& a, const SchedOrdSubTaskField& b)
{
    QStringList fields;
    const auto check = [&fields](const char* name, bool same) {
        if (!same)
            fields << QString::fromLatin1(name);
    };
    check("MainTaskID", a.MainTaskID == b.MainTaskID);
    check("SubTaskID", a.SubTaskID == b.SubTaskID);
    check("SecurityKey", a.SecurityKey == b.SecurityKey);
    check("SecurityID", a.SecurityID == b.SecurityID);
    check("ExchangeID", a.ExchangeID == b.ExchangeID);
    check("Direction", a.Direction == b.Direction);
    check("TriggerTime", a.TriggerTime == b.TriggerTime);
    check("TargetVolume", a.TargetVolume == b.TargetVolume);
    check("TradeVolume", a.TradeVolume == b.TradeVolume);
    check("SubTaskStatus", a.SubTaskStatus == b.SubTaskStatus);
    check("TriggerStatus", a.TriggerStatus == b.TriggerStatus);
    check("HostCode", a.HostCode == b.HostCode);
    check("OrderVolume", a.OrderVolume == b.OrderVolume);
    check("PriceType", a.PriceType == b.PriceType);
    check("PriceFloatType", a.PriceFloatType == b.PriceFloatType);
    check("PriceFloatValue", a.PriceFloatValue == b.PriceFloatValue);
    check("OrderPrice", a.OrderPrice == b.OrderPrice);
    check("HostValue", a.HostValue == b.HostValue);
    check("StartTime", a.StartTime == b.StartTime);
    check("EndTime", a.EndTime == b.EndTime);
    check("NoSellAtLimitUp", a.NoSellAtLimitUp == b.NoSellAtLimitUp);
    check("NoBuyAtLimitDown", a.NoBuyAtLimitDown == b.NoBuyAtLimitDown);
    check("ErrorMsg", a.ErrorMsg == b.ErrorMsg);
    return fields.join(QLatin1Char(','));
}

QString differences(const SchedOrdTaskField& a, const SchedOrdTaskField& b)
{
    QStringList fields;
    const auto check = [&fields](const QString& name, bool same) {
        if (!same)
            fields << name;
    };
    check(QStringLiteral("MainTaskID"), a.MainTaskID == b.MainTaskID);
    check(QStringLiteral("MainTaskName"), a.MainTaskName == b.MainTaskName);
    check(QStringLiteral("MainTaskStatus"), a.MainTaskStatus == b.MainTaskStatus);
    check(QStringLiteral("TriggerStatus"), a.TriggerStatus == b.TriggerStatus);
    check(QStringLiteral("CreateTime"), a.CreateTime == b.CreateTime);
    check(QStringLiteral("StartTime"), a.StartTime == b.StartTime);
    check(QStringLiteral("EndTime"), a.EndTime == b.EndTime);
    check(QStringLiteral("IsSameStartTime"), a.IsSameStartTime == b.IsSameStartTime);
    check(QStringLiteral("IsSameEndTime"), a.IsSameEndTime == b.IsSameEndTime);
    check(QStringLiteral("Direction"), a.Direction == b.Direction);
    check(QStringLiteral("VecSubTask.size"), a.VecSubTask.size() == b.VecSubTask.size());
    for (size_t i = 0; i < std::min(a.VecSubTask.size(), b.VecSubTask.size()); ++i) {
        const QString sub = differences(a.VecSubTask[i], b.VecSubTask[i]);
        check(QStringLiteral("sub %1: %2").arg(i).arg(sub), sub.isEmpty());
    }
    return fields.join(QLatin1String("; "));
}

// Every signal of a service, recorded on the thread that emits it.
class Recorder : public QObject
{
public:
    struct Event {
        char kind;          // A added, M main changed, S sub-tasks changed, D deleted, L log line
        int mainTaskId;
        std::unordered_set<int> subTaskIds;
        QString line;
        QThread* thread;
    };

    // Records what happens from now on: what the engine still had to emit is emitted first.
    explicit Recorder(ServiceScheduledOrder& service)
    {
        service.waitForEngineIdle();
        connect(&service, &ServiceScheduledOrder::signalRtnMainTaskAdded, this,
                [this](int id) { push({'A', id, {}, QString(), QThread::currentThread()}); }, Qt::DirectConnection);
        connect(&service, &ServiceScheduledOrder::signalRtnMainTaskChanged, this,
                [this](int id) { push({'M', id, {}, QString(), QThread::currentThread()}); }, Qt::DirectConnection);
        connect(&service, &ServiceScheduledOrder::signalRtnSubTaskChanged, this,
                [this](int id, std::unordered_set<int> subs) {
                    push({'S', id, std::move(subs), QString(), QThread::currentThread()});
                },
                Qt::DirectConnection);
        connect(&service, &ServiceScheduledOrder::signalRtnMainTaskDeleted, this,
                [this] { push({'D', 0, {}, QString(), QThread::currentThread()}); }, Qt::DirectConnection);
        connect(&service, &ServiceScheduledOrder::signalOperationLog, this,
                [this](const QString& line) { push({'L', 0, {}, line, QThread::currentThread()}); }, Qt::DirectConnection);
    }

    std::vector<Event> events(char kind) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::vector<Event> found;
        std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(found), [kind](const Event& e) { return e.kind == kind; });
        return found;
    }
    std::vector<Event> all() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_events;
    }
    int count(char kind, int mainTaskId) const
    {
        const std::vector<Event> found = events(kind);
        return static_cast<int>(std::count_if(found.begin(), found.end(), [mainTaskId](const Event& e) { return e.mainTaskId == mainTaskId; }));
    }
    QStringList lines() const
    {
        QStringList lines;
        for (const Event& event : events('L'))
            lines << event.line;
        return lines;
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_events.clear();
    }

private:
    void push(Event event)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_events.push_back(std::move(event));
    }

    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

// One account: a market, a broker with plenty of everything, the service on a hand-moved clock.
struct Rig
{
    explicit Rig(int apiType = 1)
        : market(SecurityCatalogue::instance(), 7)
        , broker(apiType)
        , service(std::make_unique<ServiceScheduledOrder>(1, apiType, SecurityCatalogue::instance(), market, broker))
        , clock(std::make_shared<ManualSchedOrdClock>(kT0))
    {
        service->setClock(clock);
        broker.setAvailableFunds(1e10);
        broker.setCreditLine(1e10);
        broker.setPosition(kPufa, 10000000, 10.0);
        broker.setShortQuota(kPufa, 10000000);
    }

    void addAndStart(const std::vector<SchedOrdTaskField>& tasks)
    {
        service->AddMainTasks(tasks);
        std::vector<int> ids;
        for (const SchedOrdTaskField& task : tasks)
            ids.push_back(task.MainTaskID);
        service->StartMainTasks(ids);
        service->waitForEngineIdle();
    }
    void moveTo(int64_t time)
    {
        clock->setNow(time);
        service->waitForEngineIdle();
    }
    SchedOrdSubTaskField sub(int mainId, size_t index = 0)
    {
        return service->getOneMainTask(mainId).VecSubTask.at(index);
    }
    std::vector<SimOrder> ordersOf(int subId) const
    {
        std::vector<SimOrder> found;
        for (const SimOrder& order : broker.orders()) {
            if (order.SubTaskID == subId)
                found.push_back(order);
        }
        return found;
    }

    MarketSimulator market;
    SimBroker broker;
    std::unique_ptr<ServiceScheduledOrder> service;
    std::shared_ptr<ManualSchedOrdClock> clock;
};

} // namespace

class EngineTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    // ---- store and ids ----

    void idsAreFreshOnEveryCallFromAnyThread()
    {
        Rig rig;
        QCOMPARE(rig.service->getNextMainTaskID(), 1);
        QCOMPARE(rig.service->getNextMainTaskID(), 2);
        std::vector<std::vector<int>> drawn(4);
        std::vector<std::thread> threads;
        for (auto& ids : drawn) {
            threads.emplace_back([&rig, &ids] {
                for (int i = 0; i < 500; ++i)
                    ids.push_back(rig.service->getNextSubTaskID());
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        std::set<int> unique;
        for (const auto& ids : drawn)
            unique.insert(ids.begin(), ids.end());
        QCOMPARE(int(unique.size()), 2000);
        QCOMPARE(*unique.begin(), 1);
        QCOMPARE(*unique.rbegin(), 2000);
    }

    void addStoresCopiesInIdOrder()
    {
        Rig rig;
        Recorder recorder(*rig.service);
        SchedOrdTaskField third = makeTask(3, {makeSub(3, 30, at(60)), makeSub(3, 31, at(90), Direction::Sell)});
        third.VecSubTask[1].HostCode = 'h';
        third.VecSubTask[1].HostValue = 0x0102030405060708LL;
        rig.service->AddMainTasks({third});
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 10, at(60))}), makeTask(2, {makeSub(2, 20, at(60))})});
        third.MainTaskName = "changed after handing over";
        third.VecSubTask[0].TargetVolume = 999;
        rig.service->waitForEngineIdle();

        const std::vector<SchedOrdTaskField> tasks = rig.service->getVecMainTask();
        QCOMPARE(int(tasks.size()), 3);
        QCOMPARE(tasks[0].MainTaskID, 1);
        QCOMPARE(tasks[1].MainTaskID, 2);
        QCOMPARE(tasks[2].MainTaskID, 3);
        QCOMPARE(tasks[2].MainTaskName, Util::QStr2str(QStringLiteral("600000_浦发银行")));
        QCOMPARE(tasks[2].VecSubTask[0].TargetVolume, 100);
        QCOMPARE(tasks[2].VecSubTask[1].HostCode, 'h');
        QCOMPARE(tasks[2].VecSubTask[1].HostValue, int64_t(0x0102030405060708LL));
        QCOMPARE(tasks[2].Direction, char(0));
        QVERIFY(!tasks[2].IsSameStartTime);

        std::vector<int> subIds;
        for (const SchedOrdSubTaskField& sub : rig.service->getVecAllSubTask())
            subIds.push_back(sub.SubTaskID);
        QCOMPARE(subIds, (std::vector<int>{10, 20, 30, 31}));

        const std::vector<Recorder::Event> added = recorder.events('A');
        QCOMPARE(int(added.size()), 3);
        QCOMPARE(added[0].mainTaskId, 3);
        QCOMPARE(added[1].mainTaskId, 1);
        QCOMPARE(added[2].mainTaskId, 2);
        // Ids drawn afterwards do not collide with the ones the caller chose.
        QVERIFY(rig.service->getNextMainTaskID() > 3);
        QVERIFY(rig.service->getNextSubTaskID() > 31);
    }

    void unknownMainTaskIsMinusOne()
    {
        Rig rig;
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 1, at(60))})});
        const SchedOrdTaskField unknown = rig.service->getOneMainTask(42);
        QCOMPARE(unknown.MainTaskID, -1);
        QVERIFY(unknown.VecSubTask.empty());
        QCOMPARE(rig.service->getOneMainTask(1).MainTaskID, 1);
    }

    void duplicateIdsAreRefused()
    {
        Rig rig;
        Recorder recorder(*rig.service);
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 1, at(60))})});
        SchedOrdTaskField impostor = makeTask(1, {makeSub(1, 7, at(5)), makeSub(1, 8, at(5))});
        impostor.MainTaskName = "impostor";
        SchedOrdTaskField zero = makeTask(0, {makeSub(0, 9, at(5))});
        rig.service->AddMainTasks({impostor, makeTask(2, {makeSub(2, 2, at(60))}), impostor, zero});
        rig.service->waitForEngineIdle();

        const std::vector<SchedOrdTaskField> tasks = rig.service->getVecMainTask();
        QCOMPARE(int(tasks.size()), 2);
        QCOMPARE(tasks[0].MainTaskName, Util::QStr2str(QStringLiteral("600000_浦发银行")));
        QCOMPARE(int(tasks[0].VecSubTask.size()), 1);
        QCOMPARE(tasks[0].VecSubTask[0].SubTaskID, 1);
        QCOMPARE(tasks[1].MainTaskID, 2);
        QCOMPARE(int(recorder.events('A').size()), 2);
        QCOMPARE(rig.service->operationLog().filter(QStringLiteral("新增任务 #1 被拒绝：任务编号无效或已存在")).size(), 2);
        QCOMPARE(rig.service->operationLog().filter(QStringLiteral("新增任务 #0 被拒绝")).size(), 1);
    }

    // ---- start, pause, delete ----

    void operationsAndTheirResults_data()
    {
        QTest::addColumn<char>("initialStatus");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<bool>("result");
        QTest::addColumn<char>("finalStatus");       // 0: deleted
        QTest::addColumn<char>("subStatus");
        QTest::addColumn<QString>("emitted");        // kinds emitted, in order, log lines left out

        QTest::newRow("start a new task") << '1' << "start" << true << '2' << '2' << "SM";
        QTest::newRow("start a paused task") << '3' << "start" << true << '2' << '2' << "SM";
        QTest::newRow("start a running task") << '2' << "start" << false << '2' << '2' << "";
        QTest::newRow("start a finished task") << '4' << "start" << false << '4' << '2' << "";
        QTest::newRow("pause a running task") << '2' << "pause" << true << '3' << '5' << "SM";
        QTest::newRow("pause a new task") << '1' << "pause" << false << '1' << '1' << "";
        QTest::newRow("pause a paused task") << '3' << "pause" << false << '3' << '5' << "";
        QTest::newRow("delete a new task") << '1' << "delete" << true << char(0) << char(0) << "D";
        QTest::newRow("delete a running task") << '2' << "delete" << true << char(0) << char(0) << "D";
        QTest::newRow("start an unknown id") << '1' << "start 99" << false << '1' << '1' << "";
        QTest::newRow("pause an unknown id") << '2' << "pause 99" << false << '2' << '2' << "";
        QTest::newRow("delete an unknown id") << '1' << "delete 99" << false << '1' << '1' << "";
        QTest::newRow("start nothing") << '1' << "start none" << false << '1' << '1' << "";
        QTest::newRow("delete nothing") << '1' << "delete none" << false << '1' << '1' << "";
    }
    void operationsAndTheirResults()
    {
        QFETCH(char, initialStatus);
        QFETCH(QString, operation);
        QFETCH(bool, result);
        QFETCH(char, finalStatus);
        QFETCH(char, subStatus);
        QFETCH(QString, emitted);

        Rig rig;
        SchedOrdTaskField task = makeTask(1, {makeSub(1, 1, at(600))});
        task.MainTaskStatus = initialStatus;
        const std::map<char, char> subStatusOf = {{'1', '1'}, {'2', '2'}, {'3', '5'}, {'4', '2'}};
        task.VecSubTask[0].SubTaskStatus = subStatusOf.at(initialStatus);
        rig.service->AddMainTasks({task});
        rig.service->waitForEngineIdle();
        Recorder recorder(*rig.service);

        const QString verb = operation.section(QLatin1Char(' '), 0, 0);
        const QString target = operation.section(QLatin1Char(' '), 1);
        const std::vector<int> ids = target == QLatin1String("none") ? std::vector<int>{}
                                   : target.isEmpty()                ? std::vector<int>{1}
                                                                     : std::vector<int>{target.toInt()};
        bool returned = false;
        if (verb == QLatin1String("start"))
            returned = rig.service->StartMainTasks(ids);
        else if (verb == QLatin1String("pause"))
            returned = rig.service->PauseMainTasks(ids);
        else
            returned = rig.service->DeleteMainTasks(ids);
        rig.service->waitForEngineIdle();

        QCOMPARE(returned, result);
        const SchedOrdTaskField stored = rig.service->getOneMainTask(1);
        if (finalStatus == 0) {
            QCOMPARE(stored.MainTaskID, -1);
        } else {
            QCOMPARE(stored.MainTaskStatus, finalStatus);
            QCOMPARE(stored.VecSubTask[0].SubTaskStatus, subStatus);
        }
        QString kinds;
        for (const Recorder::Event& event : recorder.all()) {
            if (event.kind != 'L')
                kinds += QLatin1Char(event.kind);
        }
        QCOMPARE(kinds, emitted);
        for (const Recorder::Event& event : recorder.events('S'))
            QCOMPARE(event.subTaskIds, (std::unordered_set<int>{1}));
        QCOMPARE(recorder.events('L').size(), emitted.isEmpty() ? size_t(0) : size_t(1));
    }

    void startWakesOnlySubTasksThatCanStillFire()
    {
        Rig rig;
        SchedOrdTaskField task = makeTask(1, {makeSub(1, 1, at(60)), makeSub(1, 2, at(60)), makeSub(1, 3, at(60)), makeSub(1, 4, at(60))});
        task.MainTaskStatus = MainTaskStatus::Paused;
        task.TriggerStatus = MainTriggerStatus::Partial;
        task.VecSubTask[0].SubTaskStatus = SubTaskStatus::Paused;
        task.VecSubTask[1].SubTaskStatus = SubTaskStatus::Completed;
        task.VecSubTask[1].TriggerStatus = SubTriggerStatus::Filled;
        task.VecSubTask[2].SubTaskStatus = SubTaskStatus::Stopped;
        rig.service->AddMainTasks({task});
        Recorder recorder(*rig.service);
        QVERIFY(rig.service->StartMainTasks({1}));
        rig.service->waitForEngineIdle();

        const SchedOrdTaskField stored = rig.service->getOneMainTask(1);
        QCOMPARE(stored.VecSubTask[0].SubTaskStatus, SubTaskStatus::Running);
        QCOMPARE(stored.VecSubTask[1].SubTaskStatus, SubTaskStatus::Completed);
        QCOMPARE(stored.VecSubTask[2].SubTaskStatus, SubTaskStatus::Stopped);
        QCOMPARE(stored.VecSubTask[3].SubTaskStatus, SubTaskStatus::Running);
        QCOMPARE(recorder.events('S').size(), size_t(1));
        QCOMPARE(recorder.events('S')[0].subTaskIds, (std::unordered_set<int>{1, 4}));

        rig.moveTo(at(60));
        QCOMPARE(int(rig.broker.orders().size()), 2);
        QCOMPARE(rig.sub(1, 2).TriggerStatus, SubTriggerStatus::NotTriggered);
    }

    // ---- when sub-tasks fire ----

    void firesAtItsSetTimeNotBefore_data()
    {
        QTest::addColumn<int64_t>("now");
        QTest::addColumn<bool>("fired");
        QTest::newRow("a minute early") << at(0) << false;
        QTest::newRow("100 ns early") << at(60) - 1 << false;
        QTest::newRow("on the dot") << at(60) << true;
        QTest::newRow("an hour late") << at(3600) << true;
    }
    void firesAtItsSetTimeNotBefore()
    {
        QFETCH(int64_t, now);
        QFETCH(bool, fired);
        Rig rig;
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(60))})});
        rig.moveTo(now);
        const SchedOrdSubTaskField sub = rig.sub(1);
        QCOMPARE(int(rig.broker.orders().size()), fired ? 1 : 0);
        QCOMPARE(sub.TriggerStatus, fired ? SubTriggerStatus::Filled : SubTriggerStatus::NotTriggered);
        QCOMPARE(sub.TriggerTime, fired ? now : kMidnight);
    }

    void pastSetTimeFiresAtOnceOnStart()
    {
        Rig rig;
        rig.clock->setNow(at(120));
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(60))})});
        QCOMPARE(rig.sub(1).TriggerStatus, SubTriggerStatus::Filled);
        QCOMPARE(rig.sub(1).TriggerTime, at(120));
    }

    void pausedTaskNeverFiresAndFiresOnResume()
    {
        Rig rig;
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(60))})});
        QVERIFY(rig.service->PauseMainTasks({1}));
        rig.moveTo(at(61));
        rig.moveTo(at(3600));
        QVERIFY(rig.broker.orders().empty());
        QCOMPARE(rig.sub(1).SubTaskStatus, SubTaskStatus::Paused);
        QCOMPARE(rig.sub(1).TriggerStatus, SubTriggerStatus::NotTriggered);

        QVERIFY(rig.service->StartMainTasks({1}));
        rig.service->waitForEngineIdle();
        QCOMPARE(int(rig.broker.orders().size()), 1);
        QCOMPARE(rig.sub(1).TriggerTime, at(3600));
        QCOMPARE(rig.service->getOneMainTask(1).MainTaskStatus, MainTaskStatus::AllTriggered);
    }

    void deletedTaskNeverFires()
    {
        Rig rig;
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(60))}), makeTask(2, {makeSub(2, 2, at(60))})});
        Recorder recorder(*rig.service);
        QVERIFY(rig.service->DeleteMainTasks({1, 77}));
        rig.moveTo(at(60));
        QCOMPARE(int(rig.broker.orders().size()), 1);
        QCOMPARE(rig.broker.orders().front().SubTaskID, 2);
        QCOMPARE(recorder.events('D').size(), size_t(1));
        QCOMPARE(recorder.count('S', 1), 0);
        QCOMPARE(rig.service->getVecMainTask().size(), size_t(1));
    }

    void pauseOrDeleteRacingTheFire_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("pause") << false;
        QTest::newRow("delete") << true;
    }
    void pauseOrDeleteRacingTheFire()
    {
        QFETCH(bool, deleting);
        Rig rig;
        Recorder recorder(*rig.service);
        int stoppedInTime = 0;
        for (int round = 0; round < 150; ++round) {
            const int victim = 2 * round + 1;
            const int bystander = victim + 1;
            const int64_t due = rig.clock->now() + kSecond;
            rig.addAndStart({makeTask(victim, {makeSub(victim, victim, due)}), makeTask(bystander, {makeSub(bystander, bystander, due)})});
            recorder.clear();

            bool actedOn = false;
            std::thread other([&] {
                actedOn = deleting ? rig.service->DeleteMainTasks({victim}) : rig.service->PauseMainTasks({victim});
            });
            rig.clock->setNow(due);
            other.join();
            rig.service->waitForEngineIdle();

            const int victimOrders = int(rig.ordersOf(victim).size());
            QCOMPARE(int(rig.ordersOf(bystander).size()), 1);
            QCOMPARE(rig.sub(bystander).TriggerStatus, SubTriggerStatus::Filled);
            QVERIFY(victimOrders <= 1);
            if (deleting) {
                QVERIFY(actedOn);
                QCOMPARE(rig.service->getOneMainTask(victim).MainTaskID, -1);
                // A fire that came first was reported; one that did not never happens.
                QCOMPARE(recorder.count('S', victim), victimOrders);
            } else if (actedOn) {
                QCOMPARE(victimOrders, 0);
                QCOMPARE(rig.sub(victim).TriggerStatus, SubTriggerStatus::NotTriggered);
                QCOMPARE(rig.sub(victim).SubTaskStatus, SubTaskStatus::Paused);
            } else {
                QCOMPARE(victimOrders, 1);
                QCOMPARE(rig.service->getOneMainTask(victim).MainTaskStatus, MainTaskStatus::AllTriggered);
            }
            stoppedInTime += victimOrders == 0 ? 1 : 0;
        }
        qInfo("stopped before the fire in %d of 150 rounds", stoppedInTime);
    }

    // ---- what a fire does ----

    void limitGuards_data()
    {
        QTest::addColumn<int>("apiType");
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("priceType");
        QTest::addColumn<bool>("noSellAtLimitUp");
        QTest::addColumn<bool>("noBuyAtLimitDown");
        QTest::addColumn<double>("last");
        QTest::addColumn<char>("trigger");
        QTest::addColumn<QString>("error");

        const QString up = QStringLiteral("涨停不卖：最新价11.39已达涨停价11.39");
        const QString down = QStringLiteral("跌停不买：最新价9.32已达跌停价9.32");
        QTest::newRow("sell at limit-up") << 1 << '1' << 2 << true << true << 11.39 << '2' << up;
        QTest::newRow("sell at limit-up, guard off") << 1 << '1' << 2 << false << true << 11.39 << '5' << "";
        QTest::newRow("sell a tick below limit-up") << 1 << '1' << 2 << true << true << 11.38 << '5' << "";
        QTest::newRow("collateral sell at limit-up") << 2 << '1' << 2 << true << false << 11.39 << '2' << up;
        QTest::newRow("short sell at limit-up") << 2 << 'j' << 2 << true << false << 11.39 << '2' << up;
        QTest::newRow("sell to repay at limit-up") << 2 << 'k' << 2 << true << false << 11.39 << '2' << up;
        QTest::newRow("short sell at limit-up, guard off") << 2 << 'j' << 2 << false << true << 11.39 << '5' << "";
        QTest::newRow("buy at limit-down") << 1 << '0' << 1 << true << true << 9.32 << '2' << down;
        QTest::newRow("buy at limit-down, guard off") << 1 << '0' << 1 << true << false << 9.32 << '5' << "";
        QTest::newRow("buy a tick above limit-down") << 1 << '0' << 1 << true << true << 9.33 << '5' << "";
        QTest::newRow("financed buy at limit-down") << 2 << 'i' << 1 << false << true << 9.32 << '2' << down;
        QTest::newRow("buy to cover at limit-down") << 2 << 'l' << 1 << false << true << 9.32 << '2' << down;
        QTest::newRow("collateral buy at limit-down") << 2 << '0' << 1 << false << true << 9.32 << '2' << down;
        // Each guard watches its own side only: these rest at the limit with the book empty there.
        QTest::newRow("buy at limit-up") << 1 << '0' << 14 << true << true << 11.39 << '3' << "";
        QTest::newRow("sell at limit-down") << 1 << '1' << 15 << true << true << 9.32 << '3' << "";
    }
    void limitGuards()
    {
        QFETCH(int, apiType);
        QFETCH(char, direction);
        QFETCH(int, priceType);
        QFETCH(bool, noSellAtLimitUp);
        QFETCH(bool, noBuyAtLimitDown);
        QFETCH(double, last);
        QFETCH(char, trigger);
        QFETCH(QString, error);

        Rig rig(apiType);
        rig.market.setLastPrice(kPufa, last);
        SchedOrdSubTaskField sub = makeSub(1, 1, at(10), direction, 100, priceType);
        sub.NoSellAtLimitUp = noSellAtLimitUp;
        sub.NoBuyAtLimitDown = noBuyAtLimitDown;
        rig.addAndStart({makeTask(1, {sub})});
        rig.moveTo(at(10));

        const SchedOrdSubTaskField fired = rig.sub(1);
        QCOMPARE(fired.TriggerStatus, trigger);
        QCOMPARE(Util::Str2QStr(fired.ErrorMsg), error);
        QCOMPARE(fired.TriggerTime, at(10));
        QCOMPARE(int(rig.broker.orders().size()), error.isEmpty() ? 1 : 0);
        QCOMPARE(fired.SubTaskStatus, trigger == '3' ? SubTaskStatus::Triggered : SubTaskStatus::Completed);
    }

    void orderPrice_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("book");
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("priceType");
        QTest::addColumn<char>("floatType");
        QTest::addColumn<double>("floatValue");
        QTest::addColumn<double>("orderPrice");
        QTest::addColumn<double>("price");
        QTest::addColumn<QString>("error");

        const QString p = kPufa;
        QTest::newRow("last") << p << 0 << '0' << 0 << '0' << 0.0 << 0.0 << 10.35 << "";
        QTest::newRow("ask 1") << p << 0 << '0' << 1 << '0' << 0.0 << 0.0 << 10.36 << "";
        QTest::newRow("bid 1") << p << 0 << '0' << 2 << '0' << 0.0 << 0.0 << 10.34 << "";
        QTest::newRow("ask 2") << p << 0 << '0' << 4 << '0' << 0.0 << 0.0 << 10.37 << "";
        QTest::newRow("bid 2") << p << 0 << '0' << 5 << '0' << 0.0 << 0.0 << 10.33 << "";
        QTest::newRow("ask 3") << p << 0 << '0' << 6 << '0' << 0.0 << 0.0 << 10.38 << "";
        QTest::newRow("bid 3") << p << 0 << '0' << 7 << '0' << 0.0 << 0.0 << 10.32 << "";
        QTest::newRow("ask 4") << p << 0 << '0' << 8 << '0' << 0.0 << 0.0 << 10.39 << "";
        QTest::newRow("bid 4") << p << 0 << '0' << 9 << '0' << 0.0 << 0.0 << 10.31 << "";
        QTest::newRow("ask 5") << p << 0 << '0' << 10 << '0' << 0.0 << 0.0 << 10.40 << "";
        QTest::newRow("bid 5") << p << 0 << '0' << 11 << '0' << 0.0 << 0.0 << 10.30 << "";
        QTest::newRow("market buy") << p << 0 << '0' << 3 << '0' << 0.0 << 0.0 << 10.36 << "";
        QTest::newRow("market sell") << p << 0 << '1' << 3 << '0' << 0.0 << 0.0 << 10.34 << "";
        QTest::newRow("market buy, no asks") << p << 2 << '0' << 3 << '0' << 0.0 << 0.0 << 11.22 << "";
        QTest::newRow("custom") << p << 0 << '0' << 12 << '0' << 0.0 << 10.12 << 10.12 << "";
        QTest::newRow("custom, off the grid") << p << 0 << '0' << 12 << '0' << 0.0 << 10.123 << 10.12 << "";
        QTest::newRow("custom, half a tick") << p << 0 << '0' << 12 << '0' << 0.0 << 10.125 << 10.13 << "";
        QTest::newRow("previous close") << p << 0 << '0' << 13 << '0' << 0.0 << 0.0 << 10.20 << "";
        QTest::newRow("limit-up") << p << 0 << '0' << 14 << '0' << 0.0 << 0.0 << 11.22 << "";
        QTest::newRow("limit-down") << p << 0 << '1' << 15 << '0' << 0.0 << 0.0 << 9.18 << "";
        QTest::newRow("buy cage: ask 1 + 2%, down") << p << 0 << '0' << 16 << '0' << 0.0 << 0.0 << 10.56 << "";
        QTest::newRow("buy cage, no asks: bid 1") << p << 2 << '0' << 16 << '0' << 0.0 << 0.0 << 10.54 << "";
        QTest::newRow("sell cage: bid 1 - 2%, up") << p << 0 << '1' << 17 << '0' << 0.0 << 0.0 << 10.14 << "";
        QTest::newRow("last + 2 ticks") << p << 0 << '0' << 0 << '0' << 2.0 << 0.0 << 10.37 << "";
        QTest::newRow("last - 3 ticks") << p << 0 << '0' << 0 << '0' << -3.0 << 0.0 << 10.32 << "";
        QTest::newRow("last + 1%") << p << 0 << '0' << 0 << '1' << 1.0 << 0.0 << 10.45 << "";
        QTest::newRow("last - 0.5%") << p << 0 << '0' << 0 << '1' << -0.5 << 0.0 << 10.30 << "";
        QTest::newRow("last + 0.05%, rounded up") << p << 0 << '0' << 0 << '1' << 0.05 << 0.0 << 10.36 << "";
        QTest::newRow("shift below 1e-6 ignored") << p << 0 << '0' << 0 << '0' << 5e-7 << 0.0 << 10.35 << "";
        QTest::newRow("clamped to limit-up") << p << 0 << '0' << 14 << '0' << 5.0 << 0.0 << 11.22 << "";
        QTest::newRow("clamped to limit-down") << p << 0 << '1' << 2 << '1' << -50.0 << 0.0 << 9.18 << "";
        QTest::newRow("ETF custom, tick 0.001") << "510050.SH" << 0 << '0' << 12 << '0' << 0.0 << 2.9126 << 2.913 << "";
        QTest::newRow("ETF last + 1%") << "510050.SH" << 0 << '0' << 0 << '1' << 1.0 << 0.0 << 2.941 << "";
        QTest::newRow("no ask 2") << p << 1 << '0' << 4 << '0' << 0.0 << 0.0 << 0.0 << "无有效卖二价，无法确定委托价格";
        QTest::newRow("no bid 5") << p << 1 << '1' << 11 << '0' << 0.0 << 0.0 << 0.0 << "无有效买五价，无法确定委托价格";
        QTest::newRow("no ask 1") << p << 2 << '0' << 1 << '0' << 0.0 << 0.0 << 0.0 << "无有效卖一价，无法确定委托价格";
        QTest::newRow("custom price 0") << p << 0 << '0' << 12 << '0' << 0.0 << 0.0 << 0.0 << "无有效自定价，无法确定委托价格";
        QTest::newRow("unknown price type") << p << 0 << '0' << 99 << '0' << 0.0 << 0.0 << 0.0 << "不支持的价格类型：99";
    }
    void orderPrice()
    {
        QFETCH(QString, key);
        QFETCH(int, book);
        QFETCH(char, direction);
        QFETCH(int, priceType);
        QFETCH(char, floatType);
        QFETCH(double, floatValue);
        QFETCH(double, orderPrice);
        QFETCH(double, price);
        QFETCH(QString, error);

        Rig rig;
        if (key == kPufa)
            rig.market.setQuote(kPufa, quoteWith(book));
        SchedOrdSubTaskField sub = makeSub(1, 1, at(1), direction, 100, priceType, key);
        sub.PriceFloatType = floatType;
        sub.PriceFloatValue = floatValue;
        sub.OrderPrice = orderPrice;
        rig.addAndStart({makeTask(1, {sub})});
        rig.moveTo(at(1));

        const SchedOrdSubTaskField fired = rig.sub(1);
        QCOMPARE(Util::Str2QStr(fired.ErrorMsg), error);
        if (!error.isEmpty()) {
            QCOMPARE(fired.TriggerStatus, SubTriggerStatus::Failed);
            QVERIFY(rig.broker.orders().empty());
            return;
        }
        QCOMPARE(int(rig.broker.orders().size()), 1);
        QCOMPARE(rig.broker.orders().front().Price, price);
    }

    void brokerRejections_data()
    {
        QTest::addColumn<int>("apiType");
        QTest::addColumn<QString>("key");
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("volume");
        QTest::addColumn<double>("funds");
        QTest::addColumn<QString>("error");
        QTest::newRow("funds") << 1 << kPufa << '0' << 100 << 100.0 << "可用资金不足";
        QTest::newRow("not a whole lot") << 1 << kPufa << '0' << 150 << 1e9 << "委托数量不是交易单位的整数倍";
        QTest::newRow("below the STAR minimum") << 1 << "688981.SH" << '0' << 100 << 1e9 << "委托数量低于最小申报数量";
        QTest::newRow("no position") << 1 << "000001.SZ" << '1' << 100 << 1e9 << "可用持仓不足";
        QTest::newRow("short sell on a stock account") << 1 << kPufa << 'j' << 100 << 1e9 << "账户不支持该委托方向";
        QTest::newRow("no short quota") << 2 << "000001.SZ" << 'j' << 100 << 1e9 << "可用融券额度不足";
    }
    void brokerRejections()
    {
        QFETCH(int, apiType);
        QFETCH(QString, key);
        QFETCH(char, direction);
        QFETCH(int, volume);
        QFETCH(double, funds);
        QFETCH(QString, error);

        Rig rig(apiType);
        rig.broker.setAvailableFunds(funds);
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(30), direction, volume, 1, key)})});
        rig.moveTo(at(30));

        const SchedOrdSubTaskField fired = rig.sub(1);
        QCOMPARE(fired.TriggerStatus, SubTriggerStatus::Rejected);
        QCOMPARE(fired.SubTaskStatus, SubTaskStatus::Completed);
        QCOMPARE(Util::Str2QStr(fired.ErrorMsg), error);
        QCOMPARE(fired.OrderVolume, 0);
        QCOMPARE(fired.TradeVolume, 0);
        QCOMPARE(fired.TriggerTime, at(30));
        const SchedOrdTaskField main = rig.service->getOneMainTask(1);
        QCOMPARE(main.MainTaskStatus, MainTaskStatus::AllTriggered);
        QCOMPARE(main.TriggerStatus, MainTriggerStatus::All);
        QCOMPARE(rig.service->operationLog().last(), QStringLiteral("09:25:30 子任务 #1_1 已触发(废单)：") + error);
    }

    void fieldsAfterFiring_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("priceType");
        QTest::addColumn<int>("book");
        QTest::addColumn<char>("trigger");
        QTest::addColumn<char>("status");
        QTest::addColumn<int>("orderVolume");
        QTest::addColumn<int>("tradeVolume");
        QTest::addColumn<QString>("error");
        QTest::newRow("filled at once") << kPufa << 1 << int(FullBook) << '5' << '4' << 300 << 300 << "";
        QTest::newRow("resting") << kPufa << 2 << int(FullBook) << '3' << '3' << 300 << 0 << "";
        QTest::newRow("partly filled") << kPufa << 1 << int(ThinAskOne) << '3' << '3' << 300 << 100 << "";
        QTest::newRow("unknown security") << "600999.SH" << 1 << int(FullBook) << '2' << '4' << 0 << 0 << "无行情数据：600999.SH";
    }
    void fieldsAfterFiring()
    {
        QFETCH(QString, key);
        QFETCH(int, priceType);
        QFETCH(int, book);
        QFETCH(char, trigger);
        QFETCH(char, status);
        QFETCH(int, orderVolume);
        QFETCH(int, tradeVolume);
        QFETCH(QString, error);

        Rig rig;
        rig.market.setQuote(kPufa, quoteWith(book));
        SchedOrdSubTaskField sub = makeSub(5, 9, at(45), Direction::Buy, 300, priceType, key);
        sub.HostCode = 'x';
        sub.HostValue = -77;
        sub.EndTime = at(50);
        sub.ErrorMsg = "stale";
        rig.addAndStart({makeTask(5, {sub})});
        rig.moveTo(at(47));

        SchedOrdSubTaskField expected = sub;
        expected.SubTaskStatus = status;
        expected.TriggerStatus = trigger;
        expected.TriggerTime = at(47);
        expected.OrderVolume = orderVolume;
        expected.TradeVolume = tradeVolume;
        expected.ErrorMsg = Util::QStr2str(error);
        const QString diff = differences(rig.sub(5), expected);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
    }

    void restingOrderFillsWhenTheQuoteCrosses()
    {
        Rig rig;
        rig.market.setQuote(kPufa, standardQuote());
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(5), Direction::Buy, 300, 2)}), makeTask(2, {makeSub(2, 2, at(5), Direction::Buy, 300, 2)})});
        rig.moveTo(at(5));
        QCOMPARE(rig.sub(1).TriggerStatus, SubTriggerStatus::Sent);
        QVERIFY(rig.service->DeleteMainTasks({2}));
        rig.service->waitForEngineIdle();
        Recorder recorder(*rig.service);

        rig.clock->setNow(at(8));
        rig.market.setLastPrice(kPufa, 10.33);      // asks from 10.34: the resting bid at 10.34 trades
        rig.service->waitForEngineIdle();

        const SchedOrdSubTaskField sub = rig.sub(1);
        QCOMPARE(sub.TriggerStatus, SubTriggerStatus::Filled);
        QCOMPARE(sub.SubTaskStatus, SubTaskStatus::Completed);
        QCOMPARE(sub.TradeVolume, 300);
        QCOMPARE(sub.TriggerTime, at(5));
        QCOMPARE(recorder.events('S').size(), size_t(1));
        QCOMPARE(recorder.events('S')[0].subTaskIds, (std::unordered_set<int>{1}));
        QCOMPARE(recorder.events('M').size(), size_t(0));
        QCOMPARE(recorder.lines(), QStringList{QStringLiteral("09:25:08 子任务 #1_1 成交，累计成交300股")});

        recorder.clear();
        rig.market.setLastPrice(kPufa, 10.20);
        rig.service->waitForEngineIdle();
        QVERIFY(recorder.all().empty());
    }

    void mainTaskStatusFollowsItsSubTasks()
    {
        Rig rig;
        QVERIFY(!rig.service->isExistsRunningTask());
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(10)), makeSub(1, 2, at(20))})});
        SchedOrdTaskField main = rig.service->getOneMainTask(1);
        QCOMPARE(main.MainTaskStatus, MainTaskStatus::Running);
        QCOMPARE(main.TriggerStatus, MainTriggerStatus::None);
        QVERIFY(rig.service->isExistsRunningTask());

        rig.moveTo(at(10));
        main = rig.service->getOneMainTask(1);
        QCOMPARE(main.MainTaskStatus, MainTaskStatus::Running);
        QCOMPARE(main.TriggerStatus, MainTriggerStatus::Partial);
        QVERIFY(rig.service->isExistsRunningTask());

        rig.moveTo(at(20));
        main = rig.service->getOneMainTask(1);
        QCOMPARE(main.MainTaskStatus, MainTaskStatus::AllTriggered);
        QCOMPARE(main.TriggerStatus, MainTriggerStatus::All);
        QVERIFY(!rig.service->isExistsRunningTask());
    }

    void runningFlagFollowsStartPauseDelete()
    {
        Rig rig;
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 1, at(60))}), makeTask(2, {makeSub(2, 2, at(60))})});
        QVERIFY(!rig.service->isExistsRunningTask());
        rig.service->StartMainTasks({1, 2});
        QVERIFY(rig.service->isExistsRunningTask());
        rig.service->PauseMainTasks({1});
        QVERIFY(rig.service->isExistsRunningTask());
        rig.service->DeleteMainTasks({2});
        QVERIFY(!rig.service->isExistsRunningTask());
        rig.service->StartMainTasks({1});
        QVERIFY(rig.service->isExistsRunningTask());
    }

    // ---- signals ----

    void dueTogetherIsReportedOnce_data()
    {
        QTest::addColumn<int>("mainTasks");
        QTest::addColumn<int>("subTasksEach");
        QTest::newRow("one") << 1 << 1;
        QTest::newRow("fifty of one task") << 1 << 50;
        QTest::newRow("twenty each of three tasks") << 3 << 20;
        QTest::newRow("a burst of 5,000") << 1 << 5000;
    }
    void dueTogetherIsReportedOnce()
    {
        QFETCH(int, mainTasks);
        QFETCH(int, subTasksEach);
        Rig rig;
        std::vector<SchedOrdTaskField> tasks;
        for (int m = 1; m <= mainTasks; ++m)
            tasks.push_back(taskOfMany(m, m * 100000, subTasksEach, at(30)));
        rig.addAndStart(tasks);
        Recorder recorder(*rig.service);
        rig.moveTo(at(30));

        QCOMPARE(int(recorder.events('S').size()), mainTasks);
        QCOMPARE(int(recorder.events('M').size()), mainTasks);
        QCOMPARE(int(recorder.events('L').size()), mainTasks);
        for (const SchedOrdTaskField& task : tasks) {
            QCOMPARE(recorder.count('S', task.MainTaskID), 1);
            QCOMPARE(recorder.count('M', task.MainTaskID), 1);
            std::unordered_set<int> ids;
            for (const SchedOrdSubTaskField& sub : task.VecSubTask)
                ids.insert(sub.SubTaskID);
            for (const Recorder::Event& event : recorder.events('S')) {
                if (event.mainTaskId == task.MainTaskID)
                    QVERIFY(event.subTaskIds == ids);
            }
            QCOMPARE(rig.service->getOneMainTask(task.MainTaskID).MainTaskStatus, MainTaskStatus::AllTriggered);
        }
        QCOMPARE(int(rig.broker.orders().size()), mainTasks * subTasksEach);
        if (subTasksEach > 1)
            QCOMPARE(recorder.lines().first(),
                     QStringLiteral("09:25:30 任务 #1 触发%1个子任务：已发送0，全成交%1，失败0，废单0").arg(subTasksEach));
    }

    void signalsComeFromTheEngineThread()
    {
        Rig rig;
        Recorder recorder(*rig.service);
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(10))}), makeTask(2, {makeSub(2, 2, at(99))})});
        rig.moveTo(at(10));
        rig.service->PauseMainTasks({2});
        rig.service->DeleteMainTasks({2});
        rig.service->RestoreOpLog();
        rig.service->waitForEngineIdle();

        const std::vector<Recorder::Event> events = recorder.all();
        QString kinds;
        for (const Recorder::Event& event : events) {
            if (!kinds.contains(QLatin1Char(event.kind)))
                kinds += QLatin1Char(event.kind);
            QVERIFY(event.thread != QThread::currentThread());
            QCOMPARE(event.thread, events.front().thread);
        }
        std::sort(kinds.begin(), kinds.end());
        QCOMPARE(kinds, QStringLiteral("ADLMS"));
    }

    void queuedReceiverGetsTheSubTaskSet()
    {
        Rig rig;
        QObject receiver;
        std::unordered_set<int> received;
        int receivedFor = 0;
        bool onGuiThread = false;
        connect(rig.service.get(), &ServiceScheduledOrder::signalRtnSubTaskChanged, &receiver,
                [&](int mainTaskId, std::unordered_set<int> ids) {
                    receivedFor = mainTaskId;
                    received = std::move(ids);
                    onGuiThread = QThread::currentThread() == receiver.thread();
                },
                Qt::QueuedConnection);
        rig.addAndStart({taskOfMany(4, 40, 3, at(10))});
        received.clear();
        rig.moveTo(at(10));
        QTRY_COMPARE(received, (std::unordered_set<int>{40, 41, 42}));
        QCOMPARE(receivedFor, 4);
        QVERIFY(onGuiThread);
    }

    void directReceiverMayCallBack()
    {
        Rig rig;
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 1, at(10))}), makeTask(2, {makeSub(2, 2, at(5))})});
        QObject receiver;
        connect(rig.service.get(), &ServiceScheduledOrder::signalRtnMainTaskChanged, &receiver,
                [&rig](int mainTaskId) {
                    const SchedOrdTaskField task = rig.service->getOneMainTask(mainTaskId);
                    rig.service->waitForEngineIdle();
                    if (mainTaskId == 1 && task.MainTaskStatus == MainTaskStatus::AllTriggered)
                        rig.service->StartMainTasks({2});
                },
                Qt::DirectConnection);
        rig.service->StartMainTasks({1});
        rig.moveTo(at(10));
        QTRY_COMPARE(rig.sub(2).TriggerStatus, SubTriggerStatus::Filled);
        QCOMPARE(rig.sub(2).TriggerTime, at(10));
    }

    // ---- modifying a sub-task ----

    void modifyReschedulesWithNewParameters()
    {
        Rig rig;
        rig.market.setQuote(kPufa, standardQuote());
        SchedOrdSubTaskField first = makeSub(1, 1, at(60));
        first.HostCode = 'q';
        rig.addAndStart({makeTask(1, {first, makeSub(1, 2, at(120))})});
        Recorder recorder(*rig.service);

        SchedOrdSubTaskField change = rig.sub(1);
        change.StartTime = at(30);
        change.EndTime = at(40);
        change.TargetVolume = 500;
        change.PriceType = 2;
        change.PriceFloatType = PriceFloatType::Tick;
        change.PriceFloatValue = -1.0;
        change.NoBuyAtLimitDown = false;
        // Not order parameters: the service keeps its own.
        change.SubTaskStatus = SubTaskStatus::Completed;
        change.TriggerStatus = SubTriggerStatus::Filled;
        change.HostCode = 'z';
        change.OrderVolume = 77;
        change.SecurityKey = "000001.SZ";
        QVERIFY(rig.service->ModifyOneSubTask(change));
        rig.service->waitForEngineIdle();

        SchedOrdSubTaskField expected = first;
        expected.SubTaskStatus = SubTaskStatus::Running;
        expected.StartTime = at(30);
        expected.EndTime = at(40);
        expected.TargetVolume = 500;
        expected.PriceType = 2;
        expected.PriceFloatValue = -1.0;
        expected.NoBuyAtLimitDown = false;
        const QString diff = differences(rig.sub(1), expected);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));
        const SchedOrdTaskField main = rig.service->getOneMainTask(1);
        QCOMPARE(main.StartTime, at(30));
        QCOMPARE(main.EndTime, at(120));
        QVERIFY(!main.IsSameStartTime);
        QCOMPARE(recorder.events('S').size(), size_t(1));
        QCOMPARE(recorder.events('S')[0].subTaskIds, (std::unordered_set<int>{1}));
        QCOMPARE(recorder.count('M', 1), 1);
        QCOMPARE(recorder.lines(), QStringList{QStringLiteral("09:25:00 修改子任务 #1_1：买入 买一价 500股 设定时间09:25:30")});

        rig.moveTo(at(29));
        QVERIFY(rig.broker.orders().empty());
        rig.moveTo(at(30));
        QCOMPARE(int(rig.ordersOf(1).size()), 1);
        QCOMPARE(rig.ordersOf(1).front().Volume, 500);
        QCOMPARE(rig.ordersOf(1).front().Price, 10.33);
        rig.moveTo(at(60));
        QCOMPARE(int(rig.ordersOf(1).size()), 1);
        QCOMPARE(rig.sub(1).TriggerTime, at(30));
    }

    void modifyBeforeStartTakesEffectOnStart()
    {
        Rig rig;
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 1, at(60))})});
        SchedOrdSubTaskField change = rig.sub(1);
        change.StartTime = at(20);
        QVERIFY(rig.service->ModifyOneSubTask(change));
        rig.moveTo(at(20));
        QVERIFY(rig.broker.orders().empty());
        rig.service->StartMainTasks({1});
        rig.service->waitForEngineIdle();
        QCOMPARE(rig.sub(1).TriggerTime, at(20));
    }

    void modifyIsRefused_data()
    {
        QTest::addColumn<int>("mainTaskId");
        QTest::addColumn<int>("subTaskId");
        QTest::addColumn<int>("volume");
        QTest::addColumn<int>("priceType");
        QTest::addColumn<QString>("reason");
        QTest::newRow("already fired") << 1 << 1 << 200 << 1 << "子任务已触发";
        QTest::newRow("unknown sub-task") << 1 << 9 << 200 << 1 << "子任务不存在";
        QTest::newRow("unknown main task") << 8 << 2 << 200 << 1 << "子任务不存在";
        QTest::newRow("sub-task of another task") << 2 << 1 << 200 << 1 << "子任务不存在";
        QTest::newRow("no volume") << 1 << 2 << 0 << 1 << "目标数量或价格类型无效";
        QTest::newRow("unknown price type") << 1 << 2 << 200 << 18 << "目标数量或价格类型无效";
    }
    void modifyIsRefused()
    {
        QFETCH(int, mainTaskId);
        QFETCH(int, subTaskId);
        QFETCH(int, volume);
        QFETCH(int, priceType);
        QFETCH(QString, reason);

        Rig rig;
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(10)), makeSub(1, 2, at(60))}), makeTask(2, {makeSub(2, 3, at(60))})});
        rig.moveTo(at(10));
        const std::vector<SchedOrdTaskField> before = rig.service->getVecMainTask();
        Recorder recorder(*rig.service);

        SchedOrdSubTaskField change = makeSub(mainTaskId, subTaskId, at(15), Direction::Sell, volume, priceType);
        QVERIFY(!rig.service->ModifyOneSubTask(change));
        rig.moveTo(at(30));

        const std::vector<SchedOrdTaskField> after = rig.service->getVecMainTask();
        QCOMPARE(after.size(), before.size());
        for (size_t i = 0; i < after.size(); ++i) {
            const QString diff = differences(after[i], before[i]);
            QVERIFY2(diff.isEmpty(), qPrintable(diff));
        }
        QCOMPARE(int(rig.broker.orders().size()), 1);
        QCOMPARE(recorder.events('S').size(), size_t(0));
        QCOMPARE(recorder.events('M').size(), size_t(0));
        QCOMPARE(recorder.lines(), QStringList{QStringLiteral("09:25:10 修改子任务 #%1_%2 被拒绝：%3").arg(mainTaskId).arg(subTaskId).arg(reason)});
    }

    void modifyRecomputesTheMainTask()
    {
        Rig rig;
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 1, at(60)), makeSub(1, 2, at(60))})});
        SchedOrdTaskField main = rig.service->getOneMainTask(1);
        QCOMPARE(main.Direction, Direction::Buy);
        QVERIFY(main.IsSameStartTime && main.IsSameEndTime);

        SchedOrdSubTaskField change = rig.sub(1, 1);
        change.Direction = Direction::Sell;
        change.EndTime = at(90);
        QVERIFY(rig.service->ModifyOneSubTask(change));
        main = rig.service->getOneMainTask(1);
        QCOMPARE(main.Direction, char(0));
        QVERIFY(main.IsSameStartTime);
        QVERIFY(!main.IsSameEndTime);
        QCOMPARE(main.EndTime, at(90));

        change.Direction = Direction::Buy;
        change.EndTime = at(60);
        QVERIFY(rig.service->ModifyOneSubTask(change));
        main = rig.service->getOneMainTask(1);
        QCOMPARE(main.Direction, Direction::Buy);
        QVERIFY(main.IsSameEndTime);
    }

    // ---- lifetime and clocks ----

    void destroyedWhileRunning()
    {
        auto rig = std::make_unique<Rig>();
        auto recorder = std::make_unique<Recorder>(*rig->service);
        rig->addAndStart({taskOfMany(1, 1, 5000, at(1)), makeTask(2, {makeSub(2, 9999, at(100))})});
        // The burst is under way (or about to be) when the service goes.
        rig->clock->setNow(at(1));
        rig->service.reset();
        const size_t emitted = recorder->all().size();
        rig->clock->setNow(at(200));
        QCoreApplication::processEvents();
        QCOMPARE(recorder->all().size(), emitted);
        QVERIFY(int(rig->broker.orders().size()) <= 5000);
    }

    void steppingTheClockBackDoesNotFireAgain()
    {
        Rig rig;
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(10)), makeSub(1, 2, at(20))})});
        Recorder recorder(*rig.service);
        rig.moveTo(at(10));
        rig.moveTo(at(0));
        rig.moveTo(at(10));
        rig.moveTo(at(15));
        QCOMPARE(int(rig.ordersOf(1).size()), 1);
        QCOMPARE(recorder.events('S').size(), size_t(1));
        rig.moveTo(at(20));
        rig.moveTo(at(5));
        rig.moveTo(at(25));
        QCOMPARE(int(rig.ordersOf(2).size()), 1);
        QCOMPARE(int(rig.broker.orders().size()), 2);
        QCOMPARE(recorder.events('S').size(), size_t(2));
    }

    void jumpingPastSeveralTimesFiresEachOnce()
    {
        Rig rig;
        rig.addAndStart({makeTask(1, {makeSub(1, 1, at(10)), makeSub(1, 2, at(20)), makeSub(1, 3, at(30))})});
        Recorder recorder(*rig.service);
        rig.clock->advanceSeconds(3600);
        rig.service->waitForEngineIdle();
        QCOMPARE(int(rig.broker.orders().size()), 3);
        QCOMPARE(recorder.events('S').size(), size_t(1));
        QCOMPARE(recorder.events('S')[0].subTaskIds, (std::unordered_set<int>{1, 2, 3}));
        for (size_t i = 0; i < 3; ++i)
            QCOMPARE(rig.sub(1, i).TriggerTime, at(3600));
        rig.moveTo(at(7200));
        QCOMPARE(int(rig.broker.orders().size()), 3);
    }

    void wallClockFiresOnTimeNeverEarly()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 7);
        SimBroker broker(1);
        broker.setAvailableFunds(1e9);
        ServiceScheduledOrder service(1, 1, SecurityCatalogue::instance(), market, broker);
        SystemSchedOrdClock wallClock;
        const int64_t due = wallClock.now() + 300 * 10000;     // 300 ms ahead
        service.AddMainTasks({makeTask(1, {makeSub(1, 1, due), makeSub(1, 2, due - 3600 * kSecond)})});
        service.StartMainTasks({1});
        QTRY_COMPARE(service.getOneMainTask(1).VecSubTask[1].TriggerStatus, SubTriggerStatus::Filled);
        QTRY_COMPARE_WITH_TIMEOUT(service.getOneMainTask(1).VecSubTask[0].TriggerStatus, SubTriggerStatus::Filled, 10000);
        QVERIFY(service.getOneMainTask(1).VecSubTask[0].TriggerTime >= due);
        QVERIFY(wallClock.now() >= due);
    }

    void manualClockWakesItsWaiter()
    {
        ManualSchedOrdClock clock(1000);
        std::mutex mutex;
        std::condition_variable wake;
        int wakes = 0;
        clock.setWakeHandler([&] {
            std::lock_guard<std::mutex> guard(mutex);
            ++wakes;
            wake.notify_all();
        });
        std::thread waiter([&] {
            std::unique_lock<std::mutex> lock(mutex);
            while (clock.now() < 5000)
                clock.waitUntil(lock, wake, 5000);
        });
        clock.advanceSeconds(0.0001);
        clock.setNow(5000);
        waiter.join();
        QCOMPARE(clock.now(), int64_t(5000));
        QCOMPARE(wakes, 2);
        // A deadline that has passed returns at once.
        std::unique_lock<std::mutex> lock(mutex);
        clock.waitUntil(lock, wake, 4000);
    }

    // ---- operation log ----

    void operationLogTellsWhatHappened()
    {
        Rig rig;
        Recorder recorder(*rig.service);
        rig.service->AddMainTasks({makeTask(1, {makeSub(1, 1, at(60))})});
        rig.service->StartMainTasks({1});
        rig.service->PauseMainTasks({1});
        rig.service->StartMainTasks({1});
        rig.moveTo(at(60));
        rig.service->DeleteMainTasks({1});
        rig.service->waitForEngineIdle();

        const QStringList expected = {
            QStringLiteral("09:25:00 新增任务 #1 600000_浦发银行，共1个子任务"),
            QStringLiteral("09:25:00 启动任务 #1"),
            QStringLiteral("09:25:00 暂停任务 #1"),
            QStringLiteral("09:25:00 启动任务 #1"),
            QStringLiteral("09:26:00 子任务 #1_1 已触发(全成交)，报单100股，成交100股"),
            QStringLiteral("09:26:00 删除任务 #1"),
        };
        QCOMPARE(rig.service->operationLog(), expected);
        QCOMPARE(recorder.lines(), expected);

        recorder.clear();
        rig.service->RestoreOpLog();
        rig.service->waitForEngineIdle();
        QCOMPARE(recorder.lines(), expected);
        QCOMPARE(recorder.all().size(), size_t(expected.size()));
        QCOMPARE(rig.service->operationLog(), expected);
    }
};

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_engine.moc"
