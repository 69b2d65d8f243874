// velm_fixsim: a simulated exchange that takes FIX 4.4 orders on a loopback port and answers them
// from the simulated broker and market of the client.

#include "FixSessionSettings.h"
#include "FixSimExchange.h"
#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "SimBroker.h"
#include "Util.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kStockApiType = 1;
constexpr int kCreditApiType = 2;
constexpr int kQuoteIntervalMs = 1000;
constexpr uint32_t kDefaultSeed = 20240601;
int gSignalPipe[2] = {-1, -1};

void writeSignal(int)
{
    const char byte = 1;
    const ssize_t ignored = ::write(gSignalPipe[1], &byte, 1);
    (void)ignored;
}

// SIGINT and SIGTERM end the event loop, so the session logs out and the store is closed.
bool quitOnSignals(QCoreApplication& app)
{
    if (::pipe(gSignalPipe) != 0)
        return false;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    struct sigaction action = {};
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGINT, &action, nullptr) == 0 && sigaction(SIGTERM, &action, nullptr) == 0;
}

QString key(const char* code, char exchange)
{
    return Util::GetSecurityKey(QLatin1String(code), exchange);
}

// The holdings of the client's demo accounts, so the same orders behave alike on either route.
void fundAccount(SimBroker& broker, int apiType)
{
    if (apiType == kCreditApiType) {
        broker.setAvailableFunds(500000.00);
        broker.setCreditLine(800000.00);
        broker.setPosition(key("600036", '1'), 5000, 40.10);
        broker.setPosition(key("000858", '2'), 1000, 128.00);
        broker.setShortQuota(key("601318", '1'), 3000);
        broker.setShortQuota(key("600000", '1'), 20000);
        return;
    }
    broker.setAvailableFunds(1000000.00);
    broker.setPosition(key("000001", '2'), 10000, 11.20);
    broker.setPosition(key("600519", '1'), 200, 1520.00);
    broker.setPosition(key("300750", '2'), 1000, 238.50);
    broker.setPosition(key("510300", '1'), 50000, 3.980);
}

void printLine(const QString& line, FILE* stream)
{
    std::fputs(line.toUtf8().constData(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Velm"));
    QCoreApplication::setApplicationName(QStringLiteral("velm_fixsim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELM_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated exchange over FIX 4.4 (QuickFIX sessions, loopback unless --listen says otherwise)."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free one)."),
                                        QStringLiteral("port"), QStringLiteral("9878"));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Address to listen on."),
                                          QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption senderOption(QStringLiteral("sender"), QStringLiteral("The exchange's SenderCompID."),
                                          QStringLiteral("id"), QStringLiteral("VELMSIM"));
    const QCommandLineOption targetOption(QStringLiteral("target"), QStringLiteral("The client's CompID (the only one let in)."),
                                          QStringLiteral("id"), QStringLiteral("VELMCLIENT"));
    const QCommandLineOption dataOption(QStringLiteral("data-dir"), QStringLiteral("Folder of the FIX store and log."),
                                        QStringLiteral("dir"));
    const QCommandLineOption heartbeatOption(QStringLiteral("heartbeat"), QStringLiteral("Heartbeat interval in seconds."),
                                             QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption creditOption(QStringLiteral("credit"),
                                          QStringLiteral("Simulate a credit account (financed buys, short sales)."));
    const QCommandLineOption fundsOption(QStringLiteral("funds"),
                                         QStringLiteral("Available funds in yuan, instead of the demo account's (long runs that buy without end)."),
                                         QStringLiteral("yuan"));
    const QCommandLineOption ordersOption(QStringLiteral("orders-file"),
                                          QStringLiteral("Append the ClOrdID of each order handled (booked or refused) to this file, one a line."),
                                          QStringLiteral("path"));
    parser.addOptions({portOption, listenOption, senderOption, targetOption, dataOption, heartbeatOption, creditOption, fundsOption,
                       ordersOption});
    parser.process(app);

    FixSessionSettings settings;
    settings.senderCompId = parser.value(senderOption);
    settings.targetCompId = parser.value(targetOption);
    settings.host = parser.value(listenOption);
    settings.port = parser.value(portOption).toInt();
    settings.heartbeatSeconds = parser.value(heartbeatOption).toInt();
    settings.dataFolder = parser.isSet(dataOption)
        ? parser.value(dataOption)
        : QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (!qEnvironmentVariableIsSet("VELM_LOG_DIR"))
        qputenv("VELM_LOG_DIR", QFile::encodeName(settings.dataFolder + QStringLiteral("/logs")));

    const int apiType = parser.isSet(creditOption) ? kCreditApiType : kStockApiType;
    MarketSimulator market(SecurityCatalogue::instance(), kDefaultSeed);
    SimBroker broker(apiType);
    fundAccount(broker, apiType);
    if (parser.isSet(fundsOption)) {
        bool ok = false;
        const double funds = parser.value(fundsOption).toDouble(&ok);
        if (!ok || funds < 0.0) {
            printLine(QStringLiteral("--funds: not an amount: %1").arg(parser.value(fundsOption)), stderr);
            return 2;
        }
        broker.setAvailableFunds(funds);
    }
    FixSimExchange exchange(settings, broker, market, SecurityCatalogue::instance());
    // Unbuffered: a reader sees each order as soon as it was handled, whatever happens after.
    QFile ordersFile(parser.value(ordersOption));
    if (parser.isSet(ordersOption)) {
        if (!ordersFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
            printLine(QStringLiteral("--orders-file: cannot open %1: %2").arg(ordersFile.fileName(), ordersFile.errorString()), stderr);
            return 2;
        }
        QObject::connect(&exchange, &FixSimExchange::signalOrderTaken, &app,
                         [&ordersFile](const QString& ref) { ordersFile.write(ref.toUtf8() + '\n'); });
    }
    QString whyNot;
    if (!exchange.start(&whyNot)) {
        printLine(whyNot, stderr);
        return 1;
    }
    if (!quitOnSignals(app)) {
        printLine(QStringLiteral("cannot watch SIGINT/SIGTERM"), stderr);
        return 1;
    }
    market.start(kQuoteIntervalMs);
    printLine(QStringLiteral("listening on %1:%2").arg(settings.host).arg(exchange.port()), stdout);
    const int status = app.exec();
    market.stop();
    exchange.stop();
    printLine(QStringLiteral("stopped"), stdout);
    return status;
}
