// The scheduled-order service with its SQLite storage open, the database in a temporary folder
// under the build folder (on the disk the build, and here the client's data, live on): the disk's
// own fsync time, the single trigger latency and a burst of 5,000 on the wall clock, a
// 100,000-line import through the real 导入 button, the start-up of a task monitor over 100,000
// stored sub-tasks and the size of the file that holds them. Each figure stands beside the same
// work without storage, measured in the same run.

#include "BenchTasks.h"
#include "MarketSimulator.h"
#include "SchedOrdDatabase.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "TaskBuilder.h"
#include "TaskFileBench.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "Util.h"
#include "VelmTest.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTableView>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace VELMSCHEDORDAPI;
using Clock = std::chrono::system_clock;

using namespace BenchTasks;

namespace {

constexpr int kFsyncSamples = 300;
constexpr int kPageBytes = 4096;
constexpr int kMarkSamples = 300;
constexpr int kMarkAccount = 7200;
constexpr int kLatencySamples = 200;
constexpr auto kLatencySpacing = std::chrono::milliseconds(60);
constexpr int kBurstSize = 5000;
constexpr int kBurstRuns = 3;
constexpr int kImportLines = 100000;
constexpr int kImportRuns = 2;
constexpr int kStoredMainTasks = 20;
constexpr int kSubTasksPerMainTask = 5000;
constexpr int kStoredSubTasks = kStoredMainTasks * kSubTasksPerMainTask;
constexpr int kStartupRuns = 3;
constexpr int kShownTimeoutMs = 60000;
constexpr int kImportAccount = 7201;
constexpr int kImportStoredAccount = 7202;
constexpr int kStartupAccount = 7203;
constexpr double kGoalSlackMs = 2.0;
constexpr double kGoalBurstMs = 50.0;
constexpr double kGoalImportMs = 1000.0;
constexpr double kGoalStartupMs = 1000.0;
const QString kKey = QStringLiteral("600000.SH");

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "bench_storage: %s\n", qPrintable(message));
    std::exit(1);
}

double median(const std::vector<double>& values)
{
    return percentile(values, 0.5);
}

