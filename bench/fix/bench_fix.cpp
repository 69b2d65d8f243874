// The FIX order route on loopback, 5,000 buys each time: a bare QuickFIX initiator and acceptor
// exchanging the NewOrderSingle messages the route sends (the least the library needs on this
// machine), the route to the simulated exchange, and the scheduled-order engine firing 5,000
// sub-tasks due the same second through the route into a shown task monitor. Runs alternate
// between the three, so that all meet the same load on a shared machine; the table shows medians.

#include "BareFixExchange.h"
#include "BenchTasks.h"
#include "CountingRoute.h"
#include "ExchangeThread.h"
#include "FixBrokerRoute.h"
#include "FixLoopback.h"
#include "FixSessionSettings.h"
#include "MarketSimulator.h"
#include "SchedOrdCodes.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "TestAccounts.h"
#include "TimedApplication.h"
#include "UserData.h"
#include "VelmTest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QMetaEnum>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace VELMSCHEDORDAPI;

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kOrders = 5000;
constexpr int kRuns = 5;
constexpr int kTimeoutMs = 120000;
constexpr int kOrderVolume = 100;
constexpr double kDeepLevel = 1e9;          // every buy fills at once, none waits for a quote
constexpr double kGoalRatio = 1.5;
constexpr double kStallGoalMs = 16.0;
constexpr auto kBurstLead = std::chrono::milliseconds(1500);   // set time after the tasks are in
constexpr auto kIdleProbeEnd = std::chrono::milliseconds(20);  // before the set time
constexpr int kSettleMs = 300;              // the monitor takes the last queued signals
constexpr int kFirstAccount = 9001;
const QString kKey = QStringLiteral("600000.SH");
const QString kClient = QStringLiteral("VELMCLIENT");
const QString kExchange = QStringLiteral("VELMSIM");

