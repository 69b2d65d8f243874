#include "FixBrokerRoute.h"
#include "FixOrderMessages.h"
#include "FixLoopback.h"
#include "FixSessionSettings.h"
#include "FixSimExchange.h"
#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "SimBroker.h"
#include "VelmTest.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <quickfix/Session.h>
#include <quickfix/fix44/ExecutionReport.h>
#include <quickfix/fix44/NewOrderSingle.h>
#include <quickfix/fix44/OrderCancelRequest.h>
#include <quickfix/fix44/OrderStatusRequest.h>

#include <memory>

Q_DECLARE_METATYPE(BrokerExecutionReport::State)

namespace {

using State = BrokerExecutionReport::State;

const QString kKey = QStringLiteral("600000.SH");
const QString kClient = QStringLiteral("VELMCLIENT");
const QString kExchange = QStringLiteral("VELMSIM");
constexpr int kWaitMs = 5000;
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kMondayMorning = 1796607000LL * kTicksPerSecond + 1230000;   // 2026-12-07 01:30:00.123 UTC

// Bids 9.99 .. 9.95 and asks from `ask1` cents up, each level `volume` deep.
Lev1MarketData book(double volume, int ask1 = 1001)
{
    Lev1MarketData quote;
    quote.LastPrice = 10.0;
    for (int level = 0; level < 5; ++level) {
        quote.PriceLevels[size_t(level)] = {(999 - level) / 100.0, volume};
        quote.PriceLevels[size_t(5 + level)] = {(ask1 + level) / 100.0, volume};
    }
    return quote;
}

BrokerOrderRequest order(const std::string& ref, char direction, double price, int volume, int apiType = 1)
{
    BrokerOrderRequest request;
    request.clientOrderRef = ref;
    request.securityId = QStringLiteral("600000");
    request.exchangeId = '1';
    request.direction = direction;
    request.apiType = apiType;
    request.price = price;
    request.volume = volume;
    request.shareholderAccount = QStringLiteral("A123456789");
    request.transactTime = kMondayMorning;
    return request;
}

// Reports as the route delivers them, moved from QuickFIX's thread to the test's.
class ReportLog : public QObject
{
public:
    void attach(BrokerRoute& route)
    {
        route.setReportHandler([this](const BrokerExecutionReport& report) {
            QMetaObject::invokeMethod(this, [this, report] { reports.push_back(report); }, Qt::QueuedConnection);
        });
    }
    std::vector<BrokerExecutionReport> reports;
};

// A counter of a signal emitted on another thread.
class Count : public QObject
{
public:
    template <typename Sender, typename Signal>
    Count(const Sender* sender, Signal signal)
    {
        connect(sender, signal, this, [this] { ++value; }, Qt::QueuedConnection);
    }
    int value = 0;
};

// One exchange and one route over a fresh loopback session.
struct Loopback {
    explicit Loopback(int apiType = 1, const QString& routeSender = kClient)
        : port(VelmTest::freeLoopbackPort())
        , market(SecurityCatalogue::instance(), 7)
        , broker(apiType)
        , exchange(VelmTest::loopbackSession(kExchange, kClient, port, folder.filePath(QStringLiteral("exchange"))), broker, market,
                   SecurityCatalogue::instance())
        , route(VelmTest::loopbackSession(routeSender, kExchange, port, folder.filePath(QStringLiteral("route"))))
    {
        broker.setAvailableFunds(1000000.0);
        market.setQuote(kKey, book(1000.0));
        log.attach(route);
    }

    // The exchange goes first: it runs on this thread, and could not answer the route's logout
    // while the route waited for the answer.
    ~Loopback()
    {
        exchange.stop();
        route.stop();
    }

    // Empty, or why either end did not start.
    QString startBoth()
    {
        QString whyNot;
        if (exchange.start(&whyNot))
            route.start(&whyNot);
        return whyNot;
    }

