// The scheduled-order engine on the real wall clock: how late single orders go out compared
// with what the OS gives a bare sleep, how fast a burst of 5,000 goes out and how many signals
// it costs, how long a pause waits for a burst of 100,000, how long the GUI thread stalls while
// the module's monitor and the host's broker windows take a burst of 5,000, and what 100,000
// stored sub-tasks weigh next to the bare records.

#include "BenchTasks.h"
#include "ProcessMemory.h"
#include "MarketSimulator.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "TestAccounts.h"
#include "TimedApplication.h"
#include "UserData.h"
#include "Util.h"
#include "VelmTest.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QMetaEnum>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace VELMSCHEDORDAPI;
using Clock = std::chrono::system_clock;

using namespace BenchTasks;

namespace {

constexpr int kLatencySamples = 100;
constexpr auto kLatencySpacing = std::chrono::milliseconds(100);
constexpr int kBurstSize = 5000;
constexpr int kStoredSubTasks = 100000;
constexpr int kSubTasksPerMainTask = 5000;
constexpr int kGuiAccount = 9001;
const QString kKey = QStringLiteral("600000.SH");

std::vector<int> idsUpTo(int count)
{
    std::vector<int> ids;
    for (int id = 1; id <= count; ++id)
        ids.push_back(id);
    return ids;
}

// Main tasks 1.. of `perTask` buys each, all due at `due`, added and started.
void addBurst(ServiceScheduledOrder& service, int mainTasks, int perTask, int64_t due)
{
    for (int m = 0; m < mainTasks; ++m) {
        std::vector<SchedOrdSubTaskField> subs;
        subs.reserve(static_cast<size_t>(perTask));
        for (int i = 0; i < perTask; ++i)
            subs.push_back(makeSub(m + 1, m * perTask + i + 1, due));
        service.AddMainTasks({makeTask(m + 1, std::move(subs))});
    }
    service.StartMainTasks(idsUpTo(mainTasks));
    service.waitForEngineIdle();
}

// One account on the wall clock, with a hook on the broker that notes when it announces new
// orders (once per engine slice: for single orders, the moment each is known accepted).
struct Account
{
    Account()
        : market(SecurityCatalogue::instance(), 1)
        , broker(1)
        , service(1, 1, SecurityCatalogue::instance(), market, broker)
    {
        broker.setAvailableFunds(1e12);
        accepted.reserve(kBurstSize + kLatencySamples);
        QObject::connect(&broker, &SimBroker::signalOrdersChanged, &broker, [this] {
            const Clock::time_point now = Clock::now();
            std::lock_guard<std::mutex> guard(mutex);
            accepted.push_back(toTicks(now));
        }, Qt::DirectConnection);
    }
    void waitForOrders(size_t count)
    {
        while (broker.orders().size() < count)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        service.waitForEngineIdle();
    }
    std::vector<int64_t> acceptTimes()
    {
        std::lock_guard<std::mutex> guard(mutex);
        return accepted;
    }

