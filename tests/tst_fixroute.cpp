#include "FixLoopback.h"
#include "FixLoopbackPair.h"
#include "MarketQuotes.h"
#include "SchedOrdClock.h"
#include "SchedOrdDatabase.h"
#include "SchedOrdTaskTime.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "Util.h"
#include "VelmTest.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace VELMSCHEDORDAPI;
using VelmTest::OrderSpec;

namespace {

constexpr int kAccount = 10001;
constexpr int kWaitMs = 10000;
const QString kPufa = QStringLiteral("600000.SH");
const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);
const QString kRouteDown = QStringLiteral("路由未连接：FIX VELMCLIENT→VELMSIM，委托未发出");

int64_t at(int hour, int minute) { return SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, hour, minute, 0); }

QString unknownAtBroker(const QString& ref)
{
    return QStringLiteral("委托状态未知：券商处未找到参考号 %1 的委托，请核对").arg(ref);
}

// VelmTest::pufaQuote() with ask 1 `askOne` deep.
Lev1MarketData quote(double askOne)
{
    Lev1MarketData result = VelmTest::pufaQuote();
    result.PriceLevels[5].second = askOne;
    return result;
}

// "<trigger> <status> <traded>/<ordered> <error>": the fields a report changes, in one line so a
// failed wait shows all of them.
QString stateOf(const SchedOrdSubTaskField& subTask)
{
    return QStringLiteral("%1 %2 %3/%4 %5")
        .arg(QLatin1Char(subTask.TriggerStatus))
        .arg(QLatin1Char(subTask.SubTaskStatus))
        .arg(subTask.TradeVolume)
        .arg(subTask.OrderVolume)
        .arg(Util::Str2QStr(subTask.ErrorMsg))
        .trimmed();
}

// The same line for the exchange's order: what its sub-task must show once the reports are in.
QString stateOf(const SimOrder& order)
{
    switch (order.Status) {
    case SimOrderStatus::Filled: return QStringLiteral("5 4 %1/%1").arg(order.Volume);
    case SimOrderStatus::Rejected: return QStringLiteral("4 4 0/0 %1").arg(order.StatusMsg);
    default: return QStringLiteral("3 3 %1/%2").arg(order.TradedVolume).arg(order.Volume);
    }
}

// What the service announced, moved to the test's thread; complete after Rig::settle().
struct Heard : QObject
{
    explicit Heard(ServiceScheduledOrder& service)
    {
        connect(&service, &ServiceScheduledOrder::signalRtnSubTaskChanged, this,
                [this](int mainTaskId, std::unordered_set<int>) { ++subTaskSignals[mainTaskId]; }, Qt::QueuedConnection);
        connect(&service, &ServiceScheduledOrder::signalOperationLog, this, [this](const QString& line) { lines << line; },
                Qt::QueuedConnection);
    }
    QHash<int, int> subTaskSignals;
    QStringList lines;
};

// An account's service on a hand-moved clock whose orders take a FIX session over loopback to a
// simulated exchange; the service's local broker must stay untouched.
struct Rig
{
    explicit Rig(const QString& database = QString())
    {
        fix.market.setQuote(kPufa, quote(1e5));
        restartService(kT0, database);
    }

    void restartService(int64_t now, const QString& database = QString())
    {
        service.reset();
        service = std::make_unique<ServiceScheduledOrder>(kAccount, 1, SecurityCatalogue::instance(), fix.market, localBroker);
        clock = VelmTest::driveClock(*service, now);
        service->setShareholderAccounts({{'1', QString::fromLatin1(VelmTest::ShanghaiShareholder)}});
        service->setOrderRoute(&fix.route);
        heard = std::make_unique<Heard>(*service);
        if (!database.isEmpty())
            opened = service->openStorage(database, &message);
        service->waitForEngineIdle();
    }

    int add(const QList<OrderSpec>& orders)
    {
        const SchedOrdTaskField task = VelmTest::makeMainTask(*service, QStringLiteral("600000_浦发银行"), orders);
        service->AddMainTasks({task});
        service->StartMainTasks({task.MainTaskID});
        service->waitForEngineIdle();
        return task.MainTaskID;
    }
    // Blocks this thread, and so the exchange, until every due sub-task has fired: no report can
    // reach the engine inside the slice that fires.
    void fireAt(int64_t time)
    {
        clock->setNow(time);
        settle();
    }
    // Everything the engine did so far is in `heard`.
    void settle()
    {
        service->waitForEngineIdle();
        QCoreApplication::sendPostedEvents(heard.get());
    }
    void forgetHeard()
    {
        settle();
        heard->subTaskSignals.clear();
        heard->lines.clear();
    }
    SchedOrdSubTaskField sub(int mainTaskId, size_t index = 0)
    {
        return service->getOneMainTask(mainTaskId).VecSubTask.at(index);
    }
    // The references of the orders the exchange took, in turn.
    QStringList exchangeRefs() const
    {
        QStringList refs;
        for (const SimOrder& order : fix.broker.orders())
            refs << order.ClientOrderRef;
        return refs;
    }

