#include "BrokerTableWid.h"
#include "MarketSimulator.h"
#include "OperationLogWid.h"
#include "SchedOrdClock.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using namespace VELMSCHEDORDAPI;

namespace {

const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);
const QString kPufa = QStringLiteral("600000.SH");
constexpr int kUnknownAccount = 899;

// Last 10.35; bids 10.34 .. 10.30, asks 10.36 .. 10.40, 100,000 at each level.
Lev1MarketData pinnedQuote()
{
    Lev1MarketData quote;
    quote.LastPrice = 10.35;
    quote.PreClosePrice = 10.20;
    quote.UpperLimitPrice = 11.22;
    quote.LowerLimitPrice = 9.18;
    for (int level = 0; level < 5; ++level) {
        quote.PriceLevels[static_cast<size_t>(level)] = {10.34 - 0.01 * level, 100000.0};
        quote.PriceLevels[static_cast<size_t>(5 + level)] = {10.36 + 0.01 * level, 100000.0};
    }
    return quote;
}

// One main task of one sub-task: buy 100 of 600000 at ask 1, at `start`.
SchedOrdTaskField buyTask(int mainId, int subId, int64_t start)
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = mainId;
    sub.SubTaskID = subId;
    sub.SecurityKey = kPufa.toStdString();
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
    SchedOrdTaskField task;
    task.MainTaskID = mainId;
    task.MainTaskName = Util::QStr2str(QStringLiteral("600000_浦发银行"));
    task.MainTaskStatus = MainTaskStatus::NotStarted;
    task.TriggerStatus = MainTriggerStatus::None;
    task.CreateTime = kT0;
    task.StartTime = start;
    task.EndTime = start;
    task.Direction = Direction::Buy;
    task.VecSubTask = {sub};
    return task;
}

SimOrderRequest buyRequest(double price)
{
    SimOrderRequest request;
    request.MainTaskID = 1;
    request.SubTaskID = 2;
    request.SecurityKey = kPufa;
    request.SecurityID = QStringLiteral("600000");
    request.ExchangeID = Exchange::Shanghai;
    request.Direction = Direction::Buy;
    request.Price = price;
    request.Volume = 100;
    request.MinVolume = 100;
    request.VolumeStep = 100;
    return request;
}

QStringList rowTexts(const QStandardItemModel* model, int row)
{
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column)
        texts.append(model->index(row, column).data().toString());
    return texts;
}

QStringList titles(const QStandardItemModel* model)
{
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column)
        texts.append(model->headerData(column, Qt::Horizontal).toString());
    return texts;
}

// An account whose service runs on a hand-moved clock.
struct Account
{
    explicit Account(int accountId)
        : id(accountId)
        , data(VelmTest::addStockAccount(accountId))
        , clock(std::make_shared<ManualSchedOrdClock>(kT0))
    {
        data->initScheduledOrderApi();
        service()->setClock(clock);
        UserDataManager::instance()->market().setQuote(kPufa, pinnedQuote());
    }
    ~Account() { UserDataManager::instance()->removeAccount(id); }
    ServiceScheduledOrder* service() const { return data->getServiceScheduledOrder(); }

    int id;
    UserData* data;
    std::shared_ptr<ManualSchedOrdClock> clock;
};

// The three broker windows of an account, set up as the monitor sets them up.
struct BrokerWindows
{
    explicit BrokerWindows(int accountId)
    {
        orders = qobject_cast<BrokerTableWid*>(gWM->createOrderWid(accountId, Subwin_ScheduledOrder, &parent));
        trades = qobject_cast<BrokerTableWid*>(gWM->createTradeWid(accountId, Subwin_ScheduledOrder, &parent));
        positions = qobject_cast<BrokerTableWid*>(gWM->createPositionWid(accountId, Subwin_ScheduledOrder, &parent));
        for (BrokerTableWid* window : {orders, trades, positions}) {
            window->initWid();
            window->refreshWid();
        }
    }

    QWidget parent;
    BrokerTableWid* orders = nullptr;
    BrokerTableWid* trades = nullptr;
    BrokerTableWid* positions = nullptr;
};

} // namespace