double msBetween(SteadyClock::time_point from, SteadyClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One run of one row; the stages are from the row's start (first send, or the set time).
struct Run {
    bool finished = false;
    double elapsedMs = 0.0;
    QString problem;
    double sentMs = 0.0;            // the last order left the route
    double firstBookedMs = 0.0;     // the exchange's broker booked the first order
    double lastBookedMs = 0.0;      // ... and the last
    double routeFilledMs = 0.0;     // the last Filled report reached the route's handler
    double stallMs = 0.0;           // the GUI's longest stall during the burst
    double idleStallMs = 0.0;       // the same probe before it
    double subTaskSignals = 0.0;

    void stagesFrom(SteadyClock::time_point start, const CountingRoute& route, const ExchangeThread& exchange)
    {
        sentMs = msBetween(start, route.lastSent());
        routeFilledMs = msBetween(start, route.lastFilled());
        firstBookedMs = msBetween(start, exchange.firstBooked());
        lastBookedMs = msBetween(start, exchange.lastBooked());
    }
};

// The catalogue's quote of 600000.SH with every level deep enough for the burst.
Lev1MarketData deepQuote()
{
    MarketSimulator market(SecurityCatalogue::instance(), 1);
    Lev1MarketData quote;
    market.snapshot(kKey, quote);
    for (auto& level : quote.PriceLevels)
        level.second = kDeepLevel;
    return quote;
}

std::vector<BrokerOrderRequest> buysAt(double price)
{
    std::vector<BrokerOrderRequest> orders;
    orders.reserve(kOrders);
    const int64_t now = BenchTasks::toTicks(std::chrono::system_clock::now());
    for (int i = 1; i <= kOrders; ++i) {
        BrokerOrderRequest request;
        request.clientOrderRef = std::to_string(kFirstAccount) + "-1-" + std::to_string(i);
        request.mainTaskId = 1;
        request.subTaskId = i;
        request.securityKey = kKey;
        request.securityId = QStringLiteral("600000");
        request.exchangeId = Exchange::Shanghai;
        request.direction = Direction::Buy;
        request.price = price;
        request.volume = kOrderVolume;
        request.shareholderAccount = QString::fromLatin1(VelmTest::ShanghaiShareholder);
        request.transactTime = now;
        orders.push_back(request);
    }
    return orders;
}

// Runs the GUI thread's event loop until `done` holds or `timeoutMs` passes, with a 1 ms timer
// beating on it; returns the longest gap between two beats (the GUI's longest stall).
double runEventLoopUntil(const std::function<bool()>& done, int timeoutMs)
{
    double longest = 0.0;
    QEventLoop loop;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceBeat;
    QElapsedTimer total;
    QObject::connect(&beat, &QTimer::timeout, &loop, [&] {
        longest = std::max(longest, static_cast<double>(sinceBeat.nsecsElapsed()) / 1e6);
        sinceBeat.restart();
        if (done() || total.hasExpired(timeoutMs))
            loop.quit();
    });
    sinceBeat.start();
    total.start();
    beat.start(1);
    loop.exec();
    return longest;
}

// The exchange on its thread and the route, logged on; `problem` says why not.
struct Session {
    Session(const QString& folder, const Lev1MarketData& quote)
        : port(VelmTest::freeLoopbackPort())
        , fixRoute(VelmTest::loopbackSession(kClient, kExchange, port, QDir(folder).filePath(QStringLiteral("route"))))
        , route(fixRoute)
    {
        const FixSessionSettings exchangeEnd =
            VelmTest::loopbackSession(kExchange, kClient, port, QDir(folder).filePath(QStringLiteral("exchange")));
        if (!exchange.start(exchangeEnd, kKey, quote, &problem) || !fixRoute.start(&problem))
            return;
        runEventLoopUntil([this] { return fixRoute.isConnected(); }, kTimeoutMs);
        if (!fixRoute.isConnected())
            problem = QStringLiteral("no logon");
    }

    // The route logs out while the exchange still answers.
    ~Session()
    {
        fixRoute.stop();
        exchange.stop();
    }

    int port;
    QString problem;
    ExchangeThread exchange;
    FixBrokerRoute fixRoute;
    CountingRoute route;
};

Run bareExchange(const std::vector<BrokerOrderRequest>& orders, const QString& folder, BareFixExchange::Answer answer)
{
    BareFixExchange bare(folder, VelmTest::freeLoopbackPort(), answer);
    const BareFixExchange::Result result = bare.exchange(orders, kTimeoutMs);
    Run run;
    run.finished = result.finished;
    run.elapsedMs = result.elapsedMs;
    run.problem = result.problem;
    return run;
}

// The orders handed to the route's sendOrder in a loop on this thread, as the bare exchange
// sends them.
Run routeToSimExchange(const std::vector<BrokerOrderRequest>& orders, const QString& folder, const Lev1MarketData& quote)
{
    Run run;
    Session session(folder, quote);
    if (!session.problem.isEmpty()) {
        run.problem = session.problem;
        return run;
    }
    const SteadyClock::time_point firstSend = SteadyClock::now();
    for (const BrokerOrderRequest& request : orders) {
        if (!session.route.sendOrder(request, &run.problem))
            return run;
    }
    run.finished = session.route.waitForFilled(orders.size(), firstSend + std::chrono::milliseconds(kTimeoutMs));
    session.fixRoute.stop();
    session.exchange.stop();
    run.problem = run.finished ? QString() : session.route.problem();
    run.elapsedMs = msBetween(firstSend, session.route.lastFilled());
    run.stagesFrom(firstSend, session.route, session.exchange);
    return run;
}

bool allFilled(ServiceScheduledOrder& service)
{
    const std::vector<SchedOrdSubTaskField> subs = service.getOneMainTask(1).VecSubTask;
    return static_cast<int>(subs.size()) == kOrders
        && std::all_of(subs.begin(), subs.end(),
                       [](const SchedOrdSubTaskField& sub) { return sub.TriggerStatus == SubTriggerStatus::Filled; });
}

// Main task 1 of kOrders buys at ask 1, all due at `due`, added and started.
void addBurst(ServiceScheduledOrder& service, int64_t due)
{
    std::vector<SchedOrdSubTaskField> subs;
    subs.reserve(kOrders);
    for (int i = 1; i <= kOrders; ++i)
        subs.push_back(BenchTasks::makeSub(1, i, due));
    service.AddMainTasks({BenchTasks::makeTask(1, std::move(subs))});
    service.StartMainTasks({1});
    service.waitForEngineIdle();
}

// The last sub-task signal, noted on the engine's thread.
struct SignalClock {
    std::atomic<long long> lastNs{0};
    std::atomic<int> count{0};

    SteadyClock::time_point last() const { return SteadyClock::time_point(std::chrono::nanoseconds(lastNs.load())); }
};

// The service of a demo-like account sends through the route, its task monitor shown. The
// figure is the set time to the last sub-task signal, once the service holds all 5,000 filled.
Run engineOverRoute(TimedApplication& app, const QString& folder, const Lev1MarketData& quote, int accountId)
{
    Run run;
    Session session(folder, quote);
    if (!session.problem.isEmpty()) {
        run.problem = session.problem;
        return run;
    }
    UserData* data = VelmTest::addStockAccount(accountId);
    data->broker().setAvailableFunds(1e12);
    data->market().setQuote(kKey, quote);
    data->setOrderRoute(&session.route);
    data->initScheduledOrderApi();
    ServiceScheduledOrder& service = *data->getServiceScheduledOrder();
    SteadyClock::time_point setTime;
    {
        Velm_Space::SchedOrd_TaskMonitorWid monitor(accountId, &service, nullptr);
        monitor.resize(913, 546);
        monitor.show();
        SignalClock subTaskSignals;
        QObject::connect(&service, &ServiceScheduledOrder::signalRtnSubTaskChanged, &service,
                         [&subTaskSignals](int, std::unordered_set<int>) {
                             subTaskSignals.lastNs = SteadyClock::now().time_since_epoch().count();
                             ++subTaskSignals.count;
                         }, Qt::DirectConnection);
        // The same moment on both clocks: the engine's set time is on the wall clock.
        setTime = SteadyClock::now() + kBurstLead;
        addBurst(service, BenchTasks::toTicks(std::chrono::system_clock::now() + kBurstLead));
        subTaskSignals.count = 0;
        run.idleStallMs = runEventLoopUntil([setTime] { return SteadyClock::now() >= setTime - kIdleProbeEnd; }, kTimeoutMs);

        // Once the route has every fill, the engine's next slices apply them.
        std::atomic<bool> settled{false};
        std::thread watcher([&] {
            const SteadyClock::time_point deadline = setTime + std::chrono::milliseconds(kTimeoutMs);
            if (session.route.waitForFilled(kOrders, deadline)) {
                service.waitForEngineIdle();
                while (!(run.finished = allFilled(service)) && SteadyClock::now() < deadline)
                    service.waitForEngineIdle();
            }
            settled = true;
        });
        QElapsedTimer settling;
        app.record(true);
        run.stallMs = runEventLoopUntil([&] {
            if (!settling.isValid() && settled)
                settling.start();
            return settling.isValid() && settling.elapsed() >= kSettleMs;
        }, kTimeoutMs);
        app.record(false);
        watcher.join();
        run.elapsedMs = msBetween(setTime, subTaskSignals.last());
        run.subTaskSignals = subTaskSignals.count;
    }
    data->closeScheduledOrderApi();
    VelmTest::removeAllAccounts();
    session.fixRoute.stop();
    session.exchange.stop();
    if (!run.finished)
        run.problem = session.route.problem().isEmpty()
            ? QStringLiteral("%1 of %2 filled at the route").arg(session.route.filled()).arg(kOrders)
            : session.route.problem();
    run.stagesFrom(setTime, session.route, session.exchange);
    return run;
}

struct Summary {
    double medianMs = 0.0;
    double minMs = 0.0;
    double maxMs = 0.0;
    int finished = 0;
    QString problem;
};

// The finished runs' `figure`.
Summary summarise(const std::vector<Run>& runs, double Run::*figure = &Run::elapsedMs)
{
    Summary summary;
    std::vector<double> values;
    for (const Run& run : runs) {
        if (run.finished)
            values.push_back(run.*figure);
        else if (summary.problem.isEmpty())
            summary.problem = run.problem;
    }
    summary.finished = static_cast<int>(values.size());
    if (values.empty())
        return summary;
    summary.medianMs = BenchTasks::percentile(values, 0.5);
    summary.minMs = *std::min_element(values.begin(), values.end());
    summary.maxMs = *std::max_element(values.begin(), values.end());
    return summary;
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 1);
}

