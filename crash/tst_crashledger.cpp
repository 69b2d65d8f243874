// The crash harness's own judgement over FIX: which restarts it must fault against what the
// exchange received, and which NewOrderSingles it reads from the exchange's message log.

#include "CrashExchange.h"
#include "CrashLedger.h"

#include <QtTest>

namespace {

constexpr int64_t kRunStartTicks = 638000000000000000;
constexpr int64_t kTicksPerSecond = 10000000;
const QByteArray kRef("10001-1-1");

// A QuickFIX message log line: time stamp, " : ", the fields each ended by SOH.
QByteArray logLine(const QByteArray& fields)
{
    QByteArray message = "8=FIX.4.4|9=142|" + fields + "10=077|";
    message.replace('|', '\x01');
    return "20261206-09:30:00.123 : " + message;
}

} // namespace

class CrashLedgerTest : public QObject
{
    Q_OBJECT
private slots:
    void restartAgainstExchange_data()
    {
        QTest::addColumn<QByteArray>("subTask");        // status, trigger, failure class
        QTest::addColumn<int>("ordersBeforeKill");       // received while the run that sent it lived
        QTest::addColumn<int>("ordersAfterRestart");     // received once the restart reported its state
        QTest::addColumn<QStringList>("faults");

        const QString neverReceived = QStringLiteral("run 1: sub-task 10001-1-1 is stored as sent (%1) but the exchange never received its order");
        QTest::newRow("sent, received once") << QByteArray("3 3 -") << 1 << 0 << QStringList();
        QTest::newRow("sent, received after the report") << QByteArray("3 3 -") << 0 << 1 << QStringList();
        QTest::newRow("filled, never received") << QByteArray("4 5 -") << 0 << 0 << QStringList{neverReceived.arg('5')};
        QTest::newRow("rejected by the exchange, never received") << QByteArray("4 4 -") << 0 << 0 << QStringList{neverReceived.arg('4')};
        QTest::newRow("sent, received twice") << QByteArray("3 3 -") << 1 << 1
                                              << QStringList{QStringLiteral("order 10001-1-1 reached the exchange twice (runs 0 and 1)")};
        QTest::newRow("unknown at the exchange, yet received") << QByteArray("4 2 U") << 1 << 0
            << QStringList{QStringLiteral("run 1: sub-task 10001-1-1 failed unsent (U) but the exchange received its order in run 0")};
        QTest::newRow("route down, received later") << QByteArray("4 2 R") << 0 << 1
            << QStringList{QStringLiteral("run 1: sub-task 10001-1-1 failed unsent (R) but the exchange received its order in run 1")};
        QTest::newRow("missed, never received") << QByteArray("4 2 M") << 0 << 0 << QStringList();
        QTest::newRow("waiting, fired after the restart") << QByteArray("2 1 -") << 0 << 1 << QStringList();
        QTest::newRow("waiting, although ordered before the kill") << QByteArray("2 1 -") << 1 << 0
            << QStringList{QStringLiteral("run 1: sub-task 10001-1-1 waits to fire although the exchange received its order in run 0")};
    }
    void restartAgainstExchange()
    {
        QFETCH(QByteArray, subTask);
        QFETCH(int, ordersBeforeKill);
        QFETCH(int, ordersAfterRestart);
        QFETCH(QStringList, faults);

        CrashLedger ledger(10001, CrashLedger::OrderSource::Exchange);
        ledger.beginRun(0, kRunStartTicks);
        for (const char* line : {"DO ADD 1:1:1", "ACK 1 ADD 1:1:1", "DO START 1", "ACK 1 START 1"})
            ledger.take(line);
        for (int i = 0; i < ordersBeforeKill; ++i)
            ledger.takeExchangeOrder(kRef);
        ledger.endRun();
        ledger.verifyExchange();
        QCOMPARE(ledger.faults(), QStringList());

        ledger.beginRun(1, kRunStartTicks);
        const QByteArray setTime = QByteArray::number(static_cast<qlonglong>(kRunStartTicks + 10 * kTicksPerSecond));
        for (const QByteArray& line : {QByteArray("SNAPSHOT"), QByteArray("T 1 2 1"), "S 1 1 " + subTask + " 100 " + setTime + " 0 -1",
                                       QByteArray("IDS 2 2"), QByteArray("READY")})
            ledger.take(line);
        QCOMPARE(ledger.faults(), QStringList());
        for (int i = 0; i < ordersAfterRestart; ++i)
            ledger.takeExchangeOrder(kRef);
        ledger.endRun();
        ledger.verifyExchange();
        QCOMPARE(ledger.faults(), faults);
    }

    void stalledRestartIsAFault()
    {
        CrashLedger ledger(10001, CrashLedger::OrderSource::Exchange);
        ledger.beginRun(4, kRunStartTicks);
        ledger.take("STALLED after 40001 ms: the route never logged on");
        QCOMPARE(ledger.faults(), QStringList{QStringLiteral("run 4 never became ready: after 40001 ms: the route never logged on")});
    }

    void newOrderRef_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("ref");
        QTest::newRow("new order from the client") << logLine("35=D|34=7|49=VELMCLIENT|56=VELMSIM|11=10001-3-17|55=600000|") << QByteArray("10001-3-17");
        QTest::newRow("resent as a possible duplicate") << logLine("35=D|34=7|43=Y|49=VELMCLIENT|56=VELMSIM|11=10001-3-17|") << QByteArray("10001-3-17");
        QTest::newRow("execution report of the exchange") << logLine("35=8|34=9|49=VELMSIM|56=VELMCLIENT|11=10001-3-17|") << QByteArray();
        QTest::newRow("status request") << logLine("35=H|34=8|49=VELMCLIENT|56=VELMSIM|11=10001-3-17|") << QByteArray();
        QTest::newRow("new order of another CompID") << logLine("35=D|34=7|49=VELMCLIENTX|56=VELMSIM|11=10001-3-17|") << QByteArray();
        QTest::newRow("tag ending in 35") << logLine("35=0|135=D|49=VELMCLIENT|11=10001-3-17|") << QByteArray();
        QTest::newRow("without ClOrdID") << logLine("35=D|34=7|49=VELMCLIENT|56=VELMSIM|") << QByteArray();
        QTest::newRow("cut inside ClOrdID") << QByteArray("20261206-09:30:00.123 : 8=FIX.4.4\x01" "35=D\x01" "49=VELMCLIENT\x01" "11=10001-3") << QByteArray();
        QTest::newRow("event line") << QByteArray("20261206-09:30:00.123 : Received logon") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }
    void newOrderRef()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, ref);
        QCOMPARE(CrashExchange::newOrderRef(line, "VELMCLIENT"), ref);
    }
};

QTEST_GUILESS_MAIN(CrashLedgerTest)
#include "tst_crashledger.moc"
