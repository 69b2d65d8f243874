#include "ISubModuleWid.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_SingleOrderInsertWid.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "ScheduledOrderFactory.h"
#include "ScriptedUserData.h"
#include "ServiceScheduledOrder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include "MyCompleterEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrd_SingleOrderInsertWid;
using Velm_Space::ScheduledOrderFactory;

namespace {

constexpr int kStockAccount = 501;
constexpr int kCreditAccount = 502;
constexpr int kOtherKindAccount = 503;
constexpr int kScriptedAccount = 504;
constexpr int kUnknownAccount = 999;

// A future time of day for orders that must not fire during the test, or invalid near midnight.
QTime aMinuteAhead()
{
    const QTime now = QTime::currentTime();
    if (now > QTime(23, 58, 0))
        return QTime();
    const QTime ahead = now.addSecs(60);
    return QTime(ahead.hour(), ahead.minute(), ahead.second());
}

} // namespace

// The module's window: factory, deferred construction, zoom, close guard and the turning of
// one entered order into a main task with its sub-task.
class MainWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void factoryPicksTheAccountVariant_data();
    void factoryPicksTheAccountVariant();
    void contentIsBuiltAfterEmbedding();
    void zoomBeforeTheDeferredStepIsAppliedOnce();
    void zoomAfterTheDeferredStepIsRelative();
    void canCloseRefusesWhileATaskRuns();
    void shortSecurityCodeIsRefused();
    void setTimeNotAheadIsRefused_data();
    void setTimeNotAheadIsRefused();
    void pastSetTimeIsAcceptedWhenAllowed();
    void insertBuildsTheMainTaskAndItsSubTask_data();
    void insertBuildsTheMainTaskAndItsSubTask();
    void autoStartFollowsTheSetting_data();
    void autoStartFollowsTheSetting();

private:
    std::unique_ptr<ISubModuleWid> openWindow(int accountId);
    SchedOrd_SingleOrderInsertWid* formOf(ISubModuleWid* window) const;
    void selectSecurity(ISubModuleWid* window, const QString& key);
    void clickInsert(ISubModuleWid* window);
    ServiceScheduledOrder* service(int accountId) const;
};

void MainWindowTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
}

void MainWindowTest::init()
{
    VelmTest::setUpWindowManager();
    VelmTest::addStockAccount(kStockAccount);
    VelmTest::addCreditAccount(kCreditAccount);
    VelmTest::addAccount(kOtherKindAccount, 3);
}

void MainWindowTest::cleanup()
{
    VelmTest::removeAllAccounts();
}

void MainWindowTest::cleanupTestCase()
{
    VelmTest::removeAllAccounts();
}

std::unique_ptr<ISubModuleWid> MainWindowTest::openWindow(int accountId)
{
    std::unique_ptr<ISubModuleWid> window(ScheduledOrderFactory::createScheduledOrderWid(accountId, 0, nullptr));
    if (!window)
        return window;
    window->resize(1039, 581);
    window->show();
    window->initWid();
    // Callers check that the form is there.
    static_cast<void>(QTest::qWaitFor([&] { return formOf(window.get()) != nullptr; }, 5000));
    // Step B is posted by step A; one more turn of the event loop runs it.
    QCoreApplication::processEvents();
    return window;
}

SchedOrd_SingleOrderInsertWid* MainWindowTest::formOf(ISubModuleWid* window) const
{
    return window->findChild<SchedOrd_SingleOrderInsertWid*>();
}

void MainWindowTest::selectSecurity(ISubModuleWid* window, const QString& key)
{
    MyCompleterEdit* completer = window->findChild<MyCompleterEdit*>();
    QVERIFY(completer);
    emit completer->signalTextComplete(key);
}

void MainWindowTest::clickInsert(ISubModuleWid* window)
{
    auto* insert = window->findChild<QPushButton*>(QStringLiteral("pushButton_singleOI_bottom_Insert"));
    QVERIFY(insert);
    QTest::mouseClick(insert, Qt::LeftButton);
}

