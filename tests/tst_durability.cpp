#include "MarketQuotes.h"
#include "MarketSimulator.h"
#include "SchedOrdClock.h"
#include "SchedOrdDatabase.h"
#include "SchedOrdTaskTime.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "SubTaskFields.h"
#include "TaskBuilder.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace VELMSCHEDORDAPI;
using VelmTest::OrderSpec;

namespace {

constexpr int kAccount = 10001;
const int64_t kT0 = SchedOrdTaskTime::fromLocalDateTime(2025, 6, 3, 9, 25, 0);
const QString kPufa = QStringLiteral("600000.SH");
const QString kName = QStringLiteral("600000_浦发银行");

int64_t at(int hour, int minute, int day = 3) { return SchedOrdTaskTime::fromLocalDateTime(2025, 6, day, hour, minute, 0); }

// One account's service on a database file, its clock at `now` before the file is opened.
struct Client
{
    Client(const QString& path, int64_t now, int apiType = 1)
        : broker(apiType)
    {
        broker.setAvailableFunds(1e8);
        broker.setCreditLine(1e8);
        broker.setPosition(kPufa, 100000, 10.0);
        broker.setShortQuota(kPufa, 100000);
        service = std::make_unique<ServiceScheduledOrder>(kAccount, apiType, SecurityCatalogue::instance(), market, broker);
        clock = VelmTest::driveClock(*service, now);
        opened = service->openStorage(path, &message);
        service->waitForEngineIdle();
    }
    int add(const QList<OrderSpec>& orders, bool start = true)
    {
        const SchedOrdTaskField task = VelmTest::makeMainTask(*service, kName, orders);
        service->AddMainTasks({task});
        if (start)
            service->StartMainTasks({task.MainTaskID});
        service->waitForEngineIdle();
        return task.MainTaskID;
    }
    void moveTo(int64_t time) { clock->setNow(time); service->waitForEngineIdle(); }
    SchedOrdSubTaskField sub(int mainTaskId, size_t index = 0) { return service->getOneMainTask(mainTaskId).VecSubTask.at(index); }

    MarketSimulator market{SecurityCatalogue::instance(), 7};
    SimBroker broker;
    std::unique_ptr<ServiceScheduledOrder> service;
    std::shared_ptr<ManualSchedOrdClock> clock;
    bool opened = false;
    QString message;
};

// What a restart must bring back besides the tasks: the log, the next ids and the broker's books.
QStringList persistedRows(Client& client)
{
    const SimBroker& broker = client.broker;
    QStringList rows = client.service->operationLog();
    rows << QStringLiteral("next ids %1 %2").arg(client.service->getNextMainTaskID()).arg(client.service->getNextSubTaskID())
         << QString::number(broker.availableFunds(), 'f', 2);
    for (const SimOrder& o : broker.orders())
        rows << QStringLiteral("order %1 %2 %3 %4 %5/%6 %7").arg(o.OrderID).arg(o.ClientOrderRef, o.SecurityKey)
                    .arg(QLatin1Char(o.Status)).arg(o.TradedVolume).arg(o.Volume).arg(o.StatusMsg);
    for (const SimTrade& t : broker.trades())
        rows << QStringLiteral("trade %1 %2 %3@%4").arg(t.TradeID).arg(t.OrderID).arg(t.Volume).arg(t.Price);
    for (const SimPosition& p : broker.positions())
        rows << QStringLiteral("position %1 %2 %3 %4").arg(p.SecurityKey).arg(p.Volume).arg(p.Available).arg(p.ShortVolume);
    return rows;
}

// How the client left a buy due at 09:30 when it stopped.
enum class Left { Waiting, Paused, MarkedNotAtBroker, MarkedAndFilledAtBroker };

} // namespace

Q_DECLARE_METATYPE(Left)

class DurabilityTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        VelmTest::setUpWindowManager();
    }
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("velm-%1.db").arg(++m_run));
        gWM->clearPopups();
    }

    void restartKeepsTasksIdsLogAndBroker_data();
    void restartKeepsTasksIdsLogAndBroker();
    void restartAfterTheSetTime_data();
    void restartAfterTheSetTime();
    void fullDiskRefusesTheOperation();
    void fullDiskAtFiringSendsNothing();
    void corruptFileIsMovedAsideAndToldToTheTrader();

private:
    bool markAsBeingSent(int id, bool filled);

    QTemporaryDir m_dir{VelmTest::tempDir() + QStringLiteral("/durability-XXXXXX")};
    QString m_path;
    int m_run = 0;
};

void DurabilityTest::restartKeepsTasksIdsLogAndBroker_data()
{
    QTest::addColumn<int>("apiType");
    QTest::addColumn<QList<char>>("directions");
    QTest::newRow("stock buy and sell") << 1 << QList<char>{'0', '1'};
    QTest::newRow("credit financed buy and short sell") << 2 << QList<char>{'i', 'j'};
}

// Given a filled order, a rejected one, a modified waiting one, a paused task with a GBK name and,
// the newest, a deleted one, when the client stops and starts again, then every field, id (the
// deleted task's not drawn again), log line and broker row is back.
void DurabilityTest::restartKeepsTasksIdsLogAndBroker()
{
    QFETCH(int, apiType);
    QFETCH(QList<char>, directions);
    std::vector<SchedOrdTaskField> tasks;
    QStringList persisted;
    {
        Client client(m_path, kT0, apiType);
        QVERIFY2(client.opened, qPrintable(client.message));
        const int fired = client.add({{kPufa, directions[0], at(9, 30)}, {kPufa, directions[1], at(9, 30), 100}});
        const int rejected = client.add({{kPufa, directions[0], at(9, 30), 999999999}});
        const int waiting = client.add({{kPufa, directions[1], at(14, 0)}, {kPufa, directions[0], at(14, 0)}});
        client.add({{kPufa, directions[0], at(10, 0)}}, false);
        QVERIFY(client.service->DeleteMainTasks({client.add({{kPufa, directions[0], at(14, 0)}, {kPufa, directions[0], at(14, 0)}})}));
        SchedOrdSubTaskField modified = client.sub(waiting, 1);
        modified.TargetVolume = 500;
        modified.PriceType = 3;
        QVERIFY(client.service->ModifyOneSubTask(modified));
        QVERIFY(client.service->PauseMainTasks({waiting}));
        client.moveTo(at(9, 31));
        QCOMPARE(QByteArray() + client.sub(fired).TriggerStatus + client.sub(fired, 1).TriggerStatus + client.sub(rejected).TriggerStatus,
                 QByteArray("534"));
        QVERIFY(!client.sub(rejected).ErrorMsg.empty());
        tasks = client.service->getVecMainTask();
        persisted = persistedRows(client);
    }
    Client restarted(m_path, at(9, 32), apiType);
    QVERIFY2(restarted.opened, qPrintable(restarted.message));
    QCOMPARE(VelmTest::taskDifferences(restarted.service->getVecMainTask(), tasks).join(QStringLiteral("; ")), QString());
    QCOMPARE(persistedRows(restarted), persisted);
    QVERIFY(gWM->popups().isEmpty());
}

