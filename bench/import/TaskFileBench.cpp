#include "TaskFileBench.h"

#include "FileDialogDriver.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"

#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTableView>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>

using namespace VELMSCHEDORDAPI;

namespace {

constexpr int kBadEvery = 10;
constexpr int kShownTimeoutMs = 60000;

const char* const kSecurities[] = {
    "SH600000", "SH600519", "SH601318", "SH688981", "SH510300", "SZ000001", "SZ300750",
    "SZ000858", "SZ002594", "SZ159915", "BJ920185", "BJ920982",
};

// Bad lines of every kind, in turn.
const char* const kBadLines[] = {
    "",
    "SCHED,SH600000,0,09:30:00,,0,0,0,0,100,1",
    "ORDER,SH600000,0,09:30:00,,0,0,0,0,100,1,1",
    "SCHED,SH60000,0,09:30:00,,0,0,0,0,100,1,1",
    "SCHED,HK600000,0,09:30:00,,0,0,0,0,100,1,1",
    "SCHED,SH600000,i,09:30:00,,0,0,0,0,100,1,1",
    "SCHED,SH600000,0,9:30:00,,0,0,0,0,100,1,1",
    "SCHED,SH600000,0,09:30:00,,18,0,0,0,100,1,1",
    "SCHED,SH600000,0,09:30:00,,12,0,0,0,100,1,1",
    "SCHED,SH600000,0,09:30:00,,0,0,2,0,100,1,1",
    "SCHED,SH600000,0,09:30:00,,0,0,0,0,1e3,1,1",
    "SCHED,SH600000,0,09:30:00,,0,0,0,0,100,1,true",
};

QByteArray validLine(std::mt19937& random)
{
    const char* security = kSecurities[random() % std::size(kSecurities)];
    const bool buy = random() % 2 == 0;
    const int seconds = 9 * 3600 + 30 * 60 + int(random() % (5 * 3600));
    const int priceType = int(random() % 16);
    const bool percent = random() % 2 == 0;
    char line[160];
    std::snprintf(line, sizeof line, "SCHED,%s,%c,%02d:%02d:%02d,篮子第%d行,%d,%s,%c,%s,%d,%d,%d\n", security,
                  buy ? '0' : '1', seconds / 3600, seconds / 60 % 60, seconds % 60, int(random() % 1000), priceType,
                  priceType == 12 ? "10.35" : "0", percent ? '1' : '0', percent ? "0.5" : "-1",
                  int(100 * (1 + random() % 50)), int(random() % 2), int(random() % 2));
    return QByteArray(line);
}

void settle()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    while (dispatcher->processEvents(QEventLoop::AllEvents)) {
    }
}

QTableView* table(QWidget& monitor, const char* objectName)
{
    auto* view = monitor.findChild<QTableView*>(QLatin1String(objectName));
    if (!view) {
        std::fprintf(stderr, "no %s in the monitor\n", objectName);
        std::exit(1);
    }
    return view;
}

} // namespace

namespace TaskFileBench {

QString writeTaskFile(const QString& path, int lines, bool withBadLines)
{
    std::mt19937 random(20240611);
    QByteArray content = QByteArrayLiteral("\xEF\xBB\xBF类型标识,证券标的,买卖方向,设定开始时间,备注,价格类型,委托价格,"
                                           "报价优化方式,浮动值,委托数量,涨停不卖,跌停不买\n");
    content.reserve(lines * 64);
    for (int i = 0; i < lines; ++i) {
        if (withBadLines && i % kBadEvery == kBadEvery - 1)
            content += QByteArray(kBadLines[(i / kBadEvery) % std::size(kBadLines)]) + '\n';
        else
            content += validLine(random);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    return path;
}

double chosenToShownMs(const QString& path, int expectedSubTasks, int accountId,
                       const std::function<void(ServiceScheduledOrder&)>& prepare)
{
    UserData* account = VelmTest::addStockAccount(accountId);
    account->initScheduledOrderApi();
    ServiceScheduledOrder* service = account->getServiceScheduledOrder();
    VelmTest::driveClock(*service, SchedOrdTaskTime::fromClockTime(0, 0, 1));
    if (prepare)
        prepare(*service);
    Velm_Space::SchedOrd_TaskMonitorWid monitor(accountId, service, nullptr);
    monitor.resize(1400, 800);
    monitor.show();
    settle();
    QTableView* mainTasks = table(monitor, "tableview_SO_monitorMainTask");
    QTableView* subTasks = table(monitor, "tableview_SO_monitorSubTask");
    const int mainTasksBefore = mainTasks->model()->rowCount();
    const int subTasksBefore = subTasks->model()->rowCount();

    QElapsedTimer sinceChosen;
    VelmTest::FileDialogDriver driver(path);
    driver.setOnAnswered([&sinceChosen] { sinceChosen.start(); });
    monitor.findChild<QPushButton*>(QStringLiteral("pushButton_schedord_maintask_import"))->click();
    if (!driver.dialogSeen()) {
        std::fprintf(stderr, "the import did not open its file dialog\n");
        std::exit(1);
    }
    while (mainTasks->model()->rowCount() <= mainTasksBefore
           || subTasks->model()->rowCount() < subTasksBefore + expectedSubTasks) {
        if (sinceChosen.elapsed() > kShownTimeoutMs) {
            std::fprintf(stderr, "the imported rows did not appear within %d ms\n", kShownTimeoutMs);
            std::exit(1);
        }
        service->waitForEngineIdle();
        QAbstractEventDispatcher::instance()->processEvents(QEventLoop::AllEvents);
    }
    mainTasks->viewport()->repaint();
    subTasks->viewport()->repaint();
    const double ms = sinceChosen.nsecsElapsed() / 1e6;
    settle();
    VelmTest::removeAllAccounts();
    return ms;
}

} // namespace TaskFileBench
