// The FIX order route on loopback: 5,000 buys through the route to the simulated exchange,
// beside a bare QuickFIX initiator and acceptor exchanging the same NewOrderSingle messages
// (the least the library needs on this machine). Runs alternate between the two, so that both
// meet the same load on a shared machine; the table shows medians.

#include "BareFixExchange.h"
#include "BenchTasks.h"
#include "FixBrokerRoute.h"
#include "FixSessionSettings.h"
#include "FixSimExchange.h"
#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "SimBroker.h"
#include "VelmTest.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kOrders = 5000;
constexpr int kRuns = 5;
constexpr int kTimeoutMs = 120000;
constexpr int kOrderVolume = 100;
constexpr double kAsk1 = 10.01;
constexpr double kDeepLevel = 1e9;         // every buy fills at once, none waits for a quote
constexpr double kGoalRatio = 1.5;
const QString kKey = QStringLiteral("600000.SH");
const QString kClient = QStringLiteral("VELMCLIENT");
const QString kExchange = QStringLiteral("VELMSIM");

struct Run {
    bool finished = false;
    double elapsedMs = 0.0;
    QString problem;
    // Stages of the route's run, from the first send: the sending loop done, the exchange's
    // broker booking its first and its last order.
    double sentMs = 0.0;
    double firstPlacedMs = 0.0;
    double lastPlacedMs = 0.0;
};

double msBetween(SteadyClock::time_point from, SteadyClock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

std::vector<BrokerOrderRequest> buys()
{
    std::vector<BrokerOrderRequest> orders;
    orders.reserve(kOrders);
    const int64_t now = BenchTasks::toTicks(std::chrono::system_clock::now());
    for (int i = 1; i <= kOrders; ++i) {
        BrokerOrderRequest request;
        request.clientOrderRef = "9001-1-" + std::to_string(i);
        request.mainTaskId = 1;
        request.subTaskId = i;
        request.securityId = QStringLiteral("600000");
        request.exchangeId = '1';
        request.direction = '0';
        request.price = kAsk1;
        request.volume = kOrderVolume;
        request.shareholderAccount = QStringLiteral("A123456789");
        request.transactTime = now;
        orders.push_back(request);
    }
    return orders;
}

// Bids a tick apart below the ask, asks from kAsk1 up, every level deep enough for the burst.
Lev1MarketData deepBook()
{
    Lev1MarketData quote;
    quote.LastPrice = 10.0;
    for (int level = 0; level < 5; ++level) {
        quote.PriceLevels[size_t(level)] = {(999 - level) / 100.0, kDeepLevel};
        quote.PriceLevels[size_t(5 + level)] = {kAsk1 + level / 100.0, kDeepLevel};
    }
    return quote;
}

// A loopback port nobody listens on right now.
int freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

FixSessionSettings sessionEnd(const QString& sender, const QString& target, int port, const QString& folder)
{
    FixSessionSettings end;
    end.senderCompId = sender;
    end.targetCompId = target;
    end.port = port;
    end.heartbeatSeconds = 1;
    end.reconnectSeconds = 1;
    end.dataFolder = folder;
    return end;
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

// The route's reports as they reach its handler on QuickFIX's thread: the time of the last
// fill, or the first reject.
class FillCounter
{
public:
    explicit FillCounter(size_t expected)
        : m_expected(expected)
    {
    }

    void note(const BrokerExecutionReport& report)
    {
        const SteadyClock::time_point now = SteadyClock::now();
        std::lock_guard<std::mutex> guard(m_mutex);
        if (report.state == BrokerExecutionReport::State::Filled) {
            ++m_filled;
            m_lastFilled = now;
        } else if (report.state == BrokerExecutionReport::State::Rejected && m_problem.isEmpty()) {
            m_problem = QStringLiteral("rejected %1: %2").arg(QString::fromStdString(report.clientOrderRef), report.text);
        }
    }

    bool settled() const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_filled >= m_expected || !m_problem.isEmpty();
    }

    Run result(SteadyClock::time_point firstSend) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        Run run;
        run.problem = m_problem;
        run.finished = m_problem.isEmpty() && m_filled >= m_expected;
        if (run.finished)
            run.elapsedMs = msBetween(firstSend, m_lastFilled);
        else if (run.problem.isEmpty())
            run.problem = QStringLiteral("%1 of %2 filled in time").arg(m_filled).arg(m_expected);
        return run;
    }

private:
    const size_t m_expected;
    mutable std::mutex m_mutex;
    size_t m_filled = 0;
    SteadyClock::time_point m_lastFilled;
    QString m_problem;
};

Run bareExchange(const std::vector<BrokerOrderRequest>& orders, const QString& folder)
{
    BareFixExchange bare(folder, freePort());
    const BareFixExchange::Result result = bare.exchange(orders, kTimeoutMs);
    Run run;
    run.finished = result.finished;
    run.elapsedMs = result.elapsedMs;
    run.problem = result.problem;
    return run;
}

