#include "SimBroker.h"
#include "VelmTest.h"

#include <QtTest>

#include <set>
#include <thread>

Q_DECLARE_METATYPE(SimOrderRequest)

namespace {

const QString kKey = QStringLiteral("600000.SH");
constexpr double kLots = 10000.0;

// Bids 10.34 .. 10.30, asks 10.36 .. 10.40, each `volume` deep.
Lev1MarketData bookAround(double volume = kLots)
{
    Lev1MarketData quote;
    quote.LastPrice = 10.35;
    quote.PreClosePrice = 10.35;
    quote.UpperLimitPrice = 11.39;
    quote.LowerLimitPrice = 9.32;
    for (int level = 0; level < 5; ++level) {
        quote.PriceLevels[static_cast<size_t>(level)] = {10.34 - 0.01 * level, volume};
        quote.PriceLevels[static_cast<size_t>(5 + level)] = {10.36 + 0.01 * level, volume};
    }
    return quote;
}

SimOrderRequest request(char direction, double price, int volume, int minVolume = 100, int step = 100)
{
    SimOrderRequest r;
    r.MainTaskID = 1;
    r.SubTaskID = 2;
    r.SecurityKey = kKey;
    r.SecurityID = QStringLiteral("600000");
    r.ExchangeID = '1';
    r.Direction = direction;
    r.Price = price;
    r.Volume = volume;
    r.MinVolume = minVolume;
    r.VolumeStep = step;
    return r;
}

} // namespace

