#include "FramelessFloatDlg.h"
#include "MarketSimulator.h"
#include "MyTableViewSO.h"
#include "SchedOrdClock.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_ModifySubTaskParamWid.h"
#include "SchedOrd_TableSubTaskWid.h"
#include "ScheduledOrderFactory.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "SubTaskFields.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "VelmClient.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace VELMSCHEDORDAPI;
using Velm_Space::MyTableViewSO;
using Velm_Space::SchedOrd_ModifySubTaskParamWid;
using Velm_Space::SchedOrd_TableSubTaskWid;
using Velm_Space::TableBtnType;

namespace {

constexpr int kStockAccount = 1701;
constexpr int kCreditAccount = 1702;
constexpr int kOperationColumn = 14;     // "操作", button 修改
constexpr int kParametersColumn = 13;    // "报单参数", button 点击查看

int64_t at(int hour, int minute, int second)
{
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

QString rowKey(const SchedOrdSubTaskField& sub)
{
    return QStringLiteral("%1_%2").arg(sub.MainTaskID).arg(sub.SubTaskID);
}

using Adjust = std::function<void(SchedOrdSubTaskField&)>;

// Drives the frameless dialog that a click opens: it waits from the event loop for the modal
// dialog to show, runs the steps and, should a step fail, still ends the run so that the test
// cannot hang.
class ModalDriver : public QObject
{
public:
    using Steps = std::function<void(FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid*)>;

    explicit ModalDriver(Steps steps)
        : m_steps(std::move(steps))
    {
        m_poll.setInterval(5);
        connect(&m_poll, &QTimer::timeout, this, [this] { lookForTheDialog(); });
        m_poll.start();
    }

    bool ran() const { return m_ran; }
    bool wasActiveModal() const { return m_wasActiveModal; }
    QPointer<FramelessFloatDlg> dialog;

private:
    void lookForTheDialog()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* found = qobject_cast<FramelessFloatDlg*>(widget);
            if (!found || !found->isVisible())
                continue;
            m_poll.stop();
            m_ran = true;
            dialog = found;
            m_wasActiveModal = QApplication::activeModalWidget() == found;
            m_steps(found, qobject_cast<SchedOrd_ModifySubTaskParamWid*>(found->content()));
            if (dialog && dialog->isVisible())
                dialog->reject();
            return;
        }
    }

    Steps m_steps;
    QTimer m_poll;
    bool m_ran = false;
    bool m_wasActiveModal = false;
};

template <typename T>
T* part(QWidget* dialog, const char* name)
{
    T* found = dialog->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no %s in the dialog", name);
    return found;
}

void click(QWidget* dialog, const char* button)
{
    part<QPushButton>(dialog, button)->click();
}

} // namespace

// The sub-task table's row buttons: the modify flow through the host's frameless dialog, and the
// order-parameter tool tip.
class ModifyFlowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void refusals_data();
    void refusals();
    void opensForWaitingFailedAndRejected_data();
    void opensForWaitingFailedAndRejected();
    void unchangedConfirmationSendsNothing();
    void volumeChangeSendsTheWholeCopy();
    void modifiedSubTaskFiresAtItsNewTime();
    void subTaskFiredDuringTheRunKeepsTheEnginesResult();
    void storedSubTaskOutlivesReloadsDuringTheRun();
    void hostMainWindowTakesTheDialog();
    void missingDialogIsReported();
    void detailsToolTip_data();
    void detailsToolTip();
    void otherButtonsAndRowsDoNothing_data();
    void otherButtonsAndRowsDoNothing();

private:
    void useAccount(int accountId);
    int addTask(const QString& name, const Adjust& adjust, const QString& key = QStringLiteral("600000.SH"),
                int64_t start = at(9, 30, 0));
    SchedOrdSubTaskField firstSubTask(int mainTaskId);
    void openTable(QWidget* parent = nullptr);
    void settle();
    int rowOf(const QString& key) const;
    QString cell(const QString& key, const QString& title) const;
    void clickRowButton(const QString& key, int column);
    QStringList tableKeys() const;
    QStringList serviceKeys();
    QStringList modifyLogLines();
    QAbstractItemModel* proxy() const;
    MyTableViewSO* view() const;

    int m_accountId = kStockAccount;
    UserData* m_userData = nullptr;
    ServiceScheduledOrder* m_service = nullptr;
    std::shared_ptr<ManualSchedOrdClock> m_clock;
    std::unique_ptr<SchedOrd_TableSubTaskWid> m_ownedTable;
    SchedOrd_TableSubTaskWid* m_table = nullptr;
};

void ModifyFlowTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    qRegisterMetaType<TableBtnType>();
    // Without a client the frameless dialog takes its content from this module's own factory.
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg,
                                         &Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg);
    UserDataManager::instance()->market().setLastPrice(QStringLiteral("600000.SH"), 10.35);
}

void ModifyFlowTest::init()
{
    VelmTest::setUpWindowManager();
    VelmTest::addStockAccount(kStockAccount);
    VelmTest::addCreditAccount(kCreditAccount);
    useAccount(kStockAccount);
}

void ModifyFlowTest::useAccount(int accountId)
{
    m_accountId = accountId;
    m_userData = UserDataManager::instance()->getUserData(accountId);
    m_userData->initScheduledOrderApi();
    m_service = m_userData->getServiceScheduledOrder();
    m_clock = VelmTest::driveClock(*m_service, at(9, 0, 0));
}

void ModifyFlowTest::cleanup()
{
    m_ownedTable.reset();
    m_table = nullptr;
    VelmTest::removeAllAccounts();
}

int ModifyFlowTest::addTask(const QString& name, const Adjust& adjust, const QString& key, int64_t start)
{
    SchedOrdTaskField task = VelmTest::makeMainTask(*m_service, name, {{key, Direction::Buy, start, 300, 1}});
    adjust(task.VecSubTask.front());
    task.Direction = task.VecSubTask.front().Direction;
    m_service->AddMainTasks({task});
    m_service->waitForEngineIdle();
    return task.MainTaskID;
}

SchedOrdSubTaskField ModifyFlowTest::firstSubTask(int mainTaskId)
{
    const SchedOrdTaskField task = m_service->getOneMainTask(mainTaskId);
    return task.VecSubTask.empty() ? SchedOrdSubTaskField() : task.VecSubTask.front();
}

void ModifyFlowTest::openTable(QWidget* parent)
{
    if (parent) {
        m_table = new SchedOrd_TableSubTaskWid(m_accountId, m_service, parent);
    } else {
        m_ownedTable = std::make_unique<SchedOrd_TableSubTaskWid>(m_accountId, m_service, nullptr);
        m_table = m_ownedTable.get();
    }
    m_table->resize(1700, 400);
    m_table->window()->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_table->window()));
    settle();
}

void ModifyFlowTest::settle()
{
    m_service->waitForEngineIdle();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

QAbstractItemModel* ModifyFlowTest::proxy() const
{
    return view()->model();
}

MyTableViewSO* ModifyFlowTest::view() const
{
    return m_table->findChild<MyTableViewSO*>(QStringLiteral("tableview_SO_monitorSubTask"));
}

int ModifyFlowTest::rowOf(const QString& key) const
{
    const int keyColumn = proxy()->columnCount() - 1;
    for (int row = 0; row < proxy()->rowCount(); ++row) {
        if (proxy()->index(row, keyColumn).data().toString() == key)
            return row;
    }
    return -1;
}

QString ModifyFlowTest::cell(const QString& key, const QString& title) const
{
    for (int column = 0; column < proxy()->columnCount(); ++column) {
        if (proxy()->headerData(column, Qt::Horizontal).toString() == title)
            return proxy()->index(rowOf(key), column).data().toString();
    }
    return QStringLiteral("<no column %1>").arg(title);
}

void ModifyFlowTest::clickRowButton(const QString& key, int column)
{
    const QModelIndex index = proxy()->index(rowOf(key), column);
    QVERIFY2(index.isValid(), qPrintable(key));
    view()->scrollTo(index);
    const QRect button = view()->buttonRect(index, 0);
    QVERIFY(!button.isEmpty());
    QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, button.center());
}

