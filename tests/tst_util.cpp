#include "SchedOrdPriceGear.h"
#include "SchedOrdTaskTime.h"
#include "Util.h"
#include "VelmTest.h"

#include <QDateTime>
#include <QFile>
#include <QtTest>

using VELMSCHEDORDAPI::SchedOrdPriceGear;
using VELMSCHEDORDAPI::SchedOrdTaskTime;

// Conversions: texts, codecs, prices, price gears, and task times (ticks of 100 ns shown as local
// "%H:%M:%S"; run in Asia/Shanghai and Europe/Berlin).
class UtilTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void cleanup() { SchedOrdTaskTime::setClock({}); }

    // Several values of one conversion are joined by spaces. Gear -1: the price type has no gear;
    // gear -1 and unknown gears map onto the last price.
    void texts_data()
    {
        using Gear = SchedOrdPriceGear;
        const auto joined = [](std::initializer_list<int> values) {
            QStringList texts;
            for (const int value : values)
                texts << QString::number(value);
            return texts.join(QLatin1Char(' '));
        };
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        QTest::newRow("to GBK, level-2 too") << QString(QByteArray::fromStdString(Util::QStr2str("浦发银行癀")).toHex()) << "c6d6b7a2d2f8d0d0f1a5";
        QTest::newRow("from GBK") << Util::Str2QStr("\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0") << "浦发银行";
        QTest::newRow("key, unknown exchange") << Util::GetSecurityKey("123456", '9') << "123456.9";
        QTest::newRow("stock has no short sell") << Util::ParseDirection(1, 'j') << "";
        QTest::newRow("effective: ten million, below a thousandth, a thousandth")
            << joined({Util::JudgeEffectivePrice(1e7), Util::JudgeEffectivePrice(0.000001), Util::JudgeEffectivePrice(0.001)}) << "0 0 1";
        QTest::newRow("gears of price types last, market, past the last")
            << joined({Gear::fromPriceType(0), Gear::fromPriceType(3), Gear::fromPriceType(18)}) << "0 21 -1";
        QTest::newRow("price types of gears last, market, -1, unknown")
            << joined({Gear::toPriceType(0), Gear::toPriceType(21), Gear::toPriceType(-1), Gear::toPriceType(16)}) << "0 3 0 0";
    }
    void texts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void fileCodec_data()
    {
        const QString text = QStringLiteral("证券代码,买卖方向\n600000,买入\n");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codec");
        QTest::newRow("UTF-8") << text.toUtf8() << 2;
        QTest::newRow("UTF-8 cut inside a character") << text.toUtf8().left(4) << 1;
        QTest::newRow("missing file") << QByteArray() << 0;
        // Only a prefix is read: a character cut by its end is no fault, and what lies past it is not seen.
        const QByteArray ascii(64 * 1024 - 1, 'a');
        QTest::newRow("prefix ends inside a character") << ascii + text.toUtf8() << 2;
        QTest::newRow("GBK past the prefix") << ascii + 'a' + QByteArray::fromStdString(Util::QStr2str(text)) << 2;
    }
    void fileCodec()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, codec);
        const QString name = QStringLiteral("codec_%1.csv").arg(QTest::currentDataTag());
        const QString path = bytes.isNull() ? VelmTest::tempDir() + "/" + name : VelmTest::writeTempFile(name, bytes);
        QVERIFY(QFile::exists(path) != bytes.isNull());
        QCOMPARE(Util::GetFileCodec(path), codec);
    }

    // "Today" is the module clock's day. On a change-over day the offset is the one of the
    // wanted moment, not the one of "now". The text drops the fraction of a second.
    void clockTimeToTicksAndText_data()
    {
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int64_t>("fraction");
        const QDateTime winterEvening(QDate(2026, 12, 5), QTime(23, 59, 59, 999));
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
};

QTEST_MAIN(UtilTest)
#include "tst_util.moc"
