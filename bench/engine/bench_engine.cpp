// The scheduled-order engine on the real wall clock: how late single orders go out compared
// with what the OS gives a bare sleep, how fast a burst of 5,000 goes out and how many signals
// it costs, and what 100,000 stored sub-tasks weigh next to the bare records.

#include "ProcessMemory.h"
#include "MarketSimulator.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "Util.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace VELMSCHEDORDAPI;
using Clock = std::chrono::system_clock;

namespace {

constexpr int kLatencySamples = 100;
constexpr auto kLatencySpacing = std::chrono::milliseconds(100);
constexpr int kBurstSize = 5000;
constexpr int kStoredSubTasks = 100000;
constexpr int kSubTasksPerMainTask = 5000;
const QString kKey = QStringLiteral("600000.SH");

int64_t toTicks(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count() / 100;
}

double ticksToMs(int64_t ticks)
{
    return static_cast<double>(ticks) / 10000.0;
}

double percentile(std::vector<double> values, double share)
{
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(share * static_cast<double>(values.size()) + 0.999999);
    return values[std::min(values.size() - 1, rank > 0 ? rank - 1 : 0)];
}

SchedOrdSubTaskField makeSub(int mainId, int subId, int64_t start)
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = mainId;
    sub.SubTaskID = subId;
    sub.SecurityKey = kKey.toStdString();
    sub.SecurityID = "600000";
    sub.ExchangeID = Exchange::Shanghai;
    sub.Direction = Direction::Buy;
    sub.TargetVolume = 100;
    sub.SubTaskStatus = SubTaskStatus::NotStarted;
    sub.TriggerStatus = SubTriggerStatus::NotTriggered;
    sub.PriceType = 1;
    sub.PriceFloatType = PriceFloatType::Tick;
    sub.StartTime = start;
    sub.EndTime = start;
    return sub;
}

SchedOrdTaskField makeTask(int id, std::vector<SchedOrdSubTaskField> subs)
{
    SchedOrdTaskField task;
    task.MainTaskID = id;
    task.MainTaskName = Util::QStr2str(QStringLiteral("600000_浦发银行"));
    task.MainTaskStatus = MainTaskStatus::NotStarted;
    task.TriggerStatus = MainTriggerStatus::None;
    task.StartTime = subs.front().StartTime;
    task.EndTime = subs.back().EndTime;
    task.IsSameStartTime = task.StartTime == task.EndTime;
    task.IsSameEndTime = task.IsSameStartTime;
    task.Direction = Direction::Buy;
    task.VecSubTask = std::move(subs);
    return task;
}

// One account on the wall clock, with a hook on the broker that notes when each order is accepted.
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
    result.directMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
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
    QCoreApplication app(argc, argv);
    // Memory first, while the heap is still small and nothing else has raised the peak.
    const MemoryResult mem = memory();
    const LatencyResult latency = latencies();
    const std::vector<double>& engine = latency.engine;
    const std::vector<double>& bare = latency.bare;
    const BurstResult shot = burst();

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
    row("memory: service holding 100,000 sub-tasks", mb(mem.serviceKb),
        mb(mem.bareKb) + QStringLiteral(" bare std::vector (") + QString::number(mem.bareComputedMb, 'f', 1)
            + QStringLiteral(" MB sizeof)"),
        QStringLiteral("<= 2x baseline"));
    row("memory: peak VmHWM while holding them", mb(mem.peakKb), QStringLiteral("-"), QStringLiteral("-"));
    return 0;
}