QStringList ModifyFlowTest::tableKeys() const
{
    QStringList keys;
    for (int row = 0; row < proxy()->rowCount(); ++row)
        keys.append(proxy()->index(row, proxy()->columnCount() - 1).data().toString());
    keys.sort();
    return keys;
}

QStringList ModifyFlowTest::serviceKeys()
{
    QStringList keys;
    for (const SchedOrdSubTaskField& sub : m_service->getVecAllSubTask())
        keys.append(rowKey(sub));
    keys.sort();
    return keys;
}

QStringList ModifyFlowTest::modifyLogLines()
{
    return m_service->operationLog().filter(QStringLiteral("修改子任务"));
}

void ModifyFlowTest::refusals_data()
{
    QTest::addColumn<char>("triggerStatus");
    QTest::addColumn<QString>("securityKey");
    QTest::addColumn<QString>("message");
    QTest::newRow("sent") << SubTriggerStatus::Sent << "600000.SH" << "该子任务已触发过，无法修改参数";
    QTest::newRow("fully traded") << SubTriggerStatus::Filled << "600000.SH" << "该子任务已触发过，无法修改参数";
    QTest::newRow("sent, unknown security") << SubTriggerStatus::Sent << "abc001.SH" << "该子任务已触发过，无法修改参数";
    QTest::newRow("unknown security") << SubTriggerStatus::NotTriggered << "abc001.SH"
                                      << "该子任务的证券信息获取失败，无法修改参数";
}

void ModifyFlowTest::refusals()
{
    QFETCH(char, triggerStatus);
    QFETCH(QString, securityKey);
    QFETCH(QString, message);
    const int id = addTask(QStringLiteral("拒绝"), [&](SchedOrdSubTaskField& sub) { sub.TriggerStatus = triggerStatus; },
                           securityKey);
    openTable();
    ModalDriver driver([](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid*) {});
    clickRowButton(rowKey(firstSubTask(id)), kOperationColumn);
    settle();

    QVERIFY(!driver.ran());
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().kind, PopupRecord::Info);
    QCOMPARE(gWM->popups().first().text, message);
    QVERIFY(gWM->popups().first().detail.isEmpty());
    QCOMPARE(gWM->popups().first().parent.data(), static_cast<QWidget*>(m_table));
    QCOMPARE(m_service->modifyRequestCount(), 0);
}

void ModifyFlowTest::opensForWaitingFailedAndRejected_data()
{
    QTest::addColumn<char>("triggerStatus");
    QTest::newRow("not triggered") << SubTriggerStatus::NotTriggered;
    QTest::newRow("failed") << SubTriggerStatus::Failed;
    QTest::newRow("rejected") << SubTriggerStatus::Rejected;
}

