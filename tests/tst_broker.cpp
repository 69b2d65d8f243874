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

static const QString kKey = QStringLiteral("600000.SH");

// Bids 10.34 .. 10.30, asks 10.36 .. 10.40, each level 1000 deep.
static Lev1MarketData book() { return VelmTest::ladderQuote(1034, 1036, 1000.0); }

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
        QTest::newRow("financed buy within the line") << Check{2, request('i', 10.30, 100), 'L', 1030.0, ""};
        QTest::newRow("financed buy uses the line") << Check{2, request('i', 10.30, 100), 'L', 1029.0, "可用融资额度不足"};
        QTest::newRow("short sell beyond the quota") << Check{2, request('j', 10.40, 200), 'Q', 100.0, "可用融券额度不足"};
        QTest::newRow("buy to cover uses funds") << Check{2, request('l', 10.30, 100), 'F', 1029.0, "可用资金不足"};
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
};

QTEST_GUILESS_MAIN(BrokerTest)
#include "tst_broker.moc"