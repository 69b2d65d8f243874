// velm_crashchild <database> <seed> [--fix-port P --fix-dir DIR [--fix-sender ID] [--fix-target ID]]:
// one account's scheduled-order service with its engine on the wall clock, driven by a seeded
// workload until velm_crashtest kills it. Orders go to the simulated broker in-process, or with
// --fix-port over a FIX session to an exchange on 127.0.0.1 (the route's store and log in DIR).
// Everything the harness counts goes to standard output, line by line, as it happens.

#include "CrashReport.h"
#include "CrashWatchedRoute.h"
#include "CrashWorkload.h"
#include "FixBrokerRoute.h"
#include "FixSessionSettings.h"
#include "MarketSimulator.h"
#include "SchedOrdCodes.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <memory>

#include <unistd.h>

namespace {

constexpr int kAccountId = 10001;
constexpr int kStockApi = 1;
// On its own when the harness never comes to kill it.
constexpr int kLifetimeMs = 120000;
// Logon and the answers about every open order; the simulated exchange answers a few thousand slowly.
constexpr int kReconcileTimeoutMs = 90000;

// One line per log entry: a line end inside one is sent as a space (the harness reads the table so too).
QByteArray logLine(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    utf8.replace('\n', ' ');
    return "LOG " + utf8;
}

struct FixOptions
{
    QCommandLineOption port{QStringLiteral("fix-port"), QStringLiteral("The exchange's port on 127.0.0.1."), QStringLiteral("port")};
    QCommandLineOption folder{QStringLiteral("fix-dir"), QStringLiteral("Folder of the route's FIX store and log."), QStringLiteral("dir")};
    QCommandLineOption sender{QStringLiteral("fix-sender"), QStringLiteral("Our CompID."), QStringLiteral("id"), QStringLiteral("VELMCLIENT")};
    QCommandLineOption target{QStringLiteral("fix-target"), QStringLiteral("The exchange's CompID."), QStringLiteral("id"), QStringLiteral("VELMSIM")};
};

FixSessionSettings routeSettings(const QCommandLineParser& parser, const FixOptions& options)
{
    FixSessionSettings settings;
    settings.senderCompId = parser.value(options.sender);
    settings.targetCompId = parser.value(options.target);
    settings.port = parser.value(options.port).toInt();
    settings.dataFolder = parser.value(options.folder);
    // The exchange sees the killed run's connection drop at once; the next run logs on at once too.
    settings.reconnectSeconds = 1;
    return settings;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const FixOptions fixOptions;
    parser.addOptions({fixOptions.port, fixOptions.folder, fixOptions.sender, fixOptions.target});
    parser.addPositionalArgument(QStringLiteral("database"), QStringLiteral("The service's database file."));
    parser.addPositionalArgument(QStringLiteral("seed"), QStringLiteral("The workload's seed."));
    parser.process(app);
    const QStringList positional = parser.positionalArguments();
    const bool overFix = parser.isSet(fixOptions.port);
    if (positional.size() != 2 || overFix != parser.isSet(fixOptions.folder)) {
        fprintf(stderr, "usage: velm_crashchild <database> <seed> [--fix-port P --fix-dir DIR [--fix-sender ID] [--fix-target ID]]\n");
        return 2;
    }
    const uint32_t seed = positional[1].toUInt();
    const CrashReport report(STDOUT_FILENO);

    const SecurityCatalogue& catalogue = SecurityCatalogue::instance();
    MarketSimulator market(catalogue, seed);
    SimBroker broker(kStockApi);
    // The opening balances of a new database; a stored broker replaces them.
    broker.setAvailableFunds(1e12);
    broker.setPosition(QStringLiteral("000001.SZ"), 1000000000, 11.0);
    broker.setPlacedOrderObserver([&report](const SimOrder& order) { report.line("ORDER " + order.ClientOrderRef.toUtf8()); });

    // Declared before the service, which must not outlive them.
    std::unique_ptr<FixBrokerRoute> route;
    std::unique_ptr<CrashWatchedRoute> watchedRoute;
    if (overFix) {
        route = std::make_unique<FixBrokerRoute>(routeSettings(parser, fixOptions));
        watchedRoute = std::make_unique<CrashWatchedRoute>(*route, report);
    }

    ServiceScheduledOrder service(kAccountId, kStockApi, catalogue, market, broker);
    QObject::connect(&service, &ServiceScheduledOrder::signalOperationLog, &service,
                     [&report](const QString& line) { report.line(logLine(line)); }, Qt::DirectConnection);
    if (route) {
        service.setOrderRoute(watchedRoute.get());
        service.setShareholderAccounts({{VELMSCHEDORDAPI::Exchange::Shanghai, QStringLiteral("A123456789")},
                                        {VELMSCHEDORDAPI::Exchange::Shenzhen, QStringLiteral("0123456789")}});
        QString whyNot;
        if (!route->start(&whyNot)) {
            report.line("ROUTE-FAILED " + whyNot.toUtf8());
            return 1;
        }
    }

    CrashWorkload workload(kAccountId, service, broker, report, seed);
    if (!workload.open(positional[0]))
        return 1;
    market.start(200);
    if (route)
        workload.startWhenReconciled(*watchedRoute, kReconcileTimeoutMs);
    else
        workload.start();
    QTimer::singleShot(kLifetimeMs, &app, &QCoreApplication::quit);
    const int status = app.exec();
    // Its threads end here: no report reaches the watched route while it is destroyed.
    if (route)
        route->stop();
    return status;
}
