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
    void cleanup() { SchedOrdTaskTime::setClock({}); }

    // "Today" is the module clock's day. On a change-over day the offset is the one of the
    // wanted moment, not the one of "now". The text drops the fraction of a second.
    void clockTimeToTicksAndText_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int64_t>("fraction");
        const QDateTime winterEvening(QDate(2026, 12, 5), QTime(23, 59, 59, 999));
        QTest::newRow("midnight") << winterEvening << QTime(0, 0, 0) << int64_t(0);
        QTest::newRow("open + 0.9999999 s") << winterEvening << QTime(9, 30, 0) << int64_t(9999999);
        QTest::newRow("last second") << winterEvening << QTime(23, 59, 59) << int64_t(5000000);
        QTest::newRow("spring, before the jump") << QDateTime(QDate(2026, 3, 29), QTime(0, 0)) << QTime(1, 30, 0) << int64_t(0);
        QTest::newRow("spring, after the jump") << QDateTime(QDate(2026, 3, 29), QTime(0, 0)) << QTime(9, 30, 0) << int64_t(9999999);
        QTest::newRow("autumn, after the fall-back") << QDateTime(QDate(2026, 10, 25), QTime(12, 0)) << QTime(9, 30, 0) << int64_t(1);
    }
    void clockTimeToTicksAndText()
    {
        QFETCH(QDateTime, now);
        QFETCH(QTime, time);
        QFETCH(int64_t, fraction);
        SchedOrdTaskTime::setClock([now] { return now; });
        const int64_t ticks = SchedOrdTaskTime::fromClockTime(time.hour(), time.minute(), time.second());
        QCOMPARE(SchedOrdTaskTime::fromQTime(time.addMSecs(999)), ticks);
        QCOMPARE(ticks / SchedOrdTaskTime::TicksPerSecond, QDateTime(now.date(), time).toSecsSinceEpoch());
        QCOMPARE(ticks % SchedOrdTaskTime::TicksPerSecond, int64_t(0));
        QCOMPARE(SchedOrdTaskTime::toText(ticks + fraction), time.toString("hh:mm:ss"));
        QCOMPARE(SchedOrdTaskTime::toText(ticks + SchedOrdTaskTime::TicksPerSecond), time.addSecs(1).toString("hh:mm:ss"));
    }

    // Gear -1: the price type has no gear; gear -1 and unknown gears map onto the last price.
    void gearMapsOntoPriceType_data()
    {
        QTest::addColumn<int>("gear");
        QTest::addColumn<int>("priceType");
        QTest::newRow("last") << 0 << 0;
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
        QCOMPARE(SchedOrdPriceGear::toPriceType(16), 0);
    }
};

QTEST_GUILESS_MAIN(TaskTimeTest)
#include "tst_tasktime.moc"
