#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "VelmTest.h"

#include <QtTest>

// The opening quote of `key` (previous close, limits); `wanted` set as last price, then one step.
struct Pin { QString key; double preClose, upper, lower, wanted, last, bid1, ask1; };
Q_DECLARE_METATYPE(Pin)

// Prices to six significant digits: every price on these grids, without the binary noise.
static QStringList prices(std::initializer_list<double> values)
{
    QStringList texts;
    for (const double value : values)
        texts << QString::number(value);
    return texts;
}

class MarketTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    // Limits round half up (11.385 -> 11.39); setLastPrice pins onto the grid inside them.
    void opensAtThePreviousCloseAndPins_data()
    {
        QTest::addColumn<Pin>("row");
        QTest::newRow("main board 10%, inside") << Pin{"600000.SH", 10.35, 11.39, 9.32, 10.50, 10.50, 10.49, 10.51};
        QTest::newRow("ChiNext 20%, off the grid") << Pin{"300750.SZ", 252.80, 303.36, 202.24, 252.333, 252.33, 252.32, 252.34};
        QTest::newRow("STAR 20%, above limit-up") << Pin{"688981.SH", 88.46, 106.15, 70.77, 200.0, 106.15, 106.14, 0.0};
        QTest::newRow("Beijing 30%, below limit-down") << Pin{"920185.BJ", 24.36, 31.67, 17.05, 1.0, 17.05, 0.0, 17.06};
        QTest::newRow("ETF tick 0.001, off the grid") << Pin{"510050.SH", 2.912, 3.203, 2.621, 2.9126, 2.913, 2.912, 2.914};
        QTest::newRow("unknown key") << Pin{"600999.SH", 0.0, 0.0, 0.0, 5.0, 5.0, 0.0, 0.0};
    }
    void opensAtThePreviousCloseAndPins()
    {
        QFETCH(Pin, row);
        MarketSimulator market(SecurityCatalogue::instance(), 3);
        QSignalSpy spy(&market, &MarketSimulator::quoteUpdated);
        const bool known = SecurityCatalogue::instance().find(row.key);
        Lev1MarketData quote;
        QCOMPARE(market.snapshot(row.key, quote), known);
        if (known) {
            QCOMPARE(prices({quote.PreClosePrice, quote.LastPrice, quote.UpperLimitPrice, quote.LowerLimitPrice}),
                     prices({row.preClose, row.preClose, row.upper, row.lower}));
        }
        quote.LastPrice = row.wanted;
        market.setLastPrice(row.key, row.wanted);
        QCOMPARE(spy.count(), known ? 1 : 0);
        market.step();
        QCOMPARE(spy.count(), SecurityCatalogue::instance().all().size());
        QCOMPARE(market.snapshot(row.key, quote), known);   // unknown: `quote` is left as it was
        QCOMPARE(prices({quote.LastPrice, quote.bidPrice(1), quote.askPrice(1)}), prices({row.last, row.bid1, row.ask1}));
    }
};

QTEST_GUILESS_MAIN(MarketTest)
#include "tst_market.moc"