ServiceScheduledOrder* MainWindowTest::service(int accountId) const
{
    return UserDataManager::instance()->getUserData(accountId)->getServiceScheduledOrder();
}

void MainWindowTest::factoryPicksTheAccountVariant_data()
{
    QTest::addColumn<int>("accountId");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("formClassName");
    QTest::newRow("stock account") << kStockAccount << "Velm_Space::ScheduledOrderWidStpStock"
                                   << "Velm_Space::SchedOrd_SingleOrderInsertWidStpStock";
    QTest::newRow("credit account") << kCreditAccount << "Velm_Space::ScheduledOrderWidStpCredit"
                                    << "Velm_Space::SchedOrd_SingleOrderInsertWidStpCredit";
    QTest::newRow("api type 3") << kOtherKindAccount << QString() << QString();
    QTest::newRow("unknown account") << kUnknownAccount << QString() << QString();
}

void MainWindowTest::factoryPicksTheAccountVariant()
{
    QFETCH(int, accountId);
    QFETCH(QString, className);
    QFETCH(QString, formClassName);
    std::unique_ptr<ISubModuleWid> window = openWindow(accountId);
    if (className.isEmpty()) {
        QVERIFY(!window);
        return;
    }
    QVERIFY(window);
    QCOMPARE(QString::fromLatin1(window->metaObject()->className()), className);
    QCOMPARE(window->objectName(), QStringLiteral("ScheduledOrderWid"));
    QVERIFY(formOf(window.get()));
    QCOMPARE(QString::fromLatin1(formOf(window.get())->metaObject()->className()), formClassName);
}

void MainWindowTest::contentIsBuiltAfterEmbedding()
{
    std::unique_ptr<ISubModuleWid> window(ScheduledOrderFactory::createScheduledOrderWid(kStockAccount, 0, nullptr));
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget_scheduled_setting_execution"));
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 1);

    // Given the host's call, when the event loop has not run yet, nothing is built.
    window->initWid();
    QVERIFY(!formOf(window.get()));
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("label_scheduled_execution_blank"))->text(), QString());

    // Then the posted step builds the form and drops the condition tab.
    QTRY_VERIFY(formOf(window.get()));
    QCOMPARE(tabs->count(), 1);
    QCOMPARE(tabs->tabText(0), QStringLiteral("任务执行"));
    QVERIFY(tabs->tabBarAutoHide());
    QVERIFY(window->findChild<QWidget*>(QStringLiteral("widget_scheduled_singlebasket"))->isHidden());
    QVERIFY(window->findChild<QWidget*>(QStringLiteral("label_scheduled_inputregion_single_blank"))->isHidden());
    QCOMPARE(window->findChild<QWidget*>(QStringLiteral("widget_scheduled_inputregion"))->width(), 250);
    QCOMPARE(formOf(window.get())->parentWidget()->objectName(), QStringLiteral("page_scheduled_inputregion_single"));

    // The monitor fills the execution page in place of its placeholder.
    auto* monitor = window->findChild<Velm_Space::SchedOrd_TaskMonitorWid*>();
    QVERIFY(monitor);
    QCOMPARE(monitor->parentWidget()->objectName(), QStringLiteral("tabWidget_scheduled_execution"));
    QVERIFY(window->findChild<QLabel*>(QStringLiteral("label_scheduled_execution_blank"))->isHidden());
}

void MainWindowTest::zoomBeforeTheDeferredStepIsAppliedOnce()
{
    std::unique_ptr<ISubModuleWid> window(ScheduledOrderFactory::createScheduledOrderWid(kStockAccount, 0, nullptr));
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget_scheduled_setting_execution"));
    const qreal initial = tabs->font().pointSizeF();
    QVERIFY(initial > 0);

    window->initWid();
    window->setScalePercent(120);
    QCOMPARE(tabs->font().pointSizeF(), initial);
    QCOMPARE(window->scalePercent, 120);

    QTRY_VERIFY(formOf(window.get()));
    QTRY_COMPARE(tabs->font().pointSizeF(), initial * 1.2);
    // Every point-sized font is scaled once, however deep it sits.
    auto* insert = window->findChild<QPushButton*>(QStringLiteral("pushButton_singleOI_bottom_Insert"));
    QCOMPARE(insert->font().pointSizeF(), initial * 1.2);
}

