#include "FixBrokerRoute.h"
#include "FixLoopback.h"
#include "FixSessionSettings.h"
#include "FixSimExchange.h"
#include "MarketSimulator.h"
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
#include <mutex>
#include <set>

using namespace VELMSCHEDORDAPI;
using VelmTest::OrderSpec;

namespace {

constexpr int kAccount = 10001;
constexpr int kWaitMs = 10000;
const QString kPufa = QStringLiteral("600000.SH");
const QString kName = QStringLiteral("600000_浦发银行");
const QString kClient = QStringLiteral("VELMCLIENT");
const QString kExchange = QStringLiteral("VELMSIM");
const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);

int64_t at(int hour, int minute) { return SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, hour, minute, 0); }

QString unknownAtBroker(const QString& ref)
{
    return QStringLiteral("委托状态未知：券商处未找到参考号 %1 的委托，请核对").arg(ref);
}

// Previous close 10.20, limits 11.22 / 9.18; bids 10.34 .. 10.30, asks 10.36 .. 10.40, ask 1
// `askOne` deep and the others deep enough for anything.
Lev1MarketData quote(double askOne)
{
    Lev1MarketData result;
    result.LastPrice = 10.35;
    result.PreClosePrice = 10.20;
    result.UpperLimitPrice = 11.22;
    result.LowerLimitPrice = 9.18;
    for (int level = 0; level < 5; ++level) {
        result.PriceLevels[size_t(level)] = {(1034 - level) / 100.0, 1e5};
        result.PriceLevels[size_t(5 + level)] = {(1036 + level) / 100.0, level == 0 ? askOne : 1e5};
    }
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

// A signal emitted on QuickFIX's thread, counted on the test's.
class Count : public QObject
{
public:
    Count(const FixBrokerRoute* route, void (FixBrokerRoute::*signal)())
    {
        connect(route, signal, this, [this] { ++value; }, Qt::QueuedConnection);
    }
    int value = 0;
};

// What the service announced, heard on the engine's thread as it happened.
class Heard : public QObject
{
public:
    explicit Heard(ServiceScheduledOrder& service)
    {
        connect(&service, &ServiceScheduledOrder::signalRtnSubTaskChanged, this,
                [this](int mainTaskId, std::unordered_set<int>) {
                    std::lock_guard<std::mutex> guard(m_mutex);
                    ++m_subTaskSignals[mainTaskId];
                }, Qt::DirectConnection);
        connect(&service, &ServiceScheduledOrder::signalOperationLog, this, [this](const QString& line) {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_lines << line;
        }, Qt::DirectConnection);
    }
    int subTaskSignals(int mainTaskId) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_subTaskSignals.value(mainTaskId);
    }
    QStringList lines() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_lines;
    }
    void clear()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_subTaskSignals.clear();
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    QHash<int, int> m_subTaskSignals;
    QStringList m_lines;
};

// A loopback relay between the route and the exchange. It can cut the connection right after
// passing the n-th NewOrderSingle: what the route sent after it never reaches the exchange, which
// asks for it again once the route is back.
class Relay : public QObject
{
public:
    explicit Relay(int exchangePort)
        : m_exchangePort(exchangePort)
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    // The sockets outlive the links their handlers name.
    ~Relay() override
    {
        for (const std::unique_ptr<Link>& link : m_links) {
            link->route->disconnect(this);
            link->exchange->disconnect(this);
        }
    }
    int port() const { return m_server.serverPort(); }
    void cutAfterOrders(int orders) { m_cutAfter = orders; }

private:
    struct Link {
        QTcpSocket* route = nullptr;
        QTcpSocket* exchange = nullptr;
        QByteArray pending;             // the route's bytes short of a whole message
    };