// The host windows the task monitor embeds: the operation log and the broker's tables.
class HostWindowsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void logShowsLinesFromTheEngineThread();
    void restoreOpLogReplaysTheStoredLines();
    void logOfAnAccountWithoutServiceStaysEmpty_data();
    void logOfAnAccountWithoutServiceStaysEmpty();
    void logDeletedBeforeDeliveryIsSafe();
    void factoriesMakeTheThreeKinds_data();
    void factoriesMakeTheThreeKinds();
    void factoriesRefuseAnUnknownAccount();
    void ordersPlacedOnAnotherThreadShowUp();
    void burstOfChangesReloadsOnce();
    void engineFiredOrderShowsUp();
    void removedAccountLeavesEmptyTables();
};

void HostWindowsTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
}

void HostWindowsTest::cleanupTestCase()
{
    UserDataManager::instance()->market().unpin(kPufa);
    VelmTest::removeAllAccounts();
}

void HostWindowsTest::logShowsLinesFromTheEngineThread()
{
    Account account(801);
    QWidget parent;
    OperationLogWid log(account.id, Subwin_ScheduledOrder, &parent);
    QObject probe;
    std::atomic<int> offGuiThread{0};
    QThread* guiThread = QThread::currentThread();
    connect(account.service(), &ServiceScheduledOrder::signalOperationLog, &probe,
            [&offGuiThread, guiThread](const QString&) {
                if (QThread::currentThread() != guiThread)
                    ++offGuiThread;
            },
            Qt::DirectConnection);

    account.service()->AddMainTasks({buyTask(1, 1, kT0 + 60 * SchedOrdTaskTime::TicksPerSecond)});
    account.service()->StartMainTasks({1});
    account.service()->waitForEngineIdle();
    QCOMPARE(offGuiThread.load(), 2);
    QCOMPARE(log.lines(), QStringList());

    const QStringList expected{QStringLiteral("09:25:00 新增任务 #1 600000_浦发银行，共1个子任务"),
                               QStringLiteral("09:25:00 启动任务 #1")};
    QTRY_COMPARE(log.lines(), expected);

    account.clock->setNow(kT0 + 60 * SchedOrdTaskTime::TicksPerSecond);
    account.service()->waitForEngineIdle();
    QTRY_COMPARE(log.lines(), account.service()->operationLog());
    QVERIFY(log.lines().size() > 2);

    auto* text = log.findChild<QPlainTextEdit*>();
    QVERIFY(text);
    QVERIFY(text->isReadOnly());
}

void HostWindowsTest::restoreOpLogReplaysTheStoredLines()
{
    Account account(802);
    QWidget parent;
    OperationLogWid early(account.id, Subwin_ScheduledOrder, &parent);
    account.service()->AddMainTasks({buyTask(1, 1, kT0 + 60 * SchedOrdTaskTime::TicksPerSecond)});
    account.service()->StartMainTasks({1});
    account.service()->waitForEngineIdle();
    const QStringList stored = account.service()->operationLog();
    QCOMPARE(stored.size(), 2);
    QTRY_COMPARE(early.lines(), stored);

    OperationLogWid late(account.id, Subwin_ScheduledOrder, &parent);
    QCoreApplication::processEvents();
    QCOMPARE(late.lines(), QStringList());

    account.service()->RestoreOpLog();
    account.service()->waitForEngineIdle();
    QTRY_COMPARE(late.lines(), stored);
    QTRY_COMPARE(early.lines(), stored + stored);
}

void HostWindowsTest::logOfAnAccountWithoutServiceStaysEmpty_data()
{
    QTest::addColumn<bool>("registered");
    QTest::newRow("no service") << true;
    QTest::newRow("unknown account") << false;
}

void HostWindowsTest::logOfAnAccountWithoutServiceStaysEmpty()
{
    QFETCH(bool, registered);
    constexpr int kAccount = 803;
    UserData* data = registered ? VelmTest::addStockAccount(kAccount) : nullptr;
    QWidget parent;
    OperationLogWid log(registered ? kAccount : kUnknownAccount, Subwin_ScheduledOrder, &parent);
    if (data) {
        // A service created after the log window is not the one it watches.
        data->initScheduledOrderApi();
        data->getServiceScheduledOrder()->AddMainTasks({buyTask(1, 1, kT0)});
        data->getServiceScheduledOrder()->waitForEngineIdle();
    }
    QCoreApplication::processEvents();
    QCOMPARE(log.lines(), QStringList());
    UserDataManager::instance()->removeAccount(kAccount);
}

