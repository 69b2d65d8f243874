#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "Util.h"
#include "VelmTest.h"

#include <QtTest>

#include <cmath>

// The opening quote of `key` (previous close, limits); `wanted` set as last price (or in a whole quote), then one step.
struct Pin { QString key; double preClose, upper, lower; bool setQuote; double wanted, last, bid1, ask1; };
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

    // Limits round half up (11.385 -> 11.39); setLastPrice pins onto the grid inside them, setQuote keeps the quote.
    void opensAtThePreviousCloseAndPins_data()
    {
        QTest::addColumn<Pin>("row");
        QTest::newRow("main board 10%, inside") << Pin{"600000.SH", 10.35, 11.39, 9.32, false, 10.50, 10.50, 10.49, 10.51};
        QTest::newRow("ChiNext 20%, off the grid") << Pin{"300750.SZ", 252.80, 303.36, 202.24, false, 252.333, 252.33, 252.32, 252.34};
        QTest::newRow("STAR 20%, above limit-up") << Pin{"688981.SH", 88.46, 106.15, 70.77, false, 200.0, 106.15, 106.14, 0.0};
        QTest::newRow("Beijing 30%, below limit-down") << Pin{"920185.BJ", 24.36, 31.67, 17.05, false, 1.0, 17.05, 0.0, 17.06};
        QTest::newRow("ETF tick 0.001, off the grid") << Pin{"510050.SH", 2.912, 3.203, 2.621, false, 2.9126, 2.913, 2.912, 2.914};
        QTest::newRow("B share, quote as given") << Pin{"200002.SZ", 3.42, 3.76, 3.08, true, 3.333, 3.333, 3.41, 3.43};
        QTest::newRow("unknown key") << Pin{"600999.SH", 0.0, 0.0, 0.0, false, 5.0, 5.0, 0.0, 0.0};
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
        row.setQuote ? market.setQuote(row.key, quote) : market.setLastPrice(row.key, row.wanted);
        QCOMPARE(spy.count(), known ? 1 : 0);
        market.step();
        QCOMPARE(spy.count(), SecurityCatalogue::instance().all().size());
        QCOMPARE(market.snapshot(row.key, quote), known);   // unknown: `quote` is left as it was
        QCOMPARE(prices({quote.LastPrice, quote.bidPrice(1), quote.askPrice(1)}), prices({row.last, row.bid1, row.ask1}));
    }

    // Limits two ticks away on two tick sizes; a twin of the same seed walks alike, another seed does not.
    void walkStaysOnTheGridInsideTheLimits()
    {
        const SecurityCatalogue narrow = SecurityCatalogue::fromCsv(QStringLiteral(
            "600000,1,浦发银行,1,0.01,100,100,1.00,2,0\n510050,1,上证50ETF,2,0.001,100,100,0.100,2,0"));
        MarketSimulator market(narrow, 4), twin(narrow, 4), other(narrow, 5);
        QSet<QString> prices;
        int differences = 0;
        for (int step = 0; step < 200; ++step) {
            for (MarketSimulator* walker : {&market, &twin, &other})
                walker->step();
            for (const SecurityInfo& info : narrow.all()) {
                const QString key = Util::GetSecurityKey(info.SecurityID, info.ExchangeID);
                Lev1MarketData q, t, o;
                QVERIFY(market.snapshot(key, q) && twin.snapshot(key, t) && other.snapshot(key, o));
                QCOMPARE(t.PriceLevels, q.PriceLevels);
                differences += o.LastPrice != q.LastPrice;
                const auto fits = [&](double p) {
                    return p >= q.LowerLimitPrice && p <= q.UpperLimitPrice
                        && std::fabs(p / info.PriceTick - std::round(p / info.PriceTick)) < 1e-6;
                };
                QVERIFY(fits(q.LastPrice));
                for (int level = 1; level <= 5; ++level) {
                    QVERIFY(q.bidPrice(level) == 0.0 || (fits(q.bidPrice(level)) && q.bidPrice(level) < q.LastPrice));
                    QVERIFY(q.askPrice(level) == 0.0 || (fits(q.askPrice(level)) && q.askPrice(level) > q.LastPrice));
                }
                prices << QString::number(q.LastPrice);
            }
        }
        QCOMPARE(prices, (QSet<QString>{"0.98", "0.99", "1", "1.01", "1.02", "0.098", "0.099", "0.1", "0.101", "0.102"}));
        QVERIFY(differences > 100);
    }
};

QTEST_GUILESS_MAIN(MarketTest)
#include "tst_market.moc"