    MarketSimulator market;
    SimBroker broker;
    ServiceScheduledOrder service;
    std::mutex mutex;
    std::vector<int64_t> accepted;
};

struct LatencyResult {
    std::vector<double> engine;
    std::vector<double> bare;
};

// The engine's sub-tasks and a bare sleep_until on its own thread, due alternately half a
// spacing apart, so that both meet the same load on a noisy machine.
LatencyResult latencies()
{
    LatencyResult result;
    Account account;
    const Clock::time_point first = Clock::now() + std::chrono::milliseconds(300);
    std::vector<SchedOrdSubTaskField> subs;
    for (int i = 0; i < kLatencySamples; ++i)
        subs.push_back(makeSub(1, i + 1, toTicks(first + i * kLatencySpacing)));
    account.service.AddMainTasks({makeTask(1, subs)});
    account.service.StartMainTasks({1});

    std::thread sleeper([&result, first] {
        for (int i = 0; i < kLatencySamples; ++i) {
            const Clock::time_point due = first + i * kLatencySpacing + kLatencySpacing / 2;
            std::this_thread::sleep_until(due);
            result.bare.push_back(ticksToMs(toTicks(Clock::now()) - toTicks(due)));
        }
    });
    account.waitForOrders(kLatencySamples);
    sleeper.join();

    const std::vector<int64_t> accepted = account.acceptTimes();
    for (size_t i = 0; i < accepted.size(); ++i)
        result.engine.push_back(ticksToMs(accepted[i] - subs[i].StartTime));
    return result;
}

struct BurstResult {
    double lastOrderMs = 0.0;
    int subTaskSignals = 0;
    int mainTaskSignals = 0;
    double directMs = 0.0;
};

BurstResult burst()
{
    BurstResult result;
    Account account;
    std::atomic<int> subSignals{0};
    std::atomic<int> mainSignals{0};
    const int64_t due = toTicks(Clock::now()) + 500 * 10000;
    std::vector<SchedOrdSubTaskField> subs;
    for (int i = 0; i < kBurstSize; ++i)
        subs.push_back(makeSub(1, i + 1, due));
    account.service.AddMainTasks({makeTask(1, std::move(subs))});
    account.service.StartMainTasks({1});
    account.service.waitForEngineIdle();
    QObject::connect(&account.service, &ServiceScheduledOrder::signalRtnSubTaskChanged, &account.service,
                     [&subSignals](int, std::unordered_set<int>) { ++subSignals; }, Qt::DirectConnection);
    QObject::connect(&account.service, &ServiceScheduledOrder::signalRtnMainTaskChanged, &account.service,
                     [&mainSignals](int) { ++mainSignals; }, Qt::DirectConnection);
    account.waitForOrders(kBurstSize);
    result.lastOrderMs = ticksToMs(account.acceptTimes().back() - due);
    result.subTaskSignals = subSignals.load();
    result.mainTaskSignals = mainSignals.load();

    // The same orders handed straight to a broker: what the burst cannot go below.
    SimBroker direct(1);
    direct.setAvailableFunds(1e12);
    Lev1MarketData quote;
    account.market.snapshot(kKey, quote);
    SimOrderRequest request;
    request.SecurityKey = kKey;
    request.SecurityID = QStringLiteral("600000");
    request.ExchangeID = Exchange::Shanghai;
    request.Direction = Direction::Buy;
    request.Price = quote.askPrice(1);
    request.Volume = 100;
    request.MinVolume = 100;
    request.VolumeStep = 100;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBurstSize; ++i)
        direct.placeOrder(request, quote, due);
    direct.announceChanges(direct.takeChanges());
    result.directMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return result;
}

struct PauseResult {
    double pauseMs = 0.0;
    double idlePauseMs = 0.0;
    size_t firedBefore = 0;
    size_t firedAfter = 0;
};

size_t ordersOf(const SimBroker& broker, int mainTaskId)
{
    const std::vector<SimOrder> orders = broker.orders();
    return static_cast<size_t>(std::count_if(orders.begin(), orders.end(),
                                              [mainTaskId](const SimOrder& o) { return o.MainTaskID == mainTaskId; }));
}

// A burst of 100,000 (20 main tasks of 5,000 due together): PauseMainTasks of the first
// `pausedTasks` from this thread once the broker has announced the first orders (task 1 fires
// first). The engine waits in that announcement until this thread is about to pause, so that
// the figure is the pause's wait for the burst, not this thread's wake-up on a busy machine.
// The same pause on a still engine is the baseline: what the pause itself costs.
PauseResult pauseDuringBurst(int pausedTasks)
{
    PauseResult result;
    const int mainTasks = kStoredSubTasks / kSubTasksPerMainTask;
    {
        Account still;
        addBurst(still.service, mainTasks, kSubTasksPerMainTask, toTicks(Clock::now()) + 3600LL * SchedOrdTaskTime::TicksPerSecond);
        QElapsedTimer timer;
        timer.start();
        still.service.PauseMainTasks(idsUpTo(pausedTasks));
        result.idlePauseMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    Account account;
    std::mutex mutex;
    std::condition_variable changed;
    bool announced = false;
    bool pausing = false;
    QObject::connect(&account.broker, &SimBroker::signalOrdersChanged, &account.broker, [&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (std::exchange(announced, true))
            return;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(1), [&] { return pausing; });
    }, Qt::DirectConnection);
    addBurst(account.service, mainTasks, kSubTasksPerMainTask, toTicks(Clock::now()) + 500 * 10000);
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return announced; });
        pausing = true;
        changed.notify_all();
    }
    QElapsedTimer timer;
    timer.start();
    account.service.PauseMainTasks(idsUpTo(pausedTasks));
    result.pauseMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    for (int id = 1; id <= pausedTasks; ++id)
        result.firedBefore += ordersOf(account.broker, id);
    account.service.waitForEngineIdle();
    for (int id = 1; id <= pausedTasks; ++id)
        result.firedAfter += ordersOf(account.broker, id);
    result.firedAfter -= result.firedBefore;
    return result;
}

