#include "ClientRoutes.h"
#include "DemoFixExchange.h"
#include "DemoRunner.h"

#include "MarketSimulator.h"
#include "SchedOrdDatabase.h"
#include "SimBroker.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmClient.h"
#include "VelmDataFolder.h"
#include "WindowManager.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

constexpr int kStockAccountId = 10001;
constexpr int kCreditAccountId = 20001;
constexpr int kQuoteIntervalMs = 1000;

void printUtf8(const QString& line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

void printPopup(int, const QString& title, const QString& text, const QString& detail)
{
    QString line = QStringLiteral("[提示] ");
    if (!title.isEmpty())
        line += title + QStringLiteral("：");
    line += text;
    if (!detail.isEmpty())
        line += QStringLiteral("（%1）").arg(detail);
    printUtf8(line);
}

QString key(const char* code, char exchange)
{
    return Util::GetSecurityKey(QLatin1String(code), exchange);
}

void registerStockAccount()
{
    UserData* account = UserDataManager::instance()->addAccount(kStockAccountId, ApiTypes::Stock,
                                                                QStringLiteral("演示普通账户"));
    account->MapShareholderID.insert('1', QStringLiteral("A123456789"));
    account->MapShareholderID.insert('2', QStringLiteral("0123456789"));
    account->MapShareholderID.insert('4', QStringLiteral("0212345678"));
    SimBroker& broker = account->broker();
    broker.setAvailableFunds(1000000.00);
    broker.setPosition(key("000001", '2'), 10000, 11.20);
    broker.setPosition(key("600519", '1'), 200, 1520.00);
    broker.setPosition(key("300750", '2'), 1000, 238.50);
    broker.setPosition(key("510300", '1'), 50000, 3.980);
}

void registerCreditAccount()
{
    UserData* account = UserDataManager::instance()->addAccount(kCreditAccountId, ApiTypes::Credit,
                                                                QStringLiteral("演示信用账户"));
    account->MapShareholderID.insert('1', QStringLiteral("E123456789"));
    account->MapShareholderID.insert('2', QStringLiteral("0612345678"));
    account->MapShareholderID.insert('4', QStringLiteral("0298765432"));
    SimBroker& broker = account->broker();
    broker.setAvailableFunds(500000.00);
    broker.setCreditLine(800000.00);
    broker.setPosition(key("600036", '1'), 5000, 40.10);
    broker.setPosition(key("000858", '2'), 1000, 128.00);
    broker.setShortQuota(key("601318", '1'), 3000);
    broker.setShortQuota(key("600000", '1'), 20000);
}

// The package's private library folder when the client runs installed, else empty.
QString installedModuleDir()
{
    const QDir executableDir(QCoreApplication::applicationDirPath());
    const QString installed = QDir::cleanPath(executableDir.absoluteFilePath(QStringLiteral(VELM_MODULE_DIR_FROM_BIN)));
    return QFileInfo(installed).isDir() ? installed : QString();
}

// Installed, the client's own folder is not the user's to write: the strategy log goes to the
// user's data folder instead (unless VELM_LOG_DIR says otherwise).
void useUserLogDirWhenInstalled()
{
    if (installedModuleDir().isEmpty() || qEnvironmentVariableIsSet("VELM_LOG_DIR"))
        return;
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + QStringLiteral("/logs");
    qputenv("VELM_LOG_DIR", QFile::encodeName(dir));
}

// What the command line asks for, read before any window exists: --help and --version print
// and quit without a display.
struct Options
{
    bool demo = false;
    bool demoOverFix = false;
    QMap<int, OrderRouteSettings::Kind> routes;     // accounts whose route the command line sets
    FixSessionSettings fixOverrides;                // fields left empty / 0 keep the saved ones
    QString screenshotDir;
    QString moduleDir;
    QString dataDir;
    int zoomPercent = 100;
    QString error;
};

Options parseCommandLine(int argc, char* argv[])
{
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Velm trading client with the scheduled-order module"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demoOption(
        QStringLiteral("demo"), QStringLiteral("Enter demo orders without interaction, print their outcome and quit."));
    const QCommandLineOption screenshotOption(
        QStringLiteral("screenshots"), QStringLiteral("Save demo screenshots into <dir>."), QStringLiteral("dir"));
    const QCommandLineOption moduleDirOption(
        QStringLiteral("module-dir"), QStringLiteral("Load the module from <dir> (default: beside the executable, or where the package installs it)."),
        QStringLiteral("dir"));
    const QCommandLineOption zoomOption(
        QStringLiteral("zoom"), QStringLiteral("Start at a zoom of <percent>: 80, 90, 100, 110, 125 or 150."),
        QStringLiteral("percent"), QStringLiteral("100"));
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"),
        QStringLiteral("Keep the scheduled orders in <dir> (default: $VELM_DATA_DIR, else the user's data folder; the demo: a fresh temporary one)."),
        QStringLiteral("dir"));
    const QCommandLineOption demoFixOption(
        QStringLiteral("demo-fix"),
        QStringLiteral("The demo, with the stock account's orders sent over FIX 4.4 to a velm_fixsim it starts on loopback."));
    const QCommandLineOption routeOption(
        QStringLiteral("route"),
        QStringLiteral("Send <account>'s scheduled orders to the simulated broker (sim) or over FIX (fix), e.g. 10001=fix; "
                       "overrides the settings page. Repeatable."),
        QStringLiteral("account=sim|fix"));
    const QCommandLineOption fixHostOption(QStringLiteral("fix-host"), QStringLiteral("FIX counterparty's address."),
                                           QStringLiteral("address"));
    const QCommandLineOption fixPortOption(QStringLiteral("fix-port"), QStringLiteral("FIX counterparty's port."),
                                           QStringLiteral("port"));
    const QCommandLineOption fixSenderOption(QStringLiteral("fix-sender"), QStringLiteral("Our SenderCompID."),
                                             QStringLiteral("id"));
    const QCommandLineOption fixTargetOption(QStringLiteral("fix-target"), QStringLiteral("The counterparty's CompID."),
                                             QStringLiteral("id"));
    parser.addOptions({demoOption, screenshotOption, moduleDirOption, zoomOption, dataDirOption, demoFixOption, routeOption,
                       fixHostOption, fixPortOption, fixSenderOption, fixTargetOption});
    parser.process(core);
    Options options;
    options.demoOverFix = parser.isSet(demoFixOption);
    options.demo = parser.isSet(demoOption) || options.demoOverFix;
    for (const QString& route : parser.values(routeOption)) {
        const QStringList parts = route.split(QLatin1Char('='));
        bool isNumber = false;
        const int accountId = parts.value(0).toInt(&isNumber);
        const QString kind = parts.value(1);
        if (parts.size() != 2 || !isNumber || (kind != QLatin1String("sim") && kind != QLatin1String("fix"))) {
            options.error = QStringLiteral("--route takes <account>=sim or <account>=fix, not \"%1\".").arg(route);
            return options;
        }
        options.routes.insert(accountId, kind == QLatin1String("fix") ? OrderRouteSettings::Kind::Fix
                                                                    : OrderRouteSettings::Kind::Simulated);
    }
    options.fixOverrides.host = parser.value(fixHostOption);
    options.fixOverrides.port = parser.isSet(fixPortOption) ? parser.value(fixPortOption).toInt() : 0;
    options.fixOverrides.senderCompId = parser.value(fixSenderOption);
    options.fixOverrides.targetCompId = parser.value(fixTargetOption);
    options.screenshotDir = parser.value(screenshotOption);
    const QString installedDir = installedModuleDir();
    options.moduleDir = parser.isSet(moduleDirOption) ? parser.value(moduleDirOption)
                        : installedDir.isEmpty()      ? QCoreApplication::applicationDirPath()
                                                      : installedDir;
    options.dataDir = parser.value(dataDirOption);
    options.zoomPercent = parser.value(zoomOption).toInt();
    if (!VelmClient::zoomSteps().contains(options.zoomPercent))
        options.error = QStringLiteral("--zoom takes 80, 90, 100, 110, 125 or 150, not \"%1\".").arg(parser.value(zoomOption));
    return options;
}