template <typename Work>
double elapsedMs(Work work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// The process's CPU time: with the other threads idle, what the work itself costs, whatever the
// machine's load adds to its wall-clock time.
double cpuMs()
{
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

struct Span {
    double wallMs = 0.0;
    double cpuMs = 0.0;
};

template <typename Work>
Span measured(Work work)
{
    const double cpuBefore = cpuMs();
    Span span;
    span.wallMs = elapsedMs(work);
    span.cpuMs = cpuMs() - cpuBefore;
    return span;
}

void openStorageOrExit(ServiceScheduledOrder& service, const QString& path)
{
    QString message;
    if (!service.openStorage(path, &message))
        fail(QStringLiteral("cannot open %1: %2").arg(path, message));
}

// ---- the disk ----------------------------------------------------------------------------------

struct DiskResult {
    std::vector<double> fsync;
    std::vector<double> fdatasync;      // what SQLite calls to commit on Linux
    std::vector<double> appended;       // fdatasync after a page added at the end
};

int openScratch(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        fail(QStringLiteral("cannot create %1").arg(path));
    return fd;
}

const std::vector<char>& page()
{
    static const std::vector<char> bytes(kPageBytes, 'x');
    return bytes;
}

// One 4 KiB page written over the same place and synced, as a commit of one WAL frame into room
// the file already has does.
double overwriteAndSync(int fd, int (*sync)(int))
{
    return elapsedMs([&] {
        if (::pwrite(fd, page().data(), kPageBytes, 0) != kPageBytes || sync(fd) != 0)
            fail(QStringLiteral("cannot write and sync a page"));
    });
}

// The `index`th page added at the end of a file and synced, as a log that grows does: the sync
// also records the file's new length.
double appendAndSync(int fd, int index)
{
    return elapsedMs([&] {
        if (::pwrite(fd, page().data(), kPageBytes, static_cast<off_t>(index) * kPageBytes) != kPageBytes
            || ::fdatasync(fd) != 0)
            fail(QStringLiteral("cannot append a page and sync"));
    });
}

// The three take turns, so that they meet the same load.
DiskResult syncTimes(const QString& path)
{
    const int written = openScratch(path);
    const int grown = openScratch(path + QStringLiteral(".grown"));
    DiskResult result;
    for (int i = 0; i < kFsyncSamples; ++i) {
        result.fsync.push_back(overwriteAndSync(written, ::fsync));
        result.fdatasync.push_back(overwriteAndSync(written, ::fdatasync));
        result.appended.push_back(appendAndSync(grown, i));
    }
    ::close(written);
    ::close(grown);
    return result;
}

// ---- the commit before sending -----------------------------------------------------------------

struct MarkResult {
    std::vector<double> mark;
    std::vector<double> overwrite;
    std::vector<double> append;
};

// The database alone, as the storage uses it for each single trigger: a sub-task's mark committed
// durably, then its result (the sub-task, a log line, the ids, the mark cleared) without a sync and
// the journal's room kept. Each mark takes turns with a page written over itself and synced and
// one added at the end of a file and synced.
MarkResult markCommits(const QString& databasePath, const QString& pagePath)
{
    SchedOrdDatabase db;
    if (!db.open(databasePath).usable())
        fail(QStringLiteral("cannot create %1").arg(databasePath));
    SchedOrdTaskField task = makeTask(1, {makeSub(1, 1, 0)});
    if (!db.begin() || !db.saveMainTask(kMarkAccount, task) || !db.commit())
        fail(QStringLiteral("cannot store the task: %1").arg(db.lastError()));
    SchedOrdSubTaskField& sub = task.VecSubTask.front();
    const int written = openScratch(pagePath);
    const int grown = openScratch(pagePath + QStringLiteral(".grown"));
    MarkResult result;
    for (int i = 0; i < kMarkSamples; ++i) {
        result.mark.push_back(elapsedMs([&] {
            if (!db.begin() || !db.markSending(kMarkAccount, 1, 1, "mark") || !db.commit())
                fail(QStringLiteral("cannot commit a mark: %1").arg(db.lastError()));
        }));
        sub.TradeVolume = i;
        if (!db.begin(SchedOrdDatabase::Sync::Ordered) || !db.clearSending(kMarkAccount, 1)
            || !db.saveSubTask(kMarkAccount, sub) || !db.appendLog(kMarkAccount, i, QStringLiteral("委托已发送"))
            || !db.saveNextIds(kMarkAccount, 2, i + 2) || !db.commit())
            fail(QStringLiteral("cannot commit a result: %1").arg(db.lastError()));
        db.reserveJournalRoom();
        result.overwrite.push_back(overwriteAndSync(written, ::fdatasync));
        result.append.push_back(appendAndSync(grown, i));
    }
    ::close(written);
    ::close(grown);
    return result;
}

// ---- the engine on the wall clock --------------------------------------------------------------

// One account on the wall clock, its storage open when a path is given, with a hook on the broker
// that notes when it announces new orders: once per engine slice, after the slice is committed.
struct Account
{
    explicit Account(const QString& databasePath)
        : market(SecurityCatalogue::instance(), 1)
        , broker(1)
        , service(1, 1, SecurityCatalogue::instance(), market, broker)
    {
        broker.setAvailableFunds(1e12);
        if (!databasePath.isEmpty())
            openStorageOrExit(service, databasePath);
        QObject::connect(&broker, &SimBroker::signalOrdersChanged, &broker, [this] {
            const Clock::time_point now = Clock::now();
            std::lock_guard<std::mutex> guard(mutex);
            accepted.push_back(toTicks(now));
        }, Qt::DirectConnection);
    }
    void addAndStart(std::vector<SchedOrdSubTaskField> subs)
    {
        service.AddMainTasks({makeTask(1, std::move(subs))});
        service.StartMainTasks({1});
        service.waitForEngineIdle();
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
    std::vector<double> storedPlaced;
    std::vector<double> storedAnnounced;
    std::vector<double> unstored;
    std::vector<double> bare;
    std::vector<double> spacedSync;     // a page synced over itself after each bare wake-up
};

// The moment each order reaches the broker, which no signal tells: from each set time on, the
// broker is polled every 50 µs until the order is there.
std::vector<double> placedTimes(const SimBroker& broker, const std::vector<SchedOrdSubTaskField>& subs)
{
    std::vector<double> placed;
    uint64_t revision = 0;
    broker.ordersChangedSince(0, &revision);
    for (const SchedOrdSubTaskField& sub : subs) {
        std::this_thread::sleep_until(Clock::time_point(std::chrono::nanoseconds(sub.StartTime * 100)));
        while (broker.ordersChangedSince(revision, &revision).empty())
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        placed.push_back(ticksToMs(toTicks(Clock::now()) - sub.StartTime));
    }
    return placed;
}

std::vector<double> latenciesOf(Account& account, const std::vector<SchedOrdSubTaskField>& subs)
{
    account.waitForOrders(subs.size());
    const std::vector<int64_t> accepted = account.acceptTimes();
    if (accepted.size() != subs.size())
        fail(QStringLiteral("%1 announcements for %2 single orders").arg(accepted.size()).arg(subs.size()));
    std::vector<double> latencies;
    for (size_t i = 0; i < accepted.size(); ++i)
        latencies.push_back(ticksToMs(accepted[i] - subs[i].StartTime));
    return latencies;
}

// Sub-tasks of a service with storage, of one without and bare sleep_until wake-ups on a thread
// of their own take turns a third of a spacing apart, so that all three meet the same load.
LatencyResult latencies(const QString& databasePath, const QString& pagePath)
{
    Account stored(databasePath);
    Account unstored{QString()};
    const Clock::time_point first = Clock::now() + std::chrono::milliseconds(500);
    const auto dueAt = [first](int i, int turn) {
        return first + i * kLatencySpacing + turn * kLatencySpacing / 3;
    };
    std::vector<SchedOrdSubTaskField> storedSubs;
    std::vector<SchedOrdSubTaskField> unstoredSubs;
    for (int i = 0; i < kLatencySamples; ++i) {
        storedSubs.push_back(makeSub(1, i + 1, toTicks(dueAt(i, 0))));
        unstoredSubs.push_back(makeSub(1, i + 1, toTicks(dueAt(i, 1))));
    }
    stored.addAndStart(storedSubs);
    unstored.addAndStart(unstoredSubs);

    LatencyResult result;
    // A sync made once a trigger's spacing, as each mark's is, meets what back-to-back syncs do
    // not: the disk idle in between and the file system's periodic journal commits.
    const int written = openScratch(pagePath);
    std::thread sleeper([&result, &dueAt, written] {
        for (int i = 0; i < kLatencySamples; ++i) {
            const Clock::time_point due = dueAt(i, 2);
            std::this_thread::sleep_until(due);
            result.bare.push_back(ticksToMs(toTicks(Clock::now()) - toTicks(due)));
            result.spacedSync.push_back(overwriteAndSync(written, ::fdatasync));
        }
    });
    std::thread poller([&result, &stored, &storedSubs] { result.storedPlaced = placedTimes(stored.broker, storedSubs); });
    result.storedAnnounced = latenciesOf(stored, storedSubs);
    result.unstored = latenciesOf(unstored, unstoredSubs);
    poller.join();
    sleeper.join();
    ::close(written);
    return result;
}

// 5,000 sub-tasks of one main task due in the same second: from their set time to the last
// order announced, and the CPU the process spent meanwhile (the engine's thread, all but alone).
Span burst(const QString& databasePath)
{
    Account account(databasePath);
    const int64_t due = toTicks(Clock::now()) + 1500 * 10000;
    std::vector<SchedOrdSubTaskField> subs;
    for (int i = 0; i < kBurstSize; ++i)
        subs.push_back(makeSub(1, i + 1, due));
    account.addAndStart(std::move(subs));
    const double cpuBefore = cpuMs();
    account.waitForOrders(kBurstSize);
    Span span;
    span.cpuMs = cpuMs() - cpuBefore;
    span.wallMs = ticksToMs(account.acceptTimes().back() - due);
    return span;
}

struct BurstResult {
    std::vector<double> stored;
    std::vector<double> storedCpu;
    std::vector<double> unstored;
};

// Alternating, each run with a database of its own.
BurstResult bursts(const QDir& dir)
{
    BurstResult result;
    for (int run = 0; run < kBurstRuns; ++run) {
        const Span stored = burst(dir.filePath(QStringLiteral("burst%1.db").arg(run)));
        result.stored.push_back(stored.wallMs);
        result.storedCpu.push_back(stored.cpuMs);
        result.unstored.push_back(burst(QString()).wallMs);
    }
    return result;
}

// ---- the import --------------------------------------------------------------------------------

struct ImportResult {
    double storedMs = 1e300;
    double unstoredMs = 1e300;
};

// Best of two each, taking turns: the first monitor of the process also pays for what Qt sets up
// once.
ImportResult importShown(const QDir& dir)
{
    const QString file = TaskFileBench::writeTaskFile(dir.filePath(QStringLiteral("import.csv")), kImportLines, false);
    ImportResult result;
    for (int run = 0; run < kImportRuns; ++run) {
        result.unstoredMs = std::min(result.unstoredMs, TaskFileBench::chosenToShownMs(file, kImportLines, kImportAccount));
        const QString database = dir.filePath(QStringLiteral("import%1.db").arg(run));
        result.storedMs = std::min(result.storedMs,
                                   TaskFileBench::chosenToShownMs(file, kImportLines, kImportStoredAccount,
                                                                  [&database](ServiceScheduledOrder& service) {
                                                                      openStorageOrExit(service, database);
                                                                  }));
    }
    return result;
}

// ---- start-up ----------------------------------------------------------------------------------

int64_t nineOClock()
{
    return SchedOrdTaskTime::fromClockTime(9, 0, 0);
}

// 20 main tasks of 5,000 buys, running, due one after the other from 11:00 on, as a service
// holds them at 09:00.
std::vector<SchedOrdTaskField> storedTasks()
{
    const int64_t firstDue = SchedOrdTaskTime::fromClockTime(11, 0, 0);
    std::vector<SchedOrdTaskField> tasks;
    for (int m = 0; m < kStoredMainTasks; ++m) {
        std::vector<SchedOrdSubTaskField> subs;
        subs.reserve(kSubTasksPerMainTask);
        for (int i = 0; i < kSubTasksPerMainTask; ++i) {
            const int index = m * kSubTasksPerMainTask + i;
            subs.push_back(makeSub(m + 1, index + 1, firstDue + index * SchedOrdTaskTime::TicksPerSecond / 10));
        }
        tasks.push_back(makeTask(m + 1, std::move(subs)));
    }
    return tasks;
}

std::vector<int> mainTaskIds()
{
    std::vector<int> ids;
    for (int id = 1; id <= kStoredMainTasks; ++id)
        ids.push_back(id);
    return ids;
}

void addAndStart(ServiceScheduledOrder& service, const std::vector<SchedOrdTaskField>& tasks)
{
    service.AddMainTasks(tasks);
    service.StartMainTasks(mainTaskIds());
    service.waitForEngineIdle();
}

// The database a client closed at 09:00 leaves: every task stored and running.
void writeStoredTasks(const QString& databasePath, const std::vector<SchedOrdTaskField>& tasks)
{
    MarketSimulator market(SecurityCatalogue::instance(), 1);
    SimBroker broker(1);
    ServiceScheduledOrder service(kStartupAccount, 1, SecurityCatalogue::instance(), market, broker);
    VelmTest::driveClock(service, nineOClock());
    openStorageOrExit(service, databasePath);
    addAndStart(service, tasks);
    if (service.getVecAllSubTask().size() != static_cast<size_t>(kStoredSubTasks))
        fail(QStringLiteral("the tasks to store were not all taken"));
}

void settle()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    while (dispatcher->processEvents(QEventLoop::AllEvents)) {
    }
}

QTableView* table(QWidget& monitor, const char* objectName)
{
    auto* view = monitor.findChild<QTableView*>(QLatin1String(objectName));
    if (!view)
        fail(QStringLiteral("no %1 in the monitor").arg(QLatin1String(objectName)));
    return view;
}

struct StartupRun {
    double shownMs = 0.0;
    double loadedMs = 0.0;      // the service created and its tasks in it
};

// From creating the account's service to both tables of its task monitor, shown offscreen,
// repainted with every sub-task. `load` fills the new service: from the database or from memory.
template <typename Load>
StartupRun startup(Load load)
{
    UserData* account = VelmTest::addStockAccount(kStartupAccount);
    account->broker().setAvailableFunds(1e12);
    StartupRun run;
    QElapsedTimer timer;
    timer.start();
    account->initScheduledOrderApi();
    ServiceScheduledOrder& service = *account->getServiceScheduledOrder();
    VelmTest::driveClock(service, nineOClock());
    load(service);
    run.loadedMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    {
        Velm_Space::SchedOrd_TaskMonitorWid monitor(kStartupAccount, &service, nullptr);
        monitor.resize(1400, 800);
        monitor.show();
        QTableView* mainTasks = table(monitor, "tableview_SO_monitorMainTask");
        QTableView* subTasks = table(monitor, "tableview_SO_monitorSubTask");
        while (mainTasks->model()->rowCount() < kStoredMainTasks || subTasks->model()->rowCount() < kStoredSubTasks) {
            if (timer.elapsed() > kShownTimeoutMs)
                fail(QStringLiteral("the stored rows did not appear within %1 ms").arg(kShownTimeoutMs));
            service.waitForEngineIdle();
            QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents);
        }
        mainTasks->viewport()->repaint();
        subTasks->viewport()->repaint();
        run.shownMs = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        settle();
    }
    VelmTest::removeAllAccounts();
    return run;
}

// The database's own share of a start-up and of an import, on a connection of its own.
struct DatabaseSteps {
    Span open;
    Span load;
    Span save;
    Span commit;
};

DatabaseSteps databaseSteps(const QString& storedPath, const QString& freshPath,
                            const std::vector<SchedOrdTaskField>& tasks)
{
    DatabaseSteps steps;
    SchedOrdDatabase stored;
    steps.open = measured([&] {
        if (!stored.open(storedPath).usable())
            fail(QStringLiteral("cannot reopen %1").arg(storedPath));
    });
    size_t loaded = 0;
    steps.load = measured([&] {
        for (const SchedOrdTaskField& task : stored.loadMainTasks(kStartupAccount))
            loaded += task.VecSubTask.size();
    });
    if (loaded != static_cast<size_t>(kStoredSubTasks))
        fail(QStringLiteral("%1 sub-tasks loaded of %2").arg(loaded).arg(kStoredSubTasks));
    SchedOrdDatabase fresh;
    if (!fresh.open(freshPath).usable())
        fail(QStringLiteral("cannot create %1").arg(freshPath));
    steps.save = measured([&] {
        bool saved = fresh.begin();
        for (const SchedOrdTaskField& task : tasks)
            saved = saved && fresh.saveMainTask(kStartupAccount, task);
        if (!saved)
            fail(QStringLiteral("cannot save the tasks: %1").arg(fresh.lastError()));
    });
    // The write-ahead log written and synced, and folded into the file once it outgrows its limit.
    steps.commit = measured([&] {
        if (!fresh.commit())
            fail(QStringLiteral("cannot commit the tasks: %1").arg(fresh.lastError()));
    });
    return steps;
}

struct StartupResult {
    std::vector<double> storedShownMs;
    std::vector<double> storedLoadedMs;
    std::vector<double> memoryShownMs;
    std::vector<double> memoryLoadedMs;
    qint64 databaseBytes = 0;
    DatabaseSteps steps;
};

qint64 fileBytes(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

// The tasks are written once; every stored run opens the same file, whose tasks the clock at
// 09:00 leaves waiting, so no run changes what the next one loads.
StartupResult startups(const QDir& dir)
{
    const QString database = dir.filePath(QStringLiteral("startup.db"));
    const std::vector<SchedOrdTaskField> tasks = storedTasks();
    writeStoredTasks(database, tasks);
    StartupResult result;
    // Closed by its last connection, the write-ahead log is folded into the file and removed.
    result.databaseBytes = fileBytes(database) + fileBytes(database + QStringLiteral("-wal"));
    for (int i = 0; i < kStartupRuns; ++i) {
        const StartupRun stored = startup([&database](ServiceScheduledOrder& service) {
            openStorageOrExit(service, database);
        });
        result.storedShownMs.push_back(stored.shownMs);
        result.storedLoadedMs.push_back(stored.loadedMs);
        const StartupRun memory = startup([&tasks](ServiceScheduledOrder& service) { addAndStart(service, tasks); });
        result.memoryShownMs.push_back(memory.shownMs);
        result.memoryLoadedMs.push_back(memory.loadedMs);
    }
    result.steps = databaseSteps(database, dir.filePath(QStringLiteral("save.db")), tasks);
    return result;
}

// ---- the table ---------------------------------------------------------------------------------

void row(const QString& name, const QString& figure, const QString& baseline, const QString& goal)
{
    std::printf("%-52s %-12s %-50s %s\n", qPrintable(name), qPrintable(figure), qPrintable(baseline), qPrintable(goal));
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 3);
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("MISSED");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    VelmTest::setUpWindowManager();
    // On the build folder's disk, not in /tmp, which may be a RAM disk that never waits for fsync.
    QTemporaryDir scratch(QCoreApplication::applicationDirPath() + QStringLiteral("/../storage-bench-XXXXXX"));
    if (!scratch.isValid())
        fail(QStringLiteral("cannot create a folder beside %1").arg(QCoreApplication::applicationDirPath()));
    const QDir dir(scratch.path());

    const DiskResult disk = syncTimes(dir.filePath(QStringLiteral("sync.page")));
    const MarkResult marks =
        markCommits(dir.filePath(QStringLiteral("mark.db")), dir.filePath(QStringLiteral("mark.page")));
    const LatencyResult latency =
        latencies(dir.filePath(QStringLiteral("latency.db")), dir.filePath(QStringLiteral("spaced.page")));

    const double fsyncP99 = percentile(disk.fsync, 0.99);
    std::printf("Scheduled-order storage (SQLite, WAL, synchronous=FULL) in %s.\n"
                "Latency: %d single sub-tasks each of a service with storage and of one without, and as many\n"
                "bare sleep_until wake-ups, taking turns %lld ms apart on the wall clock. \"At broker\": the order\n"
                "seen at the broker (polled), after its sub-task's mark is committed; \"announced\", \"accepted\":\n"
                "the broker's signal, after the slice's result is committed too. Bursts: median of %d; imports:\n"
                "best of %d; start-up: median of %d, from creating the service to its task monitor (shown\n"
                "offscreen) repainted with all %d sub-tasks. \"Database alone\", a mark: %d marks each committed\n"
                "durably and cleared with a result commit, taking turns with a page synced over itself and one\n"
                "synced at the end of a growing file.\n",
                qPrintable(QDir::cleanPath(dir.absolutePath())), kLatencySamples,
                static_cast<long long>(kLatencySpacing.count() / 3), kBurstRuns, kImportRuns, kStartupRuns,
                kStoredSubTasks, kMarkSamples);
    row(QStringLiteral("row"), QStringLiteral("figure"), QStringLiteral("baseline"), QStringLiteral("goal"));
    row(QStringLiteral("disk: write 4 KiB + fsync, median"), ms(median(disk.fsync)),
        QStringLiteral("p99 ") + ms(fsyncP99), QStringLiteral("the limit"));
    row(QStringLiteral("disk: write 4 KiB + fdatasync (SQLite's), median"), ms(median(disk.fdatasync)),
        QStringLiteral("p99 ") + ms(percentile(disk.fdatasync, 0.99)), QStringLiteral("the limit"));
    row(QStringLiteral("disk: append 4 KiB + fdatasync, median"), ms(median(disk.appended)),
        QStringLiteral("p99 ") + ms(percentile(disk.appended, 0.99)), QStringLiteral("a growing log's commit"));
    row(QStringLiteral("disk: write 4 KiB + fdatasync every 60 ms, median"), ms(median(latency.spacedSync)),
        QStringLiteral("p99 ") + ms(percentile(latency.spacedSync, 0.99)), QStringLiteral("a mark's sync, spaced as they are"));
    const auto markRow = [&marks](const QString& name, double share) {
        row(name, ms(percentile(marks.mark, share)),
            ms(percentile(marks.overwrite, share)) + QStringLiteral(" overwrite, ")
                + ms(percentile(marks.append, share)) + QStringLiteral(" append, + fdatasync"),
            QStringLiteral("-"));
    };
    markRow(QStringLiteral("database alone: a mark's durable commit, p50"), 0.5);
    markRow(QStringLiteral("database alone: a mark's durable commit, p99"), 0.99);
    const auto latencyRow = [&latency](const QString& name, const std::vector<double>& figure, double share) {
        row(name, ms(percentile(figure, share)),
            ms(percentile(latency.unstored, share)) + QStringLiteral(" no storage, ")
                + ms(percentile(latency.bare, share)) + QStringLiteral(" sleep_until"),
            QStringLiteral("-"));
    };
    latencyRow(QStringLiteral("single trigger p50, stored: set time -> at broker"), latency.storedPlaced, 0.5);
    const double latencyGoal = percentile(latency.unstored, 0.99) + fsyncP99 + kGoalSlackMs;
    const double placedP99 = percentile(latency.storedPlaced, 0.99);
    row(QStringLiteral("single trigger p99, stored: set time -> at broker"), ms(placedP99),
        ms(percentile(latency.unstored, 0.99)) + QStringLiteral(" no storage, ")
            + ms(percentile(latency.bare, 0.99)) + QStringLiteral(" sleep_until"),
        QStringLiteral("<= %1 (no storage + fsync p99 + 2 ms): %2").arg(ms(latencyGoal), verdict(placedP99 <= latencyGoal)));
    latencyRow(QStringLiteral("single trigger p50, stored: set time -> announced"), latency.storedAnnounced, 0.5);
    latencyRow(QStringLiteral("single trigger p99, stored: set time -> announced"), latency.storedAnnounced, 0.99);
    // `--latency`: the disk and the single trigger alone, for a quick look at the commit before sending.
    if (app.arguments().contains(QStringLiteral("--latency")))
        return 0;
    std::fflush(stdout);

    const BurstResult bursts5000 = bursts(dir);
    const ImportResult import = importShown(dir);
    const StartupResult start = startups(dir);
    const double burstStored = median(bursts5000.stored);
    row(QStringLiteral("burst of 5,000, stored: set time -> last accepted"), ms(burstStored),
        ms(median(bursts5000.unstored)) + QStringLiteral(" no storage"),
        QStringLiteral("< 50 ms: ") + verdict(burstStored < kGoalBurstMs));
    row(QStringLiteral("  CPU of the process meanwhile, stored"), ms(median(bursts5000.storedCpu)), QStringLiteral("-"),
        QStringLiteral("-"));
    row(QStringLiteral("import 100,000 lines, stored: chosen -> shown"), ms(import.storedMs),
        ms(import.unstoredMs) + QStringLiteral(" no storage"),
        QStringLiteral("< 1000 ms: ") + verdict(import.storedMs < kGoalImportMs));
    const double startupStored = median(start.storedShownMs);
    row(QStringLiteral("start-up, 100,000 stored: service -> monitor shown"), ms(startupStored),
        ms(median(start.memoryShownMs)) + QStringLiteral(" the same tasks added from memory"),
        QStringLiteral("< 1000 ms: ") + verdict(startupStored < kGoalStartupMs));
    row(QStringLiteral("  of which service created and loaded"), ms(median(start.storedLoadedMs)),
        ms(median(start.memoryLoadedMs)) + QStringLiteral(" added from memory"), QStringLiteral("-"));
    const auto stepRow = [](const QString& name, const Span& span) {
        row(name, ms(span.wallMs), QStringLiteral("CPU ") + ms(span.cpuMs), QStringLiteral("-"));
    };
    stepRow(QStringLiteral("  database alone: open the file (check, statements)"), start.steps.open);
    stepRow(QStringLiteral("  database alone: load 100,000 sub-tasks"), start.steps.load);
    stepRow(QStringLiteral("database alone: save 100,000 sub-tasks, 1 transaction"), start.steps.save);
    stepRow(QStringLiteral("  and its commit"), start.steps.commit);
    row(QStringLiteral("database file, 100,000 sub-tasks in 20 main tasks"),
        QStringLiteral("%1 MB").arg(static_cast<double>(start.databaseBytes) / (1024.0 * 1024.0), 0, 'f', 1),
        QStringLiteral("%1 MB as records in memory (sizeof)")
            .arg(static_cast<double>(sizeof(SchedOrdSubTaskField)) * kStoredSubTasks / (1024.0 * 1024.0), 0, 'f', 1),
        QStringLiteral("-"));
    row(QStringLiteral("  bytes per sub-task"),
        QString::number(static_cast<double>(start.databaseBytes) / kStoredSubTasks, 'f', 0),
        QStringLiteral("%1 sizeof(SchedOrdSubTaskField)").arg(sizeof(SchedOrdSubTaskField)), QStringLiteral("-"));
    return 0;
}