void ModifyFlowTest::opensForWaitingFailedAndRejected()
{
    QFETCH(char, triggerStatus);
    const int id = addTask(QStringLiteral("打开"), [&](SchedOrdSubTaskField& sub) {
        sub.TriggerStatus = triggerStatus;
        sub.TargetVolume = 1300;
    });
    openTable();
    QString securityLine;
    int volume = 0;
    ModalDriver driver([&](FramelessFloatDlg* dialog, SchedOrd_ModifySubTaskParamWid* content) {
        QVERIFY(content);
        securityLine = part<QLabel>(content, "label_SO_MST_SecurityName")->text();
        volume = part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->value();
        QCOMPARE(int(dialog->windowFlags()), 2051);
        QCOMPARE(int(dialog->subwinType()), 34);
        QCOMPARE(dialog->accountId(), kStockAccount);
        QCOMPARE(QByteArray(content->metaObject()->className()),
                 QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock"));
        part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->setValue(100);
        click(content, "pushButton_SO_MST_bottom_Cancel");
    });
    clickRowButton(rowKey(firstSubTask(id)), kOperationColumn);

    QVERIFY(driver.ran());
    QVERIFY(driver.wasActiveModal());
    QCOMPARE(securityLine, QStringLiteral("600000 浦发银行 买入"));
    QCOMPARE(volume, 1300);
    // Handed over for deletion once the run is over.
    QVERIFY(!driver.dialog);
    settle();
    QCOMPARE(m_service->modifyRequestCount(), 0);
    QVERIFY(gWM->popups().isEmpty());
    QCOMPARE(firstSubTask(id).TargetVolume, 1300);
}

void ModifyFlowTest::unchangedConfirmationSendsNothing()
{
    const int id = addTask(QStringLiteral("不变"), [](SchedOrdSubTaskField& sub) {
        sub.PriceFloatType = PriceFloatType::Percent;
        sub.PriceFloatValue = -0.5;
    });
    openTable();
    ModalDriver driver([](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid* content) {
        click(content, "pushButton_SO_MST_bottom_OK");
    });
    clickRowButton(rowKey(firstSubTask(id)), kOperationColumn);
    settle();
    QVERIFY(driver.ran());
    QVERIFY(!driver.dialog);
    QCOMPARE(m_service->modifyRequestCount(), 0);
    QVERIFY(modifyLogLines().isEmpty());
}

void ModifyFlowTest::volumeChangeSendsTheWholeCopy()
{
    const int id = addTask(QStringLiteral("数量"), [](SchedOrdSubTaskField& sub) {
        sub.PriceType = 2;
        sub.PriceFloatValue = -2.0;
        sub.NoBuyAtLimitDown = false;
        sub.HostCode = 'q';
        sub.HostValue = 987654321;
        sub.OrderVolume = 55;
        sub.TradeVolume = 44;
        sub.ErrorMsg = "上次";
    });
    const SchedOrdSubTaskField stored = firstSubTask(id);
    openTable();
    ModalDriver driver([](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid* content) {
        part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->setValue(700);
        click(content, "pushButton_SO_MST_bottom_OK");
    });
    clickRowButton(rowKey(stored), kOperationColumn);
    settle();

    QVERIFY(driver.ran());
    QCOMPARE(m_service->modifyRequestCount(), 1);
    SchedOrdSubTaskField expected = stored;
    expected.TargetVolume = 700;
    expected.OrderVolume = 0;
    expected.TradeVolume = 0;
    const QStringList differences = VelmTest::subTaskDifferences(m_service->lastModifyRequest(), expected);
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QStringLiteral("; "))));
    QCOMPARE(firstSubTask(id).TargetVolume, 700);
    // The row follows once the service has reported the change.
    QCOMPARE(cell(rowKey(stored), QStringLiteral("目标数量")), QStringLiteral("700"));
}

void ModifyFlowTest::modifiedSubTaskFiresAtItsNewTime()
{
    const int id = addTask(QStringLiteral("改时"), [](SchedOrdSubTaskField&) {});
    m_service->StartMainTasks({id});
    const QString key = rowKey(firstSubTask(id));
    openTable();
    ModalDriver driver([](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid* content) {
        part<QTimeEdit>(content, "timeEdit_SO_MST_ScheduledTime")->setTime(QTime(9, 10, 0));
        part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->setValue(500);
        click(content, "pushButton_SO_MST_bottom_OK");
    });
    clickRowButton(key, kOperationColumn);
    settle();
    QVERIFY(driver.ran());
    QCOMPARE(cell(key, QStringLiteral("设定时间")), QStringLiteral("09:10:00"));

    m_clock->setNow(at(9, 9, 59));
    settle();
    QVERIFY(m_userData->broker().orders().empty());
    m_clock->setNow(at(9, 10, 0));
    settle();
    const std::vector<SimOrder> orders = m_userData->broker().orders();
    QCOMPARE(int(orders.size()), 1);
    QCOMPARE(orders.front().Volume, 500);
    QCOMPARE(orders.front().SubTaskID, firstSubTask(id).SubTaskID);
    QCOMPARE(firstSubTask(id).TriggerTime, at(9, 10, 0));
    QCOMPARE(cell(key, QStringLiteral("触发时间")), QStringLiteral("09:10:00"));
    QCOMPARE(cell(key, QStringLiteral("报单数量")), QStringLiteral("500"));
    QVERIFY(cell(key, QStringLiteral("触发状态")) != QStringLiteral("未触发"));

    // Nothing fires twice: neither at the old time.
    m_clock->setNow(at(9, 30, 0));
    settle();
    QCOMPARE(int(m_userData->broker().orders().size()), 1);
}