void HostWindowsTest::logDeletedBeforeDeliveryIsSafe()
{
    Account account(804);
    QPointer<OperationLogWid> log = new OperationLogWid(account.id, Subwin_ScheduledOrder, nullptr);
    account.service()->AddMainTasks({buyTask(1, 1, kT0 + 60 * SchedOrdTaskTime::TicksPerSecond)});
    account.service()->waitForEngineIdle();
    delete log.data();
    QCoreApplication::processEvents();
    QVERIFY(log.isNull());
}

void HostWindowsTest::factoriesMakeTheThreeKinds_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("viewName");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("orders") << int(BrokerTableWid::Orders) << QStringLiteral("tableView_broker_orders")
                            << QStringList{QStringLiteral("委托编号"), QStringLiteral("证券代码"), QStringLiteral("方向"),
                                           QStringLiteral("价格"), QStringLiteral("数量"), QStringLiteral("成交数量"),
                                           QStringLiteral("状态"), QStringLiteral("说明"), QStringLiteral("时间")};
    QTest::newRow("trades") << int(BrokerTableWid::Trades) << QStringLiteral("tableView_broker_trades")
                            << QStringList{QStringLiteral("成交编号"), QStringLiteral("委托编号"), QStringLiteral("证券代码"),
                                           QStringLiteral("方向"), QStringLiteral("成交价格"), QStringLiteral("成交数量"),
                                           QStringLiteral("成交时间")};
    QTest::newRow("positions") << int(BrokerTableWid::Positions) << QStringLiteral("tableView_broker_positions")
                               << QStringList{QStringLiteral("证券代码"), QStringLiteral("证券名称"),
                                              QStringLiteral("持仓数量"), QStringLiteral("可用数量"),
                                              QStringLiteral("成本价")};
}

void HostWindowsTest::factoriesMakeTheThreeKinds()
{
    QFETCH(int, kind);
    QFETCH(QString, viewName);
    QFETCH(QStringList, titles);
    constexpr int kAccount = 805;
    VelmTest::addStockAccount(kAccount);
    auto* parent = new QWidget;
    ISubModuleWid* made = nullptr;
    switch (kind) {
    case BrokerTableWid::Orders: made = gWM->createOrderWid(kAccount, Subwin_ScheduledOrder, parent); break;
    case BrokerTableWid::Trades: made = gWM->createTradeWid(kAccount, Subwin_ScheduledOrder, parent); break;
    case BrokerTableWid::Positions: made = gWM->createPositionWid(kAccount, Subwin_ScheduledOrder, parent); break;
    }
    QPointer<BrokerTableWid> window = qobject_cast<BrokerTableWid*>(made);
    QVERIFY(window);
    QCOMPARE(int(window->kind()), kind);
    QCOMPARE(window->parentWidget(), parent);
    QCOMPARE(window->model(), nullptr);

    window->initWid();
    window->initWid();
    QVERIFY(window->model());
    QCOMPARE(::titles(window->model()), titles);
    QCOMPARE(window->findChildren<QTableView*>().size(), 1);
    QCOMPARE(window->findChild<QTableView*>()->objectName(), viewName);
    QCOMPARE(window->model()->rowCount(), 0);

    delete parent;
    QVERIFY(window.isNull());
    UserDataManager::instance()->removeAccount(kAccount);
}

void HostWindowsTest::factoriesRefuseAnUnknownAccount()
{
    QWidget parent;
    QCOMPARE(gWM->createOrderWid(kUnknownAccount, Subwin_ScheduledOrder, &parent), nullptr);
    QCOMPARE(gWM->createTradeWid(kUnknownAccount, Subwin_ScheduledOrder, &parent), nullptr);
    QCOMPARE(gWM->createPositionWid(kUnknownAccount, Subwin_ScheduledOrder, &parent), nullptr);
    QVERIFY(parent.children().isEmpty());
}

