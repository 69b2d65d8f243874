#include "SchedOrdPriceGear.h"
#include "SchedOrdTaskTime.h"
#include "VelmTest.h"

#include <QDateTime>
#include <QtTest>

using VELMSCHEDORDAPI::SchedOrdPriceGear;
using VELMSCHEDORDAPI::SchedOrdTaskTime;

// Task times are ticks of 100 ns shown as local "%H:%M:%S"; run in Asia/Shanghai and Europe/Berlin.
class TaskTimeTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    // A null day is today (fromClockTime). On a change-over day the offset is the one of the
    // wanted moment, not the one of "now". The text drops the fraction of a second.
    void clockTimeToTicksAndText_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int64_t>("fraction");
        QTest::newRow("today, midnight") << QDate() << QTime(0, 0, 0) << int64_t(0);
        QTest::newRow("today, open + 0.9999999 s") << QDate() << QTime(9, 30, 0) << int64_t(9999999);
        QTest::newRow("today, last second") << QDate() << QTime(23, 59, 59) << int64_t(5000000);
        QTest::newRow("spring, before the jump") << QDate(2026, 3, 29) << QTime(1, 30, 0) << int64_t(0);
        QTest::newRow("spring, after the jump") << QDate(2026, 3, 29) << QTime(9, 30, 0) << int64_t(9999999);
        QTest::newRow("autumn, after the fall-back") << QDate(2026, 10, 25) << QTime(9, 30, 0) << int64_t(0);
        QTest::newRow("winter") << QDate(2026, 12, 5) << QTime(14, 0, 0) << int64_t(1);
    }
    void clockTimeToTicksAndText()
    {
        QFETCH(QDate, day);
        QFETCH(QTime, time);
        QFETCH(int64_t, fraction);
        const int h = time.hour(), m = time.minute(), s = time.second();
        const int64_t ticks = day.isNull() ? SchedOrdTaskTime::fromClockTime(h, m, s)
                                           : SchedOrdTaskTime::fromLocalDateTime(day.year(), day.month(), day.day(), h, m, s);
        if (day.isNull())
            QCOMPARE(SchedOrdTaskTime::fromQTime(time.addMSecs(999)), ticks);
        QCOMPARE(ticks % SchedOrdTaskTime::TicksPerSecond, int64_t(0));
        const QDateTime expected(day.isNull() ? QDate::currentDate() : day, time);
        QCOMPARE(ticks / SchedOrdTaskTime::TicksPerSecond, expected.toSecsSinceEpoch());
        QCOMPARE(SchedOrdTaskTime::toText(ticks + fraction), time.toString("hh:mm:ss"));
        QCOMPARE(SchedOrdTaskTime::toText(ticks + SchedOrdTaskTime::TicksPerSecond), time.addSecs(1).toString("hh:mm:ss"));
    }

    // Gear -1: the price type has no gear, and gear -1 maps onto the last price.
    void gearMapsOntoPriceType_data()
    {
        QTest::addColumn<int>("gear");
        QTest::addColumn<int>("priceType");
        QTest::newRow("last") << 0 << 0;
        QTest::newRow("limit up") << 1 << 14;
        QTest::newRow("ask 5") << 2 << 10;
        QTest::newRow("ask 4") << 3 << 8;
        QTest::newRow("ask 3") << 4 << 6;
        QTest::newRow("ask 2") << 5 << 4;
        QTest::newRow("ask 1") << 6 << 1;
        QTest::newRow("bid 1") << 7 << 2;
        QTest::newRow("bid 2") << 8 << 5;
        QTest::newRow("bid 3") << 9 << 7;
        QTest::newRow("bid 4") << 10 << 9;
        QTest::newRow("bid 5") << 11 << 11;
        QTest::newRow("limit down") << 12 << 15;
        QTest::newRow("buy cage") << 13 << 16;
        QTest::newRow("sell cage") << 14 << 17;
        QTest::newRow("custom") << 15 << 12;
        QTest::newRow("market") << 21 << 3;
        QTest::newRow("previous close") << -1 << 13;
        QTest::newRow("past the last type") << -1 << 18;
    }
    void gearMapsOntoPriceType()
    {
        QFETCH(int, gear);
        QFETCH(int, priceType);
        QCOMPARE(SchedOrdPriceGear::fromPriceType(priceType), gear);
        QCOMPARE(SchedOrdPriceGear::toPriceType(gear), gear < 0 ? 0 : priceType);
    }

    void gearListsAndAnUnknownGear()
    {
        QCOMPARE(SchedOrdPriceGear::toPriceType(16), 0);
        QCOMPARE(SchedOrdPriceGear::buyGearOrder(), (QVector<int>{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 13, 21, 15}));
        QCOMPARE(SchedOrdPriceGear::sellGearOrder(), (QVector<int>{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 14, 21, 15}));
    }
};

QTEST_GUILESS_MAIN(TaskTimeTest)
#include "tst_tasktime.moc"