void ModifyFlowTest::subTaskFiredDuringTheRunKeepsTheEnginesResult()
{
    const int id = addTask(QStringLiteral("抢先"), [](SchedOrdSubTaskField&) {});
    m_service->StartMainTasks({id});
    const QString key = rowKey(firstSubTask(id));
    openTable();
    QString triggerDuringRun;
    ModalDriver driver([&](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid* content) {
        m_clock->setNow(at(9, 30, 0));
        settle();
        triggerDuringRun = cell(key, QStringLiteral("触发状态"));
        part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->setValue(800);
        click(content, "pushButton_SO_MST_bottom_OK");
    });
    clickRowButton(key, kOperationColumn);
    settle();

    QVERIFY(driver.ran());
    QVERIFY(triggerDuringRun != QStringLiteral("未触发"));
    QCOMPARE(m_service->modifyRequestCount(), 1);
    QCOMPARE(m_service->lastModifyRequest().TargetVolume, 800);
    QCOMPARE(modifyLogLines(), QStringList{QStringLiteral("09:30:00 修改子任务 #%1 被拒绝：子任务已触发").arg(key)});
    const SchedOrdSubTaskField fired = firstSubTask(id);
    QVERIFY(fired.TriggerStatus != SubTriggerStatus::NotTriggered);
    QCOMPARE(fired.TargetVolume, 300);
    QCOMPARE(int(m_userData->broker().orders().size()), 1);
    QCOMPARE(m_userData->broker().orders().front().Volume, 300);
    QCOMPARE(cell(key, QStringLiteral("目标数量")), QStringLiteral("300"));
    QCOMPARE(cell(key, QStringLiteral("触发状态")), triggerDuringRun);
}

// The dialog reads the stored sub-task on reset and on confirmation, after the table has freed
// every record it held at the click (AddressSanitizer turns a stale pointer into a failure).
void ModifyFlowTest::storedSubTaskOutlivesReloadsDuringTheRun()
{
    const int modified = addTask(QStringLiteral("修改"), [](SchedOrdSubTaskField& sub) {
        sub.PriceFloatType = PriceFloatType::Percent;
        sub.PriceFloatValue = 1.5;
    });
    const int deleted = addTask(QStringLiteral("删除"), [](SchedOrdSubTaskField&) {}, QStringLiteral("000001.SZ"));
    const SchedOrdSubTaskField stored = firstSubTask(modified);
    openTable();
    int added = 0;
    int volumeAfterReset = 0;
    ModalDriver driver([&](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid* content) {
        added = addTask(QStringLiteral("新增"), [](SchedOrdSubTaskField&) {}, QStringLiteral("600036.SH"));
        m_service->DeleteMainTasks({deleted});
        m_service->StartMainTasks({modified});
        settle();
        part<QPushButton>(m_table, "pushButton_somonitor_subtask_refresh")->click();
        settle();

        part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->setValue(9);
        click(content, "pushButton_SO_MST_bottom_reset");
        volumeAfterReset = part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->value();
        part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->setValue(450);
        click(content, "pushButton_SO_MST_bottom_OK");
    });
    clickRowButton(rowKey(stored), kOperationColumn);
    settle();

    QVERIFY(driver.ran());
    QCOMPARE(volumeAfterReset, 300);
    QCOMPARE(m_service->modifyRequestCount(), 1);
    SchedOrdSubTaskField expected = stored;
    expected.TargetVolume = 450;
    const QStringList differences = VelmTest::subTaskDifferences(m_service->lastModifyRequest(), expected);
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QStringLiteral("; "))));

    // The table shows the service's state, not the snapshot.
    QCOMPARE(tableKeys(), serviceKeys());
    QVERIFY(rowOf(rowKey(firstSubTask(added))) >= 0);
    QCOMPARE(cell(rowKey(stored), QStringLiteral("目标数量")), QStringLiteral("450"));
    QCOMPARE(cell(rowKey(stored), QStringLiteral("子任务状态")), QStringLiteral("运行中"));
    QCOMPARE(firstSubTask(modified).SubTaskStatus, SubTaskStatus::Running);
}

