#include "ISubModuleWid.h"
#include "MyCompleterEdit.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_SingleOrderInsertWid.h"
#include "ScheduledOrderFactory.h"
#include "ScriptedUserData.h"
#include "ServiceScheduledOrder.h"
#include "SubTaskFields.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrd_SingleOrderInsertWid;
using Velm_Space::ScheduledOrderFactory;

namespace {

constexpr int kStockAccount = 501;
constexpr int kCreditAccount = 502;

// The module's now; the time edit holds whole seconds.
const QDateTime kNow(QDate(2026, 12, 7), QTime(10, 0, 0, 400));

ServiceScheduledOrder* serviceOf(int accountId)
{
    return UserDataManager::instance()->getUserData(accountId)->getServiceScheduledOrder();
}

// Picks the security as the completer would (unless none is given), sets the time and presses insert.
void insertOrder(ISubModuleWid* window, const QString& key, const QTime& setTime)
{
    if (!key.isEmpty())
        emit window->findChild<MyCompleterEdit*>()->signalTextComplete(key);
    window->findChild<QTimeEdit*>("timeEdit_singleOI_ScheduledTime")->setTime(setTime);
    QTest::mouseClick(window->findChild<QPushButton*>("pushButton_singleOI_bottom_Insert"), Qt::LeftButton);
}

// Created as the host does: embedded first, then initWid(); the form comes from the event loop.
std::unique_ptr<ISubModuleWid> openWindow(int accountId)
{
    std::unique_ptr<ISubModuleWid> window(ScheduledOrderFactory::createScheduledOrderWid(accountId, 0, nullptr));
    window->show();
    window->initWid();
    static_cast<void>(QTest::qWaitFor([&] { return window->findChild<SchedOrd_SingleOrderInsertWid*>(); }, 5000));
    QCoreApplication::processEvents();   // the first scaling is posted by the build step
    // The engine at the start of the module's day: nothing entered here is due.
    if (ServiceScheduledOrder* service = serviceOf(accountId))
        VelmTest::driveClock(*service, SchedOrdTaskTime::fromClockTime(0, 0, 1));
    return window;
}

// `message`: the refusal, with %1 for the set time; empty when accepted.
struct Insert { int accountId; QString key; QTime setTime; bool allowPast, autoStart; QString message; };

} // namespace

