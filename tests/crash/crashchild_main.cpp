// velm_crashchild <database> <seed>: one account's scheduled-order service with its engine and the
// simulated broker on the wall clock, driven by a seeded workload until velm_crashtest kills it.
// Everything the harness counts goes to standard output, line by line, as it happens.

#include "CrashReport.h"
#include "CrashWorkload.h"
#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"

#include <QCoreApplication>
#include <QTimer>

#include <unistd.h>

namespace {

constexpr int kAccountId = 10001;
constexpr int kStockApi = 1;
// On its own when the harness never comes to kill it.
constexpr int kLifetimeMs = 60000;

// One line per log entry: a line end inside one is sent as a space (the harness reads the table so too).
QByteArray logLine(const QString& text)
{
    QByteArray utf8 = text.toUtf8();
    utf8.replace('\n', ' ');
    return "LOG " + utf8;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        fprintf(stderr, "usage: velm_crashchild <database> <seed>\n");
        return 2;
    }
    const uint32_t seed = args[2].toUInt();
    const CrashReport report(STDOUT_FILENO);

    const SecurityCatalogue& catalogue = SecurityCatalogue::instance();
    MarketSimulator market(catalogue, seed);
    SimBroker broker(kStockApi);
    // The opening balances of a new database; a stored broker replaces them.
    broker.setAvailableFunds(1e12);
    broker.setPosition(QStringLiteral("000001.SZ"), 1000000000, 11.0);
    broker.setPlacedOrderObserver([&report](const SimOrder& order) { report.line("ORDER " + order.ClientOrderRef.toUtf8()); });

    ServiceScheduledOrder service(kAccountId, kStockApi, catalogue, market, broker);
    QObject::connect(&service, &ServiceScheduledOrder::signalOperationLog, &service,
                     [&report](const QString& line) { report.line(logLine(line)); }, Qt::DirectConnection);

    CrashWorkload workload(kAccountId, service, broker, report, seed);
    if (!workload.open(args[1]))
        return 1;
    market.start(200);
    workload.start();
    QTimer::singleShot(kLifetimeMs, &app, &QCoreApplication::quit);
    return app.exec();
}