void MainWindowTest::zoomAfterTheDeferredStepIsRelative()
{
    std::unique_ptr<ISubModuleWid> window = openWindow(kStockAccount);
    QVERIFY(window);
    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    QHash<QWidget*, qreal> initial;
    for (QWidget* widget : widgets)
        initial.insert(widget, widget->font().pointSizeF());

    window->setScalePercent(150);
    auto* label = window->findChild<QLabel*>(QStringLiteral("label_singleOI_SecurityID"));
    QCOMPARE(label->font().pointSizeF(), initial.value(label) * 1.5);

    window->setScalePercent(100);
    for (QWidget* widget : widgets) {
        if (initial.value(widget) > 0)
            QVERIFY2(qFuzzyCompare(widget->font().pointSizeF(), initial.value(widget)), qPrintable(widget->objectName()));
    }
    QCOMPARE(window->scalePercent, 100);
}

void MainWindowTest::canCloseRefusesWhileATaskRuns()
{
    std::unique_ptr<ISubModuleWid> window = openWindow(kStockAccount);
    QVERIFY(window->canClose());
    QVERIFY(gWM->popups().isEmpty());

    const QTime ahead = aMinuteAhead();
    if (!ahead.isValid())
        QSKIP("no time of day left ahead of now");
    selectSecurity(window.get(), QStringLiteral("600000.SH"));
    window->findChild<QTimeEdit*>(QStringLiteral("timeEdit_singleOI_ScheduledTime"))->setTime(ahead);
    clickInsert(window.get());
    QVERIFY(service(kStockAccount)->isExistsRunningTask());

    QVERIFY(!window->canClose());
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, QStringLiteral("有定时委托任务仍处在运行中，本窗口无法关闭。请先停止所有运行中任务"));
    QCOMPARE(gWM->popups().first().detail, QString());
    QCOMPARE(gWM->popups().first().parent.data(), window.get());
}

void MainWindowTest::shortSecurityCodeIsRefused()
{
    auto* scripted = new ScriptedUserData(kScriptedAccount, 1);
    SecurityInfo shortCode;
    shortCode.SecurityID = QStringLiteral("6000");
    shortCode.ExchangeID = '1';
    shortCode.SecurityName = QStringLiteral("短代码");
    scripted->addSecurity(QStringLiteral("6000.SH"), shortCode);
    UserDataManager::instance()->addUserData(scripted);

    std::unique_ptr<ISubModuleWid> window = openWindow(kScriptedAccount);
    selectSecurity(window.get(), QStringLiteral("6000.SH"));
    window->findChild<QSpinBox*>(QStringLiteral("spinBox_singleOI_VolumeOriginal"))->setValue(100);
    clickInsert(window.get());

    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, QStringLiteral("证券代码(6000)无效，请检查。\n"));
    QCOMPARE(gWM->popups().first().parent.data(), window.get());
    QVERIFY(scripted->getServiceScheduledOrder()->getVecMainTask().empty());
}

void MainWindowTest::setTimeNotAheadIsRefused_data()
{
    QTest::addColumn<bool>("currentSecond");
    QTest::newRow("midnight, earlier than now") << false;
    QTest::newRow("the current second") << true;
}