QString figureOf(const Summary& summary)
{
    return summary.finished == 0 ? QStringLiteral("failed") : ms(summary.medianMs);
}

QString spreadOf(const Summary& summary)
{
    QString text = QStringLiteral("%1..%2, %3/%4 runs").arg(ms(summary.minMs), ms(summary.maxMs)).arg(summary.finished).arg(kRuns);
    if (!summary.problem.isEmpty())
        text += QStringLiteral(" (") + summary.problem + QLatin1Char(')');
    return text;
}

void row(const char* name, const QString& figure, const QString& baseline, const QString& goal, const QString& spread)
{
    std::printf("%-44s %-11s %-38s %-27s %s\n", name, qPrintable(figure), qPrintable(baseline), qPrintable(goal),
                qPrintable(spread));
}

void stageRows(const std::vector<Run>& runs)
{
    const auto stage = [&runs](const char* name, double Run::*figure) {
        const Summary summary = summarise(runs, figure);
        row(name, figureOf(summary), QStringLiteral("-"), QStringLiteral("-"), spreadOf(summary));
    };
    stage("  the last order left the route", &Run::sentMs);
    stage("  the exchange booked the first order", &Run::firstBookedMs);
    stage("  the exchange booked the last order", &Run::lastBookedMs);
    stage("  the last Filled report reached the route", &Run::routeFilledMs);
}

} // namespace

