#include "BrokerTableWid.h"
#include "MyTableViewSO.h"
#include "OperationLogWid.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TableMainTaskWid.h"
#include "SchedOrd_TableSubTaskWid.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTabWidget>
#include <QtTest>

#include <memory>
#include <thread>

using namespace VELMSCHEDORDAPI;
using namespace Velm_Space;

namespace {

const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);
constexpr int kAccount = 801;
constexpr int kCreditAccount = 802;
constexpr int kUnknownAccount = 899;

// An order for 600000 against a bid 1 of 10.35 and an ask 1 of 10.36.
void place(UserData* data, char direction, double price, int volume, int64_t now)
{
    Lev1MarketData quote;
    quote.PriceLevels[0] = {10.35, 100000.0};
    quote.PriceLevels[5] = {10.36, 100000.0};
    SimOrderRequest request{1, 2, QStringLiteral("600000.SH"), QStringLiteral("600000"), Exchange::Shanghai,
                            direction, price, volume, 100, 100, QString()};
    data->broker().placeOrder(request, quote, now);
    data->broker().announceChanges(data->broker().takeChanges());
}

using Factory = ISubModuleWid* (WindowManager::*)(int, Subwin_Type, QWidget*);

// The cell texts of a row; row -1 gives the column titles.
QStringList rowTexts(const QAbstractItemModel* model, int row)
{
    QStringList texts;
    for (int column = 0; column < model->columnCount(); ++column)
        texts << (row < 0 ? model->headerData(column, Qt::Horizontal) : model->index(row, column).data()).toString();
    return texts;
}

// Every cell's text and sort value, row by row.
QStringList cellValues(const QAbstractItemModel* table)
{
    QStringList values;
    for (int row = 0; row < table->rowCount(); ++row) {
        for (int column = 0; column < table->columnCount(); ++column) {
            const QModelIndex cell = table->index(row, column);
            values << cell.data().toString() << cell.data(Qt::UserRole).toString();
        }
    }
    return values;
}

// A broker window: its column titles, `align` R or L per column, the rows it lists.
struct Listing { Factory create; int accountId; QStringList titles; QString align; QList<QStringList> rows; };

} // namespace
Q_DECLARE_METATYPE(Listing)