// The longest gap between the beats of a 1 ms timer on the GUI thread while `until` is false
// (checked on every beat).
double longestStall(const std::function<bool()>& until)
{
    double longest = 0.0;
    QEventLoop loop;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceBeat;
    QObject::connect(&probe, &QTimer::timeout, &loop, [&] {
        longest = std::max(longest, static_cast<double>(sinceBeat.nsecsElapsed()) / 1e6);
        sinceBeat.restart();
        if (until())
            loop.quit();
    });
    sinceBeat.start();
    probe.start(1);
    loop.exec();
    return longest;
}

void runEventLoopFor(int ms)
{
    QElapsedTimer timer;
    timer.start();
    longestStall([&timer, ms] { return timer.elapsed() >= ms; });
}

struct StallResult {
    double burstMs = 0.0;
    double idleMs = 0.0;
    std::vector<TimedApplication::Slowest> slowest;
};

// A burst of 5,000 on the wall clock into a shown task monitor (main-task and sub-task tables,
// the host's order, trade and position windows and the operation log), on a demo-like account.
StallResult guiStall(TimedApplication& app)
{
    StallResult result;
    VelmTest::setUpWindowManager();
    UserData* data = VelmTest::addStockAccount(kGuiAccount);
    data->broker().setAvailableFunds(1e12);
    data->initScheduledOrderApi();
    ServiceScheduledOrder& service = *data->getServiceScheduledOrder();
    Velm_Space::SchedOrd_TaskMonitorWid monitor(kGuiAccount, &service, nullptr);
    monitor.resize(913, 546);
    monitor.show();
    // Far enough ahead for the monitor to settle first, even on a busy machine.
    const int64_t due = toTicks(Clock::now()) + 3000 * 10000;
    addBurst(service, 1, kBurstSize, due);
    runEventLoopFor(300);
    const int64_t recordFrom = due - 20 * 10000;
    result.idleMs = longestStall([recordFrom] { return toTicks(Clock::now()) >= recordFrom; });

    app.record(true);
    QElapsedTimer settle;
    result.burstMs = longestStall([&] {
        if (!settle.isValid() && !service.isExistsRunningTask())
            settle.start();
        // The last signals may still be queued when the engine is done.
        return settle.isValid() && settle.elapsed() >= 500;
    });
    app.record(false);
    result.slowest = app.slowest();
    return result;
}

struct MemoryResult {
    long serviceKb = 0;
    long peakKb = 0;
    long bareKb = 0;
    double bareComputedMb = 0.0;
};

MemoryResult memory()
{
    MemoryResult result;
    MarketSimulator market(SecurityCatalogue::instance(), 1);
    SimBroker broker(1);
    const long before = ProcessMemory::statusKb("VmRSS");
    {
        ServiceScheduledOrder service(1, 1, SecurityCatalogue::instance(), market, broker);
        // Due in an hour: everything sits in the due-time index too.
        const int64_t due = toTicks(Clock::now()) + 3600LL * SchedOrdTaskTime::TicksPerSecond;
        std::vector<int> ids;
        for (int m = 0; m < kStoredSubTasks / kSubTasksPerMainTask; ++m) {
            std::vector<SchedOrdSubTaskField> subs;
            subs.reserve(kSubTasksPerMainTask);
            for (int i = 0; i < kSubTasksPerMainTask; ++i)
                subs.push_back(makeSub(m + 1, m * kSubTasksPerMainTask + i + 1, due + i));
            service.AddMainTasks({makeTask(m + 1, std::move(subs))});
            ids.push_back(m + 1);
        }
        service.StartMainTasks(ids);
        service.waitForEngineIdle();
        result.serviceKb = ProcessMemory::statusKb("VmRSS") - before;
        result.peakKb = ProcessMemory::statusKb("VmHWM");
    }
    // Hands the service's freed heap back, or the records below would fit into it unseen.
    malloc_trim(0);
    const long beforeBare = ProcessMemory::statusKb("VmRSS");
    std::vector<SchedOrdSubTaskField> bare(kStoredSubTasks, makeSub(1, 1, 0));
    result.bareKb = ProcessMemory::statusKb("VmRSS") - beforeBare;
    result.bareComputedMb = static_cast<double>(sizeof(SchedOrdSubTaskField)) * kStoredSubTasks / (1024.0 * 1024.0);
    return result;
}

void row(const char* name, const QString& figure, const QString& baseline, const QString& goal)
{
    std::printf("%-44s %-12s %-46s %s\n", name, qPrintable(figure), qPrintable(baseline), qPrintable(goal));
}

} // namespace