int main(int argc, char** argv)
{
    TimedApplication app(argc, argv);
    VelmTest::setUpWindowManager();
    // The build's disk, as the route's own data folder would be, not a RAM-backed /tmp.
    QTemporaryDir scratch(QCoreApplication::applicationDirPath() + QStringLiteral("/../fix-bench-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "cannot create a folder beside %s\n", qPrintable(QCoreApplication::applicationDirPath()));
        return 1;
    }
    const Lev1MarketData quote = deepQuote();
    const std::vector<BrokerOrderRequest> orders = buysAt(quote.askPrice(1));
    std::vector<Run> bareRuns;
    std::vector<Run> acknowledgedRuns;
    std::vector<Run> routeRuns;
    std::vector<Run> engineRuns;
    for (int i = 0; i < kRuns; ++i) {
        bareRuns.push_back(bareExchange(orders, scratch.filePath(QStringLiteral("bare-%1").arg(i)),
                                        BareFixExchange::Answer::Filled));
        acknowledgedRuns.push_back(bareExchange(orders, scratch.filePath(QStringLiteral("acknowledged-%1").arg(i)),
                                                BareFixExchange::Answer::NewThenFilled));
        routeRuns.push_back(routeToSimExchange(orders, scratch.filePath(QStringLiteral("route-%1").arg(i)), quote));
        engineRuns.push_back(engineOverRoute(app, scratch.filePath(QStringLiteral("engine-%1").arg(i)), quote, kFirstAccount + i));
    }
    const Summary bare = summarise(bareRuns);
    const Summary acknowledged = summarise(acknowledgedRuns);
    const Summary route = summarise(routeRuns);
    const Summary engine = summarise(engineRuns);
    const Summary stall = summarise(engineRuns, &Run::stallMs);
    const Summary idleStall = summarise(engineRuns, &Run::idleStallMs);
    const Summary signalCount = summarise(engineRuns, &Run::subTaskSignals);

    std::printf("FIX 4.4 on loopback, %d buys of 600000.SH at ask 1, each filled at once. Every end keeps QuickFIX's\n"
                "file store and file log, as the route does; the simulated exchange runs on a thread of its own.\n"
                "Median of %d runs.\n",
                kOrders, kRuns);
    row("row", QStringLiteral("figure"), QStringLiteral("baseline"), QStringLiteral("goal"), QStringLiteral("spread"));
    row("1 bare QuickFIX: first send -> last report", figureOf(bare), QStringLiteral("(one report an order)"),
        QStringLiteral("-"), spreadOf(bare));
    // The simulated exchange answers each order New, then Filled: the bare pair exchanging those
    // same messages is the library's limit for rows 2 and 3.
    row("1b the same messages: New, then Filled", figureOf(acknowledged), QStringLiteral("(the limit)"),
        QStringLiteral("-"), spreadOf(acknowledged));
    const QString baseline = ms(acknowledged.medianMs) + QStringLiteral(" row 1b");
    const QString goal = QStringLiteral("<= %1 (1.5x row 1b)").arg(ms(acknowledged.medianMs * kGoalRatio));
    row("2 route -> simulated exchange: same", figureOf(route), baseline, goal, spreadOf(route));
    stageRows(routeRuns);
    row("3 engine: set time -> last fill applied", figureOf(engine), baseline, goal, spreadOf(engine));
    stageRows(engineRuns);
    row("  sub-task signals from the set time", QString::number(signalCount.medianMs, 'f', 0), QStringLiteral("-"),
        QStringLiteral("-"), QString());
    row("3 GUI stall, shown task monitor", figureOf(stall), ms(idleStall.medianMs) + QStringLiteral(" same probe before"),
        QStringLiteral("< %1").arg(ms(kStallGoalMs)), spreadOf(stall));
    const QMetaEnum eventTypes = QMetaEnum::fromType<QEvent::Type>();
    const std::vector<TimedApplication::Slowest> slowest = app.slowest();
    for (size_t i = 0; i < std::min<size_t>(3, slowest.size()); ++i) {
        row(i == 0 ? "  slowest single handler of all runs" : "", ms(slowest[i].ms),
            slowest[i].receiver + QLatin1Char(' ') + QString::fromLatin1(eventTypes.valueToKey(slowest[i].type)),
            QStringLiteral("%1 of it on the CPU").arg(ms(slowest[i].cpuMs)),
            QStringLiteral("%1 in all (%2 on the CPU), %3 events")
                .arg(ms(slowest[i].totalMs), ms(slowest[i].totalCpuMs))
                .arg(slowest[i].deliveries));
    }
    if (bare.finished > 0 && acknowledged.finished > 0 && route.finished > 0 && engine.finished > 0)
        std::printf("row 2 / row 1b: %.2fx, row 3 / row 1b: %.2fx (against row 1: %.2fx, %.2fx)\n",
                    route.medianMs / acknowledged.medianMs, engine.medianMs / acknowledged.medianMs,
                    route.medianMs / bare.medianMs, engine.medianMs / bare.medianMs);
    return 0;
}