    void accept()
    {
        while (QTcpSocket* route = m_server.nextPendingConnection()) {
            m_links.push_back(std::make_unique<Link>());
            Link* link = m_links.back().get();
            link->route = route;
            link->exchange = new QTcpSocket(this);
            connect(link->exchange, &QTcpSocket::connected, this, [this, link] { passToExchange(*link); });
            connect(route, &QTcpSocket::readyRead, this, [this, link] { passToExchange(*link); });
            connect(link->exchange, &QTcpSocket::readyRead, this,
                    [link] { link->route->write(link->exchange->readAll()); });
            connect(route, &QTcpSocket::disconnected, this, [link] { link->exchange->disconnectFromHost(); });
            connect(link->exchange, &QTcpSocket::disconnected, this, [link] { link->route->disconnectFromHost(); });
            link->exchange->connectToHost(QHostAddress::LocalHost, quint16(m_exchangePort));
        }
    }

    // Whole messages only, so that the cut falls right after an order.
    void passToExchange(Link& link)
    {
        if (link.exchange->state() != QAbstractSocket::ConnectedState)
            return;
        link.pending += link.route->readAll();
        for (int end = messageEnd(link.pending); end > 0; end = messageEnd(link.pending)) {
            const QByteArray message = link.pending.left(end);
            link.pending.remove(0, end);
            link.exchange->write(message);
            if (message.contains("\x01" "35=D\x01") && ++m_orders == m_cutAfter) {
                link.exchange->disconnectFromHost();
                link.route->abort();
                return;
            }
        }
    }

    static int messageEnd(const QByteArray& bytes)
    {
        const int checksum = bytes.indexOf("\x01" "10=");
        const int end = checksum + 8;                  // SOH, "10=", three digits, SOH
        return checksum >= 0 && bytes.size() >= end ? end : 0;
    }

    const int m_exchangePort;
    QTcpServer m_server;
    std::vector<std::unique_ptr<Link>> m_links;
    int m_orders = 0;
    int m_cutAfter = 0;
};

// An account's service on a hand-moved clock whose orders take a FIX session over loopback to a
// simulated exchange with a broker of its own; the service's local broker must stay untouched.
struct Rig
{
    explicit Rig(const QString& database = QString(), bool throughRelay = false)
        : port(VelmTest::freeLoopbackPort())
        , relay(throughRelay ? std::make_unique<Relay>(port) : nullptr)
        , exchange(VelmTest::loopbackSession(kExchange, kClient, port, folder.filePath(QStringLiteral("exchange"))), exchangeBroker,
                   market, SecurityCatalogue::instance())
        , route(VelmTest::loopbackSession(kClient, kExchange, relay ? relay->port() : port, folder.filePath(QStringLiteral("route"))))
    {
        exchangeBroker.setAvailableFunds(1e8);
        market.setQuote(kPufa, quote(1e5));
        restartService(kT0, database);
    }

    // The exchange first: it runs on this thread and must answer the route's logout.
    ~Rig()
    {
        service.reset();
        heard.reset();
        exchange.stop();
        route.stop();
    }

    void restartService(int64_t now, const QString& database = QString())
    {
        service.reset();
        heard.reset();
        service = std::make_unique<ServiceScheduledOrder>(kAccount, 1, SecurityCatalogue::instance(), market, localBroker);
        clock = VelmTest::driveClock(*service, now);
        service->setShareholderAccounts({{'1', QString::fromLatin1(VelmTest::ShanghaiShareholder)},
                                         {'2', QString::fromLatin1(VelmTest::ShenzhenShareholder)},
                                         {'4', QString::fromLatin1(VelmTest::BeijingShareholder)}});
        service->setOrderRoute(&route);
        heard = std::make_unique<Heard>(*service);
        if (!database.isEmpty())
            opened = service->openStorage(database, &message);
        service->waitForEngineIdle();
    }

    QString startRoute()
    {
        QString whyNot;
        route.start(&whyNot);
        return whyNot;
    }
    QString startExchange()
    {
        QString whyNot;
        exchange.start(&whyNot);
        return whyNot;
    }