void MainWindowTest::setTimeNotAheadIsRefused()
{
    QFETCH(bool, currentSecond);
    std::unique_ptr<ISubModuleWid> window = openWindow(kStockAccount);
    selectSecurity(window.get(), QStringLiteral("600000.SH"));
    const QTime before = QTime::currentTime();
    const QTime setTime = currentSecond ? QTime(before.hour(), before.minute(), before.second()) : QTime(0, 0, 0);
    window->findChild<QTimeEdit*>(QStringLiteral("timeEdit_singleOI_ScheduledTime"))->setTime(setTime);
    clickInsert(window.get());
    const QTime after = QTime::currentTime();

    QCOMPARE(gWM->popups().size(), 1);
    const QRegularExpression pattern(QStringLiteral("^设定时间（(\\d\\d:\\d\\d:\\d\\d)）不能早于当前时间（(\\d\\d:\\d\\d:\\d\\d)），"
                                                    "请重新输入。\n\n注：可在设置中修改对应配置项。$"));
    const QRegularExpressionMatch match = pattern.match(gWM->popups().first().text);
    QVERIFY2(match.hasMatch(), qPrintable(gWM->popups().first().text));
    QCOMPARE(match.captured(1), setTime.toString(QStringLiteral("hh:mm:ss")));
    const QTime shownNow = QTime::fromString(match.captured(2), QStringLiteral("hh:mm:ss"));
    QVERIFY(shownNow >= QTime(before.hour(), before.minute(), before.second()));
    QVERIFY(shownNow <= after);
    QCOMPARE(gWM->popups().first().parent.data(), window.get());
    QVERIFY(service(kStockAccount)->getVecMainTask().empty());
}

void MainWindowTest::pastSetTimeIsAcceptedWhenAllowed()
{
    gWM->allowPastSetTime = true;
    gWM->autoStartSingleTask = false;
    std::unique_ptr<ISubModuleWid> window = openWindow(kStockAccount);
    selectSecurity(window.get(), QStringLiteral("600000.SH"));
    window->findChild<QTimeEdit*>(QStringLiteral("timeEdit_singleOI_ScheduledTime"))->setTime(QTime(0, 0, 0));
    clickInsert(window.get());

    QVERIFY(gWM->popups().isEmpty());
    const std::vector<SchedOrdTaskField> tasks = service(kStockAccount)->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(1));
    QCOMPARE(tasks.front().StartTime, SchedOrdTaskTime::fromClockTime(0, 0, 0));
}

void MainWindowTest::insertBuildsTheMainTaskAndItsSubTask_data()
{
    QTest::addColumn<int>("accountId");
    QTest::addColumn<QString>("securityKey");
    QTest::addColumn<bool>("sell");
    QTest::addColumn<int>("gear");
    QTest::addColumn<bool>("percent");
    QTest::addColumn<bool>("signDown");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<double>("percentage");
    QTest::addColumn<double>("customPrice");
    QTest::addColumn<int>("volume");
    QTest::addColumn<bool>("noSellAtLimitUp");
    QTest::addColumn<bool>("noBuyAtLimitDown");
    // Expected record values.
    QTest::addColumn<QString>("name");
    QTest::addColumn<char>("direction");
    QTest::addColumn<char>("exchange");
    QTest::addColumn<int>("priceType");
    QTest::addColumn<char>("floatType");
    QTest::addColumn<double>("floatValue");

    QTest::newRow("stock buy, ask 1, 2 ticks up") << kStockAccount << "600000.SH" << false << 6 << false << false << 2
        << 0.0 << 0.0 << 300 << true << true << "600000_浦发银行" << '0' << '1' << 1 << '0' << 2.0;
    QTest::newRow("stock sell, bid 1, 2 ticks down") << kStockAccount << "000001.SZ" << true << 7 << false << true << 2
        << 0.0 << 0.0 << 500 << true << false << "000001_平安银行" << '1' << '2' << 2 << '0' << -2.0;
    QTest::newRow("stock buy, custom price") << kStockAccount << "688981.SH" << false << 15 << false << false << 0
        << 0.0 << 88.12 << 200 << false << true << "688981_中芯国际" << '0' << '1' << 12 << '0' << 0.0;
    QTest::newRow("stock buy, 1.5 percent up") << kStockAccount << "920185.BJ" << false << 0 << true << false << 0
        << 1.5 << 0.0 << 100 << false << false << "920185_贝特瑞" << '0' << '4' << 0 << '1' << 1.5;
    QTest::newRow("stock sell, market, percent down") << kStockAccount << "300750.SZ" << true << 21 << true << true << 0
        << 0.5 << 250.0 << 100 << true << true << "300750_宁德时代" << '1' << '2' << 3 << '1' << -0.5;
    QTest::newRow("credit buy, limit up") << kCreditAccount << "510300.SH" << false << 1 << false << false << 0
        << 0.0 << 0.0 << 1000 << true << true << "510300_沪深300ETF" << '0' << '1' << 14 << '0' << 0.0;
}