// The simulated broker: what it accepts, how it trades against the quote, what it books.
class BrokerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    void checksEveryOrder_data()
    {
        QTest::addColumn<int>("apiType");
        QTest::addColumn<SimOrderRequest>("order");
        QTest::addColumn<double>("funds");
        QTest::addColumn<double>("creditLine");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("quota");
        QTest::addColumn<QString>("reason");

        // Resting prices (10.30 buy, 10.40 sell) so that only the checks decide.
        QTest::newRow("buy, funds short by a cent") << 1 << request('0', 10.30, 200) << 2059.99 << 0.0 << 0 << 0 << "可用资金不足";
        QTest::newRow("buy, funds exactly enough") << 1 << request('0', 10.30, 200) << 2060.0 << 0.0 << 0 << 0 << "";
        QTest::newRow("buy, not a whole lot") << 1 << request('0', 10.30, 150) << 1e9 << 0.0 << 0 << 0 << "委托数量不是交易单位的整数倍";
        QTest::newRow("buy, below the minimum") << 1 << request('0', 10.30, 50, 100, 1) << 1e9 << 0.0 << 0 << 0 << "委托数量低于最小申报数量";
        QTest::newRow("STAR buy below 200") << 1 << request('0', 10.30, 199, 200, 1) << 1e9 << 0.0 << 0 << 0 << "委托数量低于最小申报数量";
        QTest::newRow("STAR buy of 201") << 1 << request('0', 10.30, 201, 200, 1) << 1e9 << 0.0 << 0 << 0 << "";
        QTest::newRow("no volume") << 1 << request('0', 10.30, 0) << 1e9 << 0.0 << 0 << 0 << "委托数量必须大于0";
        QTest::newRow("no price") << 1 << request('0', 0.0, 100) << 1e9 << 0.0 << 0 << 0 << "委托价格无效";
        QTest::newRow("sell without position") << 1 << request('1', 10.40, 100) << 1e9 << 0.0 << 0 << 0 << "可用持仓不足";
        QTest::newRow("sell more than held") << 1 << request('1', 10.40, 200) << 0.0 << 0.0 << 100 << 0 << "可用持仓不足";
        QTest::newRow("sell an odd lot") << 1 << request('1', 10.40, 50) << 0.0 << 0.0 << 150 << 0 << "";
        QTest::newRow("stock account, financed buy") << 1 << request('i', 10.30, 100) << 1e9 << 1e9 << 0 << 0 << "账户不支持该委托方向";
        QTest::newRow("stock account, short sell") << 1 << request('j', 10.40, 100) << 1e9 << 0.0 << 0 << 1000 << "账户不支持该委托方向";
        QTest::newRow("credit, unknown direction") << 2 << request('x', 10.30, 100) << 1e9 << 1e9 << 0 << 0 << "账户不支持该委托方向";
        QTest::newRow("credit collateral buy uses funds") << 2 << request('0', 10.30, 100) << 1029.0 << 1e9 << 0 << 0 << "可用资金不足";
        QTest::newRow("financed buy uses the line, not funds") << 2 << request('i', 10.30, 100) << 1e9 << 1029.0 << 0 << 0 << "可用融资额度不足";
        QTest::newRow("financed buy within the line") << 2 << request('i', 10.30, 100) << 0.0 << 1030.0 << 0 << 0 << "";
        QTest::newRow("buy to cover uses funds") << 2 << request('l', 10.30, 100) << 0.0 << 1e9 << 0 << 0 << "可用资金不足";
        QTest::newRow("short sell beyond the quota") << 2 << request('j', 10.40, 200) << 0.0 << 0.0 << 1000 << 100 << "可用融券额度不足";
        QTest::newRow("short sell within the quota") << 2 << request('j', 10.40, 100) << 0.0 << 0.0 << 0 << 100 << "";
        QTest::newRow("sell to repay uses the position") << 2 << request('k', 10.40, 100) << 0.0 << 0.0 << 0 << 1000 << "可用持仓不足";
        QTest::newRow("collateral sell uses the position") << 2 << request('1', 10.40, 100) << 0.0 << 0.0 << 100 << 0 << "";
    }
    void checksEveryOrder()
    {
        QFETCH(int, apiType);
        QFETCH(SimOrderRequest, order);
        QFETCH(double, funds);
        QFETCH(double, creditLine);
        QFETCH(int, position);
        QFETCH(int, quota);
        QFETCH(QString, reason);

        SimBroker broker(apiType);
        broker.setAvailableFunds(funds);
        broker.setCreditLine(creditLine);
        broker.setPosition(kKey, position, 10.0);
        broker.setShortQuota(kKey, quota);
        QSignalSpy accountSpy(&broker, &SimBroker::signalAccountChanged);
        QSignalSpy ordersSpy(&broker, &SimBroker::signalOrdersChanged);

        const SimOrder placed = broker.placeOrder(order, bookAround(), 42);

        QCOMPARE(placed.StatusMsg, reason);
        QCOMPARE(placed.Status, reason.isEmpty() ? SimOrderStatus::Accepted : SimOrderStatus::Rejected);
        QCOMPARE(placed.TradedVolume, 0);
        QCOMPARE(placed.InsertTime, int64_t(42));
        QCOMPARE(ordersSpy.count(), 1);
        QCOMPARE(accountSpy.count(), reason.isEmpty() ? 1 : 0);
        QCOMPARE(int(broker.orders().size()), 1);
        QCOMPARE(broker.orders().front().Status, placed.Status);
        if (!reason.isEmpty()) {
            // A rejected order reserves nothing.
            QCOMPARE(broker.availableFunds(), funds);
            QCOMPARE(broker.creditLine(), creditLine);
            QCOMPARE(broker.positionAvailable(kKey), position);
            QCOMPARE(broker.shortQuota(kKey), quota);
        }
    }

    void acceptedOrdersReserveTheirResource_data()
    {
        QTest::addColumn<char>("direction");
        QTest::addColumn<double>("fundsLeft");
        QTest::addColumn<double>("lineLeft");
        QTest::addColumn<int>("positionLeft");
        QTest::addColumn<int>("quotaLeft");
        QTest::newRow("collateral buy") << '0' << 10000.0 - 1030.0 << 5000.0 << 500 << 300;
        QTest::newRow("buy to cover") << 'l' << 10000.0 - 1030.0 << 5000.0 << 500 << 300;
        QTest::newRow("financed buy") << 'i' << 10000.0 << 5000.0 - 1030.0 << 500 << 300;
        QTest::newRow("collateral sell") << '1' << 10000.0 << 5000.0 << 400 << 300;
        QTest::newRow("sell to repay") << 'k' << 10000.0 << 5000.0 << 400 << 300;
        QTest::newRow("short sell") << 'j' << 10000.0 << 5000.0 << 500 << 200;
    }
    void acceptedOrdersReserveTheirResource()
    {
        QFETCH(char, direction);
        QFETCH(double, fundsLeft);
        QFETCH(double, lineLeft);
        QFETCH(int, positionLeft);
        QFETCH(int, quotaLeft);
        SimBroker broker(2);
        broker.setAvailableFunds(10000.0);
        broker.setCreditLine(5000.0);
        broker.setPosition(kKey, 500, 9.0);
        broker.setShortQuota(kKey, 300);
        // Buys at 10.30 and sells at 10.40 rest: only the reservation shows.
        const bool buy = direction == '0' || direction == 'l' || direction == 'i';
        const SimOrder placed = broker.placeOrder(request(direction, buy ? 10.30 : 10.40, 100), bookAround(), 1);
        QCOMPARE(placed.Status, SimOrderStatus::Accepted);
        QCOMPARE(broker.availableFunds(), fundsLeft);
        QCOMPARE(broker.creditLine(), lineLeft);
        QCOMPARE(broker.positionAvailable(kKey), positionLeft);
        QCOMPARE(broker.shortQuota(kKey), quotaLeft);
    }

    void marketableBuyTradesLevelByLevel_data()
    {
        QTest::addColumn<double>("limit");
        QTest::addColumn<int>("volume");
        QTest::addColumn<double>("levelVolume");
        QTest::addColumn<int>("traded");
        QTest::addColumn<char>("status");
        QTest::addColumn<int>("tradeCount");
        QTest::addColumn<double>("spent");     // funds gone: trades plus what still rests at the limit

        QTest::newRow("one level") << 10.36 << 300 << 1000.0 << 300 << SimOrderStatus::Filled << 1 << 300 * 10.36;
        QTest::newRow("two levels") << 10.37 << 1500 << 1000.0 << 1500 << SimOrderStatus::Filled << 2
                                    << 1000 * 10.36 + 500 * 10.37;
        QTest::newRow("limit stops the walk") << 10.37 << 2500 << 1000.0 << 2000 << SimOrderStatus::PartFilled << 2
                                              << 1000 * 10.36 + 1000 * 10.37 + 500 * 10.37;
        QTest::newRow("five thin levels, rest stays") << 10.45 << 800 << 100.0 << 500 << SimOrderStatus::PartFilled << 5
                                                      << 100 * (10.36 + 10.37 + 10.38 + 10.39 + 10.40) + 300 * 10.45;
        QTest::newRow("better limit pays the level price") << 11.00 << 100 << 1000.0 << 100 << SimOrderStatus::Filled << 1
                                                           << 100 * 10.36;
        QTest::newRow("below ask 1 rests") << 10.35 << 100 << 1000.0 << 0 << SimOrderStatus::Accepted << 0 << 100 * 10.35;
    }
    void marketableBuyTradesLevelByLevel()
    {
        QFETCH(double, limit);
        QFETCH(int, volume);
        QFETCH(double, levelVolume);
        QFETCH(int, traded);
        QFETCH(char, status);
        QFETCH(int, tradeCount);
        QFETCH(double, spent);

        SimBroker broker(1);
        broker.setAvailableFunds(100000.0);
        const SimOrder placed = broker.placeOrder(request('0', limit, volume), bookAround(levelVolume), 7);
        QCOMPARE(placed.TradedVolume, traded);
        QCOMPARE(placed.Status, status);
        QCOMPARE(int(broker.trades().size()), tradeCount);
        QVERIFY(qAbs(broker.availableFunds() - (100000.0 - spent)) < 1e-6);
        QCOMPARE(broker.positionAvailable(kKey), traded);
        for (const SimTrade& trade : broker.trades()) {
            QCOMPARE(trade.OrderID, placed.OrderID);
            QCOMPARE(trade.TradeTime, int64_t(7));
            QVERIFY(trade.Price <= limit);
        }
    }

    void marketableSellGetsTheBidAndCash()
    {
        SimBroker broker(1);
        broker.setPosition(kKey, 1000, 9.0);
        const SimOrder placed = broker.placeOrder(request('1', 10.30, 600), bookAround(), 3);
        QCOMPARE(placed.Status, SimOrderStatus::Filled);
        QCOMPARE(broker.trades().front().Price, 10.34);
        QVERIFY(qAbs(broker.availableFunds() - 600 * 10.34) < 1e-6);
        QCOMPARE(broker.positionAvailable(kKey), 400);
        QCOMPARE(broker.positions().front().Volume, 400);
    }

    void restingOrderTradesWhenCrossed()
    {
        SimBroker broker(1);
        broker.setAvailableFunds(100000.0);
        const SimOrder placed = broker.placeOrder(request('0', 10.30, 500), bookAround(), 1);
        QCOMPARE(placed.Status, SimOrderStatus::Accepted);
        const double reserved = 100000.0 - 500 * 10.30;
        QCOMPARE(broker.availableFunds(), reserved);

        QSignalSpy accountSpy(&broker, &SimBroker::signalAccountChanged);
        QSignalSpy ordersSpy(&broker, &SimBroker::signalOrdersChanged);
        QVERIFY(broker.matchResting(kKey, bookAround(), 2).empty());
        QCOMPARE(ordersSpy.count(), 0);
        QVERIFY(broker.matchResting(QStringLiteral("000001.SZ"), bookAround(), 2).empty());

        // The market falls: asks now 10.29 (200 deep), 10.30 (200), 10.31 ...
        Lev1MarketData lower = bookAround(200.0);
        for (int level = 0; level < 5; ++level)
            lower.PriceLevels[static_cast<size_t>(5 + level)].first = 10.29 + 0.01 * level;
        std::vector<SimOrder> changed = broker.matchResting(kKey, lower, 5);
        QCOMPARE(int(changed.size()), 1);
        QCOMPARE(changed.front().OrderID, placed.OrderID);
        QCOMPARE(changed.front().TradedVolume, 400);
        QCOMPARE(changed.front().Status, SimOrderStatus::PartFilled);
        // The cent saved on the first 200 comes back.
        QVERIFY(qAbs(broker.availableFunds() - (reserved + 200 * 0.01)) < 1e-6);
        QCOMPARE(accountSpy.count(), 1);
        QCOMPARE(ordersSpy.count(), 1);

        changed = broker.matchResting(kKey, lower, 6);
        QCOMPARE(int(changed.size()), 1);
        QCOMPARE(changed.front().Status, SimOrderStatus::Filled);
        QCOMPARE(changed.front().TradedVolume, 500);
        QVERIFY(broker.matchResting(kKey, lower, 7).empty());
        QCOMPARE(broker.positionAvailable(kKey), 500);
        QCOMPARE(int(broker.trades().size()), 3);
    }

    void restingOrdersShareTheLevels()
    {
        SimBroker broker(1);
        broker.setAvailableFunds(1e9);
        broker.placeOrder(request('0', 10.30, 300), bookAround(), 1);
        broker.placeOrder(request('0', 10.30, 300), bookAround(), 1);
        Lev1MarketData crossing = bookAround(400.0);
        crossing.PriceLevels[5].first = 10.30;
        crossing.PriceLevels[6].first = 10.31;
        const std::vector<SimOrder> changed = broker.matchResting(kKey, crossing, 2);
        QCOMPARE(int(changed.size()), 2);
        QCOMPARE(changed[0].TradedVolume + changed[1].TradedVolume, 400);
    }

    void financedBuyAndShortSellBookTheirEffects()
    {
        SimBroker broker(2);
        broker.setCreditLine(10000.0);
        broker.setShortQuota(kKey, 1000);
        broker.placeOrder(request('i', 10.40, 100), bookAround(), 1);
        QVERIFY(qAbs(broker.creditLine() - (10000.0 - 1036.0)) < 1e-6);
        QCOMPARE(broker.positionAvailable(kKey), 100);
        QCOMPARE(broker.availableFunds(), 0.0);

        broker.placeOrder(request('j', 10.30, 200), bookAround(), 2);
        QCOMPARE(broker.shortQuota(kKey), 800);
        QVERIFY(qAbs(broker.availableFunds() - 200 * 10.34) < 1e-6);
    }

    void ordersFromManyThreadsGetDistinctIds()
    {
        SimBroker broker(1);
        broker.setAvailableFunds(1e12);
        constexpr int kThreads = 4;
        constexpr int kEach = 200;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&broker] {
                for (int i = 0; i < kEach; ++i)
                    broker.placeOrder(request('0', 10.36, 100), bookAround(), i);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        const std::vector<SimOrder> orders = broker.orders();
        QCOMPARE(int(orders.size()), kThreads * kEach);
        std::set<int> ids;
        for (const SimOrder& order : orders)
            ids.insert(order.OrderID);
        QCOMPARE(int(ids.size()), kThreads * kEach);
        QCOMPARE(broker.positionAvailable(kKey), kThreads * kEach * 100);
    }
};

QTEST_GUILESS_MAIN(BrokerTest)
#include "tst_broker.moc"