void DurabilityTest::restartAfterTheSetTime_data()
{
    QTest::addColumn<Left>("left");
    QTest::addColumn<int64_t>("restart");
    QTest::addColumn<QString>("state");     // "<main task status> <sub-task trigger status> <traded> <error>"
    QTest::addColumn<QString>("logLine");
    const QString missed = QStringLiteral("09:40:00 启动时1个子任务已错过设定时间，未发送");
    const QString checked = QStringLiteral("09:40:00 启动核对：1个子任务在发送委托时中断，券商处找到%1个，未找到%2个（状态未知，请核对）");
    QTest::newRow("due while stopped") << Left::Waiting << at(9, 40) << "4 2 0 错过设定时间 09:30:00：客户端当时未运行，委托未发送" << missed;
    QTest::newRow("due after the restart: fires then") << Left::Waiting << at(9, 26) << "4 5 100" << QString();
    QTest::newRow("earlier day") << Left::Waiting << at(9, 40, 4) << "4 2 0 错过设定时间 2025-06-03 09:30:00：客户端当时未运行，委托未发送"
                                 << missed;
    QTest::newRow("paused stays paused") << Left::Paused << at(9, 40) << "3 1 0" << QString();
    QTest::newRow("marked, found at the broker: its state") << Left::MarkedAndFilledAtBroker << at(9, 40) << "4 5 100"
                                                            << checked.arg(1).arg(0);
    QTest::newRow("marked, not found: unknown, to be checked") << Left::MarkedNotAtBroker << at(9, 40)
        << "4 2 0 委托状态未知：发送委托时程序中断，券商处未找到参考号 10001-1-1 的委托，请核对" << checked.arg(0).arg(1);
}

// Given a buy due at 09:30 that the client left waiting, paused or marked as being sent when it
// died, when it starts again, then it fires only if its time is still to come, and a marked one is
// asked of the broker by its reference and never sent a second time.
void DurabilityTest::restartAfterTheSetTime()
{
    QFETCH(Left, left);
    QFETCH(int64_t, restart);
    QFETCH(QString, state);
    QFETCH(QString, logLine);
    int id = 0;
    {
        Client client(m_path, kT0);
        id = client.add({{kPufa, '0', at(9, 30)}});
        QVERIFY(left != Left::Paused || client.service->PauseMainTasks({id}));
    }
    if (left == Left::MarkedNotAtBroker || left == Left::MarkedAndFilledAtBroker)
        QVERIFY(markAsBeingSent(id, left == Left::MarkedAndFilledAtBroker));
    Client restarted(m_path, restart);
    restarted.moveTo(restart + 2 * 3600 * SchedOrdClock::TicksPerSecond);
    const SchedOrdSubTaskField sub = restarted.sub(id);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4").arg(QLatin1Char(restarted.service->getOneMainTask(id).MainTaskStatus))
                 .arg(QLatin1Char(sub.TriggerStatus)).arg(sub.TradeVolume).arg(Util::Str2QStr(sub.ErrorMsg)).trimmed(),
             state);
    QCOMPARE(int(restarted.broker.orders().size()), sub.TriggerStatus == '5' ? 1 : 0);
    const QStringList lines = restarted.service->operationLog();
    QCOMPARE(lines.contains(logLine), !logLine.isEmpty());
    QCOMPARE(lines.filter(QStringLiteral("错过设定时间")).size(), logLine.contains(QStringLiteral("错过设定时间")) ? 1 : 0);
    restarted.service.reset();

    SchedOrdDatabase db;
    QVERIFY(db.open(m_path).usable());
    QVERIFY(db.loadSending(kAccount).empty());
}

// The file as a client leaves it when it dies between marking sub-task 1 of `id` and sending it;
// `filled`: the order reached the broker and was filled.
bool DurabilityTest::markAsBeingSent(int id, bool filled)
{
    const std::string ref = "10001-1-1";
    SchedOrdDatabase db;
    if (!db.open(m_path).usable() || !db.begin() || !db.markSending(kAccount, id, 1, ref))
        return false;
    if (filled) {
        SimBroker broker(1);
        broker.setAvailableFunds(1e8);
        SimOrderRequest request{id, 1, kPufa, QStringLiteral("600000"), '1', '0', 10.5, 100, 100, 100,
                                QString::fromStdString(ref)};
        if (broker.placeOrder(request, VelmTest::pufaQuote(), at(9, 30)).Status != SimOrderStatus::Filled
            || !db.saveBrokerState(kAccount, broker.state()))
            return false;
    }
    return db.commit();
}