int main(int argc, char** argv)
{
    TimedApplication app(argc, argv);
    // Memory first, while the heap is still small and nothing else has raised the peak.
    const MemoryResult mem = memory();
    const LatencyResult latency = latencies();
    const std::vector<double>& engine = latency.engine;
    const std::vector<double>& bare = latency.bare;
    const BurstResult shot = burst();
    const PauseResult pauseOne = pauseDuringBurst(1);
    const PauseResult pause = pauseDuringBurst(kStoredSubTasks / kSubTasksPerMainTask);
    const StallResult stall = guiStall(app);

    const auto ms = [](double value) { return QStringLiteral("%1 ms").arg(value, 0, 'f', 3); };
    const auto mb = [](double kb) { return QStringLiteral("%1 MB").arg(kb / 1024.0, 0, 'f', 1); };
    std::printf("Scheduled-order engine on the wall clock. Latency: %d single sub-tasks due %lld ms apart (not 1 s, to\n"
                "keep the run short), interleaved with as many bare sleep_until wake-ups on another thread.\n",
                kLatencySamples, static_cast<long long>(kLatencySpacing.count()));
    row("row", QStringLiteral("figure"), QStringLiteral("baseline"), QStringLiteral("goal"));
    row("trigger latency p50 (set time -> accepted)", ms(percentile(engine, 0.50)),
        ms(percentile(bare, 0.50)) + QStringLiteral(" bare sleep_until"), QStringLiteral("-"));
    row("trigger latency p99 (set time -> accepted)", ms(percentile(engine, 0.99)),
        ms(percentile(bare, 0.99)) + QStringLiteral(" bare sleep_until"),
        QStringLiteral("<= %1 (baseline + 2 ms)").arg(ms(percentile(bare, 0.99) + 2.0)));
    row("burst of 5,000: set time -> last accepted", ms(shot.lastOrderMs),
        ms(shot.directMs) + QStringLiteral(" 5,000 direct placeOrder"), QStringLiteral("< 50 ms"));
    row("burst of 5,000: signalRtnSubTaskChanged", QString::number(shot.subTaskSignals),
        QStringLiteral("5000 (one per sub-task)"), QStringLiteral("a handful"));
    row("burst of 5,000: signalRtnMainTaskChanged", QString::number(shot.mainTaskSignals),
        QStringLiteral("5000 (one per sub-task)"), QStringLiteral("a handful"));
    row("burst of 100,000: pause task 1, returns in", ms(pauseOne.pauseMs),
        ms(pauseOne.idlePauseMs) + QStringLiteral(" the same pause, nothing firing"), QStringLiteral("< 5 ms"));
    row("burst of 100,000: pause task 1, fired after", QString::number(pauseOne.firedAfter),
        QString::number(pauseOne.firedBefore) + QStringLiteral(" of it fired before"), QStringLiteral("0"));
    row("burst of 100,000: pause all 20, returns in", ms(pause.pauseMs),
        ms(pause.idlePauseMs) + QStringLiteral(" the same pause, nothing firing"), QStringLiteral("< 5 ms"));
    row("burst of 100,000: pause all 20, fired after", QString::number(pause.firedAfter),
        QString::number(pause.firedBefore) + QStringLiteral(" fired before"), QStringLiteral("0"));
    row("burst of 5,000 into a shown monitor: GUI stall", ms(stall.burstMs),
        ms(stall.idleMs) + QStringLiteral(" the same probe before the burst"), QStringLiteral("< 16 ms"));
    const QMetaEnum eventTypes = QMetaEnum::fromType<QEvent::Type>();
    for (size_t i = 0; i < std::min<size_t>(4, stall.slowest.size()); ++i) {
        const TimedApplication::Slowest& slowest = stall.slowest[i];
        row(i == 0 ? "  slowest single handler, by receiver" : "", ms(slowest.ms),
            slowest.receiver + QLatin1Char(' ') + QString::fromLatin1(eventTypes.valueToKey(slowest.type)),
            QStringLiteral("%1 in all, %2 events").arg(ms(slowest.totalMs)).arg(slowest.deliveries));
    }
    row("memory: service holding 100,000 sub-tasks", mb(mem.serviceKb),
        mb(mem.bareKb) + QStringLiteral(" bare std::vector (") + QString::number(mem.bareComputedMb, 'f', 1)
            + QStringLiteral(" MB sizeof)"),
        QStringLiteral("<= 2x baseline"));
    row("memory: peak VmHWM while holding them", mb(mem.peakKb), QStringLiteral("-"), QStringLiteral("-"));
    return 0;
}