void MainWindowTest::insertBuildsTheMainTaskAndItsSubTask()
{
    QFETCH(int, accountId);
    QFETCH(QString, securityKey);
    QFETCH(bool, sell);
    QFETCH(int, gear);
    QFETCH(bool, percent);
    QFETCH(bool, signDown);
    QFETCH(int, ticks);
    QFETCH(double, percentage);
    QFETCH(double, customPrice);
    QFETCH(int, volume);
    QFETCH(bool, noSellAtLimitUp);
    QFETCH(bool, noBuyAtLimitDown);
    QFETCH(QString, name);
    QFETCH(char, direction);
    QFETCH(char, exchange);
    QFETCH(int, priceType);
    QFETCH(char, floatType);
    QFETCH(double, floatValue);

    const QTime setTime = aMinuteAhead();
    if (!setTime.isValid())
        QSKIP("no time of day left ahead of now");
    gWM->autoStartSingleTask = false;
    std::unique_ptr<ISubModuleWid> window = openWindow(accountId);
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget_scheduled_setting_execution"));

    // Given an order entered through the form's widgets.
    selectSecurity(window.get(), securityKey);
    const QString side = sell ? QStringLiteral("Sell") : QStringLiteral("Buy");
    QTest::mouseClick(window->findChild<QPushButton*>(sell ? QStringLiteral("pushButton_singleOI_dir_sell")
                                                           : QStringLiteral("pushButton_singleOI_dir_buy")),
                      Qt::LeftButton);
    auto* gearBox = window->findChild<QComboBox*>(QStringLiteral("comboBox_singleOI_%1PriceGear").arg(side));
    gearBox->setCurrentIndex(gearBox->findData(gear));
    if (percent)
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("pushButton_singleOI_%1Float_Unit").arg(side)),
                          Qt::LeftButton);
    auto* sign = window->findChild<QPushButton*>(QStringLiteral("pushButton_singleOI_%1Float_PN").arg(side));
    if (sign->property("IsPositive").toBool() == signDown)
        QTest::mouseClick(sign, Qt::LeftButton);
    window->findChild<QSpinBox*>(QStringLiteral("spinBox_singleOI_%1Float_Tick").arg(side))->setValue(ticks);
    window->findChild<QDoubleSpinBox*>(QStringLiteral("doubleSpinBox_singleOI_%1Float_Percentage").arg(side))
        ->setValue(percentage);
    window->findChild<QDoubleSpinBox*>(QStringLiteral("doubleSpinBox_singleOI_%1CustomPrice").arg(side))
        ->setValue(customPrice);
    window->findChild<QSpinBox*>(QStringLiteral("spinBox_singleOI_VolumeOriginal"))->setValue(volume);
    window->findChild<QTimeEdit*>(QStringLiteral("timeEdit_singleOI_ScheduledTime"))->setTime(setTime);
    window->findChild<QCheckBox*>(QStringLiteral("checkBox_singleOI_UpperLimit"))->setChecked(noSellAtLimitUp);
    window->findChild<QCheckBox*>(QStringLiteral("checkBox_singleOI_LowerLimit"))->setChecked(noBuyAtLimitDown);
    tabs->setCurrentIndex(-1);

    // When the trader presses insert.
    const int64_t before = SchedOrdTaskTime::now();
    clickInsert(window.get());
    const int64_t after = SchedOrdTaskTime::now();

    // Then one main task with one sub-task is stored, exactly as built.
    QVERIFY(gWM->popups().isEmpty());
    const std::vector<SchedOrdTaskField> tasks = service(accountId)->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(1));
    const SchedOrdTaskField& task = tasks.front();
    const int64_t setTicks = SchedOrdTaskTime::fromQTime(setTime);
    QVERIFY(task.MainTaskID > 0);
    QCOMPARE(Util::Str2QStr(task.MainTaskName), name);
    QCOMPARE(task.MainTaskStatus, MainTaskStatus::NotStarted);
    QCOMPARE(task.TriggerStatus, MainTriggerStatus::None);
    QVERIFY(task.CreateTime >= before / SchedOrdTaskTime::TicksPerSecond * SchedOrdTaskTime::TicksPerSecond);
    QVERIFY(task.CreateTime <= after);
    QCOMPARE(task.CreateTime % SchedOrdTaskTime::TicksPerSecond, int64_t(0));
    QCOMPARE(task.StartTime, setTicks);
    QCOMPARE(task.EndTime, setTicks);
    QCOMPARE(task.IsSameStartTime, true);
    QCOMPARE(task.IsSameEndTime, true);
    QCOMPARE(task.Direction, direction);
    QCOMPARE(task.VecSubTask.size(), size_t(1));

    const SchedOrdSubTaskField& sub = task.VecSubTask.front();
    QCOMPARE(sub.MainTaskID, task.MainTaskID);
    QVERIFY(sub.SubTaskID > 0);
    QCOMPARE(QString::fromStdString(sub.SecurityID), securityKey.section(QLatin1Char('.'), 0, 0));
    QCOMPARE(QString::fromStdString(sub.SecurityKey), securityKey);
    QCOMPARE(sub.ExchangeID, exchange);
    QCOMPARE(sub.Direction, direction);
    QCOMPARE(sub.TriggerTime, SchedOrdTaskTime::fromClockTime(0, 0, 0));
    QCOMPARE(sub.TargetVolume, volume);
    QCOMPARE(sub.TradeVolume, 0);
    QCOMPARE(sub.SubTaskStatus, SubTaskStatus::NotStarted);
    QCOMPARE(sub.TriggerStatus, SubTriggerStatus::NotTriggered);
    QCOMPARE(sub.HostCode, char(0));
    QCOMPARE(sub.OrderVolume, 0);
    QCOMPARE(sub.PriceType, priceType);
    QCOMPARE(sub.PriceFloatType, floatType);
    QCOMPARE(sub.PriceFloatValue, floatValue);
    QCOMPARE(sub.OrderPrice, customPrice);
    QCOMPARE(sub.HostValue, int64_t(0));
    QCOMPARE(sub.StartTime, setTicks);
    QCOMPARE(sub.EndTime, setTicks);
    QCOMPARE(sub.NoSellAtLimitUp, noSellAtLimitUp);
    QCOMPARE(sub.NoBuyAtLimitDown, noBuyAtLimitDown);
    QCOMPARE(sub.ErrorMsg, std::string());

    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tabWidget_scheduled_execution"));
}

