#include "SchedOrdPriceGear.h"
#include "SchedOrdTaskTime.h"
#include "VelmTest.h"

#include <QDateTime>
#include <QtTest>

using VELMSCHEDORDAPI::SchedOrdPriceGear;
using VELMSCHEDORDAPI::SchedOrdTaskTime;

// Task times are ticks of 100 ns; the module makes them from a clock time and shows them as
// local "%H:%M:%S". These tests run in Asia/Shanghai and again in Europe/Berlin (daylight saving).
class TaskTimeTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    void clockTimeIsTodayAtThatTime_data()
    {
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<int>("second");
        QTest::newRow("midnight") << 0 << 0 << 0;
        QTest::newRow("open") << 9 << 30 << 0;
        QTest::newRow("afternoon") << 14 << 56 << 59;
        QTest::newRow("last second") << 23 << 59 << 59;
    }
    void clockTimeIsTodayAtThatTime()
    {
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(int, second);
        const int64_t ticks = SchedOrdTaskTime::fromClockTime(hour, minute, second);
        QCOMPARE(ticks % SchedOrdTaskTime::TicksPerSecond, int64_t(0));
        const QDateTime expected(QDate::currentDate(), QTime(hour, minute, second));
        QCOMPARE(ticks / SchedOrdTaskTime::TicksPerSecond, expected.toSecsSinceEpoch());
        QCOMPARE(SchedOrdTaskTime::toText(ticks), QTime(hour, minute, second).toString("hh:mm:ss"));
    }

    void qtimeDropsMilliseconds()
    {
        QCOMPARE(SchedOrdTaskTime::fromQTime(QTime(10, 0, 1, 999)), SchedOrdTaskTime::fromClockTime(10, 0, 1));
    }

    void textTruncatesTowardZero_data()
    {
        QTest::addColumn<int64_t>("extraTicks");
        QTest::addColumn<QString>("text");
        QTest::newRow("exact") << int64_t(0) << "09:30:00";
        QTest::newRow("0.9999999 s later") << int64_t(9999999) << "09:30:00";
        QTest::newRow("one second later") << int64_t(10000000) << "09:30:01";
    }
    void textTruncatesTowardZero()
    {
        QFETCH(int64_t, extraTicks);
        QFETCH(QString, text);
        QCOMPARE(SchedOrdTaskTime::toText(SchedOrdTaskTime::fromClockTime(9, 30, 0) + extraTicks), text);
    }

    // On a change-over day the offset is the one of the wanted moment, not the one of "now".
    void daylightSavingChangeOverDays_data()
    {
        QTest::addColumn<QDate>("day");
        QTest::addColumn<QTime>("time");
        QTest::newRow("spring, before the jump") << QDate(2026, 3, 29) << QTime(1, 30, 0);
        QTest::newRow("spring, after the jump") << QDate(2026, 3, 29) << QTime(9, 30, 0);
        QTest::newRow("autumn, after the fall-back") << QDate(2026, 10, 25) << QTime(9, 30, 0);
        QTest::newRow("winter") << QDate(2026, 12, 5) << QTime(14, 0, 0);
    }
    void daylightSavingChangeOverDays()
    {
        QFETCH(QDate, day);
        QFETCH(QTime, time);
        const int64_t ticks = SchedOrdTaskTime::fromLocalDateTime(day.year(), day.month(), day.day(),
                                                                  time.hour(), time.minute(), time.second());
        QCOMPARE(ticks / SchedOrdTaskTime::TicksPerSecond, QDateTime(day, time).toSecsSinceEpoch());
        QCOMPARE(SchedOrdTaskTime::toText(ticks), time.toString("hh:mm:ss"));
    }

    void nowFollowsTheWallClock()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        const int64_t now = SchedOrdTaskTime::now();
        const qint64 after = QDateTime::currentMSecsSinceEpoch();
        QVERIFY(now / 10000 >= before);
        QVERIFY(now / 10000 <= after);
    }

    void gearMapsOntoPriceType_data()
    {
        QTest::addColumn<int>("gear");
        QTest::addColumn<int>("priceType");
        QTest::addColumn<int>("backToGear");
        QTest::newRow("last") << 0 << 0 << 0;
        QTest::newRow("limit up") << 1 << 14 << 1;
        QTest::newRow("ask 5") << 2 << 10 << 2;
        QTest::newRow("ask 4") << 3 << 8 << 3;
        QTest::newRow("ask 3") << 4 << 6 << 4;
        QTest::newRow("ask 2") << 5 << 4 << 5;
        QTest::newRow("ask 1") << 6 << 1 << 6;
        QTest::newRow("bid 1") << 7 << 2 << 7;
        QTest::newRow("bid 2") << 8 << 5 << 8;
        QTest::newRow("bid 3") << 9 << 7 << 9;
        QTest::newRow("bid 4") << 10 << 9 << 10;
        QTest::newRow("bid 5") << 11 << 11 << 11;
        QTest::newRow("limit down") << 12 << 15 << 12;
        QTest::newRow("buy cage") << 13 << 16 << 13;
        QTest::newRow("sell cage") << 14 << 17 << 14;
        QTest::newRow("custom") << 15 << 12 << 15;
        QTest::newRow("market") << 21 << 3 << 21;
        QTest::newRow("unknown gear 16") << 16 << 0 << 0;
        QTest::newRow("unknown gear -1") << -1 << 0 << 0;
    }
    void gearMapsOntoPriceType()
    {
        QFETCH(int, gear);
        QFETCH(int, priceType);
        QFETCH(int, backToGear);
        QCOMPARE(SchedOrdPriceGear::toPriceType(gear), priceType);
        QCOMPARE(SchedOrdPriceGear::fromPriceType(priceType), backToGear);
    }

    void previousCloseHasNoGear()
    {
        QCOMPARE(SchedOrdPriceGear::fromPriceType(13), -1);
        QCOMPARE(SchedOrdPriceGear::fromPriceType(18), -1);
    }

    void gearListsRunFromLimitUpToCustom()
    {
        QCOMPARE(SchedOrdPriceGear::buyGearOrder(), (QVector<int>{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 13, 21, 15}));
        QCOMPARE(SchedOrdPriceGear::sellGearOrder(), (QVector<int>{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 14, 21, 15}));
    }
};

QTEST_GUILESS_MAIN(TaskTimeTest)
#include "tst_tasktime.moc"
