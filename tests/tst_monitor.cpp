#include "BrokerTableWid.h"
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

#include <QLabel>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using Velm_Space::SchedOrd_TableMainTaskWid;
using Velm_Space::SchedOrd_TableSubTaskWid;
using Velm_Space::SchedOrd_TaskMonitorWid;

namespace {

constexpr int kAccount = 1301;

} // namespace

// The task-execution page: what it holds and where.
class MonitorTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabsAndPlaceholders();
    void childrenSitInTheirLayouts();
    void operationLogIsRestoredOnce();

private:
    std::unique_ptr<SchedOrd_TaskMonitorWid> open();

    ServiceScheduledOrder* m_service = nullptr;
};

void MonitorTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
}

void MonitorTest::init()
{
    VelmTest::setUpWindowManager();
    UserData* data = VelmTest::addStockAccount(kAccount);
    data->initScheduledOrderApi();
    m_service = data->getServiceScheduledOrder();
    VelmTest::driveClock(*m_service, VELMSCHEDORDAPI::SchedOrdTaskTime::fromClockTime(9, 0, 0));
}

void MonitorTest::cleanup()
{
    VelmTest::removeAllAccounts();
}

std::unique_ptr<SchedOrd_TaskMonitorWid> MonitorTest::open()
{
    auto monitor = std::make_unique<SchedOrd_TaskMonitorWid>(kAccount, m_service, nullptr);
    monitor->resize(913, 546);
    monitor->show();
    return monitor;
}

void MonitorTest::tabsAndPlaceholders()
{
    auto monitor = open();
    auto* tabs = monitor->findChild<QTabWidget*>(QStringLiteral("tabWidget_somonitor_tables"));
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 5);
    QCOMPARE(tabs->currentIndex(), 0);
    const QStringList titles{"子任务明细", "任务委托", "任务成交", "持仓明细", "提示信息"};
    for (int i = 0; i < titles.size(); ++i)
        QCOMPARE(tabs->tabText(i), titles[i]);
    for (const char* name : {"label_somonitor_top_blank", "label_somonitor_taskdetail_blank", "label_somonitor_order_blank",
                             "label_somonitor_trade_blank", "label_somonitor_position_blank", "label_somonitor_logs_blank"}) {
        auto* label = monitor->findChild<QLabel*>(QString::fromLatin1(name));
        QVERIFY2(label, name);
        QVERIFY2(label->isHidden(), name);
    }
}

void MonitorTest::childrenSitInTheirLayouts()
{
    auto monitor = open();
    auto* mainTable = monitor->findChild<SchedOrd_TableMainTaskWid*>();
    auto* subTable = monitor->findChild<SchedOrd_TableSubTaskWid*>();
    QVERIFY(mainTable);
    QVERIFY(subTable);
    QCOMPARE(mainTable->parentWidget()->objectName(), QStringLiteral("widget_somonitor_top"));
    QCOMPARE(subTable->parentWidget()->objectName(), QStringLiteral("widget_somonitor_taskdetail_table"));

    const QList<BrokerTableWid*> hostWindows = monitor->findChildren<BrokerTableWid*>();
    QCOMPARE(hostWindows.size(), 3);
    QMap<BrokerTableWid::Kind, QString> pages;
    for (BrokerTableWid* window : hostWindows)
        pages.insert(window->kind(), window->parentWidget()->objectName());
    QCOMPARE(pages.value(BrokerTableWid::Orders), QStringLiteral("tab_somonitor_order"));
    QCOMPARE(pages.value(BrokerTableWid::Trades), QStringLiteral("tab_somonitor_trade"));
    QCOMPARE(pages.value(BrokerTableWid::Positions), QStringLiteral("tab_somonitor_position"));

    auto* log = monitor->findChild<OperationLogWid*>();
    QVERIFY(log);
    QCOMPARE(log->parentWidget()->objectName(), QStringLiteral("tab_somonitor_logs"));
}

void MonitorTest::operationLogIsRestoredOnce()
{
    const int64_t start = VELMSCHEDORDAPI::SchedOrdTaskTime::fromClockTime(9, 30, 0);
    VelmTest::addMainTask(*m_service, QStringLiteral("甲"), QStringLiteral("600000.SH"), 1, start);
    VelmTest::addMainTask(*m_service, QStringLiteral("乙"), QStringLiteral("000001.SZ"), 1, start);
    m_service->waitForEngineIdle();
    const QStringList stored = m_service->operationLog();
    QVERIFY(stored.size() >= 2);

    // The lines logged before the page existed reach its log exactly once, in order.
    auto monitor = open();
    auto* log = monitor->findChild<OperationLogWid*>();
    m_service->waitForEngineIdle();
    QTRY_COMPARE(log->lines(), stored);
    QCoreApplication::processEvents();
    QCOMPARE(log->lines(), stored);
}

QTEST_MAIN(MonitorTest)
#include "tst_monitor.moc"