// The database must be usable before any account starts: a newer or unwritable file stops the
// client; a damaged one is moved aside and the trader told.
bool checkDatabase(const QString& path, QString* refusal)
{
    SchedOrdDatabase database;
    const SchedOrdDatabase::OpenResult opened = database.open(path);
    if (!opened.usable()) {
        *refusal = opened.message;
        return false;
    }
    if (!opened.message.isEmpty())
        gWM->popupMsgBoxInfo(opened.message, nullptr, QString());
    return true;
}

// The saved routes, with what the command line says on top.
OrderRouteSettings routesFor(const Options& options, int fixSimPort)
{
    OrderRouteSettings routes = OrderRouteSettings::load();
    QMap<int, OrderRouteSettings::Kind> chosen = options.routes;
    if (options.demoOverFix)
        chosen.insert(kStockAccountId, OrderRouteSettings::Kind::Fix);
    for (auto it = chosen.cbegin(); it != chosen.cend(); ++it) {
        OrderRouteSettings::Account account = options.demoOverFix ? OrderRouteSettings::Account() : routes.account(it.key());
        account.kind = it.value();
        FixSessionSettings& session = account.session;
        const FixSessionSettings& overrides = options.fixOverrides;
        session.host = overrides.host.isEmpty() ? session.host : overrides.host;
        session.port = fixSimPort > 0 ? fixSimPort : overrides.port > 0 ? overrides.port : session.port;
        session.senderCompId = overrides.senderCompId.isEmpty() ? session.senderCompId : overrides.senderCompId;
        session.targetCompId = overrides.targetCompId.isEmpty() ? session.targetCompId : overrides.targetCompId;
        routes.setAccount(it.key(), account);
    }
    return routes;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velm"));
    QCoreApplication::setApplicationName(QStringLiteral("velm_client"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELM_VERSION));
    const Options options = parseCommandLine(argc, argv);
    if (!options.error.isEmpty()) {
        std::fputs((options.error + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return 2;
    }

    QApplication app(argc, argv);
    if (!VelmClient::installChineseTranslations())
        std::fputs("Qt's Chinese translations (qtbase_zh_CN) are not installed; standard texts stay in English.\n",
                   stderr);

    useUserLogDirWhenInstalled();
    gWM = new WindowManager(&app);
    gWM->loadSettings();
    if (options.demo) {
        // The demo never waits for a click; its orders start as soon as they are entered.
        gWM->setInteractive(false);
        gWM->autoStartSingleTask = true;
        gWM->allowPastSetTime = false;
        QObject::connect(gWM, &WindowManager::signalPopup, &app, &printPopup);
    }

    // The demo starts afresh every time, so that its output stays the same from run to run.
    std::unique_ptr<QTemporaryDir> demoDataDir;
    if (options.demo && options.dataDir.isEmpty())
        demoDataDir = std::make_unique<QTemporaryDir>();
    VelmDataFolder dataFolder(demoDataDir ? demoDataDir->path() : options.dataDir);
    QString refusal;
    if (!dataFolder.acquire(&refusal) || !checkDatabase(dataFolder.databasePath(), &refusal)) {
        gWM->popupMsgBoxInfo(refusal, nullptr, QString());
        std::fputs((refusal + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return 1;
    }
    UserDataManager::instance()->setDatabasePath(dataFolder.databasePath());

    registerStockAccount();
    registerCreditAccount();

    DemoFixExchange fixExchange;
    if (options.demoOverFix && !fixExchange.start(QDir(dataFolder.path()).filePath(QStringLiteral("fixsim")), &refusal)) {
        printUtf8(QStringLiteral("演示失败：%1").arg(refusal));
        return 1;
    }
    const OrderRouteSettings routes = routesFor(options, fixExchange.port());
    QString routeProblem = routes.problem();
    if (!routeProblem.isEmpty()) {
        std::fputs((routeProblem + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return 2;
    }
    ClientRoutes clientRoutes;
    QStringList routeProblems;
    clientRoutes.attach(routes, dataFolder.path(), &routeProblems);
    for (const QString& problem : qAsConst(routeProblems))
        gWM->popupMsgBoxInfo(problem, nullptr, QString());
    // Every account's tasks come back (and missed set times are settled) as the client starts.
    for (const int accountId : UserDataManager::instance()->accountIds())
        UserDataManager::instance()->getUserData(accountId)->initScheduledOrderApi();
    UserDataManager::instance()->market().start(kQuoteIntervalMs);

    VelmClient client;
    client.setZoomPercent(options.zoomPercent);
    QString moduleError;
    const bool moduleLoaded = client.loadScheduledOrderModule(options.moduleDir, &moduleError);
    if (moduleLoaded)
        client.openScheduledOrderWindow(kStockAccountId);
    client.show();

    // Declared after the routes, the client and its windows go first, then the services with
    // the routes (ClientRoutes), then the demo's exchange.
    if (!options.demo)
        return app.exec();
    if (!moduleLoaded) {
        printUtf8(QStringLiteral("演示失败：%1").arg(moduleError));
        return 1;
    }
    DemoRunner runner(client, kStockAccountId, options.screenshotDir);
    if (options.demoOverFix)
        runner.showFixMessagesFrom(clientRoutes.firstLogFolder());
    QObject::connect(&runner, &DemoRunner::finished, &app, &QCoreApplication::exit);
    QTimer::singleShot(0, &runner, &DemoRunner::run);
    return app.exec();
}
