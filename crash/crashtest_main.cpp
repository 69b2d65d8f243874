// velm_crashtest [N] [--seed S] [--fix] [--child PATH] [--fixsim PATH]: runs the crash child on a
// database in a temporary folder, kills it with SIGKILL at a random point of each run, N times, and
// checks after every restart that what was acknowledged, ordered and logged survived, that no order
// left twice and no id came back, and that the file is sound. Each database takes up to 100 kill
// points (10 over FIX) and one more run that checks the last. The seed and every kill point are printed; the same
// seed gives the same workloads and kill points.
//
// With --fix the child's orders go over a FIX session to velm_fixsim on 127.0.0.1, one per
// database, which keeps running while the child is killed; after each run the state the restart
// reported once reconciled is held against the NewOrderSingles the exchange received.

#include "CrashChildProcess.h"
#include "CrashDatabase.h"
#include "CrashExchange.h"
#include "CrashLedger.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

namespace {

constexpr int kAccountId = 10001;
constexpr int kDefaultKillPoints = 50;
constexpr int kReadyTimeoutMs = 30000;
// Over FIX a restart also waits for logon and the answers about the orders a kill left in doubt.
constexpr int kFixReadyTimeoutMs = 120000;
// After a kill the exchange still works off what the child had sent; then it goes quiet.
constexpr int kExchangeQuietMs = 500;
constexpr int kExchangeSettleCapMs = 30000;
const QByteArray kClientCompId("VELMCLIENT");
// A run whose kill point never comes is killed this long after it was ready.
constexpr int kRunCapMs = 3000;
constexpr int kPointsPerDatabase = 100;
// Every restart over FIX asks the exchange about each order still open, and the simulated exchange
// looks each one up among all it ever took: fewer points per database keep restarts quick.
constexpr int kFixPointsPerDatabase = 10;

// Where in a run the kill comes: after some time, or right after the n-th line of a kind, which
// lands inside a burst (ORDER), between an operation's return and the next (ACK) or just after
// a commit (LOG).
struct KillPlan
{
    enum Kind { AfterMs, AfterOrder, AfterAck, AfterLog, AfterReady } kind = AfterMs;
    int count = 0;

