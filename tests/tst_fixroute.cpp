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

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <set>

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

// A loopback relay between the route and the exchange that cuts the connection right after passing
// the n-th NewOrderSingle: what the route sent after it never reaches the exchange, which asks for
// it again once the route is back.
class Relay : public QObject
{
public:
    explicit Relay(int cutAfterOrders)
        : m_cutAfter(cutAfterOrders)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    int port() const { return m_server.serverPort(); }
    void forwardTo(int exchangePort) { m_exchangePort = exchangePort; }

private:
    // One of the route's connections and the relay's own to the exchange, both its children: as it
    // dies its handlers go before its sockets close.
    struct Link : QObject {
        QTcpSocket* route = nullptr;
        QTcpSocket* exchange = new QTcpSocket(this);
        QByteArray pending;             // the route's bytes short of a whole message
    };

    void accept()
    {
        while (QTcpSocket* route = m_server.nextPendingConnection()) {
            Link* link = new Link;
            link->setParent(this);
            link->route = route;
            route->setParent(link);
            connect(link->exchange, &QTcpSocket::connected, link, [this, link] { passToExchange(*link); });
            connect(route, &QTcpSocket::readyRead, link, [this, link] { passToExchange(*link); });
            connect(link->exchange, &QTcpSocket::readyRead, link, [link] { link->route->write(link->exchange->readAll()); });
            connect(route, &QTcpSocket::disconnected, link, [link] { link->exchange->disconnectFromHost(); });
            connect(link->exchange, &QTcpSocket::disconnected, link, [link] { link->route->disconnectFromHost(); });
            link->exchange->connectToHost(QHostAddress::LocalHost, quint16(m_exchangePort));
        }
    }

    // Whole messages only, so that the cut falls right after an order: each ends with SOH, "10=",
    // three digits, SOH.
    void passToExchange(Link& link)
    {
        if (link.exchange->state() != QAbstractSocket::ConnectedState)
            return;
        link.pending += link.route->readAll();
        for (int sum = link.pending.indexOf("\x01" "10="); sum >= 0 && link.pending.size() >= sum + 8;
             sum = link.pending.indexOf("\x01" "10=")) {
            const QByteArray message = link.pending.left(sum + 8);
            link.pending.remove(0, sum + 8);
            link.exchange->write(message);
            if (message.contains("\x01" "35=D\x01") && ++m_orders == m_cutAfter) {
                link.exchange->disconnectFromHost();
                link.route->abort();
                return;
            }
        }
    }

    const int m_cutAfter;
    int m_exchangePort = 0;
    int m_orders = 0;
    QTcpServer m_server;
};

// An account's service on a hand-moved clock whose orders take a FIX session over loopback (through
// a relay cutting after `relayCutAfter` orders, when given) to a simulated exchange; the service's
// local broker must stay untouched.
struct Rig
{
    explicit Rig(const QString& database = QString(), int relayCutAfter = 0)
        : relay(relayCutAfter ? std::make_unique<Relay>(relayCutAfter) : nullptr)
        , fix(1, QString::fromLatin1(VelmTest::FixClientId), relay ? relay->port() : 0)
    {
        if (relay)
            relay->forwardTo(fix.port);
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
    bool exchangeHas(const QString& ref) const
    {
        SimOrder order;
        return fix.broker.findOrderByClientRef(ref, &order);
    }

    std::unique_ptr<Relay> relay;
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
        const QString filled = QStringLiteral("09:30:00 子任务 #1_1 成交，累计成交500股");
        QTest::newRow("filled at once") << Reports{'0', 1e5, "5 4 500/500", filled, "", ""};
        QTest::newRow("rejected, with the exchange's text")
            << Reports{'1', 1e5, "4 4 0/0 可用持仓不足", "09:30:00 子任务 #1_1 已触发(废单)：可用持仓不足", "", ""};
        QTest::newRow("partly filled, then filled as the quote moves")
            << Reports{'0', 300.0, "3 3 300/500", "09:30:00 子任务 #1_1 成交，累计成交300股", "5 4 500/500", filled};
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

    void sessionDownAtTheSetTime_data()
    {
        QTest::addColumn<bool>("loggedOnBefore");
        QTest::newRow("never logged on") << false;
        QTest::newRow("logged out before the set time") << true;
    }

    // Given no session at the set time, then the sub-task fails at once with the reason, and once
    // the session is up its order never reaches the exchange: a later order does, alone.
    void sessionDownAtTheSetTime()
    {
        QFETCH(bool, loggedOnBefore);
        Rig rig;
        QCOMPARE(rig.fix.startRoute(), QString());
        if (loggedOnBefore) {
            QCOMPARE(rig.fix.startExchange(), QString());
            QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogons, 1, kWaitMs);
            rig.fix.exchange.stop();
            QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogouts, 1, kWaitMs);
        }
        const int missed = rig.add({{kPufa, '0', at(9, 30)}});
        const int later = rig.add({{kPufa, '0', at(9, 40)}});
        rig.forgetHeard();