// The task-execution page and the host windows it embeds: the operation log and the broker's tables.
class HostWindowsTest : public QObject
{
    Q_OBJECT
    UserData* m_data = nullptr;

private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        VelmTest::setUpWindowManager();
        qRegisterMetaType<QVector<int>>();
    }
    void init() { m_data = VelmTest::addStockAccount(kAccount); }
    void cleanup() { VelmTest::removeAllAccounts(); }

    // Each line once, in order, arriving queued: in a view that follows the log from the start, and in
    // one opened later while a line is still on its way, with another logged before its restore.
    void logLinesAreShownOnceInOrder()
    {
        ServiceScheduledOrder* service = startService();
        QWidget parent;
        OperationLogWid early(kAccount, Subwin_ScheduledOrder, &parent);
        OperationLogWid unknown(kUnknownAccount, Subwin_ScheduledOrder, &parent);
        auto* closedEarly = new OperationLogWid(kAccount, Subwin_ScheduledOrder, &parent);
        const int id = VelmTest::addMainTask(*service, QStringLiteral("600000_浦发银行"), QStringLiteral("600000.SH"), 1,
                                             kT0 + 60 * SchedOrdTaskTime::TicksPerSecond);
        service->waitForEngineIdle();
        QCOMPARE(early.lines(), QStringList());
        OperationLogWid late(kAccount, Subwin_ScheduledOrder, &parent);
        service->StartMainTasks({id});
        service->RestoreOpLog();
        service->waitForEngineIdle();
        delete closedEarly;
        const QStringList expected{QStringLiteral("09:25:00 新增任务 #%1 600000_浦发银行，共1个子任务").arg(id),
                                   QStringLiteral("09:25:00 启动任务 #%1").arg(id)};
        QTRY_COMPARE(late.lines(), expected);
        QCOMPARE(early.lines(), expected);
        QCOMPARE(unknown.lines(), QStringList());
    }

    void brokerWindowsListTheBrokersRecords_data()
    {
        QTest::addColumn<Listing>("listing");
        QTest::newRow("orders") << Listing{&WindowManager::createOrderWid, kAccount,
            {"委托编号", "证券代码", "证券名称", "方向", "价格", "数量", "成交数量", "状态", "说明", "时间"}, "RLLLRRRLLL",
            {{"1", "600000", "浦发银行", "买入", "10.36", "100", "100", "全部成交", "", "09:25:00"},
             {"2", "600000", "浦发银行", "买入", "10.30", "100", "0", "已报", "", "09:25:05"},
             {"3", "600000", "浦发银行", "买入", "0.00", "100", "0", "废单", "委托价格无效", "09:25:09"}}};
        QTest::newRow("trades") << Listing{&WindowManager::createTradeWid, kAccount,
            {"成交编号", "委托编号", "证券代码", "证券名称", "方向", "成交价格", "成交数量", "成交时间"}, "RRLLLRRL",
            {{"1", "1", "600000", "浦发银行", "买入", "10.36", "100", "09:25:00"}}};
        QTest::newRow("positions") << Listing{&WindowManager::createPositionWid, kAccount,
            {"证券代码", "证券名称", "持仓数量", "可用数量", "成本价"}, "LLRRR", {{"600000", "浦发银行", "100", "100", "10.36"}}};
        QTest::newRow("credit positions after a short sale") << Listing{&WindowManager::createPositionWid, kCreditAccount,
            {"证券代码", "证券名称", "持仓数量", "可用数量", "成本价", "融券数量", "融券负债"}, "LLRRRRR",
            {{"600000", "浦发银行", "100", "100", "10.36", "300", "3105.00"}}};
    }
    void brokerWindowsListTheBrokersRecords()
    {
        QFETCH(Listing, listing);
        const auto& [create, accountId, titles, align, rows] = listing;
        UserData* data = accountId == kAccount ? m_data : VelmTest::addCreditAccount(accountId);
        data->broker().setShortQuota(QStringLiteral("600000.SH"), 1000);
        auto* parent = new QWidget;
        QCOMPARE((gWM->*create)(kUnknownAccount, Subwin_ScheduledOrder, parent), nullptr);
        QPointer<BrokerTableWid> window = qobject_cast<BrokerTableWid*>((gWM->*create)(accountId, Subwin_ScheduledOrder, parent));
        QVERIFY(window);
        window->initWid();
        window->refreshWid();
        QCOMPARE(rowTexts(window->model(), -1), titles);
        QCOMPARE(window->model()->rowCount(), 0);

        std::thread engine([data, credit = accountId == kCreditAccount] {
            place(data, Direction::Buy, 10.36, 100, kT0);
            if (credit) {
                place(data, Direction::ShortSell, 10.35, 300, kT0);
                return;
            }
            place(data, Direction::Buy, 10.30, 100, kT0 + 5 * SchedOrdTaskTime::TicksPerSecond);
            place(data, Direction::Buy, 0.0, 100, kT0 + 9 * SchedOrdTaskTime::TicksPerSecond);
        });
        engine.join();
        QTRY_COMPARE(window->model()->rowCount(), rows.size());
        for (int row = 0; row < rows.size(); ++row) {
            QCOMPARE(rowTexts(window->model(), row), rows.at(row));
            for (int column = 0; column < align.size(); ++column)
                QCOMPARE(window->model()->index(row, column).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask,
                         align[column] == 'R' ? int(Qt::AlignRight) : int(Qt::AlignLeft));
        }
        delete parent;
        QVERIFY(window.isNull());
    }

    // Orders that trade later change their own rows only, in place.
    void tradedOrdersChangeOnlyTheirRows()
    {
        QWidget parent;
        auto* window = qobject_cast<BrokerTableWid*>(gWM->createOrderWid(kAccount, Subwin_ScheduledOrder, &parent));
        window->initWid();
        std::thread([this] { for (int i = 0; i < 5; ++i) place(m_data, Direction::Buy, 0.01, 100, kT0); }).join();
        QTRY_COMPARE(window->model()->rowCount(), 5);

        QSignalSpy inserted(window->model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(window->model(), &QAbstractItemModel::dataChanged);
        Lev1MarketData quote;
        quote.PriceLevels[5] = {0.01, 250.0};
        std::thread([this, &quote] {
            SimBroker& broker = m_data->broker();
            broker.matchResting(QStringLiteral("600000.SH"), quote, kT0);
            broker.announceChanges(broker.takeChanges());
        }).join();
        QTRY_COMPARE(changed.count(), 3);
        QList<int> changedRows;
        for (const QList<QVariant>& change : changed)
            changedRows << change.at(0).toModelIndex().row();
        QCOMPARE(changedRows, (QList<int>{0, 1, 2}));
        QCOMPARE(window->model()->index(2, 7).data().toString(), QStringLiteral("部分成交"));
        QCOMPARE(inserted.count(), 0);
    }

    // Each tab the trader picks holds its table or host window.
    void tabsHoldTheirWindows()
    {
        auto monitor = openMonitor();
        auto* tabs = monitor->findChild<QTabWidget*>(QStringLiteral("tabWidget_somonitor_tables"));
        QCOMPARE(tabs->currentIndex(), 0);
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles.append(tabs->tabText(i));
        QCOMPARE(titles, (QStringList{"子任务明细", "任务委托", "任务成交", "持仓明细", "提示信息"}));
        const auto holders = [tabs, &titles](const QString& title) { return tabs->widget(titles.indexOf(title)); };
        QVERIFY(holders("子任务明细")->isAncestorOf(monitor->findChild<SchedOrd_TableSubTaskWid*>()));
        QVERIFY(holders("提示信息")->isAncestorOf(monitor->findChild<OperationLogWid*>()));
        const QList<BrokerTableWid*> hostWindows = monitor->findChildren<BrokerTableWid*>();
        QCOMPARE(hostWindows.size(), 3);
        const QMap<BrokerTableWid::Kind, QString> tabOf{
            {BrokerTableWid::Orders, "任务委托"}, {BrokerTableWid::Trades, "任务成交"}, {BrokerTableWid::Positions, "持仓明细"}};
        for (BrokerTableWid* window : hostWindows)
            QVERIFY(holders(tabOf.value(window->kind()))->isAncestorOf(window));
        QVERIFY(!tabs->isAncestorOf(monitor->findChild<SchedOrd_TableMainTaskWid*>()));
    }

    void tablesReadableWhileTheyGo()
    {
        ServiceScheduledOrder* service = startService();
        const int64_t start = kT0 + 60 * SchedOrdTaskTime::TicksPerSecond;
        VelmTest::addMainTask(*service, QStringLiteral("甲"), QStringLiteral("600000.SH"), 3, start);
        VelmTest::addMainTask(*service, QStringLiteral("乙"), QStringLiteral("000001.SZ"), 2, start);
        service->waitForEngineIdle();
        auto monitor = openMonitor();
        QVERIFY(QTest::qWaitForWindowExposed(monitor.get()));
        QCoreApplication::processEvents();

        // A view's last look at its rows (a repaint, an accessibility client) may come while it goes:
        // the column definitions and task records behind them must still be there.
        QList<bool> intactWhenViewWent;
        for (MyTableViewSO* view : monitor->findChildren<MyTableViewSO*>()) {
            const QAbstractItemModel* table = view->model();
            const QStringList shown = cellValues(table);
            QVERIFY(shown.size() > 30);
            // A change in place comes just before: no cached cell answers for the records.
            QAbstractItemModel* rows = qobject_cast<const QAbstractProxyModel*>(table)->sourceModel();
            emit rows->dataChanged(rows->index(0, 0), rows->index(rows->rowCount() - 1, rows->columnCount() - 1));
            connect(view, &QObject::destroyed, this,
                    [table, shown, &intactWhenViewWent] { intactWhenViewWent << (cellValues(table) == shown); });
        }
        monitor.reset();
        QCOMPARE(intactWhenViewWent, (QList<bool>{true, true}));
    }

private:
    ServiceScheduledOrder* startService() // on a hand-driven clock at kT0
    {
        m_data->initScheduledOrderApi();
        VelmTest::driveClock(*m_data->getServiceScheduledOrder(), kT0);
        return m_data->getServiceScheduledOrder();
    }
    std::unique_ptr<SchedOrd_TaskMonitorWid> openMonitor()
    {
        m_data->initScheduledOrderApi();
        auto monitor = std::make_unique<SchedOrd_TaskMonitorWid>(kAccount, m_data->getServiceScheduledOrder(), nullptr);
        monitor->resize(913, 546);
        monitor->show();
        return monitor;
    }
};

QTEST_MAIN(HostWindowsTest)
#include "tst_hostwindows.moc"