// Given a full disk, when a task is added, then it is refused with a message and nothing of it
// is shown, logged or found after a restart.
void DurabilityTest::fullDiskRefusesTheOperation()
{
    {
        Client client(m_path, kT0);
        const int kept = client.add({{kPufa, '0', at(14, 0)}});
        QVERIFY(client.service->limitStorageSize(1));
        QSignalSpy added(client.service.get(), &ServiceScheduledOrder::signalRtnMainTaskAdded);
        client.add(QVector<OrderSpec>(3000, OrderSpec{kPufa, '0', at(14, 0)}).toList(), false);
        QCOMPARE(added.count(), 0);
        QCOMPARE(client.service->getVecMainTask().size(), size_t(1));
        QCOMPARE(client.service->getVecMainTask().front().MainTaskID, kept);
        QCOMPARE(client.service->operationLog().filter(QStringLiteral("新增任务")).size(), 1);
        QCOMPARE(VelmTest::popups(nullptr),
                 QStringList{"定时委托任务未能保存，本次操作未生效：磁盘空间已满（save sub-task: database or disk is full）"});
    }
    Client restarted(m_path, kT0);
    QCOMPARE(restarted.service->getVecMainTask().size(), size_t(1));
    QCOMPARE(restarted.service->operationLog().filter(QStringLiteral("新增任务")).size(), 1);
}

// Given a full disk when a burst comes due, then no order leaves unmarked: every sub-task fails
// with the reason, the trader is told once, and after a restart none of them is sent either.
void DurabilityTest::fullDiskAtFiringSendsNothing()
{
    const int count = 3000;
    int id = 0;
    {
        Client client(m_path, kT0);
        id = client.add(QVector<OrderSpec>(count, OrderSpec{kPufa, '0', at(9, 30)}).toList());
        QVERIFY(client.service->limitStorageSize(1));
        client.moveTo(at(9, 31));
        QTRY_COMPARE(gWM->popups().size(), 1);
        QVERIFY2(gWM->popups().front().text.startsWith(QStringLiteral("定时委托的执行结果未能保存：磁盘空间已满")),
                 qPrintable(gWM->popups().front().text));
        const SchedOrdTaskField task = client.service->getOneMainTask(id);
        QCOMPARE(int(task.VecSubTask.size()), count);
        for (const SchedOrdSubTaskField& sub : task.VecSubTask) {
            QCOMPARE(sub.TriggerStatus, '2');
            QVERIFY(Util::Str2QStr(sub.ErrorMsg).startsWith(QStringLiteral("未能保存发送记录，委托未发送：磁盘空间已满")));
        }
        QVERIFY(client.broker.orders().empty());
    }
    Client restarted(m_path, at(9, 40));
    restarted.moveTo(at(10, 0));
    QVERIFY(restarted.broker.orders().empty());
    QCOMPARE(Util::Str2QStr(restarted.sub(id, count - 1).ErrorMsg),
             QStringLiteral("错过设定时间 09:30:00：客户端当时未运行，委托未发送"));
}

// A corrupt file is kept whole beside the new one, never overwritten, and the trader is told once
// where it went. A file of a newer version stops the client before any service opens it (tst_client).
void DurabilityTest::corruptFileIsMovedAsideAndToldToTheTrader()
{
    const QByteArray content = QByteArray("not a database, but a trader's file ").repeated(200);
    QVERIFY(VelmTest::writeFile(m_path, content));
    Client client(m_path, kT0);
    QVERIFY(client.opened);
    const QStringList aside = QDir(m_dir.path()).entryList({QFileInfo(m_path).fileName() + QStringLiteral(".corrupt-*")});
    QCOMPARE(aside.size(), 1);
    const QString asidePath = m_dir.filePath(aside.front());
    QCOMPARE(VelmTest::readFile(asidePath), content);
    QCOMPARE(VelmTest::popups(nullptr),
             QStringList{QStringLiteral("数据文件已损坏（file is not a database），已改名保存为 %1；定时委托任务从空白开始。").arg(asidePath)});
    QVERIFY(client.service->getVecMainTask().empty());
}

QTEST_MAIN(DurabilityTest)
#include "tst_durability.moc"