    VelmTest::FixLoopbackPair fix;
    SimBroker localBroker{1};
    std::unique_ptr<Heard> heard;
    std::unique_ptr<ServiceScheduledOrder> service;
    std::shared_ptr<ManualSchedOrdClock> clock;
    bool opened = false;
    QString message;
};

// A sub-task of 500 fired against ask 1 `askOne` deep: its state and log line once the exchange
// answered, and once the quote moved back (empty: it does not move).
struct Reports { char direction; double askOne; QString afterFire, afterFireLine, afterQuoteMove, afterQuoteMoveLine; };

} // namespace

Q_DECLARE_METATYPE(Reports)

class FixRouteTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        VelmTest::setUpWindowManager();
    }

    void reportsReachTheSubTask_data()
    {
        QTest::addColumn<Reports>("row");
        QTest::newRow("rejected, with the exchange's text")
            << Reports{'1', 1e5, "4 4 0/0 可用持仓不足", "09:30:00 子任务 #1_1 已触发(废单)：可用持仓不足", "", ""};
        QTest::newRow("partly filled, then filled as the quote moves")
            << Reports{'0', 300.0, "3 3 300/500", "09:30:00 子任务 #1_1 成交，累计成交300股", "5 4 500/500",
                       "09:30:00 子任务 #1_1 成交，累计成交500股"};
    }

    // Given a logged-on session, when a sub-task comes due, then it shows as sent, and each report
    // that changes it is one sub-task signal and one log line.
    void reportsReachTheSubTask()
    {
        QFETCH(Reports, row);
        const auto& [direction, askOne, afterFire, afterFireLine, afterQuoteMove, afterQuoteMoveLine] = row;
        Rig rig;
        rig.fix.market.setQuote(kPufa, quote(askOne));
        QCOMPARE(rig.fix.logOn(kWaitMs), QString());
        const int id = rig.add({{kPufa, direction, at(9, 30), 500}});
        rig.forgetHeard();

        rig.fireAt(at(9, 30));
        QCOMPARE(stateOf(rig.sub(id)), QStringLiteral("3 3 0/500"));
        QCOMPARE(rig.heard->subTaskSignals.value(id), 1);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(id)), afterFire, kWaitMs);
        rig.settle();
        QCOMPARE(rig.heard->subTaskSignals.value(id), 2);
        QStringList lines{QStringLiteral("09:30:00 子任务 #1_1 已触发(已发送)，报单500股，成交0股"), afterFireLine};
        QCOMPARE(rig.heard->lines, lines);

        if (!afterQuoteMove.isEmpty()) {
            rig.fix.market.setQuote(kPufa, quote(1e5));
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(id)), afterQuoteMove, kWaitMs);
            rig.settle();
            QCOMPARE(rig.heard->subTaskSignals.value(id), 3);
            QCOMPARE(rig.heard->lines, lines << afterQuoteMoveLine);
        }
        const std::vector<SimOrder> orders = rig.fix.broker.orders();
        QCOMPARE(int(orders.size()), 1);
        QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(orders[0].ClientOrderRef, QChar(orders[0].Direction)).arg(orders[0].Volume).arg(orders[0].Price),
                 QStringLiteral("10001-1-1 %1 500 10.36").arg(direction));
        QVERIFY(rig.localBroker.orders().empty());
    }

    // Given a session that logged out before the set time, then the sub-task fails at once with the
    // reason, and once the session is up again its order never reaches the exchange: a later order
    // does, alone.
    void sessionDownAtTheSetTime()
    {
        Rig rig;
        QCOMPARE(rig.fix.logOn(kWaitMs), QString());
        rig.fix.exchange.stop();
        QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogouts, 1, kWaitMs);
        const int missed = rig.add({{kPufa, '0', at(9, 30)}});
        const int later = rig.add({{kPufa, '0', at(9, 40)}});
        rig.forgetHeard();

        rig.fireAt(at(9, 30));
        QCOMPARE(stateOf(rig.sub(missed)), QStringLiteral("2 4 0/0 ") + kRouteDown);
        QCOMPARE(rig.sub(missed).TriggerTime, at(9, 30));
        QCOMPARE(rig.heard->lines, QStringList{QStringLiteral("09:30:00 子任务 #1_1 已触发(失败)：") + kRouteDown});

        QCOMPARE(rig.fix.startExchange(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogons, 2, kWaitMs);
        rig.fireAt(at(9, 40));
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(later)), QStringLiteral("5 4 100/100"), kWaitMs);
        // The exchange handles one session's orders in turn: had the first left, it would be here.
        QCOMPARE(rig.exchangeRefs(), QStringList{QStringLiteral("10001-2-2")});
        QCOMPARE(stateOf(rig.sub(missed)), QStringLiteral("2 4 0/0 ") + kRouteDown);
        rig.settle();
        QVERIFY(rig.heard->lines.filter(QStringLiteral("未完结委托")).isEmpty());
    }

    // Given 200 sub-tasks due at once, half of them resting, when the exchange stops after taking
    // 77 of them and comes back, then after logon each sub-task shows its exchange order's state or
    // fails as unknown there; no order arrives twice or late.
    void burstCutPartWayIsReconciled()
    {
        constexpr int cutAfter = 77;
        Rig rig;
        int placed = 0;
        rig.fix.broker.setPlacedOrderObserver([&rig, &placed](const SimOrder&) {
            if (++placed == cutAfter)
                rig.fix.exchange.stop();
        });
        QCOMPARE(rig.fix.logOn(kWaitMs), QString());
        QList<OrderSpec> orders;
        for (int i = 0; i < 200; ++i)
            orders.append({kPufa, '0', at(9, 30), 100 * (1 + i % 3), i % 2 ? 2 : 1});   // bid 1 rests, ask 1 fills
        const int id = rig.add(orders);

        rig.fireAt(at(9, 30));
        for (const SchedOrdSubTaskField& subTask : rig.service->getOneMainTask(id).VecSubTask)
            QCOMPARE(stateOf(subTask), QStringLiteral("3 3 0/%1").arg(subTask.TargetVolume));
        QTRY_COMPARE_WITH_TIMEOUT(placed, cutAfter, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogouts, 1, kWaitMs);
        QCOMPARE(rig.fix.startExchange(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogons, 2, kWaitMs);
        // Exactly the orders the exchange holds are not unknown: the other 200 - cutAfter are.
        auto mismatches = [&rig, id] {
            QStringList found;
            for (const SchedOrdSubTaskField& subTask : rig.service->getOneMainTask(id).VecSubTask) {
                const QString ref = QStringLiteral("10001-%1-%2").arg(id).arg(subTask.SubTaskID);
                SimOrder order;
                const QString expected = rig.fix.broker.findOrderByClientRef(ref, &order)
                    ? stateOf(order) : QStringLiteral("2 4 0/0 ") + unknownAtBroker(ref);
                if (stateOf(subTask) != expected)
                    found << QStringLiteral("%1: %2, not %3").arg(ref, stateOf(subTask), expected);
            }
            return found.mid(0, 3);
        };
        QTRY_COMPARE_WITH_TIMEOUT(mismatches(), QStringList(), kWaitMs);

        const QStringList refs = rig.exchangeRefs();
        QCOMPARE(refs.size(), cutAfter);
        QCOMPARE(int(QSet<QString>(refs.begin(), refs.end()).size()), cutAfter);
        rig.settle();
        QCOMPARE(rig.heard->lines.filter(QStringLiteral("经FIX VELMCLIENT→VELMSIM向券商查询")).size(), 1);
        QVERIFY(rig.localBroker.orders().empty());
    }

    // Given a sub-task stored as being sent when the client died before its order left, when it
    // starts again with the session down, then it shows as being checked; once the route logs on it
    // fails as unknown at the exchange, and its order is never sent.
    void interruptedSendIsReconciledOnLogon()
    {
        const QString unknown = unknownAtBroker(QStringLiteral("10001-1-1"));
        QTemporaryDir dir(VelmTest::tempDir() + QStringLiteral("/fixroute-XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("velm.db"));
        Rig rig(path);
        QVERIFY2(rig.opened, qPrintable(rig.message));
        const int id = rig.add({{kPufa, '0', at(9, 30)}});
        rig.service.reset();
        {
            SchedOrdDatabase db;
            QVERIFY(db.open(path).usable() && db.begin() && db.markSending(kAccount, id, 1, "10001-1-1") && db.commit());
        }
        rig.restartService(at(9, 40), path);
        QVERIFY2(rig.opened, qPrintable(rig.message));
        QCOMPARE(stateOf(rig.sub(id)), QStringLiteral("3 3 0/100 正在向券商核对：发送委托时程序中断，参考号 10001-1-1"));
        QVERIFY(rig.service->operationLog().contains(
            QStringLiteral("09:40:00 启动核对：1个子任务在发送委托时中断，将在路由连接后向券商查询委托状态")));
        rig.forgetHeard();

        QCOMPARE(rig.fix.logOn(kWaitMs), QString());
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(id)), QStringLiteral("2 4 0/0 ") + unknown, kWaitMs);
        rig.settle();
        QCOMPARE(rig.heard->lines, QStringList({QStringLiteral("09:40:00 经FIX VELMCLIENT→VELMSIM向券商查询1个未完结委托的状态"),
                                                QStringLiteral("09:40:00 子任务 #1_1 已触发(失败)：") + unknown}));
        QCOMPARE(rig.heard->subTaskSignals.value(id), 1);
        QVERIFY(rig.fix.broker.orders().empty());

        // The answer is stored: a later start has nothing left to check.
        rig.restartService(at(9, 50), path);
        QCOMPARE(stateOf(rig.sub(id)), QStringLiteral("2 4 0/0 ") + unknown);
        QVERIFY(rig.service->operationLog().filter(QStringLiteral("09:50:00")).isEmpty());
    }
};

QTEST_MAIN(FixRouteTest)
#include "tst_fixroute.moc"
