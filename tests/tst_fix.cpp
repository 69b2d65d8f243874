#include "FixBrokerRoute.h"
#include "FixLoopback.h"
#include "FixLoopbackPair.h"
#include "FixOrderMessages.h"
#include "FixSimExchange.h"
#include "MarketQuotes.h"
#include "VelmTest.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

#include <quickfix/Parser.h>
#include <quickfix/Session.h>
#include <quickfix/fix44/Logon.h>
#include <quickfix/fix44/ExecutionReport.h>
#include <quickfix/fix44/NewOrderSingle.h>
#include <quickfix/fix44/OrderCancelRequest.h>
#include <quickfix/fix44/OrderStatusRequest.h>
#include <quickfix/fix44/ResendRequest.h>

Q_DECLARE_METATYPE(BrokerOrderRequest)

using VelmTest::brokerOrder;
using VelmTest::FixLoopbackPair;

namespace {

const QString kKey = QStringLiteral("600000.SH");
constexpr int kWaitMs = 5000;

// Bids 9.99 .. 9.95 and asks from `ask1` cents up, each level `volume` deep.
Lev1MarketData book(double volume, int ask1 = 1001) { return VelmTest::ladderQuote(999, ask1, volume); }

// `message` as the exchange's message `seq` to the client, on the wire.
QByteArray fromExchange(FIX::Message message, int seq)
{
    message.getHeader().setField(FIX::SenderCompID(VelmTest::FixExchangeId));
    message.getHeader().setField(FIX::TargetCompID(VelmTest::FixClientId));
    message.getHeader().setField(FIX::MsgSeqNum(seq));
    message.getHeader().setField(FIX::SendingTime(FIX::UtcTimeStamp()));
    return QByteArray::fromStdString(message.toString());
}

// What an exchange answers to the client's first logon.
QByteArray logonReply() { return fromExchange(FIX44::Logon(FIX::EncryptMethod(0), FIX::HeartBtInt(30)), 1); }

// The exchange's message `seq`: asks for the client's messages from `from` on again.
QByteArray resendRequest(int seq, int from) { return fromExchange(FIX44::ResendRequest(FIX::BeginSeqNo(from), FIX::EndSeqNo(0)), seq); }

// The values of `tags` in `message`, empty where a tag is absent.
QStringList fields(const FIX::FieldMap& message, std::initializer_list<int> tags)
{
    QStringList values;
    for (const int tag : tags)
        values << (message.isSetField(tag) ? QString::fromStdString(message.getField(tag)) : QString());
    return values;
}

// Tag `tag` of the last message about `ref` in the route's message log, as it arrived.
QString lastLoggedField(const FixLoopbackPair& loop, const QString& ref, int tag)
{
    const QDir logs(loop.folder.filePath(QStringLiteral("route/fix/log")));
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

    // Built: the tags that vary with the order, "54=<side> 207=<market> 544=<cash margin>"; refused: why.
    void newOrderSingle_data()
    {
        QTest::addColumn<BrokerOrderRequest>("request");
        QTest::addColumn<QString>("expected");
        const auto order = [](const char* ref, char direction, int apiType, char exchange, int volume, double price) {
            BrokerOrderRequest request = brokerOrder(ref, direction, price, volume, apiType);
            request.exchangeId = exchange;
            return request;
        };
        const double price = 10.123999999;
        QTest::newRow("stock buy, Shanghai") << order("20001-3-7", '0', 1, '1', 300, price) << "54=1 207=XSHG 544=";
        QTest::newRow("stock sell, Shenzhen") << order("20001-3-7", '1', 1, '2', 300, price) << "54=2 207=XSHE 544=";
        QTest::newRow("collateral buy, Beijing") << order("20001-3-7", '0', 2, '4', 300, price) << "54=1 207=BJSE 544=1";
        QTest::newRow("financed buy") << order("20001-3-7", 'i', 2, '1', 300, price) << "54=1 207=XSHG 544=2";
        QTest::newRow("short sell") << order("20001-3-7", 'j', 2, '1', 300, price) << "54=5 207=XSHG 544=2";
        QTest::newRow("third sell kind") << order("20001-3-7", 'k', 2, '2', 300, price) << "54=2 207=XSHE 544=3";
        QTest::newRow("no reference") << order("", '0', 1, '1', 100, 10.0) << "委托缺少客户委托编号";
        QTest::newRow("unknown exchange") << order("r", '0', 1, '3', 100, 10.0) << "未知的交易所代码：3";
        QTest::newRow("financed buy, stock account") << order("r", 'i', 1, '1', 100, 10.0) << "账户不支持该委托方向：i";
        QTest::newRow("unknown direction") << order("r", 'x', 2, '1', 100, 10.0) << "账户不支持该委托方向：x";
        QTest::newRow("no volume") << order("r", '0', 1, '1', 0, 10.0) << "委托数量必须大于0";
        QTest::newRow("no price") << order("r", '0', 1, '1', 100, 0.0) << "委托价格无效";
        QTest::newRow("NaN price") << order("r", '0', 1, '1', 100, std::nan("")) << "委托价格无效";
    }

    // The rest of a built order is the same for all, and its side and cash margin read back as its direction.
    void newOrderSingle()
    {
        QFETCH(BrokerOrderRequest, request);
        FIX44::NewOrderSingle message;
        QString whyNot;
        const bool built = FixOrderMessages::newOrderSingle(request, &message, &whyNot);
        const QStringList varying = fields(message, {54, 207, 544});
        QTEST(built ? QStringLiteral("54=%1 207=%2 544=%3").arg(varying[0], varying[1], varying[2]) : whyNot, "expected");
        QCOMPARE(whyNot.isEmpty(), built);
        if (!built)
            return;
        QCOMPARE(fields(message.getHeader(), {35}) + fields(message, {11, 1, 55, 38, 40, 44, 59, 60}),
                 (QStringList{"D", "20001-3-7", "A123456789", "600000", "300", "2", "10.124", "0", "20261207-01:30:00.123"}));
        QCOMPARE(FixOrderMessages::directionOf(varying[0].at(0).toLatin1(), varying[2].isEmpty() ? 0 : varying[2].at(0).toLatin1()),
                 request.direction);
    }

    // Read: the report's line (VelmTest::reportLine); not read: why.
    void executionReportToBrokerReport_data()
    {
        QTest::addColumn<QString>("fields");       // tag=value pairs, '|' between; 35 goes to the header
        QTest::addColumn<QString>("expected");
        QTest::newRow("new") << "11=a|39=0|38=500|14=0|151=500" << "a New 0/500";
        QTest::newRow("partly filled") << "11=a|39=1|38=500|14=300|151=200" << "a PartFilled 300/500";
        QTest::newRow("filled, no OrderQty") << "11=a|39=2|14=500|151=0" << "a Filled 500/500";
        QTest::newRow("rejected") << "11=a|39=8|103=99|38=100|14=0|58=可用持仓不足" << "a Rejected 0/100 可用持仓不足";
        QTest::newRow("unknown order") << "11=zz|39=8|103=5|14=0|151=0|58=未知委托：zz" << "zz Unknown 0/0 未知委托：zz";
        QTest::newRow("canceled") << "11=a|39=4|38=500|14=100|151=0" << "a Canceled 100/500";
        QTest::newRow("no ClOrdID") << "39=0|14=0" << "执行报告缺少ClOrdID";
        QTest::newRow("no OrdStatus") << "11=a|14=0" << "执行报告缺少OrdStatus：a";
        QTest::newRow("odd OrdStatus") << "11=a|39=Z|14=0" << "执行报告的OrdStatus无法识别：Z（a）";
        QTest::newRow("CumQty not a number") << "11=a|39=1|14=many" << "执行报告缺少CumQty：a";
        QTest::newRow("not an execution report") << "35=D|11=a|39=0|14=0" << "不是执行报告：35=D";
    }

    void executionReportToBrokerReport()
    {
        QFETCH(QString, fields);
        FIX44::ExecutionReport message;
        for (const QString& pair : fields.split(QLatin1Char('|'))) {
            const int tag = pair.section(QLatin1Char('='), 0, 0).toInt();
            FIX::FieldMap& part = tag == 35 ? static_cast<FIX::FieldMap&>(message.getHeader()) : message;
            part.setField(tag, pair.section(QLatin1Char('='), 1).toStdString());
        }
        BrokerExecutionReport report;
        QString whyNot;
        const bool read = FixOrderMessages::toBrokerReport(message, &report, &whyNot);
        QTEST(read ? VelmTest::reportLine(report) : whyNot, "expected");
    }

    // Side 7 and no symbol for an order the route no longer has; its own side, symbol and market otherwise.
    void statusRequestOfAnOrderTheRouteNoLongerHas()
    {
        const BrokerOrderRequest known = brokerOrder("10001-1-1", 'j', 10.0, 100, 2);
        QCOMPARE(fields(FixOrderMessages::orderStatusRequest("10001-1-1", nullptr), {11, 54, 55, 207}),
                 (QStringList{"10001-1-1", "7", "[N/A]", ""}));
        QCOMPARE(fields(FixOrderMessages::orderStatusRequest("10001-1-1", &known), {11, 54, 55, 207}),
                 (QStringList{"10001-1-1", "5", "600000", "XSHG"}));
    }

    void badSettingsAreRefused()
    {
        QTemporaryDir folder;
        FixBrokerRoute route(VelmTest::loopbackSession(QStringLiteral("VELMCLIENT"), QStringLiteral("VELMSIM"), 0, folder.path()));
        QString whyNot;
        QVERIFY(!route.start(&whyNot));
        QCOMPARE(whyNot, QStringLiteral("FIX会话端口无效：0"));
    }

    // Fills, rejects and unknown orders reach the scheduled-order service end to end (tst_fixroute);
    // here, what only the session shows: a reused reference and a status request.
    void duplicateReferenceAndStatusRequest()
    {
        FixLoopbackPair loop;
        loop.market.setQuote(kKey, book(300.0));   // part of it against a thin ask, the rest when a later quote crosses it
        QCOMPARE(loop.logOn(kWaitMs), QString());
        QString whyNot;
        QVERIFY(loop.route.sendOrder(brokerOrder("10001-1-3", '0', 10.01, 500), &whyNot));
        QStringList expected{"10001-1-3 New 0/500", "10001-1-3 PartFilled 300/500"};
        QTRY_COMPARE_WITH_TIMEOUT(loop.reports, expected, kWaitMs);
        loop.market.setQuote(kKey, book(1000.0, 1000));
        expected << "10001-1-3 Filled 500/500";
        QTRY_COMPARE_WITH_TIMEOUT(loop.reports, expected, kWaitMs);
        // Its average price covers both of its trades.
        QCOMPARE(lastLoggedField(loop, QStringLiteral("10001-1-3"), 6), QStringLiteral("10.006"));

        QVERIFY(loop.route.sendOrder(brokerOrder("10001-1-3", '0', 10.01, 100), &whyNot));
        QVERIFY(loop.route.requestStatus("10001-1-3"));
        QVERIFY(loop.route.requestStatus("10001-9-9"));
        expected << "10001-1-3 Rejected 0/0 重复的委托编号：10001-1-3" << "10001-1-3 Filled 500/500"
                 << "10001-9-9 Unknown 0/0 未知委托：10001-9-9";
        QTRY_COMPARE_WITH_TIMEOUT(loop.reports, expected, kWaitMs);
        QCOMPARE(loop.broker.orders().size(), size_t(1));
    }

    void exchangeRefusesWhatItCannotTake_data()
    {
        QTest::addColumn<int>("tag");           // changed in a good order
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");    // tag 103
        QTest::newRow("market order") << 40 << "1" << "仅支持限价委托" << "11";
        QTest::newRow("unknown symbol") << 55 << "600999" << "未知证券：600999 XSHG" << "1";
        QTest::newRow("side of no direction") << 54 << "3" << "不支持的买卖方向：54=3 544=-" << "99";
        QTest::newRow("no quantity") << 38 << "0" << "委托数量无效" << "13";
        QTest::newRow("no price") << 44 << "0" << "委托价格无效" << "99";
    }

    // An order the exchange cannot take is refused with the reason as text and tag 103; its broker
    // never sees it.
    void exchangeRefusesWhatItCannotTake()
    {
        QFETCH(int, tag);
        QFETCH(QString, value);
        QFETCH(QString, text);
        FixLoopbackPair loop;
        QCOMPARE(loop.logOn(kWaitMs), QString());
        FIX44::NewOrderSingle order;
        QString whyNot;
        QVERIFY(FixOrderMessages::newOrderSingle(brokerOrder("10001-5-1", '0', 10.01, 100), &order, &whyNot));
        order.setField(tag, value.toStdString());
        QVERIFY(FIX::Session::sendToTarget(order, VelmTest::FixClientId, VelmTest::FixExchangeId));
        QTRY_COMPARE_WITH_TIMEOUT(loop.reports, QStringList{"10001-5-1 Rejected 0/0 " + text}, kWaitMs);
        QTEST(lastLoggedField(loop, QStringLiteral("10001-5-1"), 103), "reason");
        QVERIFY(loop.broker.orders().empty());
    }

    void wrongCompIdIsRefused()
    {
        FixLoopbackPair loop(1, QStringLiteral("INTRUDER"));
        QStringList problems;
        connect(&loop.route, &FixBrokerRoute::signalProblem, &loop, [&problems](const QString& text) { problems << text; },
                Qt::QueuedConnection);
        QCOMPARE(loop.startExchange(), QString());
        QCOMPARE(loop.startRoute(), QString());
        // Told once, however often it retries.
        const QStringList refused{QStringLiteral("FIX路由登录未成功：%1，每1秒重试").arg(loop.route.name())};
        QTRY_COMPARE_WITH_TIMEOUT(problems, refused, kWaitMs);
        QTest::qWait(1500);
        QCOMPARE(problems, refused);
        QCOMPARE(QStringLiteral("logons %1, logouts %2, connected %3, exchange's clients %4")
                     .arg(loop.routeLogons).arg(loop.routeLogouts).arg(int(loop.route.isConnected())).arg(int(loop.exchange.hasClient())),
                 QStringLiteral("logons 0, logouts 0, connected 0, exchange's clients 0"));
    }

    // Given a counterparty that logs on and then reads no more (a hung gateway, a closed TCP
    // window): sends still return at once, queued by the route, and never hold up the engine's
    // thread, which would hold up the trader's tables with it.
    void aCounterpartyThatStopsReadingHoldsUpNoSend()
    {
        QTcpServer hung;
        QVERIFY(hung.listen(QHostAddress::LocalHost, 0));
        QByteArray logon;
        connect(&hung, &QTcpServer::newConnection, &hung, [&hung, &logon] {
            QTcpSocket* socket = hung.nextPendingConnection();
            socket->setReadBufferSize(4096);    // full, Qt reads no more from the socket
            connect(socket, &QTcpSocket::readyRead, socket, [socket, &logon] {
                if (!logon.endsWith('\x01') || !logon.contains("\x01" "10=")) {
                    logon += socket->read(4096 - logon.size());
                    if (logon.endsWith('\x01') && logon.contains("\x01" "10="))
                        socket->write(logonReply());
                }
            });
        });
        QTemporaryDir folder;
        FixSessionSettings settings = VelmTest::loopbackSession(QStringLiteral("VELMCLIENT"), QStringLiteral("VELMSIM"),
                                                                hung.serverPort(), folder.path());
        settings.heartbeatSeconds = 30;
        FixBrokerRoute route(settings);
        QString whyNot;
        QVERIFY2(route.start(&whyNot), qPrintable(whyNot));
        QTRY_VERIFY_WITH_TIMEOUT(route.isConnected(), kWaitMs);

        // More than the loopback socket's buffers hold on this machine (about 20,000 orders).
        constexpr int orders = 40000;
        std::atomic<int> sent{0};
        std::thread sender([&route, &sent] {
            QString refused;
            while (sent < orders && route.sendOrder(brokerOrder("10001-1-" + std::to_string(sent + 1), '0', 10.01, 100), &refused))
                ++sent;
        });
        QTRY_COMPARE_WITH_TIMEOUT(sent.load(), orders, 30000);
        route.stop();       // frees a sender blocked on the socket, had it been
        sender.join();
    }

    // Given a counterparty that asks again for the orders it was sent (a gap before them, as when
    // both ends find one at logon): the route fills the gap rather than send them late, and asks
    // the engine once to reconcile, so they fail as unknown now and not at the next logon. Asked
    // again for the same orders, it asks for no second pass: the first covers them.
    void ordersAskedForAgainAreGapFilledAndReconciledOnce()
    {
        QTcpServer counterparty;
        QVERIFY(counterparty.listen(QHostAddress::LocalHost, 0));
        QStringList received;       // "<35> <34> <43> <36> <123>" of each message
        FIX::Parser parser;
        QPointer<QTcpSocket> connection;
        connect(&counterparty, &QTcpServer::newConnection, &counterparty, [&counterparty, &parser, &received, &connection] {
            QTcpSocket* socket = counterparty.nextPendingConnection();
            connection = socket;
            connect(socket, &QTcpSocket::readyRead, socket, [socket, &parser, &received] {
                const QByteArray data = socket->readAll();
                parser.addToStream(data.constData(), size_t(data.size()));
                std::string text;
                while (parser.readFixMessage(text)) {
                    const FIX::Message message(text, false);
                    const QStringList header = fields(message.getHeader(), {FIX::FIELD::MsgType, FIX::FIELD::MsgSeqNum, FIX::FIELD::PossDupFlag});
                    received << (header + fields(message, {FIX::FIELD::NewSeqNo, FIX::FIELD::GapFillFlag})).join(' ').trimmed();
                    if (header.front() == QLatin1String("A"))
                        socket->write(logonReply());
                    else if (received.last() == QLatin1String("D 4"))
                        socket->write(resendRequest(2, 2));
                    else if (received.last() == QLatin1String("H 5"))
                        socket->write(resendRequest(3, 2));
                }
            });
        });
        QTemporaryDir folder;
        FixSessionSettings settings = VelmTest::loopbackSession(QStringLiteral("VELMCLIENT"), QStringLiteral("VELMSIM"),
                                                                counterparty.serverPort(), folder.path());
        settings.heartbeatSeconds = 30;     // this counterparty answers no test request
        FixBrokerRoute route(settings);
        std::atomic<int> reconciles{0};
        route.setReconcileHandler([&reconciles] { ++reconciles; });
        QString whyNot;
        QVERIFY2(route.start(&whyNot), qPrintable(whyNot));
        QTRY_VERIFY_WITH_TIMEOUT(route.isConnected(), kWaitMs);
        QCOMPARE(reconciles.load(), 1);

        for (const std::string ref : {"10001-1-1", "10001-1-2", "10001-1-3"})
            QVERIFY(route.sendOrder(brokerOrder(ref, '0', 10.01, 100), &whyNot));
        QTRY_COMPARE_WITH_TIMEOUT(received, (QStringList{"A 1", "D 2", "D 3", "D 4", "4 2 Y 5 Y"}), kWaitMs);
        // Kept back before the gap fill left: one pass asks about all three.
        QCOMPARE(reconciles.load(), 2);
        QVERIFY(route.requestStatus("10001-1-1"));
        QTRY_COMPARE_WITH_TIMEOUT(received.mid(5), (QStringList{"H 5", "4 2 Y 5 Y", "H 5 Y"}), kWaitMs);
        QCOMPARE(reconciles.load(), 2);
        // Dropped here, as the route's stop would wait for an answer to its logout.
        connection->abort();
        QTRY_VERIFY_WITH_TIMEOUT(!route.isConnected(), kWaitMs);
    }

    // The exchange listens on 127.0.0.1 only and closes what is no session of its own.
    void strangersGarbledAndUnexpectedMessages()
    {
        FixLoopbackPair loop;
        loop.market.setQuote(kKey, book(1000.0));
        QCOMPARE(loop.logOn(kWaitMs), QString());
        // Another loopback address reaches a socket listening on every interface, not this one.
        QTcpSocket stranger;
        stranger.connectToHost(QHostAddress(QStringLiteral("127.0.0.2")), quint16(loop.port));
        QVERIFY(!stranger.waitForConnected(kWaitMs));
        QCOMPARE(stranger.error(), QAbstractSocket::ConnectionRefusedError);
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
        connect(&loop.route, &FixBrokerRoute::signalProblem, &loop, [&problems](const QString& text) { problems << text; },
                Qt::QueuedConnection);
        FIX44::OrderCancelRequest cancel(FIX::OrigClOrdID("10001-1-1"), FIX::ClOrdID("10001-1-2"), FIX::Side('1'),
                                         FIX::TransactTime());
        cancel.set(FIX::Symbol("600000"));
        QVERIFY(FIX::Session::sendToTarget(cancel, VelmTest::FixClientId, VelmTest::FixExchangeId));
        QTRY_COMPARE_WITH_TIMEOUT(problems, QStringList{"FIX对方拒绝了业务消息：Unsupported Message Type"}, kWaitMs);

        // The session still carries orders.
        QString whyNot;
        QVERIFY(loop.route.sendOrder(brokerOrder("10001-4-1", '0', 10.01, 100), &whyNot));
        QTRY_COMPARE_WITH_TIMEOUT(loop.reports, (QStringList{"10001-4-1 New 0/100", "10001-4-1 Filled 100/100"}), kWaitMs);
    }
};

QTEST_MAIN(FixTest)
#include "tst_fix.moc"
