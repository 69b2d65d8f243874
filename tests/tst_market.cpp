#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "Util.h"
#include "VelmTest.h"

#include <QtTest>

#include <atomic>
#include <cmath>
#include <thread>

namespace {

bool onTick(double price, double tick)
{
    const double ticks = price / tick;
    return std::fabs(ticks - std::round(ticks)) < 1e-6;
}

int catalogueSize()
{
    return SecurityCatalogue::instance().all().size();
}

} // namespace

// The simulated Level-1 market: opening quotes from the catalogue, a walk that respects the
// daily limits, pinning, and the quote signal.
class MarketTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        QVERIFY(catalogueSize() > 100);
    }

    void opensAtThePreviousClose_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<double>("preClose");
        QTest::addColumn<double>("upper");
        QTest::addColumn<double>("lower");
        QTest::addColumn<double>("tick");
        // Limits round half up on the tick: 10.35 * 1.1 = 11.385 -> 11.39.
        QTest::newRow("main board 10%") << "600000.SH" << 10.35 << 11.39 << 9.32 << 0.01;
        QTest::newRow("ChiNext 20%") << "300750.SZ" << 252.80 << 303.36 << 202.24 << 0.01;
        QTest::newRow("STAR 20%") << "688981.SH" << 88.46 << 106.15 << 70.77 << 0.01;
        QTest::newRow("Beijing 30%") << "920185.BJ" << 24.36 << 31.67 << 17.05 << 0.01;
        QTest::newRow("ETF, tick 0.001") << "510050.SH" << 2.912 << 3.203 << 2.621 << 0.001;
        QTest::newRow("B share") << "200002.SZ" << 3.42 << 3.76 << 3.08 << 0.01;
    }
    void opensAtThePreviousClose()
    {
        QFETCH(QString, key);
        QFETCH(double, preClose);
        QFETCH(double, upper);
        QFETCH(double, lower);
        QFETCH(double, tick);
        MarketSimulator market(SecurityCatalogue::instance(), 1);
        Lev1MarketData quote;
        QVERIFY(market.snapshot(key, quote));
        QCOMPARE(quote.PreClosePrice, preClose);
        QCOMPARE(quote.LastPrice, preClose);
        QCOMPARE(quote.UpperLimitPrice, upper);
        QCOMPARE(quote.LowerLimitPrice, lower);
        QCOMPARE(int(quote.PriceLevels.size()), 10);
        for (int level = 1; level <= 5; ++level) {
            QVERIFY(qAbs(quote.bidPrice(level) - (preClose - level * tick)) < tick / 10);
            QVERIFY(qAbs(quote.askPrice(level) - (preClose + level * tick)) < tick / 10);
            const double bidVolume = quote.PriceLevels[static_cast<size_t>(level - 1)].second;
            QVERIFY(bidVolume >= 1000 && std::fmod(bidVolume, 100.0) == 0.0);
        }
    }

    void walkStaysOnTheGridInsideTheLimits()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 20240603);
        for (int step = 0; step < 1500; ++step)
            market.step();
        for (const SecurityInfo& info : SecurityCatalogue::instance().all()) {
            Lev1MarketData quote;
            QVERIFY(market.snapshot(Util::GetSecurityKey(info.SecurityID, info.ExchangeID), quote));
            QVERIFY2(quote.LastPrice >= quote.LowerLimitPrice && quote.LastPrice <= quote.UpperLimitPrice,
                     qPrintable(info.SecurityID));
            QVERIFY(onTick(quote.LastPrice, info.PriceTick));
            QVERIFY(quote.HighestPrice >= quote.LastPrice && quote.LowestPrice <= quote.LastPrice);
            for (int level = 1; level <= 5; ++level) {
                const double bid = quote.bidPrice(level);
                const double ask = quote.askPrice(level);
                QVERIFY(bid == 0.0 || (bid >= quote.LowerLimitPrice && bid < quote.LastPrice && onTick(bid, info.PriceTick)));
                QVERIFY(ask == 0.0 || (ask <= quote.UpperLimitPrice && ask > quote.LastPrice && onTick(ask, info.PriceTick)));
            }
            QVERIFY(quote.Volume > 0.0);
        }
    }

    void walkStopsAtTheLimits()
    {
        // Limits two ticks away: the walk keeps running into them.
        const SecurityCatalogue narrow = SecurityCatalogue::fromCsv(QStringLiteral("600000,1,浦发银行,1,0.01,100,100,1.00,2,0"));
        MarketSimulator market(narrow, 4);
        int atUpper = 0;
        int atLower = 0;
        for (int step = 0; step < 200; ++step) {
            market.step();
            Lev1MarketData quote;
            QVERIFY(market.snapshot(QStringLiteral("600000.SH"), quote));
            QVERIFY(quote.LastPrice >= 0.98 && quote.LastPrice <= 1.02);
            if (quote.LastPrice == 1.02) {
                ++atUpper;
                QCOMPARE(quote.askPrice(1), 0.0);
                QCOMPARE(quote.bidPrice(1), 1.01);
            }
            if (quote.LastPrice == 0.98) {
                ++atLower;
                QCOMPARE(quote.bidPrice(1), 0.0);
                QCOMPARE(quote.bidPrice(5), 0.0);
            }
        }
        QVERIFY(atUpper > 0);
        QVERIFY(atLower > 0);
    }

    void sameSeedWalksAlike()
    {
        MarketSimulator first(SecurityCatalogue::instance(), 99);
        MarketSimulator second(SecurityCatalogue::instance(), 99);
        MarketSimulator other(SecurityCatalogue::instance(), 100);
        for (int step = 0; step < 50; ++step) {
            first.step();
            second.step();
            other.step();
        }
        int differences = 0;
        for (const SecurityInfo& info : SecurityCatalogue::instance().all()) {
            const QString key = Util::GetSecurityKey(info.SecurityID, info.ExchangeID);
            Lev1MarketData a, b, c;
            first.snapshot(key, a);
            second.snapshot(key, b);
            other.snapshot(key, c);
            QCOMPARE(a.LastPrice, b.LastPrice);
            QCOMPARE(a.PriceLevels, b.PriceLevels);
            differences += a.LastPrice != c.LastPrice ? 1 : 0;
        }
        QVERIFY(differences > catalogueSize() / 2);
    }

    void stepAnnouncesEveryUnpinnedQuote()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 5);
        Lev1MarketData pinned;
        QVERIFY(market.snapshot(QStringLiteral("600000.SH"), pinned));
        pinned.LastPrice = 10.50;
        market.setQuote(QStringLiteral("600000.SH"), pinned);

        QSignalSpy spy(&market, &MarketSimulator::quoteUpdated);
        for (int step = 0; step < 20; ++step)
            market.step();
        QCOMPARE(spy.count(), 20 * (catalogueSize() - 1));
        for (const QList<QVariant>& args : spy)
            QVERIFY(args.at(0).toString() != QLatin1String("600000.SH"));
        Lev1MarketData after;
        market.snapshot(QStringLiteral("600000.SH"), after);
        QCOMPARE(after.LastPrice, 10.50);

        market.unpin(QStringLiteral("600000.SH"));
        spy.clear();
        market.step();
        QCOMPARE(spy.count(), catalogueSize());
    }

    void setLastPricePinsAndClamps_data()
    {
        QTest::addColumn<double>("wanted");
        QTest::addColumn<double>("last");
        QTest::addColumn<double>("bid1");
        QTest::addColumn<double>("ask1");
        QTest::addColumn<int>("emptyAsks");
        QTest::addColumn<int>("emptyBids");
        QTest::newRow("inside") << 10.50 << 10.50 << 10.49 << 10.51 << 0 << 0;
        QTest::newRow("off the grid") << 10.333 << 10.33 << 10.32 << 10.34 << 0 << 0;
        QTest::newRow("above limit-up") << 12.00 << 11.39 << 11.38 << 0.0 << 5 << 0;
        QTest::newRow("one tick below limit-up") << 11.38 << 11.38 << 11.37 << 11.39 << 4 << 0;
        QTest::newRow("below limit-down") << 1.00 << 9.32 << 0.0 << 9.33 << 0 << 5;
    }
    void setLastPricePinsAndClamps()
    {
        QFETCH(double, wanted);
        QFETCH(double, last);
        QFETCH(double, bid1);
        QFETCH(double, ask1);
        QFETCH(int, emptyAsks);
        QFETCH(int, emptyBids);
        MarketSimulator market(SecurityCatalogue::instance(), 3);
        QSignalSpy spy(&market, &MarketSimulator::quoteUpdated);
        market.setLastPrice(QStringLiteral("600000.SH"), wanted);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("600000.SH"));

        Lev1MarketData quote;
        market.snapshot(QStringLiteral("600000.SH"), quote);
        QCOMPARE(quote.LastPrice, last);
        QCOMPARE(quote.bidPrice(1), bid1);
        QCOMPARE(quote.askPrice(1), ask1);
        int asks = 0;
        int bids = 0;
        for (int level = 1; level <= 5; ++level) {
            asks += quote.askPrice(level) == 0.0 ? 1 : 0;
            bids += quote.bidPrice(level) == 0.0 ? 1 : 0;
        }
        QCOMPARE(asks, emptyAsks);
        QCOMPARE(bids, emptyBids);

        market.step();
        Lev1MarketData later;
        market.snapshot(QStringLiteral("600000.SH"), later);
        QCOMPARE(later.LastPrice, last);
    }

    void quoteWithoutLimitsWalksFreely()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 3);
        Lev1MarketData quote;
        quote.LastPrice = 0.02;
        market.setQuote(QStringLiteral("600000.SH"), quote);
        market.setLastPrice(QStringLiteral("600000.SH"), 0.02);
        Lev1MarketData out;
        market.snapshot(QStringLiteral("600000.SH"), out);
        QCOMPARE(out.LastPrice, 0.02);
        QCOMPARE(out.askPrice(5), 0.07);
        QCOMPARE(out.bidPrice(1), 0.01);
        QCOMPARE(out.bidPrice(2), 0.0);
    }

    void unknownSecurities()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 3);
        QSignalSpy spy(&market, &MarketSimulator::quoteUpdated);
        Lev1MarketData quote;
        quote.LastPrice = 77.0;
        QVERIFY(!market.snapshot(QStringLiteral("600999.SH"), quote));
        QCOMPARE(quote.LastPrice, 77.0);
        market.setQuote(QStringLiteral("600999.SH"), quote);
        market.setLastPrice(QStringLiteral("600999.SH"), 5.0);
        QCOMPARE(spy.count(), 0);
        QVERIFY(!market.snapshot(QStringLiteral("600999.SH"), quote));
    }

    void setQuoteKeepsTenLevels()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 3);
        Lev1MarketData quote;
        quote.LastPrice = 10.0;
        quote.PriceLevels.resize(2);
        market.setQuote(QStringLiteral("600000.SH"), quote);
        Lev1MarketData out;
        QVERIFY(market.snapshot(QStringLiteral("600000.SH"), out));
        QCOMPARE(int(out.PriceLevels.size()), 10);
        QCOMPARE(out.askPrice(5), 0.0);
    }

    void timerMovesQuotes()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 8);
        QSignalSpy spy(&market, &MarketSimulator::quoteUpdated);
        market.start(5);
        QTRY_VERIFY(spy.count() >= 2 * catalogueSize());
        market.stop();
        QCoreApplication::processEvents();
        const int stopped = spy.count();
        QTest::qWait(30);
        QCOMPARE(spy.count(), stopped);
    }

    void snapshotsWhileWalking()
    {
        MarketSimulator market(SecurityCatalogue::instance(), 11);
        std::atomic<bool> done{false};
        std::atomic<int> bad{0};
        std::thread reader([&] {
            Lev1MarketData quote;
            while (!done.load()) {
                if (!market.snapshot(QStringLiteral("510300.SH"), quote) || quote.LastPrice < quote.LowerLimitPrice
                    || quote.LastPrice > quote.UpperLimitPrice || quote.PriceLevels.size() != 10)
                    ++bad;
            }
        });
        for (int step = 0; step < 300; ++step)
            market.step();
        done = true;
        reader.join();
        QCOMPARE(bad.load(), 0);
    }
};

QTEST_GUILESS_MAIN(MarketTest)
#include "tst_market.moc"
