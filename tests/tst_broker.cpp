#include "Lev1MarketData.h"
#include "MarketQuotes.h"
#include "SimBroker.h"
#include "VelmTest.h"

#include <QtTest>

Q_DECLARE_METATYPE(SimOrderRequest)

// Plenty of all but what the order `uses` (F funds, L credit line, P position, Q short quota): `have`;
// `reason`: the refusal, empty when accepted.
struct Check { int apiType; SimOrderRequest order; char uses; double have; QString reason; };
Q_DECLARE_METATYPE(Check)
// Placed against a book of 1000 at each level, then crossed by asks from `laterAsk1` cents (0: none).
struct Trade { SimOrderRequest order; int laterAsk1; char status; double fundsLeft; int positionLeft; };
Q_DECLARE_METATYPE(Trade)

static const QString kKey = QStringLiteral("600000.SH");

// Bids 10.34 .. 10.30, asks from `ask1` cents up, each level `volume` deep.
static Lev1MarketData book(double volume = 1000.0, int ask1 = 1036) { return VelmTest::ladderQuote(1034, ask1, volume); }

static SimOrderRequest request(char direction, double price, int volume, int minVolume = 100, int step = 100)
{ return {1, 2, kKey, QStringLiteral("600000"), '1', direction, price, volume, minVolume, step, QStringLiteral("1-1-2")}; }

class BrokerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    // What is left is `have` less what an accepted order reserves (money at its limit). Buys at 10.30, sells at 10.40 rest.
    void checksAndReserves_data()
    {
        QTest::addColumn<Check>("row");
        QTest::newRow("buy, funds short by a cent") << Check{1, request('0', 10.30, 200), 'F', 2059.99, "可用资金不足"};
        QTest::newRow("buy, funds exactly enough") << Check{1, request('0', 10.30, 200), 'F', 2060.0, ""};
        QTest::newRow("buy, not a whole lot") << Check{1, request('0', 10.30, 150), 'F', 1e6, "委托数量不是交易单位的整数倍"};
        QTest::newRow("STAR buy below 200") << Check{1, request('0', 10.30, 199, 200, 1), 'F', 1e6, "委托数量低于最小申报数量"};
        QTest::newRow("no volume") << Check{1, request('0', 10.30, 0), 'F', 1e6, "委托数量必须大于0"};
        QTest::newRow("no price") << Check{1, request('0', 0.0, 100), 'F', 1e6, "委托价格无效"};
        QTest::newRow("sell more than held") << Check{1, request('1', 10.40, 200), 'P', 100.0, "可用持仓不足"};
        QTest::newRow("sell an odd lot") << Check{1, request('1', 10.40, 50), 'P', 150.0, ""};
        QTest::newRow("financed buy uses the line") << Check{2, request('i', 10.30, 100), 'L', 1029.0, "可用融资额度不足"};
        QTest::newRow("financed buy within the line") << Check{2, request('i', 10.30, 100), 'L', 1030.0, ""};
        QTest::newRow("buy to cover uses funds") << Check{2, request('l', 10.30, 100), 'F', 1029.0, "可用资金不足"};
        QTest::newRow("short sell beyond the quota") << Check{2, request('j', 10.40, 200), 'Q', 100.0, "可用融券额度不足"};
        QTest::newRow("short sell within the quota") << Check{2, request('j', 10.40, 100), 'Q', 100.0, ""};
        QTest::newRow("sell to repay uses the position") << Check{2, request('k', 10.40, 100), 'P', 0.0, "可用持仓不足"};
    }
    void checksAndReserves()
    {
        QFETCH(Check, row);
        const auto& [apiType, order, uses, have, reason] = row;
        const double plenty = 1e6;
        SimBroker broker(apiType);
        broker.setAvailableFunds(uses == 'F' ? have : plenty);
        broker.setCreditLine(uses == 'L' ? have : plenty);
        broker.setPosition(kKey, int(uses == 'P' ? have : plenty), 10.0);
        broker.setShortQuota(kKey, int(uses == 'Q' ? have : plenty));
        broker.takeChanges();

        const SimOrder placed = broker.placeOrder(order, book(), 42);
        QCOMPARE(placed.StatusMsg, reason);
        QCOMPARE(placed.Status, reason.isEmpty() ? SimOrderStatus::Accepted : SimOrderStatus::Rejected);
        QCOMPARE(broker.takeChanges(), reason.isEmpty() ? SimBroker::OrdersChanged | SimBroker::AccountChanged
                                                        : SimBroker::Changes(SimBroker::OrdersChanged));
        const double taken = !reason.isEmpty() ? 0.0 : uses == 'F' || uses == 'L' ? order.Price * order.Volume : order.Volume;
        const double left[] = {broker.availableFunds(), broker.creditLine(), double(broker.positionAvailable(kKey)), double(broker.shortQuota(kKey))};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(left[i], "FLPQ"[i] == uses ? have - taken : plenty);
    }

    // Trades at once at the opposite levels (1000 each) up to its limit; the rest rests, reserved at the limit, and
    // trades when a later quote (asks from `laterAsk1` cents, 200 each) crosses it; signals wait for announceChanges().
    void ordersTradeAgainstTheLevels_data()
    {
        QTest::addColumn<Trade>("row");
        QTest::newRow("limit stops the walk") << Trade{request('0', 10.37, 2500), 0, SimOrderStatus::PartFilled, 1e5 - 1000 * 10.36 - 1500 * 10.37, 2000};
        QTest::newRow("all five levels") << Trade{request('0', 10.45, 5300), 0, SimOrderStatus::PartFilled, 1e5 - 51900 - 300 * 10.45, 5000};
        QTest::newRow("sell gets bid 1") << Trade{request('1', 10.30, 600), 0, SimOrderStatus::Filled, 1e5 + 600 * 10.34, 400};
        QTest::newRow("resting, not crossed") << Trade{request('0', 10.30, 300), 1031, SimOrderStatus::Accepted, 1e5 - 3090, 0};
        QTest::newRow("resting, crossed in part") << Trade{request('0', 10.30, 500), 1029, SimOrderStatus::PartFilled, 1e5 - 5150 + 2, 400};
        QTest::newRow("resting, crossed in full") << Trade{request('0', 10.30, 300), 1029, SimOrderStatus::Filled, 1e5 - 3090 + 2, 300};
    }
    void ordersTradeAgainstTheLevels()
    {
        QFETCH(Trade, row);
        const auto& [order, laterAsk1, status, fundsLeft, positionLeft] = row;
        const bool laterTrade = laterAsk1 && status != SimOrderStatus::Accepted;   // only a trade changes the account then
        SimBroker broker(1);
        broker.setAvailableFunds(1e5);
        broker.setPosition(kKey, order.Direction == '1' ? 1000 : 0, 9.0);
        QSignalSpy accountSpy(&broker, &SimBroker::signalAccountChanged);
        QSignalSpy ordersSpy(&broker, &SimBroker::signalOrdersChanged);
        broker.placeOrder(order, book(), 7);
        broker.takeChanges();
        if (laterAsk1)
            broker.matchResting(kKey, book(200.0, laterAsk1), 8);
        QCOMPARE(broker.orders().front().Status, status);
        QCOMPARE(broker.availableFunds(), fundsLeft);
        QCOMPARE(broker.positionAvailable(kKey), positionLeft);
        QCOMPARE(accountSpy.count() + ordersSpy.count(), 0);
        broker.announceChanges(broker.takeChanges());
        QCOMPARE(QVector<int>({accountSpy.count(), ordersSpy.count()}), QVector<int>(2, laterTrade ? 1 : 0));
    }

    // Accepted, filled and rejected alike: heard once each, already booked, and trades of a resting
    // order later are not new orders.
    void observerHearsEachPlacedOrderOnce()
    {
        SimBroker broker(1);
        broker.setAvailableFunds(1e5);
        QStringList heard;
        broker.setPlacedOrderObserver([&](const SimOrder& order) {
            SimOrder booked;
            const bool found = broker.findOrderByClientRef(order.ClientOrderRef, &booked);
            heard.append(QStringLiteral("%1 %2 %3").arg(order.ClientOrderRef).arg(order.Status).arg(found && booked.Status == order.Status));
        });
        SimOrderRequest resting = request('0', 10.30, 300);
        SimOrderRequest filled = request('0', 10.36, 100);
        filled.ClientOrderRef = QStringLiteral("1-1-3");
        SimOrderRequest rejected = request('1', 10.40, 500);   // holds only the 100 just bought
        rejected.ClientOrderRef = QStringLiteral("1-1-4");
        broker.placeOrder(resting, book(), 7);
        broker.placeOrder(filled, book(), 7);
        broker.placeOrder(rejected, book(), 7);
        broker.matchResting(kKey, book(1000.0, 1029), 8);
        QCOMPARE(heard, QStringList({"1-1-2 0 1", "1-1-3 2 1", "1-1-4 3 1"}));
    }
};

QTEST_GUILESS_MAIN(BrokerTest)
#include "tst_broker.moc"