// The route and the simulated exchange on this thread's event loop; the orders go to
// sendOrder from a thread of their own, as the engine's thread would hand them over.
Run routeToSimExchange(const std::vector<BrokerOrderRequest>& orders, const QString& folder)
{
    const int port = freePort();
    MarketSimulator market(SecurityCatalogue::instance(), 1);
    SimBroker broker(1);
    broker.setAvailableFunds(1e12);
    market.setQuote(kKey, deepBook());
    FixSimExchange exchange(sessionEnd(kExchange, kClient, port, QDir(folder).filePath(QStringLiteral("exchange"))),
                            broker, market, SecurityCatalogue::instance());
    FixBrokerRoute route(sessionEnd(kClient, kExchange, port, QDir(folder).filePath(QStringLiteral("route"))));
    // The exchange books on this thread only.
    SteadyClock::time_point firstPlaced;
    SteadyClock::time_point lastPlaced;
    broker.setPlacedOrderObserver([&firstPlaced, &lastPlaced](const SimOrder&) {
        lastPlaced = SteadyClock::now();
        if (firstPlaced == SteadyClock::time_point())
            firstPlaced = lastPlaced;
    });
    FillCounter counter(orders.size());
    route.setReportHandler([&counter](const BrokerExecutionReport& report) { counter.note(report); });

    Run run;
    if (!exchange.start(&run.problem) || !route.start(&run.problem))
        return run;
    runEventLoopUntil([&] { return route.isConnected() && exchange.hasClient(); }, kTimeoutMs);
    if (!route.isConnected()) {
        run.problem = QStringLiteral("no logon");
        return run;
    }

    const SteadyClock::time_point firstSend = SteadyClock::now();
    QString sendProblem;
    SteadyClock::time_point sent;
    std::thread sender([&orders, &route, &sendProblem, &sent] {
        for (const BrokerOrderRequest& request : orders) {
            if (!route.sendOrder(request, &sendProblem))
                return;
        }
        sent = SteadyClock::now();
    });
    runEventLoopUntil([&counter] { return counter.settled(); }, kTimeoutMs);
    sender.join();
    run = counter.result(firstSend);
    if (!sendProblem.isEmpty())
        run.problem = sendProblem;
    run.sentMs = msBetween(firstSend, sent);
    run.firstPlacedMs = msBetween(firstSend, firstPlaced);
    run.lastPlacedMs = msBetween(firstSend, lastPlaced);
    // The exchange first: it runs on this thread and could not answer the route's logout.
    exchange.stop();
    route.stop();
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
    std::vector<double> times;
    for (const Run& run : runs) {
        if (run.finished)
            times.push_back(run.*figure);
        else if (summary.problem.isEmpty())
            summary.problem = run.problem;
    }
    summary.finished = static_cast<int>(times.size());
    if (times.empty())
        return summary;
    summary.medianMs = BenchTasks::percentile(times, 0.5);
    summary.minMs = *std::min_element(times.begin(), times.end());
    summary.maxMs = *std::max_element(times.begin(), times.end());
    return summary;
}

QString ms(double value)
{
    return QStringLiteral("%1 ms").arg(value, 0, 'f', 1);
}

QString figureOf(const Summary& summary)
{
    if (summary.finished == 0)
        return QStringLiteral("failed");
    return ms(summary.medianMs);
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
    std::printf("%-40s %-11s %-30s %-26s %s\n", name, qPrintable(figure), qPrintable(baseline), qPrintable(goal),
                qPrintable(spread));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    VelmTest::setUpWindowManager();
    // The build's disk, as the route's own data folder would be, not a RAM-backed /tmp.
    QTemporaryDir scratch(QCoreApplication::applicationDirPath() + QStringLiteral("/../fix-bench-XXXXXX"));
    if (!scratch.isValid()) {
        std::fprintf(stderr, "cannot create a folder beside %s\n", qPrintable(QCoreApplication::applicationDirPath()));
        return 1;
    }
    const std::vector<BrokerOrderRequest> orders = buys();
    std::vector<Run> bareRuns;
    std::vector<Run> routeRuns;
    for (int i = 0; i < kRuns; ++i) {
        bareRuns.push_back(bareExchange(orders, scratch.filePath(QStringLiteral("bare-%1").arg(i))));
        routeRuns.push_back(routeToSimExchange(orders, scratch.filePath(QStringLiteral("route-%1").arg(i))));
    }
    const Summary bare = summarise(bareRuns);
    const Summary route = summarise(routeRuns);

    std::printf("FIX 4.4 on loopback: %d buys of 600000.SH, each filled at once; first send -> last filled report.\n"
                "Both ends use QuickFIX's file store and file log, as the route does. Median of %d runs.\n",
                kOrders, kRuns);
    row("row", QStringLiteral("figure"), QStringLiteral("baseline"), QStringLiteral("goal"), QStringLiteral("spread"));
    row("1 bare QuickFIX initiator + acceptor", figureOf(bare), QStringLiteral("(the limit)"), QStringLiteral("-"),
        spreadOf(bare));
    const QString bareBaseline = ms(bare.medianMs) + QStringLiteral(" bare exchange");
    const QString goal = QStringLiteral("<= %1 (1.5x bare)").arg(ms(bare.medianMs * kGoalRatio));
    row("2 route -> simulated exchange", figureOf(route), bareBaseline, goal, spreadOf(route));
    const auto stage = [&routeRuns](const char* name, double Run::*figure) {
        const Summary summary = summarise(routeRuns, figure);
        row(name, figureOf(summary), QStringLiteral("-"), QStringLiteral("-"), spreadOf(summary));
    };
    stage("  the last sendOrder returned", &Run::sentMs);
    stage("  the exchange booked the first order", &Run::firstPlacedMs);
    stage("  the exchange booked the last order", &Run::lastPlacedMs);
    if (bare.finished > 0 && route.finished > 0)
        std::printf("route / bare: %.2fx\n", route.medianMs / bare.medianMs);
    return 0;
}