Q_DECLARE_METATYPE(Insert)

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        SchedOrdTaskTime::setClock([] { return kNow; });
        VelmTest::addStockAccount(kStockAccount);
        VelmTest::addCreditAccount(kCreditAccount);
        auto* scripted = new ScriptedUserData(504, 1);
        SecurityInfo shortCode;
        shortCode.SecurityID = QStringLiteral("6000");
        shortCode.ExchangeID = '1';
        scripted->addSecurity(QStringLiteral("6000.SH"), shortCode);
        UserDataManager::instance()->addUserData(scripted);
    }
    void cleanup()
    {
        VelmTest::removeAllAccounts();
        SchedOrdTaskTime::setClock({});
    }

    void zoomBeforeTheDeferredStepIsAppliedOnce()
    {
        std::unique_ptr<ISubModuleWid> window(ScheduledOrderFactory::createScheduledOrderWid(kStockAccount, 0, nullptr));
        auto* tabs = window->findChild<QWidget*>("tabWidget_scheduled_setting_execution");
        const qreal initial = tabs->font().pointSizeF();
        QVERIFY(initial > 0);
        window->initWid();
        window->setScalePercent(120);
        QVERIFY(!window->findChild<SchedOrd_SingleOrderInsertWid*>());
        QTRY_COMPARE(tabs->font().pointSizeF(), initial * 1.2);
        // Every point-sized font is scaled once, however deep it sits.
        QCOMPARE(window->findChild<QPushButton*>("pushButton_singleOI_bottom_Insert")->font().pointSizeF(), initial * 1.2);
    }

    void zoomAfterTheDeferredStepIsRelative()
    {
        std::unique_ptr<ISubModuleWid> window = openWindow(kStockAccount);
        QHash<QWidget*, qreal> initial;
        for (QWidget* widget : window->findChildren<QWidget*>())
            initial.insert(widget, widget->font().pointSizeF());
        window->setScalePercent(150);
        auto* label = window->findChild<QWidget*>("label_singleOI_SecurityID");
        QCOMPARE(label->font().pointSizeF(), initial.value(label) * 1.5);

        window->setScalePercent(100);
        for (auto it = initial.cbegin(); it != initial.cend(); ++it) {
            if (it.value() > 0)
                QVERIFY2(qFuzzyCompare(it.key()->font().pointSizeF(), it.value()), qPrintable(it.key()->objectName()));
        }
    }

    void insertRefusesOrStores_data()
    {
        const QString tooEarly = QStringLiteral("设定时间（%1）不能早于当前时间（10:00:00），请重新输入。\n\n注：可在设置中修改对应配置项。");
        QTest::addColumn<Insert>("row");
        QTest::newRow("code shorter than 5") << Insert{504, "6000.SH", QTime(10, 1, 0), false, false, "证券代码(6000)无效，请检查。\n"};
        QTest::newRow("the current second") << Insert{kStockAccount, "600000.SH", QTime(10, 0, 0), false, false, tooEarly};
        QTest::newRow("midnight, past allowed") << Insert{kStockAccount, "600000.SH", QTime(0, 0, 0), true, false, {}};
        QTest::newRow("next second, auto-start on") << Insert{kStockAccount, "600036.SH", QTime(10, 0, 1), false, true, {}};
        QTest::newRow("auto-start off") << Insert{kStockAccount, "600036.SH", QTime(23, 59, 59), false, false, {}};
    }
    void insertRefusesOrStores()
    {
        QFETCH(Insert, row);
        const auto& [accountId, key, setTime, allowPast, autoStart, message] = row;
        gWM->allowPastSetTime = allowPast;
        gWM->autoStartSingleTask = autoStart;
        std::unique_ptr<ISubModuleWid> window = openWindow(accountId);
        insertOrder(window.get(), key, setTime);
        const std::vector<SchedOrdTaskField> tasks = serviceOf(accountId)->getVecMainTask();
        QCOMPARE(tasks.size(), size_t(message.isEmpty() ? 1 : 0));
        if (!message.isEmpty()) {
            QCOMPARE(VelmTest::popups(window.get()), QStringList{message.arg(setTime.toString("hh:mm:ss"))});
            return;
        }
        QCOMPARE(tasks.front().StartTime, SchedOrdTaskTime::fromLocalDateTime(2026, 12, 7, setTime.hour(), setTime.minute(), setTime.second()));
        QCOMPARE(tasks.front().MainTaskStatus, autoStart ? MainTaskStatus::Running : MainTaskStatus::NotStarted);
        QCOMPARE(window->canClose(), !autoStart);
        QCOMPARE(VelmTest::popups(window.get()), autoStart ? QStringList{"有定时委托任务仍处在运行中，本窗口无法关闭。请先停止所有运行中任务"} : QStringList());
    }

    // A credit short sell at market, 1.5 % down, custom price, one guard off: unlike a default buy.
    void insertBuildsTheMainTaskAndItsSubTask()
    {
        const QTime setTime(10, 1, 0);
        gWM->autoStartSingleTask = false;
        std::unique_ptr<ISubModuleWid> window = openWindow(kCreditAccount);
        emit window->findChild<MyCompleterEdit*>()->signalTextComplete(QStringLiteral("300750.SZ"));
        QTest::mouseClick(window->findChild<QPushButton*>("pushButton_singleOI_dir_sell"), Qt::LeftButton);
        window->findChild<QComboBox*>("comboBox_singleOI_CreditSellType")->setCurrentIndex(1);
        auto* gear = window->findChild<QComboBox*>("comboBox_singleOI_SellPriceGear");
        gear->setCurrentIndex(gear->findData(21));
        QTest::mouseClick(window->findChild<QPushButton*>("pushButton_singleOI_SellFloat_Unit"), Qt::LeftButton);
        window->findChild<QDoubleSpinBox*>("doubleSpinBox_singleOI_SellFloat_Percentage")->setValue(1.5);
        window->findChild<QDoubleSpinBox*>("doubleSpinBox_singleOI_SellCustomPrice")->setValue(250.5);
        window->findChild<QSpinBox*>("spinBox_singleOI_VolumeOriginal")->setValue(300);
        window->findChild<QCheckBox*>("checkBox_singleOI_UpperLimit")->setChecked(false);
        insertOrder(window.get(), QString(), setTime);

        const std::vector<SchedOrdTaskField> tasks = serviceOf(kCreditAccount)->getVecMainTask();
        QCOMPARE(tasks.size(), size_t(1));
        const SchedOrdTaskField& task = tasks.front();
        const qlonglong setTicks = SchedOrdTaskTime::fromLocalDateTime(2026, 12, 7, 10, 1, 0);
        QCOMPARE(QVariantList({Util::Str2QStr(task.MainTaskName), task.MainTaskStatus, task.TriggerStatus, qlonglong(task.CreateTime),
                               qlonglong(task.StartTime), qlonglong(task.EndTime), task.IsSameStartTime, task.IsSameEndTime, task.Direction}),
                 QVariantList({QStringLiteral("300750_宁德时代"), MainTaskStatus::NotStarted, MainTriggerStatus::None,
                               qlonglong(SchedOrdTaskTime::fromLocalDateTime(2026, 12, 7, 10, 0, 0)), setTicks, setTicks, true, true, Direction::ShortSell}));
        QCOMPARE(task.VecSubTask.size(), size_t(1));

        // Fields not set here stay at their defaults: no trade, no host order, no error.
        SchedOrdSubTaskField expected = VelmTest::makeSubTask({"300750.SZ", Direction::ShortSell, setTicks, 300, 3}, task.MainTaskID,
                                                              task.VecSubTask.front().SubTaskID);
        expected.PriceFloatType = PriceFloatType::Percent;
        expected.PriceFloatValue = -1.5;
        expected.OrderPrice = 250.5;
        expected.NoSellAtLimitUp = false;
        QCOMPARE(VelmTest::subTaskDifferences(task.VecSubTask.front(), expected), QStringList());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
