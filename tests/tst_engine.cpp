#include "BrokerRoute.h"
#include "MarketQuotes.h"
#include "MarketSimulator.h"
#include "SchedOrdClock.h"
#include "SchedOrdCodes.h"
#include "SchedOrdEngine.h"
#include "SchedOrdTaskTime.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "SubTaskFields.h"
#include "TaskBuilder.h"
#include "Util.h"
#include "VelmTest.h"

#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

using namespace VELMSCHEDORDAPI;
using Ids = std::unordered_set<int>;
using Sub = SchedOrdSubTaskField;

namespace {

const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);
const QString kPufa = QStringLiteral("600000.SH");
const QString kName = QStringLiteral("600000_浦发银行");

int64_t at(double seconds) { return kT0 + int64_t(seconds * SchedOrdTaskTime::TicksPerSecond); }

enum Book { FullBook, OnlyLevelOne, NoAsks, ThinAskOne };

// VelmTest::pufaQuote() at `last`; all but FullBook with level 1 only (NoAsks: its bid alone, ThinAskOne: ask 1 40 deep).
Lev1MarketData quoteWith(int book, double last = 10.35)
{
    Lev1MarketData quote = VelmTest::pufaQuote();
    quote.LastPrice = last;
    for (size_t level = book == FullBook ? 5 : 1; level < 5; ++level)
        quote.PriceLevels[level] = quote.PriceLevels[5 + level] = {};
    quote.PriceLevels[5].second = book == ThinAskOne ? 40.0 : 1e5;
    if (book == NoAsks)
        quote.PriceLevels[5] = {};
    return quote;
}

// A service's signals, read after waitForEngineIdle(): A added, M main task changed, S sub-tasks changed, D deleted.
struct Recorder : QObject
{
    explicit Recorder(ServiceScheduledOrder& s)
    {
        using S = ServiceScheduledOrder;
        const auto direct = Qt::DirectConnection;
        s.waitForEngineIdle();
        connect(&s, &S::signalRtnMainTaskAdded, this, [this] { note('A'); }, direct);
        connect(&s, &S::signalRtnMainTaskChanged, this, [this] { note('M'); }, direct);
        connect(&s, &S::signalRtnSubTaskChanged, this, [this](int id, Ids ids) { note('S'); subs[id].push_back(ids); }, direct);
        connect(&s, &S::signalRtnMainTaskDeleted, this, [this] { note('D'); }, direct);
        connect(&s, &S::signalOperationLog, this, [this](const QString& line) { note(0); lines.append(line); }, direct);
        connect(&s, &S::signalOperationLogRestored, this, [this](const QStringList& all) { note('R'); restored = all; }, direct);
    }
    void note(char kind) { kinds += kind ? QString(QLatin1Char(kind)) : QString(); threads.insert(QThread::currentThread()); }
    QString kinds;
    std::map<int, std::vector<Ids>> subs;
    QStringList lines;
    QStringList restored;
    QSet<QThread*> threads;
};

// A fixed time. Once armed, the engine's next reading (under its lock, as a slice begins) waits for release(), 10 s at most.
class HoldingClock final : public SchedOrdClock
{
public:
    explicit HoldingClock(int64_t time) : m_time(time) {}
    int64_t now() const override
    {
        if (std::this_thread::get_id() != m_tester && m_armed.exchange(false)) {
            m_holding = true;
            m_held.release();
            m_go.tryAcquire(1, 10000);
            m_holding = false;
        }
        return m_time;
    }
    void waitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& wake, int64_t) override { wake.wait(lock); }
    void setWakeHandler(std::function<void()> handler) override { m_wake = std::move(handler); }
    bool holdEngine() { m_armed = true; m_wake(); return m_held.tryAcquire(1, 10000); }   // false: the engine never came
    bool holding() const { return m_holding; }
    void release() { m_go.release(); }