    // Tag `tag` of the last message about `ref` in the route's message log, as it arrived.
    QString lastLoggedField(const QString& ref, int tag) const
    {
        const QDir logs(folder.filePath(QStringLiteral("route/fix/log")));
        QFile log(logs.filePath(logs.entryList({QStringLiteral("*.messages.current.log")}).value(0)));
        if (!log.open(QIODevice::ReadOnly))
            return QStringLiteral("no message log");
        const QByteArray refField = "\x01" "11=" + ref.toUtf8() + "\x01";
        const QByteArray wanted = "\x01" + QByteArray::number(tag) + '=';
        QString value;
        for (const QByteArray& line : log.readAll().split('\n')) {
            const int at = line.indexOf(wanted);
            if (line.contains(refField) && at >= 0)
                value = QString::fromUtf8(line.mid(at + wanted.size()).split('\x01').value(0));
        }
        return value;
    }

    QTemporaryDir folder;
    int port;
    MarketSimulator market;
    SimBroker broker;
    FixSimExchange exchange;
    ReportLog log;
    FixBrokerRoute route;
};

} // namespace

class FixTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        VelmTest::setUpWindowManager();
    }

    void newOrderSingleTags_data()
    {
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("apiType");
        QTest::addColumn<char>("exchange");
        QTest::addColumn<QString>("side");
        QTest::addColumn<QString>("cashMargin");   // empty: tag absent
        QTest::addColumn<QString>("mic");
        QTest::newRow("stock buy, Shanghai") << '0' << 1 << '1' << "1" << "" << "XSHG";
        QTest::newRow("stock sell, Shenzhen") << '1' << 1 << '2' << "2" << "" << "XSHE";
        QTest::newRow("collateral buy, Beijing") << '0' << 2 << '4' << "1" << "1" << "BJSE";
        QTest::newRow("financed buy") << 'i' << 2 << '1' << "1" << "2" << "XSHG";
        QTest::newRow("short sell") << 'j' << 2 << '1' << "5" << "2" << "XSHG";
        QTest::newRow("third sell kind") << 'k' << 2 << '2' << "2" << "3" << "XSHE";
    }

    void newOrderSingleTags()
    {
        QFETCH(char, direction);
        QFETCH(int, apiType);
        QFETCH(char, exchange);
        BrokerOrderRequest request = order("20001-3-7", direction, 10.123999999, 300, apiType);
        request.exchangeId = exchange;
        FIX44::NewOrderSingle message;
        QString whyNot;
        QVERIFY(FixOrderMessages::newOrderSingle(request, &message, &whyNot));
        QCOMPARE(whyNot, QString());
        auto tag = [&message](int number) { return QString::fromStdString(message.getField(number)); };
        QCOMPARE(QString::fromStdString(message.getHeader().getField(FIX::FIELD::MsgType)), QStringLiteral("D"));
        QCOMPARE(tag(11), QStringLiteral("20001-3-7"));
        QCOMPARE(tag(1), QStringLiteral("A123456789"));
        QCOMPARE(tag(55), QStringLiteral("600000"));
        QTEST(tag(207), "mic");
        QTEST(tag(54), "side");
        QCOMPARE(tag(38), QStringLiteral("300"));
        QCOMPARE(tag(40), QStringLiteral("2"));
        QCOMPARE(tag(44), QStringLiteral("10.124"));
        QCOMPARE(tag(59), QStringLiteral("0"));
        QCOMPARE(tag(60), QStringLiteral("20261207-01:30:00.123"));
        QTEST(message.isSetField(544) ? tag(544) : QString(), "cashMargin");
        QCOMPARE(FixOrderMessages::directionOf(tag(54).at(0).toLatin1(), message.isSetField(544) ? tag(544).at(0).toLatin1() : 0),
                 direction);
    }

    void newOrderSingleRefusals_data()
    {
        QTest::addColumn<QString>("ref");
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("apiType");
        QTest::addColumn<char>("exchange");
        QTest::addColumn<int>("volume");
        QTest::addColumn<double>("price");
        QTest::addColumn<QString>("whyNot");
        QTest::newRow("no reference") << "" << '0' << 1 << '1' << 100 << 10.0 << "委托缺少客户委托编号";
        QTest::newRow("unknown exchange") << "r" << '0' << 1 << '3' << 100 << 10.0 << "未知的交易所代码：3";
        QTest::newRow("financed buy, stock account") << "r" << 'i' << 1 << '1' << 100 << 10.0 << "账户不支持该委托方向：i";
        QTest::newRow("unknown direction") << "r" << 'x' << 2 << '1' << 100 << 10.0 << "账户不支持该委托方向：x";
        QTest::newRow("no volume") << "r" << '0' << 1 << '1' << 0 << 10.0 << "委托数量必须大于0";
        QTest::newRow("no price") << "r" << '0' << 1 << '1' << 100 << 0.0 << "委托价格无效";
        QTest::newRow("NaN price") << "r" << '0' << 1 << '1' << 100 << std::nan("") << "委托价格无效";
    }

    void newOrderSingleRefusals()
    {
        QFETCH(QString, ref);
        QFETCH(char, direction);
        QFETCH(int, apiType);
        QFETCH(char, exchange);
        QFETCH(int, volume);
        QFETCH(double, price);
        BrokerOrderRequest request = order(ref.toStdString(), direction, price, volume, apiType);
        request.exchangeId = exchange;
        FIX44::NewOrderSingle message;
        QString whyNot;
        QVERIFY(!FixOrderMessages::newOrderSingle(request, &message, &whyNot));
        QTEST(whyNot, "whyNot");
    }

    void executionReportToBrokerReport_data()
    {
        QTest::addColumn<QString>("fields");       // tag=value pairs after the header, '|' between
        QTest::addColumn<bool>("ok");
        QTest::addColumn<State>("state");
        QTest::addColumn<int>("orderVolume");
        QTest::addColumn<int>("tradedVolume");
        QTest::addColumn<QString>("text");          // the report's text, or why it was not read
        QTest::newRow("new") << "11=a|39=0|38=500|14=0|151=500" << true << State::New << 500 << 0 << "";
        QTest::newRow("partly filled") << "11=a|39=1|38=500|14=300|151=200" << true << State::PartFilled << 500 << 300 << "";
        QTest::newRow("filled, no OrderQty") << "11=a|39=2|14=500|151=0" << true << State::Filled << 500 << 500 << "";
        QTest::newRow("rejected") << "11=a|39=8|103=99|38=100|14=0|58=可用持仓不足" << true << State::Rejected << 100 << 0
                                  << "可用持仓不足";
        QTest::newRow("unknown order") << "11=zz|39=8|103=5|14=0|151=0|58=未知委托：zz" << true << State::Unknown << 0 << 0
                                       << "未知委托：zz";
        QTest::newRow("canceled") << "11=a|39=4|38=500|14=100|151=0" << true << State::Canceled << 500 << 100 << "";
        QTest::newRow("no ClOrdID") << "39=0|14=0" << false << State::Unknown << 0 << 0 << "执行报告缺少ClOrdID";
        QTest::newRow("no OrdStatus") << "11=a|14=0" << false << State::Unknown << 0 << 0 << "执行报告缺少OrdStatus：a";
        QTest::newRow("odd OrdStatus") << "11=a|39=Z|14=0" << false << State::Unknown << 0 << 0
                                       << "执行报告的OrdStatus无法识别：Z（a）";
        QTest::newRow("CumQty not a number") << "11=a|39=1|14=many" << false << State::Unknown << 0 << 0
                                             << "执行报告缺少CumQty：a";
    }

    void executionReportToBrokerReport()
    {
        QFETCH(QString, fields);
        FIX44::ExecutionReport message;
        for (const QString& pair : fields.split(QLatin1Char('|'))) {
            const int eq = pair.indexOf(QLatin1Char('='));
            message.setField(pair.left(eq).toInt(), pair.mid(eq + 1).toStdString());
        }
        BrokerExecutionReport report;
        QString whyNot;
        QTEST(FixOrderMessages::toBrokerReport(message, &report, &whyNot), "ok");
        QFETCH(bool, ok);
        if (!ok) {
            QTEST(whyNot, "text");
            return;
        }
        QCOMPARE(report.clientOrderRef, fields.section(QLatin1Char('|'), 0, 0).mid(3).toStdString());
        QTEST(report.state, "state");
        QTEST(report.orderVolume, "orderVolume");
        QTEST(report.tradedVolume, "tradedVolume");
        QTEST(report.text, "text");
    }

    void notAnExecutionReport()
    {
        FIX44::NewOrderSingle message;
        message.setField(11, "a");
        BrokerExecutionReport report;
        QString whyNot;
        QVERIFY(!FixOrderMessages::toBrokerReport(message, &report, &whyNot));
        QCOMPARE(whyNot, QStringLiteral("不是执行报告：35=D"));
    }

    void statusRequestOfAnOrderTheRouteNoLongerHas()
    {
        const FIX44::OrderStatusRequest request = FixOrderMessages::orderStatusRequest("10001-1-1", nullptr);
        QCOMPARE(request.getField(11), std::string("10001-1-1"));
        QCOMPARE(request.getField(54), std::string("7"));
        QCOMPARE(request.getField(55), std::string("[N/A]"));
        const BrokerOrderRequest known = order("10001-1-1", 'j', 10.0, 100, 2);
        const FIX44::OrderStatusRequest named = FixOrderMessages::orderStatusRequest("10001-1-1", &known);
        QCOMPARE(named.getField(54), std::string("5"));
        QCOMPARE(named.getField(55), std::string("600000"));
        QCOMPARE(named.getField(207), std::string("XSHG"));
    }

    void badSettingsAreRefused()
    {
        QTemporaryDir folder;
        FixBrokerRoute route(VelmTest::loopbackSession(kClient, kExchange, 0, folder.path()));
        QString whyNot;
        QVERIFY(!route.start(&whyNot));
        QCOMPARE(whyNot, QStringLiteral("FIX会话端口无效：0"));
        QVERIFY(!route.isConnected());
    }

    void logonAndLogout()
    {
        Loopback loop;
        Count routeLogons(&loop.route, &FixBrokerRoute::signalLoggedOn);
        Count routeLogouts(&loop.route, &FixBrokerRoute::signalLoggedOut);
        Count exchangeLogons(&loop.exchange, &FixSimExchange::signalClientLoggedOn);
        QCOMPARE(loop.startBoth(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(routeLogons.value, 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(exchangeLogons.value, 1, kWaitMs);
        QVERIFY(loop.route.isConnected());
        QVERIFY(loop.exchange.hasClient());
        QCOMPARE(loop.exchange.port(), loop.port);
        QCOMPARE(loop.route.name(), QStringLiteral("FIX VELMCLIENT→VELMSIM"));

        // The exchange logs the session out; the route refuses orders from then on.
        loop.exchange.stop();
        QVERIFY(!loop.exchange.hasClient());
        QTRY_COMPARE_WITH_TIMEOUT(routeLogouts.value, 1, kWaitMs);
        QVERIFY(!loop.route.isConnected());
        QString whyNot;
        QVERIFY(!loop.route.sendOrder(order("10001-3-1", '0', 10.01, 100), &whyNot));
        QCOMPARE(whyNot, QStringLiteral("路由未连接：FIX VELMCLIENT→VELMSIM，委托未发出"));
        loop.route.stop();
        QCOMPARE(routeLogons.value, 1);
        // The file store keeps the sequence numbers in the data folder.
        QVERIFY(!QDir(loop.folder.filePath(QStringLiteral("route/fix/store"))).entryList(QDir::Files).isEmpty());
    }

    void exchangeListensOnLoopbackOnly()
    {
        QTemporaryDir folder;
        MarketSimulator market(SecurityCatalogue::instance(), 7);
        SimBroker broker(1);
        FixSimExchange exchange(VelmTest::loopbackSession(kExchange, kClient, 0, folder.path()), broker, market, SecurityCatalogue::instance());
        QString whyNot;
        QVERIFY2(exchange.start(&whyNot), qPrintable(whyNot));
        QVERIFY(exchange.port() > 0);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(exchange.port()));
        QVERIFY(socket.waitForConnected(kWaitMs));
        // Another loopback address reaches a socket listening on every interface, not this one.
        QTcpSocket other;
        other.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), quint16(exchange.port()));
        QVERIFY(!other.waitForConnected(kWaitMs));
        QCOMPARE(other.error(), QAbstractSocket::ConnectionRefusedError);
    }

    // Fills, rejects and unknown orders reach the scheduled-order service end to end (tst_fixroute);
    // here, what only the session shows: a reused reference and a status request.
    void duplicateReferenceAndStatusRequest()
    {
        Loopback loop;
        Count routeLogons(&loop.route, &FixBrokerRoute::signalLoggedOn);
        QCOMPARE(loop.startBoth(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(routeLogons.value, 1, kWaitMs);
        QString whyNot;
        // Part of it against a thin ask, the rest when a later quote crosses it.
        loop.market.setQuote(kKey, book(300.0));
        QVERIFY(loop.route.sendOrder(order("10001-1-3", '0', 10.01, 500), &whyNot));
        QTRY_COMPARE_WITH_TIMEOUT(loop.log.reports.size(), size_t(2), kWaitMs);
        expect(loop.log.reports[0], "10001-1-3", State::New, 500, 0, QString());
        expect(loop.log.reports[1], "10001-1-3", State::PartFilled, 500, 300, QString());
        loop.market.setQuote(kKey, book(1000.0, 1000));
        QTRY_COMPARE_WITH_TIMEOUT(loop.log.reports.size(), size_t(3), kWaitMs);
        expect(loop.log.reports[2], "10001-1-3", State::Filled, 500, 500, QString());
        // Its average price covers both of its trades.
        QCOMPARE(loop.lastLoggedField(QStringLiteral("10001-1-3"), 6), QStringLiteral("10.006"));

        QVERIFY(loop.route.sendOrder(order("10001-1-3", '0', 10.01, 100), &whyNot));
        QTRY_COMPARE_WITH_TIMEOUT(loop.log.reports.size(), size_t(4), kWaitMs);
        expect(loop.log.reports[3], "10001-1-3", State::Rejected, 0, 0, QStringLiteral("重复的委托编号：10001-1-3"));

        QVERIFY(loop.route.requestStatus("10001-1-3"));
        QVERIFY(loop.route.requestStatus("10001-9-9"));
        QTRY_COMPARE_WITH_TIMEOUT(loop.log.reports.size(), size_t(6), kWaitMs);
        expect(loop.log.reports[4], "10001-1-3", State::Filled, 500, 500, QString());
        expect(loop.log.reports[5], "10001-9-9", State::Unknown, 0, 0, QStringLiteral("未知委托：10001-9-9"));
        QCOMPARE(loop.broker.orders().size(), size_t(1));
        QCOMPARE(loop.broker.positionAvailable(kKey), 500);
    }

    void creditKindsReachTheBroker()
    {
        Loopback loop(2);
        loop.broker.setCreditLine(100000.0);
        loop.broker.setShortQuota(kKey, 200);
        Count routeLogons(&loop.route, &FixBrokerRoute::signalLoggedOn);
        QCOMPARE(loop.startBoth(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(routeLogons.value, 1, kWaitMs);
        QString whyNot;
        QVERIFY(loop.route.sendOrder(order("20001-1-1", 'i', 10.01, 100, 2), &whyNot));
        QVERIFY(loop.route.sendOrder(order("20001-1-2", 'j', 9.99, 300, 2), &whyNot));
        QTRY_COMPARE_WITH_TIMEOUT(loop.log.reports.size(), size_t(3), kWaitMs);
        expect(loop.log.reports[2], "20001-1-2", State::Rejected, 300, 0, QStringLiteral("可用融券额度不足"));
        const std::vector<SimOrder> orders = loop.broker.orders();
        QCOMPARE(orders.size(), size_t(2));
        QCOMPARE(orders[0].Direction, 'i');
        QCOMPARE(orders[1].Direction, 'j');
        QCOMPARE(loop.broker.creditLine(), 100000.0 - 1001.0);
    }

    void wrongCompIdIsRefused()
    {
        Loopback loop(1, QStringLiteral("INTRUDER"));
        Count routeLogons(&loop.route, &FixBrokerRoute::signalLoggedOn);
        Count routeLogouts(&loop.route, &FixBrokerRoute::signalLoggedOut);
        QCOMPARE(loop.startBoth(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(routeLogouts.value >= 1, kWaitMs);
        QCOMPARE(routeLogons.value, 0);
        QVERIFY(!loop.route.isConnected());
        QVERIFY(!loop.exchange.hasClient());
    }

    void garbledAndUnexpectedMessages()
    {
        Loopback loop;
        Count routeLogons(&loop.route, &FixBrokerRoute::signalLoggedOn);
        QCOMPARE(loop.startBoth(), QString());
        QTRY_COMPARE_WITH_TIMEOUT(routeLogons.value, 1, kWaitMs);

        // Bytes that are no FIX at all, and a logon naming no session, each on a connection of
        // its own: the exchange closes it.
        const QByteArray noise(80 * 1024, '\x07');
        for (const QByteArray& garbage : {noise, QByteArray("8=FIX.4.4\x01" "9=5\x01" "35=A\x01" "10=000\x01")}) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(loop.port));
            QVERIFY(socket.waitForConnected(kWaitMs));
            socket.write(garbage);
            QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, kWaitMs);
        }

        // A message type the exchange does not take: refused with a business reject, which the
        // route reports.
        QStringList problems;
        QObject receiver;
        connect(&loop.route, &FixBrokerRoute::signalProblem, &receiver,
                [&problems](const QString& text) { problems << text; }, Qt::QueuedConnection);
        FIX44::OrderCancelRequest cancel(FIX::OrigClOrdID("10001-1-1"), FIX::ClOrdID("10001-1-2"), FIX::Side('1'),
                                         FIX::TransactTime());
        cancel.set(FIX::Symbol("600000"));
        QVERIFY(FIX::Session::sendToTarget(cancel, kClient.toStdString(), kExchange.toStdString()));
        QTRY_COMPARE_WITH_TIMEOUT(problems.size(), 1, kWaitMs);
        QCOMPARE(problems.at(0), QStringLiteral("FIX对方拒绝了业务消息：Unsupported Message Type"));

        // The session still carries orders.
        QString whyNot;
        QVERIFY(loop.route.sendOrder(order("10001-4-1", '0', 10.01, 100), &whyNot));
        QTRY_COMPARE_WITH_TIMEOUT(loop.log.reports.size(), size_t(2), kWaitMs);
        QCOMPARE(loop.log.reports[1].state, State::Filled);
        QVERIFY(loop.route.isConnected());
    }

private:
    static void expect(const BrokerExecutionReport& report, const std::string& ref, State state, int orderVolume,
                       int tradedVolume, const QString& text)
    {
        QCOMPARE(report.clientOrderRef, ref);
        QCOMPARE(report.state, state);
        QCOMPARE(report.orderVolume, orderVolume);
        QCOMPARE(report.tradedVolume, tradedVolume);
        QCOMPARE(report.text, text);
    }
};

QTEST_MAIN(FixTest)
#include "tst_fix.moc"