    int add(const QList<OrderSpec>& orders)
    {
        const SchedOrdTaskField task = VelmTest::makeMainTask(*service, kName, orders);
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
        service->waitForEngineIdle();
    }
    SchedOrdSubTaskField sub(int mainTaskId, size_t index = 0)
    {
        return service->getOneMainTask(mainTaskId).VecSubTask.at(index);
    }
    bool exchangeHas(const QString& ref) const
    {
        SimOrder order;
        return exchangeBroker.findOrderByClientRef(ref, &order);
    }

    QTemporaryDir folder{VelmTest::tempDir() + QStringLiteral("/fixroute-XXXXXX")};
    int port;
    std::unique_ptr<Relay> relay;
    MarketSimulator market{SecurityCatalogue::instance(), 7};
    SimBroker exchangeBroker{1};
    SimBroker localBroker{1};
    FixSimExchange exchange;
    FixBrokerRoute route;
    Count logons{&route, &FixBrokerRoute::signalLoggedOn};
    Count logouts{&route, &FixBrokerRoute::signalLoggedOut};
    std::unique_ptr<ServiceScheduledOrder> service;
    std::shared_ptr<ManualSchedOrdClock> clock;
    std::unique_ptr<Heard> heard;
    bool opened = false;
    QString message;
};