void HostWindowsTest::ordersPlacedOnAnotherThreadShowUp()
{
    Account account(806);
    BrokerWindows windows(account.id);
    QCOMPARE(windows.orders->model()->rowCount(), 0);

    Lev1MarketData quote;
    QVERIFY(UserDataManager::instance()->market().snapshot(kPufa, quote));
    std::thread engine([&account, &quote] {
        account.data->broker().placeOrder(buyRequest(10.36), quote, kT0);
        account.data->broker().placeOrder(buyRequest(10.30), quote, kT0 + 5 * SchedOrdTaskTime::TicksPerSecond);
        account.data->broker().placeOrder(buyRequest(0.0), quote, kT0 + 9 * SchedOrdTaskTime::TicksPerSecond);
    });
    engine.join();

    QTRY_COMPARE(windows.orders->model()->rowCount(), 3);
    QCOMPARE(rowTexts(windows.orders->model(), 0),
             QStringList({"1", "600000", "买入", "10.36", "100", "100", "全部成交", "", "09:25:00"}));
    QCOMPARE(rowTexts(windows.orders->model(), 1),
             QStringList({"2", "600000", "买入", "10.30", "100", "0", "已报", "", "09:25:05"}));
    QCOMPARE(rowTexts(windows.orders->model(), 2),
             QStringList({"3", "600000", "买入", "0.00", "100", "0", "废单", "委托价格无效", "09:25:09"}));
    QTRY_COMPARE(windows.trades->model()->rowCount(), 1);
    QCOMPARE(rowTexts(windows.trades->model(), 0),
             QStringList({"1", "1", "600000", "买入", "10.36", "100", "09:25:00"}));
    QTRY_COMPARE(windows.positions->model()->rowCount(), 1);
    QCOMPARE(rowTexts(windows.positions->model(), 0), QStringList({"600000", "浦发银行", "100", "100", "10.36"}));
}

void HostWindowsTest::burstOfChangesReloadsOnce()
{
    Account account(807);
    Lev1MarketData quote;
    QVERIFY(UserDataManager::instance()->market().snapshot(kPufa, quote));
    account.data->broker().placeOrder(buyRequest(10.36), quote, kT0);
    BrokerWindows windows(account.id);
    QCOMPARE(windows.orders->model()->rowCount(), 1);
    QSignalSpy ordersReloaded(windows.orders->model(), &QAbstractItemModel::rowsAboutToBeRemoved);
    QSignalSpy positionsReloaded(windows.positions->model(), &QAbstractItemModel::rowsAboutToBeRemoved);

    for (int i = 0; i < 5; ++i)
        account.data->broker().setAvailableFunds(1000.0 * i);
    QCOMPARE(ordersReloaded.count(), 0);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(ordersReloaded.count(), 1);
    QCOMPARE(positionsReloaded.count(), 1);
    QCOMPARE(windows.orders->model()->rowCount(), 1);
}

void HostWindowsTest::engineFiredOrderShowsUp()
{
    Account account(808);
    BrokerWindows windows(account.id);
    const int64_t due = kT0 + 60 * SchedOrdTaskTime::TicksPerSecond;
    account.service()->AddMainTasks({buyTask(7, 70, due)});
    account.service()->StartMainTasks({7});
    account.service()->waitForEngineIdle();
    QCoreApplication::processEvents();
    QCOMPARE(windows.orders->model()->rowCount(), 0);

    account.clock->setNow(due);
    account.service()->waitForEngineIdle();
    QTRY_COMPARE(windows.orders->model()->rowCount(), 1);
    const std::vector<SimOrder> orders = account.data->broker().orders();
    QCOMPARE(int(orders.size()), 1);
    QCOMPARE(orders.front().SubTaskID, 70);
    QCOMPARE(rowTexts(windows.orders->model(), 0),
             QStringList({QString::number(orders.front().OrderID), "600000", "买入",
                          QString::number(orders.front().Price, 'f', 2), "100", "100", "全部成交", "", "09:26:00"}));
    QTRY_COMPARE(windows.positions->model()->rowCount(), 1);
}

void HostWindowsTest::removedAccountLeavesEmptyTables()
{
    constexpr int kAccount = 809;
    UserData* data = VelmTest::addStockAccount(kAccount);
    Lev1MarketData quote;
    QVERIFY(UserDataManager::instance()->market().snapshot(kPufa, quote));
    data->broker().placeOrder(buyRequest(10.36), quote, kT0);
    BrokerWindows windows(kAccount);
    QCOMPARE(windows.orders->model()->rowCount(), 1);

    UserDataManager::instance()->removeAccount(kAccount);
    for (BrokerTableWid* window : {windows.orders, windows.trades, windows.positions}) {
        window->refreshWid();
        QCOMPARE(window->model()->rowCount(), 0);
    }
}

QTEST_MAIN(HostWindowsTest)
#include "tst_hostwindows.moc"