void ModifyFlowTest::hostMainWindowTakesTheDialog()
{
    const int id = addTask(QStringLiteral("主窗口"), [](SchedOrdSubTaskField&) {});
    VelmClient client;
    openTable(&client);
    QCOMPARE(m_table->window(), static_cast<QWidget*>(&client));
    QWidget* parent = nullptr;
    QPoint dialogCentre;
    ModalDriver driver([&](FramelessFloatDlg* dialog, SchedOrd_ModifySubTaskParamWid* content) {
        parent = dialog->parentWidget();
        dialogCentre = dialog->pos() + dialog->rect().center();
        part<QSpinBox>(content, "spinBox_SO_MST_VolumeOriginal")->setValue(600);
        click(content, "pushButton_SO_MST_bottom_OK");
    });
    clickRowButton(rowKey(firstSubTask(id)), kOperationColumn);
    settle();
    QVERIFY(driver.ran());
    QCOMPARE(parent, static_cast<QWidget*>(&client));
    const QPoint clientCentre = client.mapToGlobal(client.rect().center());
    QVERIFY2((clientCentre - dialogCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2 vs %3,%4").arg(clientCentre.x()).arg(clientCentre.y())
                            .arg(dialogCentre.x()).arg(dialogCentre.y())));
    // The client took the dialog over and freed it once the run was over.
    QVERIFY(!driver.dialog);
    QCOMPARE(firstSubTask(id).TargetVolume, 600);
}

void ModifyFlowTest::missingDialogIsReported()
{
    const int id = addTask(QStringLiteral("无对话框"), [](SchedOrdSubTaskField&) {});
    openTable();
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, nullptr);
    ModalDriver driver([](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid*) {});
    clickRowButton(rowKey(firstSubTask(id)), kOperationColumn);
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg,
                                         &Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg);
    settle();
    QVERIFY(!driver.ran());
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, QStringLiteral("修改对话框加载失败，无法修改参数"));
    QCOMPARE(gWM->popups().first().parent.data(), static_cast<QWidget*>(m_table));
    QCOMPARE(m_service->modifyRequestCount(), 0);
    for (QWidget* widget : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<FramelessFloatDlg*>(widget));
}

void ModifyFlowTest::detailsToolTip_data()
{
    QTest::addColumn<int>("accountId");
    QTest::addColumn<char>("direction");
    QTest::addColumn<int>("priceType");
    QTest::addColumn<char>("floatType");
    QTest::addColumn<double>("floatValue");
    QTest::addColumn<double>("orderPrice");
    QTest::addColumn<bool>("noSellAtLimitUp");
    QTest::addColumn<bool>("noBuyAtLimitDown");
    QTest::addColumn<QStringList>("middleLines");

    QTest::newRow("half a percent down") << kStockAccount << '1' << 2 << '1' << -0.5 << 0.0 << true << true
        << QStringList{"买卖方向：卖出", "目标数量：300", "价格类型：买一价", "价格浮动：-0.5 %", "涨停不卖：是", "跌停不买：是"};
    QTest::newRow("two ticks up") << kStockAccount << '0' << 1 << '0' << 2.0 << 0.0 << false << true
        << QStringList{"买卖方向：买入", "目标数量：300", "价格类型：卖一价", "价格浮动：+2 tick", "涨停不卖：不限制", "跌停不买：是"};
    QTest::newRow("custom price, no float") << kStockAccount << '0' << 12 << '0' << 0.0 << 10.57 << true << false
        << QStringList{"买卖方向：买入", "目标数量：300", "价格类型：自定价", "价格浮动：无", "指定价格：10.57",
                       "涨停不卖：是", "跌停不买：不限制"};
    QTest::newRow("market price") << kStockAccount << '0' << 3 << '0' << 0.0000004 << 0.0 << true << true
        << QStringList{"买卖方向：买入", "目标数量：300", "价格类型：市价", "价格浮动：无", "指定价格：0",
                       "涨停不卖：是", "跌停不买：是"};
    QTest::newRow("limit-down shows no price") << kStockAccount << '1' << 15 << '0' << -1.0 << 9.32 << true << true
        << QStringList{"买卖方向：卖出", "目标数量：300", "价格类型：跌停价", "价格浮动：-1 tick", "涨停不卖：是", "跌停不买：是"};
    QTest::newRow("six significant digits") << kStockAccount << '0' << 12 << '1' << 1.23456789 << 1234.5678 << true << true
        << QStringList{"买卖方向：买入", "目标数量：300", "价格类型：自定价", "价格浮动：+1.23457 %", "指定价格：1234.57",
                       "涨停不卖：是", "跌停不买：是"};
    QTest::newRow("credit, financed buy") << kCreditAccount << 'i' << 0 << '0' << 0.0 << 0.0 << true << true
        << QStringList{"买卖方向：融资买入", "目标数量：300", "价格类型：最新价", "价格浮动：无", "涨停不卖：是", "跌停不买：是"};
}