void MainWindowTest::autoStartFollowsTheSetting_data()
{
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<char>("status");
    QTest::addColumn<bool>("running");
    QTest::newRow("auto-start on") << true << MainTaskStatus::Running << true;
    QTest::newRow("auto-start off") << false << MainTaskStatus::NotStarted << false;
}

void MainWindowTest::autoStartFollowsTheSetting()
{
    QFETCH(bool, autoStart);
    QFETCH(char, status);
    QFETCH(bool, running);
    const QTime setTime = aMinuteAhead();
    if (!setTime.isValid())
        QSKIP("no time of day left ahead of now");
    gWM->autoStartSingleTask = autoStart;
    std::unique_ptr<ISubModuleWid> window = openWindow(kStockAccount);
    selectSecurity(window.get(), QStringLiteral("600036.SH"));
    window->findChild<QTimeEdit*>(QStringLiteral("timeEdit_singleOI_ScheduledTime"))->setTime(setTime);
    clickInsert(window.get());

    const std::vector<SchedOrdTaskField> tasks = service(kStockAccount)->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(1));
    QCOMPARE(tasks.front().MainTaskStatus, status);
    QCOMPARE(service(kStockAccount)->isExistsRunningTask(), running);

    // The form keeps its contents: the same order can go in again.
    clickInsert(window.get());
    QCOMPARE(service(kStockAccount)->getVecMainTask().size(), size_t(2));
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