const QString kRouteDown = QStringLiteral("路由未连接：FIX VELMCLIENT→VELMSIM，委托未发出");

} // namespace

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
        QTest::addColumn<char>("direction");
        QTest::addColumn<double>("askOne");
        QTest::addColumn<QString>("afterFire");
        QTest::addColumn<QString>("afterFireLine");
        QTest::addColumn<QString>("afterQuoteMove");    // empty: the quote stays
        QTest::addColumn<QString>("afterQuoteMoveLine");
        const QString filled = QStringLiteral("09:30:00 子任务 #1_1 成交，累计成交500股");
        QTest::newRow("filled at once") << '0' << 1e5 << "5 4 500/500" << filled << "" << "";
        QTest::newRow("rejected, with the exchange's text") << '1' << 1e5 << "4 4 0/0 可用持仓不足"
                                                            << "09:30:00 子任务 #1_1 已触发(废单)：可用持仓不足" << "" << "";
        QTest::newRow("partly filled, then filled as the quote moves")
            << '0' << 300.0 << "3 3 300/500" << "09:30:00 子任务 #1_1 成交，累计成交300股" << "5 4 500/500" << filled;
    }

    // Given a logged-on session, when a sub-task comes due, then it shows as sent, and each report
    // that changes it is one sub-task signal and one log line.
    void reportsReachTheSubTask()
    {
        QFETCH(char, direction);
        QFETCH(double, askOne);
        QFETCH(QString, afterFire);
        QFETCH(QString, afterFireLine);
        QFETCH(QString, afterQuoteMove);
        QFETCH(QString, afterQuoteMoveLine);
        Rig rig;
        rig.market.setQuote(kPufa, quote(askOne));
        QCOMPARE(rig.startExchange(), QString());
        QCOMPARE(rig.startRoute(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.logons.value, 1, kWaitMs);
        const int id = rig.add({{kPufa, direction, at(9, 30), 500}});
        rig.heard->clear();

        rig.fireAt(at(9, 30));
        QCOMPARE(stateOf(rig.sub(id)), QStringLiteral("3 3 0/500"));
        QCOMPARE(rig.heard->subTaskSignals(id), 1);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(id)), afterFire, kWaitMs);
        rig.service->waitForEngineIdle();
        QCOMPARE(rig.heard->subTaskSignals(id), 2);
        QStringList lines{QStringLiteral("09:30:00 子任务 #1_1 已触发(已发送)，报单500股，成交0股"), afterFireLine};
        QCOMPARE(rig.heard->lines(), lines);

        if (!afterQuoteMove.isEmpty()) {
            rig.market.setQuote(kPufa, quote(1e5));
            QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(id)), afterQuoteMove, kWaitMs);
            rig.service->waitForEngineIdle();
            QCOMPARE(rig.heard->subTaskSignals(id), 3);
            QCOMPARE(rig.heard->lines(), lines << afterQuoteMoveLine);
        }
        SimOrder order;
        QVERIFY(rig.exchangeBroker.findOrderByClientRef(QStringLiteral("10001-1-1"), &order));
        QCOMPARE(order.Direction, direction);
        QCOMPARE(order.Volume, 500);
        QCOMPARE(order.Price, 10.36);
        QCOMPARE(int(rig.exchangeBroker.orders().size()), 1);
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
        QCOMPARE(rig.startRoute(), QString());
        if (loggedOnBefore) {
            QCOMPARE(rig.startExchange(), QString());
            QTRY_COMPARE_WITH_TIMEOUT(rig.logons.value, 1, kWaitMs);
            rig.exchange.stop();
            QTRY_COMPARE_WITH_TIMEOUT(rig.logouts.value, 1, kWaitMs);
        }
        const int missed = rig.add({{kPufa, '0', at(9, 30)}});
        const int later = rig.add({{kPufa, '0', at(9, 40)}});
        rig.heard->clear();

        rig.fireAt(at(9, 30));
        QCOMPARE(stateOf(rig.sub(missed)), QStringLiteral("2 4 0/0 ") + kRouteDown);
        QCOMPARE(rig.sub(missed).TriggerTime, at(9, 30));
        QCOMPARE(rig.heard->lines(), QStringList{QStringLiteral("09:30:00 子任务 #1_1 已触发(失败)：") + kRouteDown});

        QCOMPARE(rig.startExchange(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.logons.value, loggedOnBefore ? 2 : 1, kWaitMs);
        rig.fireAt(at(9, 40));
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(later)), QStringLiteral("5 4 100/100"), kWaitMs);
        // The exchange handles one session's orders in turn: had the first left, it would be here.
        QVERIFY(!rig.exchangeHas(QStringLiteral("10001-1-1")));
        QVERIFY(rig.exchangeHas(QStringLiteral("10001-2-2")));
        QCOMPARE(int(rig.exchangeBroker.orders().size()), 1);
        QCOMPARE(stateOf(rig.sub(missed)), QStringLiteral("2 4 0/0 ") + kRouteDown);
        QVERIFY(rig.heard->lines().filter(QStringLiteral("未完结委托")).isEmpty());
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
        const int count = 200;
        Rig rig(QString(), socketCut);
        int placed = 0;
        rig.exchangeBroker.setPlacedOrderObserver([&rig, &placed, cutAfter, socketCut](const SimOrder&) {
            if (++placed == cutAfter && !socketCut)
                rig.exchange.stop();
        });
        if (socketCut)
            rig.relay->cutAfterOrders(cutAfter);
        QCOMPARE(rig.startExchange(), QString());
        QCOMPARE(rig.startRoute(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.logons.value, 1, kWaitMs);
        QList<OrderSpec> orders;
        for (int i = 0; i < count; ++i)
            orders.append({kPufa, '0', at(9, 30), 100 * (1 + i % 3), i % 2 ? 2 : 1});   // bid 1 rests, ask 1 fills
        const int id = rig.add(orders);

        rig.fireAt(at(9, 30));
        for (const SchedOrdSubTaskField& subTask : rig.service->getOneMainTask(id).VecSubTask)
            QCOMPARE(stateOf(subTask), QStringLiteral("3 3 0/%1").arg(subTask.TargetVolume));
        QTRY_COMPARE_WITH_TIMEOUT(placed, cutAfter, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.logouts.value, 1, kWaitMs);
        if (!socketCut)
            QCOMPARE(rig.startExchange(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.logons.value, 2, kWaitMs);
        auto mismatches = [&rig, id] {
            QStringList found;
            for (const SchedOrdSubTaskField& subTask : rig.service->getOneMainTask(id).VecSubTask) {
                const QString ref = QStringLiteral("10001-%1-%2").arg(id).arg(subTask.SubTaskID);
                SimOrder order;
                const QString expected = rig.exchangeBroker.findOrderByClientRef(ref, &order)
                    ? stateOf(order) : QStringLiteral("2 4 0/0 ") + unknownAtBroker(ref);
                if (stateOf(subTask) != expected)
                    found << QStringLiteral("%1: %2, not %3").arg(ref, stateOf(subTask), expected);
            }
            return found.mid(0, 3);
        };
        QTRY_COMPARE_WITH_TIMEOUT(mismatches(), QStringList(), kWaitMs);

        const std::vector<SimOrder> atExchange = rig.exchangeBroker.orders();
        QCOMPARE(int(atExchange.size()), cutAfter);
        std::set<QString> refs;
        for (const SimOrder& order : atExchange)
            refs.insert(order.ClientOrderRef);
        QCOMPARE(int(refs.size()), cutAfter);
        int unknown = 0;
        for (const SchedOrdSubTaskField& subTask : rig.service->getOneMainTask(id).VecSubTask)
            unknown += subTask.TriggerStatus == '2';
        QCOMPARE(unknown, count - cutAfter);
        rig.service->waitForEngineIdle();
        QCOMPARE(rig.heard->lines().filter(QStringLiteral("经FIX VELMCLIENT→VELMSIM向券商查询")).size(), 1);
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
        QCOMPARE(rig.startExchange(), QString());
        QCOMPARE(rig.startRoute(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.logons.value, 1, kWaitMs);
        if (atExchange) {
            BrokerOrderRequest request;
            request.clientOrderRef = "10001-1-1";
            request.securityId = QStringLiteral("600000");
            request.exchangeId = '1';
            request.direction = '0';
            request.apiType = 1;
            request.price = 10.36;
            request.volume = 100;
            request.shareholderAccount = QString::fromLatin1(VelmTest::ShanghaiShareholder);
            request.transactTime = at(9, 30);
            QString whyNot;
            QVERIFY2(rig.route.sendOrder(request, &whyNot), qPrintable(whyNot));
            QTRY_VERIFY_WITH_TIMEOUT(rig.exchangeHas(QStringLiteral("10001-1-1")), kWaitMs);
        }
        rig.exchange.stop();
        QTRY_COMPARE_WITH_TIMEOUT(rig.logouts.value, 1, kWaitMs);

        rig.restartService(at(9, 40), path);
        QVERIFY2(rig.opened, qPrintable(rig.message));
        const SchedOrdSubTaskField checking = rig.sub(id);
        QCOMPARE(checking.TriggerStatus, '3');
        QCOMPARE(checking.SubTaskStatus, '3');
        QCOMPARE(Util::Str2QStr(checking.ErrorMsg), QStringLiteral("正在向券商核对：发送委托时程序中断，参考号 10001-1-1"));
        QVERIFY(rig.service->operationLog().contains(
            QStringLiteral("09:40:00 启动核对：1个子任务在发送委托时中断，将在路由连接后向券商查询委托状态")));
        rig.heard->clear();

        QCOMPARE(rig.startExchange(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.logons.value, 2, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(stateOf(rig.sub(id)), settled, kWaitMs);
        rig.service->waitForEngineIdle();
        QCOMPARE(rig.heard->lines(), QStringList({QStringLiteral("09:40:00 经FIX VELMCLIENT→VELMSIM向券商查询1个未完结委托的状态"),
                                                  settledLine}));
        QCOMPARE(rig.heard->subTaskSignals(id), 1);
        QCOMPARE(int(rig.exchangeBroker.orders().size()), atExchange ? 1 : 0);

        // The answer is stored: a later start has nothing left to check.
        rig.restartService(at(9, 50), path);
        QCOMPARE(stateOf(rig.sub(id)), settled);
        QVERIFY(rig.service->operationLog().filter(QStringLiteral("09:50:00")).isEmpty());
    }
};

QTEST_MAIN(FixRouteTest)
#include "tst_fixroute.moc"
