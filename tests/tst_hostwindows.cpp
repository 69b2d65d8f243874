#include "BrokerTableWid.h"
#include "OperationLogWid.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
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
#include <QStandardItemModel>
#include <QtTest>

#include <thread>

using namespace VELMSCHEDORDAPI;

namespace {

const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);
constexpr int kAccount = 801;
constexpr int kUnknownAccount = 899;

// A buy of 100 of 600000 at `price` against an ask 1 of 10.36.
void placeBuy(UserData* data, double price, int64_t now)
{
    Lev1MarketData quote;
    quote.PriceLevels[5] = {10.36, 100000.0};
    SimOrderRequest request{1, 2, QStringLiteral("600000.SH"), QStringLiteral("600000"), Exchange::Shanghai,
                            Direction::Buy, price, 100, 100, 100};
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

} // namespace
Q_DECLARE_METATYPE(Factory)

// The host windows the task monitor embeds: the operation log and the broker's tables.
class HostWindowsTest : public QObject
{
    Q_OBJECT
    UserData* m_data = nullptr;

private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); VelmTest::setUpWindowManager(); }
    void init() { m_data = VelmTest::addStockAccount(kAccount); }
    void cleanup() { UserDataManager::instance()->removeAccount(kAccount); }

    // Each line once, in order, arriving queued: in a view that follows the log from the start, and in
    // one opened later while a line is still on its way, with another logged before its restore.
    void logLinesAreShownOnceInOrder()
    {
        m_data->initScheduledOrderApi();
        ServiceScheduledOrder* service = m_data->getServiceScheduledOrder();
        const auto clock = VelmTest::driveClock(*service, kT0);
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
        QTest::addColumn<Factory>("create");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QList<QStringList>>("rows");
        QTest::newRow("orders") << &WindowManager::createOrderWid
            << QStringList{"委托编号", "证券代码", "方向", "价格", "数量", "成交数量", "状态", "说明", "时间"}
            << QList<QStringList>{{"1", "600000", "买入", "10.36", "100", "100", "全部成交", "", "09:25:00"},
                                  {"2", "600000", "买入", "10.30", "100", "0", "已报", "", "09:25:05"},
                                  {"3", "600000", "买入", "0.00", "100", "0", "废单", "委托价格无效", "09:25:09"}};
        QTest::newRow("trades") << &WindowManager::createTradeWid
            << QStringList{"成交编号", "委托编号", "证券代码", "方向", "成交价格", "成交数量", "成交时间"}
            << QList<QStringList>{{"1", "1", "600000", "买入", "10.36", "100", "09:25:00"}};
        QTest::newRow("positions") << &WindowManager::createPositionWid
            << QStringList{"证券代码", "证券名称", "持仓数量", "可用数量", "成本价"}
            << QList<QStringList>{{"600000", "浦发银行", "100", "100", "10.36"}};
    }
    void brokerWindowsListTheBrokersRecords()
    {
        QFETCH(Factory, create);
        QFETCH(QList<QStringList>, rows);
        auto* parent = new QWidget;
        QCOMPARE((gWM->*create)(kUnknownAccount, Subwin_ScheduledOrder, parent), nullptr);
        QPointer<BrokerTableWid> window = qobject_cast<BrokerTableWid*>((gWM->*create)(kAccount, Subwin_ScheduledOrder, parent));
        QVERIFY(window);
        window->initWid();
        window->refreshWid();
        QTEST(rowTexts(window->model(), -1), "titles");
        QCOMPARE(window->model()->rowCount(), 0);

        std::thread engine([this] {
            placeBuy(m_data, 10.36, kT0);
            placeBuy(m_data, 10.30, kT0 + 5 * SchedOrdTaskTime::TicksPerSecond);
            placeBuy(m_data, 0.0, kT0 + 9 * SchedOrdTaskTime::TicksPerSecond);
        });
        engine.join();
        QTRY_COMPARE(window->model()->rowCount(), rows.size());
        for (int row = 0; row < rows.size(); ++row)
            QCOMPARE(rowTexts(window->model(), row), rows.at(row));

        // A burst of broker reports costs one reload once the event loop turns.
        QSignalSpy reloaded(window->model(), &QAbstractItemModel::rowsAboutToBeRemoved);
        for (int i = 0; i < 5; ++i)
            m_data->broker().setAvailableFunds(1000.0 * i);
        QCOMPARE(reloaded.count(), 0);
        QTRY_COMPARE(reloaded.count(), 1);
        delete parent;
        QVERIFY(window.isNull());
    }
};

QTEST_MAIN(HostWindowsTest)
#include "tst_hostwindows.moc"
