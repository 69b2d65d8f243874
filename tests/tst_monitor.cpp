#include "BrokerTableWid.h"
#include "MyTableViewSO.h"
#include "OperationLogWid.h"
#include "SchedOrdClock.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TableMainTaskWid.h"
#include "SchedOrd_TableSubTaskWid.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "VelmTest.h"

#include <QTabWidget>
#include <QtTest>

#include <memory>

using Velm_Space::MyTableViewSO;
using Velm_Space::SchedOrd_TableMainTaskWid;
using Velm_Space::SchedOrd_TableSubTaskWid;
using Velm_Space::SchedOrd_TaskMonitorWid;

namespace {

constexpr int kAccount = 1301;

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

} // namespace

// The task-execution page: what it holds and where.
class MonitorTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        UserData* data = VelmTest::addStockAccount(kAccount);
        data->initScheduledOrderApi();
        m_service = data->getServiceScheduledOrder();
        VelmTest::driveClock(*m_service, VELMSCHEDORDAPI::SchedOrdTaskTime::fromClockTime(9, 0, 0));
    }

    void cleanup() { VelmTest::removeAllAccounts(); }

    // Each tab the trader picks holds its table or host window.
    void tabsHoldTheirWindows()
    {
        auto monitor = open();
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
        const int64_t start = VELMSCHEDORDAPI::SchedOrdTaskTime::fromClockTime(9, 30, 0);
        VelmTest::addMainTask(*m_service, QStringLiteral("甲"), QStringLiteral("600000.SH"), 3, start);
        VelmTest::addMainTask(*m_service, QStringLiteral("乙"), QStringLiteral("000001.SZ"), 2, start);
        m_service->waitForEngineIdle();
        auto monitor = open();
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
    std::unique_ptr<SchedOrd_TaskMonitorWid> open()
    {
        auto monitor = std::make_unique<SchedOrd_TaskMonitorWid>(kAccount, m_service, nullptr);
        monitor->resize(913, 546);
        monitor->show();
        return monitor;
    }

    ServiceScheduledOrder* m_service = nullptr;
};

QTEST_MAIN(MonitorTest)
#include "tst_monitor.moc"