void ModifyFlowTest::detailsToolTip()
{
    QFETCH(int, accountId);
    QFETCH(char, direction);
    QFETCH(int, priceType);
    QFETCH(char, floatType);
    QFETCH(double, floatValue);
    QFETCH(double, orderPrice);
    QFETCH(bool, noSellAtLimitUp);
    QFETCH(bool, noBuyAtLimitDown);
    QFETCH(QStringList, middleLines);
    useAccount(accountId);
    const int id = addTask(QStringLiteral("查看"), [&](SchedOrdSubTaskField& sub) {
        sub.Direction = direction;
        sub.PriceType = priceType;
        sub.PriceFloatType = floatType;
        sub.PriceFloatValue = floatValue;
        sub.OrderPrice = orderPrice;
        sub.NoSellAtLimitUp = noSellAtLimitUp;
        sub.NoBuyAtLimitDown = noBuyAtLimitDown;
    }, QStringLiteral("600000.SH"), at(14, 5, 9));
    openTable();
    ModalDriver driver([](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid*) {});
    clickRowButton(rowKey(firstSubTask(id)), kParametersColumn);

    QVERIFY(!driver.ran());
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().kind, PopupRecord::Tooltip);
    const QStringList lines = QStringList{"证券代码：600000", "证券名称：浦发银行", "设定时间：14:05:09"} + middleLines;
    QCOMPARE(gWM->popups().first().text, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void ModifyFlowTest::otherButtonsAndRowsDoNothing_data()
{
    QTest::addColumn<bool>("validRow");
    QTest::addColumn<int>("buttonType");
    QTest::newRow("delete") << true << int(Velm_Space::Delete);
    QTest::newRow("add component") << true << int(Velm_Space::AddComponent);
    QTest::newRow("view list") << true << int(Velm_Space::ViewList);
    QTest::newRow("unknown type") << true << 9;
    QTest::newRow("modify, no row") << false << int(Velm_Space::Modify);
    QTest::newRow("details, no row") << false << int(Velm_Space::ViewDetail);
}

void ModifyFlowTest::otherButtonsAndRowsDoNothing()
{
    QFETCH(bool, validRow);
    QFETCH(int, buttonType);
    const int id = addTask(QStringLiteral("无"), [](SchedOrdSubTaskField&) {});
    openTable();
    const QModelIndex index = validRow ? proxy()->index(rowOf(rowKey(firstSubTask(id))), kOperationColumn) : QModelIndex();
    ModalDriver driver([](FramelessFloatDlg*, SchedOrd_ModifySubTaskParamWid*) {});
    QVERIFY(QMetaObject::invokeMethod(m_table, "slotSubTaskBtnClicked", Q_ARG(QModelIndex, index),
                                      Q_ARG(Velm_Space::TableBtnType, static_cast<TableBtnType>(buttonType))));
    settle();
    QVERIFY(!driver.ran());
    QVERIFY(gWM->popups().isEmpty());
    QCOMPARE(m_service->modifyRequestCount(), 0);
}

QTEST_MAIN(ModifyFlowTest)
#include "tst_modifyflow.moc"