        rig.fireAt(at(9, 30));
        QCOMPARE(stateOf(rig.sub(missed)), QStringLiteral("2 4 0/0 ") + kRouteDown);
        QCOMPARE(rig.sub(missed).TriggerTime, at(9, 30));
        QCOMPARE(rig.heard->lines, QStringList{QStringLiteral("09:30:00 子任务 #1_1 已触发(失败)：") + kRouteDown});

        QCOMPARE(rig.fix.startExchange(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogons, loggedOnBefore ? 2 : 1, kWaitMs);
        rig.fireAt(at(9, 40));
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(later)), QStringLiteral("5 4 100/100"), kWaitMs);
        // The exchange handles one session's orders in turn: had the first left, it would be here.
        QVERIFY(!rig.exchangeHas(QStringLiteral("10001-1-1")));
        QVERIFY(rig.exchangeHas(QStringLiteral("10001-2-2")));
        QCOMPARE(int(rig.fix.broker.orders().size()), 1);
        QCOMPARE(stateOf(rig.sub(missed)), QStringLiteral("2 4 0/0 ") + kRouteDown);
        rig.settle();
        QVERIFY(rig.heard->lines.filter(QStringLiteral("未完结委托")).isEmpty());
    }

    void burstCutPartWayIsReconciled_data()
    {
        QTest::addColumn<int>("cutAfter");
        QTest::addColumn<bool>("socketCut");
        QTest::newRow("exchange stops after the first order") << 1 << false;
        QTest::newRow("exchange stops part-way") << 77 << false;
        QTest::newRow("exchange stops after the last order") << 200 << false;
        QTest::newRow("socket cut part-way: the rest is asked for again") << 77 << true;
    }

    // Given 200 sub-tasks due at once, half of them resting, when the exchange stops after taking
    // `cutAfter` of them and comes back (or the connection is cut after passing them on and the
    // route reconnects), then after logon each sub-task shows its exchange order's state or fails
    // as unknown there; no order arrives twice or late.
    void burstCutPartWayIsReconciled()
    {
        QFETCH(int, cutAfter);
        QFETCH(bool, socketCut);
        Rig rig(QString(), socketCut ? cutAfter : 0);
        int placed = 0;
        rig.fix.broker.setPlacedOrderObserver([&rig, &placed, cutAfter, socketCut](const SimOrder&) {
            if (++placed == cutAfter && !socketCut)
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
        if (!socketCut)
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

        std::set<QString> refs;
        for (const SimOrder& order : rig.fix.broker.orders())
            refs.insert(order.ClientOrderRef);
        QCOMPARE(int(rig.fix.broker.orders().size()), cutAfter);
        QCOMPARE(int(refs.size()), cutAfter);
        rig.settle();
        QCOMPARE(rig.heard->lines.filter(QStringLiteral("经FIX VELMCLIENT→VELMSIM向券商查询")).size(), 1);
        QVERIFY(rig.localBroker.orders().empty());
    }

    void interruptedSendIsReconciledOnLogon_data()
    {
        QTest::addColumn<bool>("atExchange");
        QTest::addColumn<QString>("settled");
        QTest::addColumn<QString>("settledLine");
        const QString unknown = unknownAtBroker(QStringLiteral("10001-1-1"));
        QTest::newRow("found: takes the exchange's state") << true << "5 4 100/100"
                                                           << "09:40:00 子任务 #1_1 成交，累计成交100股";
        QTest::newRow("not found: fails as unknown") << false << QStringLiteral("2 4 0/0 ") + unknown
                                                     << QStringLiteral("09:40:00 子任务 #1_1 已触发(失败)：") + unknown;
    }

    // Given a sub-task stored as being sent when the client died, when it starts again with the
    // session down, then it shows as being checked; once the route logs on it takes the exchange's
    // answer, and its order is never sent again.
    void interruptedSendIsReconciledOnLogon()
    {
        QFETCH(bool, atExchange);
        QFETCH(QString, settled);
        QFETCH(QString, settledLine);
        QTemporaryDir dir(VelmTest::tempDir() + QStringLiteral("/fixroute-XXXXXX"));
        const QString path = dir.filePath(QStringLiteral("velm.db"));
        Rig rig(path);
        QVERIFY2(rig.opened, qPrintable(rig.message));
        const int id = rig.add({{kPufa, '0', at(9, 30)}});
        rig.service.reset();
        {
            SchedOrdDatabase db;
            QVERIFY(db.open(path).usable());
            QVERIFY(db.begin() && db.markSending(kAccount, id, 1, "10001-1-1"));
            QVERIFY(db.commit());
        }
        // The order left just before the crash, or never did.
        QCOMPARE(rig.fix.logOn(kWaitMs), QString());
        if (atExchange) {
            QString whyNot;
            QVERIFY2(rig.fix.route.sendOrder(VelmTest::brokerOrder("10001-1-1", '0', 10.36, 100), &whyNot), qPrintable(whyNot));
            QTRY_VERIFY_WITH_TIMEOUT(rig.exchangeHas(QStringLiteral("10001-1-1")), kWaitMs);
        }
        rig.fix.exchange.stop();
        QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogouts, 1, kWaitMs);

        rig.restartService(at(9, 40), path);
        QVERIFY2(rig.opened, qPrintable(rig.message));
        QCOMPARE(stateOf(rig.sub(id)), QStringLiteral("3 3 0/100 正在向券商核对：发送委托时程序中断，参考号 10001-1-1"));
        QVERIFY(rig.service->operationLog().contains(
            QStringLiteral("09:40:00 启动核对：1个子任务在发送委托时中断，将在路由连接后向券商查询委托状态")));
        rig.forgetHeard();

        QCOMPARE(rig.fix.startExchange(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.fix.routeLogons, 2, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(id)), settled, kWaitMs);
        rig.settle();
        QCOMPARE(rig.heard->lines, QStringList({QStringLiteral("09:40:00 经FIX VELMCLIENT→VELMSIM向券商查询1个未完结委托的状态"),
                                                settledLine}));
        QCOMPARE(rig.heard->subTaskSignals.value(id), 1);
        QCOMPARE(int(rig.fix.broker.orders().size()), atExchange ? 1 : 0);

        // The answer is stored: a later start has nothing left to check.
        rig.restartService(at(9, 50), path);
        QCOMPARE(stateOf(rig.sub(id)), settled);
        QVERIFY(rig.service->operationLog().filter(QStringLiteral("09:50:00")).isEmpty());
    }
};

QTEST_MAIN(FixRouteTest)
#include "tst_fixroute.moc"