    QString text() const
    {
        switch (kind) {
        case AfterMs: return QStringLiteral("%1 ms after start").arg(count);
        case AfterOrder: return QStringLiteral("ORDER #%1").arg(count);
        case AfterAck: return QStringLiteral("ACK #%1").arg(count);
        case AfterLog: return QStringLiteral("LOG #%1").arg(count);
        case AfterReady: return QStringLiteral("READY (final check)");
        }
        return QString();
    }
};

KillPlan drawPlan(std::mt19937& random)
{
    auto pick = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    KillPlan plan;
    switch (pick(0, 5)) {
    case 0:
    case 1: plan.kind = KillPlan::AfterMs; plan.count = pick(0, 2000); break;
    case 2: plan.kind = KillPlan::AfterOrder; plan.count = pick(0, 1) ? pick(1, 30) : pick(1, 5000); break;
    case 3:
    case 4: plan.kind = KillPlan::AfterAck; plan.count = pick(1, 40); break;
    default: plan.kind = KillPlan::AfterLog; plan.count = pick(1, 40); break;
    }
    return plan;
}

bool planReached(const KillPlan& plan, const CrashLedger& ledger, qint64 elapsedMs)
{
    const CrashLedger::RunCounts& counts = ledger.thisRun();
    switch (plan.kind) {
    case KillPlan::AfterMs: return elapsedMs >= plan.count;
    case KillPlan::AfterOrder: return counts.orders >= plan.count;
    case KillPlan::AfterAck: return counts.acknowledged >= plan.count;
    case KillPlan::AfterLog: return counts.logLines >= plan.count;
    case KillPlan::AfterReady: return ledger.ready();
    }
    return true;
}

struct Options
{
    int killPoints = kDefaultKillPoints;
    quint32 seed = 0;
    bool overFix = false;
    QString child;
    QString fixsim;
};

bool parseOptions(const QStringList& args, Options& options)
{
    options.seed = static_cast<quint32>(QDateTime::currentMSecsSinceEpoch());
    options.child = QCoreApplication::applicationDirPath() + QLatin1String("/velm_crashchild");
    options.fixsim = QCoreApplication::applicationDirPath() + QLatin1String("/velm_fixsim");
    for (int i = 1; i < args.size(); ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--seed") && i + 1 < args.size())
            options.seed = args[++i].toUInt(&ok);
        else if (args[i] == QLatin1String("--fix"))
            options.overFix = true;
        else if (args[i] == QLatin1String("--child") && i + 1 < args.size())
            options.child = args[++i];
        else if (args[i] == QLatin1String("--fixsim") && i + 1 < args.size())
            options.fixsim = args[++i];
        else
            options.killPoints = args[i].toInt(&ok);
        if (!ok || options.killPoints < 1)
            return false;
    }
    return true;
}

// Where a database's runs send their orders over FIX: the exchange, and the route's own folder.
struct FixCounterparty
{
    CrashExchange* exchange = nullptr;
    QString routeFolder;
};

void takeExchangeOrders(const QByteArrayList& refs, CrashLedger& ledger)
{
    for (const QByteArray& ref : refs)
        ledger.takeExchangeOrder(ref);
}

// One run: start, feed the ledger until the plan's point, kill, read what was still in the pipe
// (and over FIX what the exchange received until it went quiet). False when the run went wrong by
// itself (a crash, an exit, no READY).
bool runOnce(const Options& options, const QString& database, const QString& errorLog, quint32 runSeed,
             const KillPlan& plan, const FixCounterparty& fix, CrashLedger& ledger, QString& outcome)
{
    QStringList arguments{database, QString::number(runSeed)};
    if (fix.exchange)
        arguments << QStringLiteral("--fix-port") << QString::number(fix.exchange->port()) << QStringLiteral("--fix-dir")
                  << fix.routeFolder;
    const int readyTimeoutMs = fix.exchange ? kFixReadyTimeoutMs : kReadyTimeoutMs;
    CrashChildProcess child;
    if (!child.start(options.child, arguments, errorLog)) {
        outcome = QStringLiteral("cannot start %1").arg(options.child);
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    qint64 readyAt = -1;
    qint64 killedAt = -1;
    bool ended = false;
    bool hung = false;
    auto killNow = [&] {
        child.kill();
        killedAt = clock.elapsed();
    };
    while (!ended) {
        if (fix.exchange)
            takeExchangeOrders(fix.exchange->newOrders(), ledger);
        for (const QByteArray& line : child.readLines(5, ended)) {
            ledger.take(line);
            if (readyAt < 0 && ledger.ready())
                readyAt = clock.elapsed();
            if (killedAt < 0 && planReached(plan, ledger, clock.elapsed()))
                killNow();
        }
        const bool overdue = readyAt < 0 ? clock.elapsed() > readyTimeoutMs : clock.elapsed() - readyAt > kRunCapMs;
        if (killedAt < 0 && (planReached(plan, ledger, clock.elapsed()) || overdue)) {
            hung = overdue && readyAt < 0;
            killNow();
        }
    }
    const QString status = child.wait();
    if (fix.exchange)
        takeExchangeOrders(fix.exchange->settle(kExchangeQuietMs, kExchangeSettleCapMs), ledger);
    const CrashLedger::RunCounts& counts = ledger.thisRun();
    const QString orders = fix.exchange ? QStringLiteral("%1 orders sent, %2 received").arg(counts.orders).arg(counts.received)
                                        : QStringLiteral("%1 orders").arg(counts.orders);
    outcome = QStringLiteral("%1 after %2 ms (%3, %4, %5 acks, %6 log lines)%7")
                  .arg(status).arg(killedAt < 0 ? clock.elapsed() : killedAt).arg(readyAt < 0 ? QStringLiteral("before READY") : QStringLiteral("ready at %1 ms").arg(readyAt))
                  .arg(orders).arg(counts.acknowledged).arg(counts.logLines)
                  .arg(ledger.inDoubt().isEmpty() ? QString() : QStringLiteral(", in doubt: ") + QString::fromUtf8(ledger.inDoubt()));
    // Anything but our SIGKILL (a crash, an exit) ended the run by itself.
    return killedAt >= 0 && !hung && status == QLatin1String("killed by signal 9");
}

void printFaults(const QStringList& faults)
{
    const int shown = std::min(20, int(faults.size()));
    for (int i = 0; i < shown; ++i)
        printf("FAULT: %s\n", qPrintable(faults[i]));
    if (faults.size() > shown)
        printf("... and %d more faults\n", int(faults.size()) - shown);
}

// After a kill: the file is sound and holds every log line announced so far. A kill that came
// before any run was ready may have come before the file was created.
QStringList checkAfterKill(const QString& database, bool anyReady, CrashLedger& ledger)
{
    QStringList problems;
    if (!anyReady && !QFileInfo::exists(database))
        return problems;
    const QString integrity = CrashDatabase::integrityCheck(database);
    if (integrity != QLatin1String("ok"))
        problems.append(QStringLiteral("integrity_check: %1").arg(integrity));
    QString logError;
    ledger.checkStoredLog(CrashDatabase::logLineCounts(database, &logError));
    if (!logError.isEmpty())
        problems.append(QStringLiteral("op_log unreadable: %1").arg(logError));
    return problems;
}

struct Totals
{
    int orders = 0;
    int acknowledged = 0;
    int inDoubt = 0;
    int missed = 0;
    int unknown = 0;
};

// `points` kill points on a new database, then one run that checks the last of them. False, with
// the faults printed, at the first run that found any.
bool runOneDatabase(const Options& options, const QString& database, const QString& errorLog, std::mt19937& random,
                    int firstPoint, int points, Totals& totals)
{
    // A new database starts its ids anew, and so its order references: a new exchange, a new session.
    CrashExchange exchange(options.fixsim, kClientCompId);
    FixCounterparty fix;
    if (options.overFix) {
        fix.routeFolder = database + QLatin1String("-route");
        QString whyNot;
        if (!exchange.start(database + QLatin1String("-exchange"), database + QLatin1String("-exchange-stderr.log"), &whyNot)) {
            printf("FAULT: %s\n", qPrintable(whyNot));
            return false;
        }
        fix.exchange = &exchange;
        printf("exchange velm_fixsim on 127.0.0.1:%d\n", exchange.port());
    }
    CrashLedger ledger(kAccountId, options.overFix ? CrashLedger::OrderSource::Exchange : CrashLedger::OrderSource::ChildBroker);
    bool anyReady = false;
    for (int run = 0; run <= points; ++run) {
        const quint32 runSeed = static_cast<quint32>(random());
        KillPlan plan = drawPlan(random);
        const bool finalCheck = run == points;
        if (finalCheck)
            plan.kind = KillPlan::AfterReady;
        ledger.beginRun(run, QDateTime::currentMSecsSinceEpoch() * 10000);
        QString outcome;
        const bool ranAsPlanned = runOnce(options, database, errorLog, runSeed, plan, fix, ledger, outcome);
        ledger.endRun();
        if (fix.exchange)
            ledger.verifyExchange();
        anyReady = anyReady || ledger.ready();
        const QString label = finalCheck ? QStringLiteral("check") : QStringLiteral("%1/%2").arg(firstPoint + run).arg(options.killPoints);
        printf("[%s] run seed %u, kill at %s: %s\n", qPrintable(label), runSeed, qPrintable(plan.text()), qPrintable(outcome));
        QStringList problems = checkAfterKill(database, anyReady, ledger);
        if (!ranAsPlanned)
            problems.append(QStringLiteral("the child did not run until its kill point (see %1)").arg(errorLog));
        const QStringList faults = ledger.faults() + problems;
        if (!faults.isEmpty()) {
            printFaults(faults);
            return false;
        }
        fflush(stdout);
    }
    totals.orders += ledger.totalOrders();
    totals.acknowledged += ledger.totalAcknowledged();
    totals.inDoubt += ledger.totalInDoubt();
    totals.missed += ledger.missedSeen();
    totals.unknown += ledger.unknownSeen();
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    if (!parseOptions(app.arguments(), options)) {
        fprintf(stderr, "usage: velm_crashtest [kill points] [--seed S] [--fix] [--child PATH] [--fixsim PATH]\n");
        return 2;
    }
    QTemporaryDir folder(QDir::tempPath() + QLatin1String("/velm_crashtest-XXXXXX"));
    if (!folder.isValid()) {
        fprintf(stderr, "no temporary folder: %s\n", qPrintable(folder.errorString()));
        return 2;
    }
    const QString errorLog = folder.filePath(QStringLiteral("child-stderr.log"));
    const char* mode = options.overFix ? " --fix" : "";
    printf("crash test%s: %d kill points, seed %u (replay: ./dev crashtest %d --seed %u%s), folder %s\n", mode,
           options.killPoints, options.seed, options.killPoints, options.seed, mode, qPrintable(folder.path()));
    fflush(stdout);

    std::mt19937 random(options.seed);
    Totals totals;
    QElapsedTimer clock;
    clock.start();
    // The broker keeps every order it ever took: a new database every so many kill points keeps a
    // restart's load, and so the whole run, bounded.
    const int pointsPerDatabase = options.overFix ? kFixPointsPerDatabase : kPointsPerDatabase;
    for (int first = 1, round = 1; first <= options.killPoints; first += pointsPerDatabase, ++round) {
        const int points = std::min(pointsPerDatabase, options.killPoints - first + 1);
        const QString database = folder.filePath(QStringLiteral("schedord-%1.db").arg(round));
        if (!runOneDatabase(options, database, errorLog, random, first, points, totals)) {
            folder.setAutoRemove(false);
            printf("FAILED with seed %u; databases and the children's standard error kept in %s\n", options.seed,
                   qPrintable(folder.path()));
            return 1;
        }
    }
    printf("passed: %d kill points in %.1f s; %d orders at the %s, none twice; %d operations acknowledged, %d in doubt "
           "at a kill; %d sub-tasks failed as missed, %d as unknown\n",
           options.killPoints, clock.elapsed() / 1000.0, totals.orders, options.overFix ? "exchange" : "broker",
           totals.acknowledged, totals.inDoubt, totals.missed, totals.unknown);
    return 0;
}
