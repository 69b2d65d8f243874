// The crash harness's own judgement over FIX: which restarts it must fault against what the
// exchange received.

#include "CrashLedger.h"

#include <QtTest>

namespace {

constexpr int64_t kRunStartTicks = 638000000000000000;
constexpr int64_t kTicksPerSecond = 10000000;
const QByteArray kRef("10001-1-1");

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
        QTest::addColumn<bool>("sentByRestart");         // the restart itself sent it before its report
        QTest::addColumn<QStringList>("faults");

        const QString neverReceived = QStringLiteral("run 1: sub-task 10001-1-1 is stored as sent (%1) but the exchange never received its order");
        QTest::newRow("sent, received once") << QByteArray("3 3 -") << 1 << 0 << false << QStringList();
        QTest::newRow("sent, received after the report") << QByteArray("3 3 -") << 0 << 1 << false << QStringList();
        QTest::newRow("sent by the restart before its report, its fate not known yet") << QByteArray("3 3 -") << 0 << 0 << true << QStringList();
        QTest::newRow("filled, never received") << QByteArray("4 5 -") << 0 << 0 << false << QStringList{neverReceived.arg('5')};
        QTest::newRow("rejected by the exchange, never received") << QByteArray("4 4 -") << 0 << 0 << false << QStringList{neverReceived.arg('4')};
        QTest::newRow("sent, received twice") << QByteArray("3 3 -") << 1 << 1 << false
                                              << QStringList{QStringLiteral("order 10001-1-1 reached the exchange twice (runs 0 and 1)")};
        QTest::newRow("unknown at the exchange, yet received") << QByteArray("4 2 U") << 1 << 0 << false
            << QStringList{QStringLiteral("run 1: sub-task 10001-1-1 failed unsent (U) but the exchange received its order in run 0")};
        QTest::newRow("route down, received later") << QByteArray("4 2 R") << 0 << 1 << false
            << QStringList{QStringLiteral("run 1: sub-task 10001-1-1 failed unsent (R) but the exchange received its order in run 1")};
        QTest::newRow("missed, never received") << QByteArray("4 2 M") << 0 << 0 << false << QStringList();
        QTest::newRow("waiting, fired after the restart") << QByteArray("2 1 -") << 0 << 1 << false << QStringList();
        QTest::newRow("waiting, although ordered before the kill") << QByteArray("2 1 -") << 1 << 0 << false
            << QStringList{QStringLiteral("run 1: sub-task 10001-1-1 waits to fire although the exchange received its order in run 0")};
    }
    void restartAgainstExchange()
    {
        QFETCH(QByteArray, subTask);
        QFETCH(int, ordersBeforeKill);
        QFETCH(int, ordersAfterRestart);
        QFETCH(bool, sentByRestart);
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
        if (sentByRestart)
            ledger.take("SEND " + kRef);
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
};

QTEST_GUILESS_MAIN(CrashLedgerTest)
#include "tst_crashledger.moc"