private:
    const int64_t m_time;
    const std::thread::id m_tester = std::this_thread::get_id();
    std::function<void()> m_wake;   // set and called on the test's thread
    mutable std::atomic_bool m_armed{false}, m_holding{false};
    mutable QSemaphore m_held, m_go;
};

// Takes every order, 20 ms each, and answers none.
class SlowRoute final : public BrokerRoute
{
public:
    QString name() const override { return QStringLiteral("slow"); }
    bool isConnected() const override { return true; }
    bool sendOrder(const BrokerOrderRequest&, QString*) override
    {
        firstSent.release();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return true;
    }
    bool requestStatus(const std::string&) override { return true; }
    void setReportHandler(ReportHandler) override {}
    void setReconcileHandler(ReconcileHandler) override {}
    QSemaphore firstSent;
};

// One account: a still market, a broker with plenty of everything, the service on a hand-moved clock.
struct Rig
{
    explicit Rig(int apiType = 1) : broker(apiType), service(std::make_unique<ServiceScheduledOrder>(1, apiType,
            SecurityCatalogue::instance(), market, broker)), clock(VelmTest::driveClock(*service, kT0))
    {
        broker.setAvailableFunds(1e10);
        broker.setCreditLine(1e10);
        broker.setPosition(kPufa, 10000000, 10.0);
        broker.setShortQuota(kPufa, 10000000);
    }
    // Ids are drawn from the service: 1, 2, ... for tasks and sub-tasks alike on a fresh one.
    SchedOrdTaskField task(const QList<VelmTest::OrderSpec>& orders) { return VelmTest::makeMainTask(*service, kName, orders); }
    int start(const SchedOrdTaskField& task)
    {
        service->AddMainTasks({task});
        service->StartMainTasks({task.MainTaskID});
        service->waitForEngineIdle();
        return task.MainTaskID;
    }
    int start(int buys, int64_t due) { return start(task(QVector<VelmTest::OrderSpec>(buys, {kPufa, '0', due}).toList())); }
    void moveTo(int64_t time) { clock->setNow(time); service->waitForEngineIdle(); }
    Sub sub(int mainTaskId, size_t index = 0) { return service->getOneMainTask(mainTaskId).VecSubTask.at(index); }

    MarketSimulator market{SecurityCatalogue::instance(), 7};
    SimBroker broker;
    std::unique_ptr<ServiceScheduledOrder> service;
    std::shared_ptr<ManualSchedOrdClock> clock;
};

// A buy or sell of 100 fired against quoteWith(book, last): price sent or error, trigger code; `guard`: its own side's flag.
struct PriceCase
{
    int book; char direction; int priceType; char floatType; double floatValue, orderPrice; QString expected; char trigger;
    int apiType = 1; bool guard = true; double last = 10.35; QString key = kPufa; double funds = 1e10;
};

} // namespace

Q_DECLARE_METATYPE(PriceCase)

class EngineTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    // A paused task fires once started again (late: at once), a deleted one never; a duplicate id is refused. One
    // engine thread emits; RestoreOpLog sends the log at once without storing it again.
    void tasksPausedDeletedAndLogged()
    {
        Rig rig;
        Recorder recorder(*rig.service);
        for (int i = 0; i < 3; ++i)
            rig.start(1, at(60));
        QVERIFY(rig.service->PauseMainTasks({1}));
        QVERIFY(rig.service->DeleteMainTasks({2, 77}));
        SchedOrdTaskField impostor = rig.service->getOneMainTask(3);
        impostor.MainTaskName = "impostor";
        rig.service->AddMainTasks({impostor});
        rig.moveTo(at(3600));
        rig.service->RestoreOpLog();
        rig.service->waitForEngineIdle();
        QCOMPARE(int(rig.broker.orders().size()), 1);
        QCOMPARE(rig.service->getOneMainTask(2).MainTaskID, -1);
        QCOMPARE(rig.service->getOneMainTask(3).MainTaskName, Util::QStr2str(kName));
        QStringList expected;
        for (int id = 1; id <= 3; ++id)
            expected << QStringLiteral("09:25:00 新增任务 #%1 600000_浦发银行，共1个子任务").arg(id) << QStringLiteral("09:25:00 启动任务 #%1").arg(id);
        expected << QStringLiteral("09:25:00 暂停任务 #1") << QStringLiteral("09:25:00 删除任务 #2")
                 << QStringLiteral("09:25:00 新增任务 #3 被拒绝：任务编号无效或已存在") << QStringLiteral("10:25:00 子任务 #3_3 已触发(全成交)，报单100股，成交100股");
        QCOMPARE(recorder.lines, expected);
        QCOMPARE(recorder.restored, expected);
        QCOMPARE(rig.service->operationLog(), expected);
        QCOMPARE(recorder.kinds, QStringLiteral("ASMASMASMSMDSMR"));
        QVERIFY(recorder.threads.size() == 1 && !recorder.threads.contains(QThread::currentThread()));

        QVERIFY(rig.service->StartMainTasks({1}));
        rig.service->waitForEngineIdle();
        QCOMPARE(rig.sub(1).TriggerTime, at(3600));
    }

    void firing_data()
    {
        QTest::addColumn<PriceCase>("c");
        const QString up = QStringLiteral("涨停不卖：最新价11.22已达涨停价11.22");
        const QString down = QStringLiteral("跌停不买：最新价9.18已达跌停价9.18");
        const int askTypes[] = {1, 4, 6, 8, 10}, bidTypes[] = {2, 5, 7, 9, 11};
        for (int n = 1; n <= 5; ++n) {
            QTest::addRow("ask %d", n) << PriceCase{FullBook, '0', askTypes[n - 1], '0', 0, 0, QString::number((1035 + n) / 100.0), '5'};
            QTest::addRow("bid %d", n) << PriceCase{FullBook, '0', bidTypes[n - 1], '0', 0, 0, QString::number((1035 - n) / 100.0), '3'};
        }
        QTest::newRow("last") << PriceCase{FullBook, '0', 0, '0', 0, 0, "10.35", '3'};
        QTest::newRow("market sell") << PriceCase{FullBook, '1', 3, '0', 0, 0, "10.34", '5'};
        QTest::newRow("market buy, no asks") << PriceCase{NoAsks, '0', 3, '0', 0, 0, "11.22", '3'};
        QTest::newRow("custom, half a tick") << PriceCase{FullBook, '0', 12, '0', 0, 10.125, "10.13", '3'};
        QTest::newRow("previous close") << PriceCase{FullBook, '0', 13, '0', 0, 0, "10.20", '3'};
        QTest::newRow("limit-up") << PriceCase{FullBook, '0', 14, '0', 0, 0, "11.22", '5'};
        QTest::newRow("limit-down") << PriceCase{FullBook, '1', 15, '0', 0, 0, "9.18", '5'};
        QTest::newRow("buy cage: ask 1 + 2%, down") << PriceCase{FullBook, '0', 16, '0', 0, 0, "10.56", '5'};
        QTest::newRow("sell cage: bid 1 - 2%, up") << PriceCase{FullBook, '1', 17, '0', 0, 0, "10.14", '5'};
        QTest::newRow("last + 2 ticks") << PriceCase{FullBook, '0', 0, '0', 2.0, 0, "10.37", '5'};
        QTest::newRow("last + 0.05%, rounded up") << PriceCase{FullBook, '0', 0, '1', 0.05, 0, "10.36", '5'};
        QTest::newRow("clamped to limit-up") << PriceCase{FullBook, '0', 14, '0', 5.0, 0, "11.22", '5'};
        QTest::newRow("ETF custom, tick 0.001") << PriceCase{FullBook, '0', 12, '0', 0, 2.9126, "2.913", '5', 1, true, 10.35, "510050.SH"};
        QTest::newRow("thin ask 1: partly filled") << PriceCase{ThinAskOne, '0', 1, '0', 0, 0, "10.36", '3'};
        QTest::newRow("no ask 2") << PriceCase{OnlyLevelOne, '0', 4, '0', 0, 0, "无有效卖二价，无法确定委托价格", '2'};
        QTest::newRow("custom price 0") << PriceCase{FullBook, '0', 12, '0', 0, 0, "无有效自定价，无法确定委托价格", '2'};
        QTest::newRow("unknown price type") << PriceCase{FullBook, '0', 99, '0', 0, 0, "不支持的价格类型：99", '2'};
        QTest::newRow("unknown security") << PriceCase{FullBook, '0', 1, '0', 0, 0, "无行情数据：600999.SH", '2', 1, true, 10.35, "600999.SH"};
        QTest::newRow("sell at limit-up") << PriceCase{FullBook, '1', 2, '0', 0, 0, up, '2', 1, true, 11.22};
        QTest::newRow("sell at limit-up, guard off") << PriceCase{FullBook, '1', 2, '0', 0, 0, "10.34", '5', 1, false, 11.22};
        QTest::newRow("short sell at limit-up") << PriceCase{FullBook, 'j', 2, '0', 0, 0, up, '2', 2, true, 11.22};
        QTest::newRow("buy at limit-down") << PriceCase{FullBook, '0', 1, '0', 0, 0, down, '2', 1, true, 9.18};
        QTest::newRow("buy to cover at limit-down, guard off") << PriceCase{FullBook, 'l', 1, '0', 0, 0, "10.36", '5', 2, false, 9.18};
        QTest::newRow("buy at limit-up: not guarded") << PriceCase{FullBook, '0', 1, '0', 0, 0, "10.36", '5', 1, true, 11.22};
        QTest::newRow("rejected: funds") << PriceCase{FullBook, '0', 1, '0', 0, 0, "可用资金不足", '4', 1, true, 10.35, kPufa, 100.0};
        QTest::newRow("rejected: short sell, stock account") << PriceCase{FullBook, 'j', 1, '0', 0, 0, "账户不支持该委托方向", '4'};
    }
    // Order price, limit guards, broker rejections; only the trigger fields change, a stale error goes.
    void firing()
    {
        QFETCH(PriceCase, c);
        Rig rig(c.apiType);
        rig.broker.setAvailableFunds(c.funds);
        rig.market.setQuote(kPufa, quoteWith(c.book, c.last));
        SchedOrdTaskField task = rig.task({{c.key, c.direction, at(10), 100, c.priceType}});
        Sub& sub = task.VecSubTask[0];
        sub.PriceFloatType = c.floatType;
        sub.PriceFloatValue = c.floatValue;
        sub.OrderPrice = c.orderPrice;
        sub.NoSellAtLimitUp = isSellDirection(c.direction) == c.guard;
        sub.NoBuyAtLimitDown = isSellDirection(c.direction) != c.guard;
        sub.HostValue = -77;
        sub.ErrorMsg = "stale";
        rig.start(task);
        rig.moveTo(at(10));

        const bool failed = c.trigger == SubTriggerStatus::Failed, rejected = c.trigger == SubTriggerStatus::Rejected;
        Sub expected = sub;
        expected.SubTaskStatus = c.trigger == SubTriggerStatus::Sent ? SubTaskStatus::Triggered : SubTaskStatus::Completed;
        expected.TriggerStatus = c.trigger;
        expected.TriggerTime = at(10);
        expected.OrderVolume = failed || rejected ? 0 : 100;
        expected.TradeVolume = c.trigger == SubTriggerStatus::Filled ? 100 : c.book == ThinAskOne ? 40 : 0;
        expected.ErrorMsg = failed || rejected ? Util::QStr2str(c.expected) : std::string();
        QCOMPARE(VelmTest::subTaskDifferences(rig.sub(1), expected).join(QLatin1Char(';')), QString());
        QCOMPARE(int(rig.broker.orders().size()), failed ? 0 : 1);
        if (!failed && !rejected)
            QCOMPARE(rig.broker.orders().front().Price, c.expected.toDouble());
        if (rejected)
            QCOMPARE(rig.service->operationLog().last(), QStringLiteral("09:25:10 子任务 #1_1 已触发(废单)：") + c.expected);
    }

    // Not before its set time, never twice when the clock steps back; a jump fires each due one once, together.
    void firesOnTimeAndTheMainTaskFollows()
    {
        Rig rig;
        rig.start(rig.task({{kPufa, '0', at(10)}, {kPufa, '0', at(20)}, {kPufa, '0', at(30)}}));
        Recorder recorder(*rig.service);
        // "<status> <trigger status> <any task running>" of the main task.
        const auto main = [&rig] {
            const SchedOrdTaskField task = rig.service->getOneMainTask(1);
            return QStringLiteral("%1 %2 %3").arg(task.MainTaskStatus).arg(task.TriggerStatus).arg(int(rig.service->isExistsRunningTask()));
        };
        QCOMPARE(main(), QStringLiteral("%1 %2 1").arg(MainTaskStatus::Running).arg(MainTriggerStatus::None));
        rig.moveTo(at(10) - 1);
        QVERIFY(rig.broker.orders().empty());
        for (const int64_t time : {at(10), at(0), at(10), at(15)})
            rig.moveTo(time);
        QCOMPARE(int(rig.broker.orders().size()), 1);
        QCOMPARE(rig.sub(1).TriggerTime, at(10));
        QCOMPARE(main(), QStringLiteral("%1 %2 1").arg(MainTaskStatus::Running).arg(MainTriggerStatus::Partial));
        for (const int64_t time : {at(3600), at(5), at(7200)})
            rig.moveTo(time);
        QCOMPARE(int(rig.broker.orders().size()), 3);
        QCOMPARE(recorder.subs[1], (std::vector<Ids>{{1}, {2, 3}}));
        QCOMPARE(rig.sub(1, 2).TriggerTime, at(3600));
        QCOMPARE(main(), QStringLiteral("%1 %2 0").arg(MainTaskStatus::AllTriggered).arg(MainTriggerStatus::All));
    }

    // Per slice and main task one S, one M, one log line; the broker announces once per slice, unlocked, already fired.
    void burstFiresInSlices()
    {
        const int slice = SchedOrdEngine::SliceSize, first = 2 * slice + slice / 2;
        Rig rig;
        rig.start(first, at(30));
        rig.start(20, at(30));
        Recorder recorder(*rig.service);
        std::vector<std::pair<int, int>> announced;   // orders at the broker, sub-tasks fired in the service
        connect(&rig.broker, &SimBroker::signalOrdersChanged, &recorder, [&] {
            const std::vector<Sub> subs = rig.service->getVecAllSubTask();
            announced.emplace_back(int(rig.broker.orders().size()), int(std::count_if(subs.begin(), subs.end(), [](const Sub& s) {
                return s.TriggerStatus != SubTriggerStatus::NotTriggered;
            })));
        }, Qt::DirectConnection);
        rig.moveTo(at(30));
        QCOMPARE(announced, (std::vector<std::pair<int, int>>{{slice, slice}, {2 * slice, 2 * slice}, {first + 20, first + 20}}));
        QCOMPARE(recorder.kinds, QStringLiteral("SMSMSMSM"));
        std::vector<Ids> slices(4);
        for (int id = 1; id <= first + 20; ++id)
            slices[size_t(std::min((id - 1) / slice, 2) + (id > first))].insert(id);
        QCOMPARE(recorder.subs, (std::map<int, std::vector<Ids>>{{1, {slices[0], slices[1], slices[2]}}, {2, {slices[3]}}}));
        const QString line = QStringLiteral("09:25:30 任务 #%1 触发%2个子任务：已发送0，全成交%2，失败0，废单0");
        QCOMPARE(recorder.lines, (QStringList{line.arg(1).arg(slice), line.arg(1).arg(slice), line.arg(1).arg(slice / 2), line.arg(2).arg(20)}));
    }

    // A pause from another thread gets in between two slices of a burst; nothing of the task fires after it returned.
    void pauseStopsABurstWithinASlice()
    {
        const int total = 8 * SchedOrdEngine::SliceSize;
        Rig rig;
        const int id = rig.start(total, at(30));
        QSemaphore firstSlice, pauseComing;
        bool handshaken = false;   // engine thread only
        connect(rig.service.get(), &ServiceScheduledOrder::signalRtnSubTaskChanged, &rig.market, [&] {
            if (!std::exchange(handshaken, true)) {
                firstSlice.release();
                pauseComing.acquire();
            }
        }, Qt::DirectConnection);
        rig.clock->setNow(at(30));
        firstSlice.acquire();
        pauseComing.release();
        QVERIFY(rig.service->PauseMainTasks({id}));
        const size_t firedBeforeReturn = rig.broker.orders().size();
        rig.service->waitForEngineIdle();
        QCOMPARE(rig.broker.orders().size(), firedBeforeReturn);
        QVERIFY(firedBeforeReturn < size_t(total));
        QCOMPARE(firedBeforeReturn % SchedOrdEngine::SliceSize, size_t(0));
        QCOMPARE(rig.sub(id, firedBeforeReturn).SubTaskStatus, SubTaskStatus::Paused);
    }

    // A quote update returns while the engine holds its lock; the resting rest of a buy trades once it goes on.
    void quoteUpdatesDoNotWaitForTheEngine()
    {
        Rig rig;
        rig.market.setQuote(kPufa, quoteWith(ThinAskOne));
        rig.start(1, at(10));
        rig.moveTo(at(10));   // 40 of 100 filled ("thin ask 1" above)
        const auto clock = std::make_shared<HoldingClock>(at(20));
        rig.service->setClock(clock);
        rig.service->waitForEngineIdle();
        QVERIFY(clock->holdEngine());
        rig.market.setLastPrice(kPufa, 10.30);
        const bool returnedWhileHeld = clock->holding();
        clock->release();
        QVERIFY(returnedWhileHeld);
        rig.service->waitForEngineIdle();
        QCOMPARE(rig.sub(1).TriggerStatus, SubTriggerStatus::Filled);
        QCOMPARE(rig.service->operationLog().last(), QStringLiteral("09:25:20 子任务 #1_1 成交，累计成交100股"));
    }

    // Given a slice whose orders leave slowly: a read from another thread gets in between two of its orders, a change
    // waits for its end (the sub-task it names has fired by then).
    void aReadGetsInMidSliceAChangeWaitsForItsEnd()
    {
        const int orders = 12;
        Rig rig;
        SlowRoute route;
        rig.service->setOrderRoute(&route);
        const int id = rig.start(orders, at(30));
        Sub last = rig.sub(id, orders - 1);
        last.TargetVolume = 500;
        rig.clock->setNow(at(30));
        QVERIFY(route.firstSent.tryAcquire(1, 10000));
        std::atomic<bool> modified{true}, changeDone{false};
        std::thread change([&] {
            modified = rig.service->ModifyOneSubTask(last);
            changeDone = true;
        });
        // Every read opens a gap between two orders, which the waiting change must not take.
        int partlyFiredReads = 0;
        while (!changeDone) {
            const std::vector<Sub> seen = rig.service->getOneMainTask(id).VecSubTask;
            const auto fired = std::count_if(seen.begin(), seen.end(), [](const Sub& s) { return s.TriggerStatus != SubTriggerStatus::NotTriggered; });
            partlyFiredReads += fired >= 1 && fired < orders;
        }
        change.join();
        rig.service->waitForEngineIdle();
        QVERIFY(partlyFiredReads > 0);
        QVERIFY(!modified);
        QCOMPARE(rig.service->operationLog().last(), QStringLiteral("09:25:30 修改子任务 #1_%1 被拒绝：子任务已触发").arg(last.SubTaskID));
        QCOMPARE(rig.sub(id, orders - 1).TargetVolume, 100);
        rig.service->setOrderRoute(nullptr);
    }

    // Changed running (earlier) or paused (later), a sub-task fires at its new time with the new order only; once fired,
    // refused, the store unchanged; deleted, its old time fires nothing of a new task under the same ids.
    void modifyOneSubTask()
    {
        Rig rig;
        SchedOrdTaskField task = rig.task({{kPufa, '0', at(60)}, {kPufa, '0', at(120)}});
        rig.start(task);
        Recorder recorder(*rig.service);
        Sub change = rig.sub(1);
        change.StartTime = at(30);
        change.TargetVolume = 500;
        change.PriceType = 2;
        change.PriceFloatValue = -1.0;
        const Sub expected = change;
        change.SubTaskStatus = SubTaskStatus::Completed;
        change.SecurityKey = "000001.SZ";
        QVERIFY(rig.service->ModifyOneSubTask(change));
        rig.service->waitForEngineIdle();
        QCOMPARE(VelmTest::subTaskDifferences(rig.sub(1), expected).join(QLatin1Char(';')), QString());
        QCOMPARE(recorder.lines, QStringList{QStringLiteral("09:25:00 修改子任务 #1_1：买入 买一价 500股 设定时间09:25:30")});
        QCOMPARE(recorder.kinds, QStringLiteral("SM"));
        QVERIFY(rig.service->PauseMainTasks({1}));
        Sub later = rig.sub(1, 1);
        later.StartTime = at(150);
        QVERIFY(rig.service->ModifyOneSubTask(later) && rig.service->StartMainTasks({1}));
        rig.moveTo(at(29));
        QVERIFY(rig.broker.orders().empty());
        rig.moveTo(at(30));
        rig.moveTo(at(140));
        QCOMPARE(int(rig.broker.orders().size()), 1);
        QCOMPARE(QStringLiteral("%1 at %2").arg(rig.broker.orders().front().Volume).arg(rig.broker.orders().front().Price), QStringLiteral("500 at 10.33"));
        QCOMPARE(rig.sub(1).TriggerTime, at(30));

        const std::vector<Sub> before = rig.service->getVecAllSubTask();
        const QString kinds = recorder.kinds;
        QVERIFY(!rig.service->ModifyOneSubTask(expected));
        rig.service->waitForEngineIdle();
        const std::vector<Sub> after = rig.service->getVecAllSubTask();
        QCOMPARE((VelmTest::subTaskDifferences(after.at(0), before[0]) + VelmTest::subTaskDifferences(after.at(1), before[1])).join(QLatin1Char(';')), QString());
        QCOMPARE(recorder.lines.last(), QStringLiteral("09:27:20 修改子任务 #1_1 被拒绝：子任务已触发"));
        QCOMPARE(recorder.kinds, kinds);

        QVERIFY(rig.service->PauseMainTasks({1}) && rig.service->DeleteMainTasks({1}));
        task.VecSubTask[0].StartTime = task.VecSubTask[1].StartTime = at(200);
        rig.start(task);
        rig.moveTo(at(160));
        QCOMPARE(int(rig.broker.orders().size()), 1);
        rig.moveTo(at(200));
        QCOMPARE(int(rig.broker.orders().size()), 3);
    }

    // Destroyed mid-burst: it stops after the slice in hand, and every order it sent was reported.
    void destroyedWhileRunning()
    {
        Rig rig;
        rig.start(8 * SchedOrdEngine::SliceSize, at(1));
        Recorder recorder(*rig.service);
        rig.clock->setNow(at(1));
        rig.service.reset();
        Ids sent, reported;
        for (const SimOrder& order : rig.broker.orders())
            sent.insert(order.SubTaskID);
        for (const Ids& ids : recorder.subs[1])
            reported.insert(ids.begin(), ids.end());
        QVERIFY(sent.size() < size_t(8 * SchedOrdEngine::SliceSize));
        QCOMPARE(reported, sent);
    }
};

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_engine.moc"
