#include "ISubModuleWid.h"
#include "MyCompleterEdit.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_SingleOrderInsertWid.h"
#include "ScheduledOrderFactory.h"
#include "ScriptedUserData.h"
#include "ServiceScheduledOrder.h"
#include "SubTaskFields.h"
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

// The time edit holds whole seconds.
QTime thisSecond()
{
    const QTime now = QTime::currentTime();
    return QTime(now.hour(), now.minute(), now.second());
}

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
    if (!window)
        return window;
    window->show();
    window->initWid();
    static_cast<void>(QTest::qWaitFor([&] { return window->findChild<SchedOrd_SingleOrderInsertWid*>(); }, 5000));
    QCoreApplication::processEvents();   // the first scaling is posted by the build step
    return window;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(kStockAccount);
        VelmTest::addCreditAccount(kCreditAccount);
        VelmTest::addAccount(503, 3);
        auto* scripted = new ScriptedUserData(504, 1);
        SecurityInfo shortCode;
        shortCode.SecurityID = QStringLiteral("6000");
        shortCode.ExchangeID = '1';
        scripted->addSecurity(QStringLiteral("6000.SH"), shortCode);
        UserDataManager::instance()->addUserData(scripted);
    }
    void cleanup() { VelmTest::removeAllAccounts(); }

    void factoryPicksTheAccountVariant_data()
    {
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QString>("className");
        QTest::newRow("stock account") << kStockAccount << "Velm_Space::ScheduledOrderWidStpStock";
        QTest::newRow("credit account") << kCreditAccount << "Velm_Space::ScheduledOrderWidStpCredit";
        QTest::newRow("api type 3") << 503 << QString();
        QTest::newRow("unknown account") << 999 << QString();
    }
    void factoryPicksTheAccountVariant()
    {
        QFETCH(int, accountId);
        QFETCH(QString, className);
        std::unique_ptr<ISubModuleWid> window = openWindow(accountId);
        QCOMPARE(window ? QString::fromLatin1(window->metaObject()->className()) : QString(), className);
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

    // `setSeconds`: the set time in seconds from now, or midnight when negative. `message`: the
    // refusal, with %1 for the set time and %2 for the time of the click; empty when accepted.
    void insertRefusesOrStores_data()
    {
        const QString tooEarly = QStringLiteral("设定时间（%1）不能早于当前时间（%2），请重新输入。\n\n注：可在设置中修改对应配置项。");
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("setSeconds");
        QTest::addColumn<bool>("allowPast");
        QTest::addColumn<bool>("autoStart");
        QTest::addColumn<QString>("message");
        QTest::newRow("code shorter than 5") << 504 << "6000.SH" << 60 << false << false << "证券代码(6000)无效，请检查。\n";
        QTest::newRow("midnight") << kStockAccount << "600000.SH" << -1 << false << false << tooEarly;
        QTest::newRow("the current second") << kStockAccount << "600000.SH" << 0 << false << false << tooEarly;
        QTest::newRow("midnight, past allowed") << kStockAccount << "600000.SH" << -1 << true << false << QString();
        QTest::newRow("auto-start on") << kStockAccount << "600036.SH" << 60 << false << true << QString();
        QTest::newRow("auto-start off") << kStockAccount << "600036.SH" << 60 << false << false << QString();
    }
    void insertRefusesOrStores()
    {
        QFETCH(int, accountId);
        QFETCH(QString, key);
        QFETCH(int, setSeconds);
        QFETCH(bool, allowPast);
        QFETCH(bool, autoStart);
        QFETCH(QString, message);
        gWM->allowPastSetTime = allowPast;
        gWM->autoStartSingleTask = autoStart;
        std::unique_ptr<ISubModuleWid> window = openWindow(accountId);
        const QTime now = thisSecond();
        const QTime setTime = setSeconds < 0 ? QTime(0, 0, 0) : now.addSecs(setSeconds);
        if (setSeconds > 0 && setTime < now)
            QSKIP("no time of day left ahead of now");
        insertOrder(window.get(), key, setTime);
        const QString clicked = QTime::currentTime().toString("hh:mm:ss");
        const std::vector<SchedOrdTaskField> tasks = serviceOf(accountId)->getVecMainTask();
        QCOMPARE(tasks.size(), size_t(message.isEmpty() ? 1 : 0));
        const auto refusal = [&](const QString& clock) {
            return QString(message).replace("%1", setTime.toString("hh:mm:ss")).replace("%2", clock);
        };
        if (!message.isEmpty()) {
            const QString shown = gWM->popups().value(0).text;
            QCOMPARE(gWM->popups().size(), 1);
            QVERIFY2(shown == refusal(now.toString("hh:mm:ss")) || shown == refusal(clicked), qPrintable(shown));
            QCOMPARE(gWM->popups().first().parent.data(), window.get());
            return;
        }
        QCOMPARE(tasks.front().StartTime, SchedOrdTaskTime::fromQTime(setTime));
        QCOMPARE(tasks.front().MainTaskStatus, autoStart ? MainTaskStatus::Running : MainTaskStatus::NotStarted);
        QCOMPARE(window->canClose(), !autoStart);
        QCOMPARE(gWM->popups().size(), autoStart ? 1 : 0);
        QCOMPARE(gWM->popups().value(0).text, autoStart ? "有定时委托任务仍处在运行中，本窗口无法关闭。请先停止所有运行中任务" : QString());
    }

    // A credit short sell at market, 1.5 % down, custom price, one guard off: unlike a default buy.
    void insertBuildsTheMainTaskAndItsSubTask()
    {
        const QTime setTime = thisSecond().addSecs(60);
        if (setTime < QTime(0, 1, 0))
            QSKIP("no time of day left ahead of now");
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
        const int64_t setTicks = SchedOrdTaskTime::fromQTime(setTime);
        QCOMPARE(Util::Str2QStr(task.MainTaskName), QStringLiteral("300750_宁德时代"));
        QCOMPARE(task.MainTaskStatus, MainTaskStatus::NotStarted);
        QCOMPARE(task.TriggerStatus, MainTriggerStatus::None);
        QVERIFY(qAbs(task.CreateTime - SchedOrdTaskTime::now()) < 2 * SchedOrdTaskTime::TicksPerSecond);
        QCOMPARE(task.CreateTime % SchedOrdTaskTime::TicksPerSecond, int64_t(0));
        QCOMPARE(task.StartTime, setTicks);
        QCOMPARE(task.EndTime, setTicks);
        QVERIFY(task.IsSameStartTime && task.IsSameEndTime);
        QCOMPARE(task.Direction, Direction::ShortSell);
        QCOMPARE(task.VecSubTask.size(), size_t(1));

        // Fields not set here stay at their defaults: no trade, no host order, no error.
        SchedOrdSubTaskField expected;
        expected.MainTaskID = task.MainTaskID;
        expected.SubTaskID = task.VecSubTask.front().SubTaskID;
        expected.SecurityKey = "300750.SZ";
        expected.SecurityID = "300750";
        expected.ExchangeID = '2';
        expected.Direction = Direction::ShortSell;
        expected.TriggerTime = SchedOrdTaskTime::fromClockTime(0, 0, 0);
        expected.TargetVolume = 300;
        expected.SubTaskStatus = SubTaskStatus::NotStarted;
        expected.TriggerStatus = SubTriggerStatus::NotTriggered;
        expected.PriceType = 3;
        expected.PriceFloatType = PriceFloatType::Percent;
        expected.PriceFloatValue = -1.5;
        expected.OrderPrice = 250.5;
        expected.StartTime = expected.EndTime = setTicks;
        expected.NoSellAtLimitUp = false;
        QVERIFY(task.MainTaskID > 0 && expected.SubTaskID > 0);
        QCOMPARE(VelmTest::subTaskDifferences(task.VecSubTask.front(), expected), QStringList());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
