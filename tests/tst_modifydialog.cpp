#include "SchedOrdCodes.h"
#include "SchedOrdPriceGear.h"
#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_ModifySubTaskParamWid.h"
#include "ScheduledOrderFactory.h"
#include "SubTaskFields.h"
#include "TestAccounts.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrd_ModifySubTaskParamWid;
using Velm_Space::ScheduledOrderFactory;

namespace {

constexpr int kStockAccount = 1601;
constexpr int kCreditAccount = 1602;
constexpr int kOtherKindAccount = 1603;

int64_t today(int hour, int minute, int second)
{
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

int64_t yesterday(int hour, int minute, int second)
{
    const QDate day = QDate::currentDate().addDays(-1);
    return SchedOrdTaskTime::fromLocalDateTime(day.year(), day.month(), day.day(), hour, minute, second);
}

// A waiting sub-task with a value in every field, so that a field the dialog must not touch
// shows up when it is touched.
SchedOrdSubTaskField waitingSubTask(char direction = Direction::Buy, const char* securityKey = "600000.SH")
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = 7;
    sub.SubTaskID = 70;
    sub.SecurityKey = securityKey;
    sub.SecurityID = QString::fromLatin1(securityKey).section(QLatin1Char('.'), 0, 0).toStdString();
    sub.ExchangeID = QString::fromLatin1(securityKey).endsWith(QLatin1String("SZ")) ? Exchange::Shenzhen : Exchange::Shanghai;
    sub.Direction = direction;
    sub.TriggerTime = today(0, 0, 0);
    sub.TargetVolume = 300;
    sub.SubTaskStatus = SubTaskStatus::Running;
    sub.TriggerStatus = SubTriggerStatus::NotTriggered;
    sub.HostCode = 'h';
    sub.PriceType = isSellDirection(direction) ? 2 : 1;
    sub.PriceFloatType = PriceFloatType::Tick;
    sub.HostValue = 4242;
    sub.StartTime = today(10, 15, 30);
    sub.EndTime = today(10, 15, 30);
    sub.NoSellAtLimitUp = true;
    sub.NoBuyAtLimitDown = false;
    sub.ErrorMsg = "kept";
    return sub;
}

enum Side { Buy, Sell };

// One change through the widgets that touches exactly one compared field of the copy.
enum class Change { CustomPrice, Gear, Sign, Unit, Ticks, Percent, Volume, Time, UpperLimit, LowerLimit, CreditKind };

} // namespace

Q_DECLARE_METATYPE(Side)
Q_DECLARE_METATYPE(Change)

// The modify dialog and its two account variants, driven through their widgets.
class ModifyDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void factoryByAccountKind_data();
    void factoryByAccountKind();
    void setUpState();
    void openingFloats_data();
    void openingFloats();
    void priceTypeOpensItsGear_data();
    void priceTypeOpensItsGear();
    void gearChoosesCustomPriceOrFloatRow_data();
    void gearChoosesCustomPriceOrFloatRow();
    void signAndUnitButtons_data();
    void signAndUnitButtons();
    void setTime_data();
    void setTime();
    void eachComparedFieldSetsTheFlag_data();
    void eachComparedFieldSetsTheFlag();
    void zeroVolumeIsRefused();
    void cancelLeavesCopyAndFlagAlone();
    void resetReloadsTheStoredSubTask();
    void stockVariant_data();
    void stockVariant();
    void creditVariant_data();
    void creditVariant();
    void securityDetails_data();
    void securityDetails();
    void unknownSecurityLeavesTheFormReset();
    void shortKeyShowsNotFoundForASecond();
    void comboBoxesAreRestyledWhenShown();

private:
    void open(int accountId, const SchedOrdSubTaskField& stored);
    void reopen(const SchedOrdSubTaskField& stored);
    void confirm();
    template <typename T>
    T* child(const QString& name) const;
    QString sideName(Side side) const { return side == Buy ? QStringLiteral("Buy") : QStringLiteral("Sell"); }
    template <typename T>
    T* sideChild(Side side, const QString& pattern) const { return child<T>(pattern.arg(sideName(side))); }

    std::unique_ptr<QWidget> m_parent;
    SchedOrd_ModifySubTaskParamWid* m_dialog = nullptr;
    SchedOrdSubTaskField m_stored;
    SchedOrdSubTaskField m_edited;
    bool m_confirmed = false;
};

void ModifyDialogTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
}

void ModifyDialogTest::init()
{
    VelmTest::setUpWindowManager();
    VelmTest::addStockAccount(kStockAccount);
    VelmTest::addCreditAccount(kCreditAccount);
    VelmTest::addAccount(kOtherKindAccount, 7);
    m_parent = std::make_unique<QWidget>();
}

void ModifyDialogTest::cleanup()
{
    m_parent.reset();
    m_dialog = nullptr;
    VelmTest::removeAllAccounts();
}

void ModifyDialogTest::open(int accountId, const SchedOrdSubTaskField& stored)
{
    ISubModuleDlg* made = ScheduledOrderFactory::createModifySubTaskParamDlg(accountId, 0, m_parent.get());
    m_dialog = qobject_cast<SchedOrd_ModifySubTaskParamWid*>(made);
    QVERIFY(m_dialog);
    m_dialog->initDialog();
    reopen(stored);
}

// The opener's part: the copy starts as the stored sub-task, the flag false.
void ModifyDialogTest::reopen(const SchedOrdSubTaskField& stored)
{
    m_stored = stored;
    m_edited = stored;
    m_confirmed = false;
    m_dialog->setSubTask(&m_stored, &m_edited, &m_confirmed);
}

void ModifyDialogTest::confirm()
{
    child<QPushButton>(QStringLiteral("pushButton_SO_MST_bottom_OK"))->click();
}

template <typename T>
T* ModifyDialogTest::child(const QString& name) const
{
    T* found = m_dialog->findChild<T*>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

void ModifyDialogTest::factoryByAccountKind_data()
{
    QTest::addColumn<int>("accountId");
    QTest::addColumn<QByteArray>("className");
    QTest::newRow("stock") << kStockAccount << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock");
    QTest::newRow("credit") << kCreditAccount << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpCredit");
    QTest::newRow("other kind") << kOtherKindAccount << QByteArray();
    QTest::newRow("unknown account") << 4242 << QByteArray();
}

void ModifyDialogTest::factoryByAccountKind()
{
    QFETCH(int, accountId);
    QFETCH(QByteArray, className);
    ISubModuleDlg* dialog = ScheduledOrderFactory::createModifySubTaskParamDlg(accountId, 0, m_parent.get());
    if (className.isEmpty()) {
        QVERIFY(!dialog);
        return;
    }
    QVERIFY(dialog);
    QCOMPARE(QByteArray(dialog->metaObject()->className()), className);
    QCOMPARE(dialog->parentWidget(), m_parent.get());
    QCOMPARE(dialog->windowType(), Qt::Widget);
    QVERIFY(dialog->isModalContent());
    // Variant first, then the base, each as the class names itself.
    const QByteArray variant = className.mid(className.indexOf("::") + 2);
    QTest::ignoreMessage(QtDebugMsg, QByteArray("~" + variant + "()").constData());
    QTest::ignoreMessage(QtDebugMsg, "~SchedOrd_ModifySubTaskParamWid()");
    delete dialog;
}

void ModifyDialogTest::setUpState()
{
    m_dialog = qobject_cast<SchedOrd_ModifySubTaskParamWid*>(
        ScheduledOrderFactory::createModifySubTaskParamDlg(kStockAccount, 0, m_parent.get()));
    QVERIFY(m_dialog);
    QCOMPARE(m_dialog->windowTitle(), QStringLiteral("SchedOrd_ModifySubTaskParamWid"));
    QCOMPARE(m_dialog->size(), QSize(396, 445));
    m_dialog->initDialog();

    QVERIFY(child<QWidget>(QStringLiteral("widget_SO_MST_dir_top"))->isHidden());
    QVERIFY(child<QWidget>(QStringLiteral("widget_SO_MST_MaxVolume"))->isHidden());
    QVERIFY(child<QWidget>(QStringLiteral("pushButton_SO_MST_bottom_help"))->isHidden());
    QVERIFY(child<QLabel>(QStringLiteral("label_SO_MST_SecurityName"))->text().isEmpty());
    QCOMPARE(child<QTimeEdit>(QStringLiteral("timeEdit_SO_MST_ScheduledTime"))->time(), QTime(9, 30, 0));
    QVERIFY(child<QCheckBox>(QStringLiteral("checkBox_SO_MST_UpperLimit"))->isChecked());
    QVERIFY(child<QCheckBox>(QStringLiteral("checkBox_SO_MST_LowerLimit"))->isChecked());

    const QVector<int> orders[] = {SchedOrdPriceGear::buyGearOrder(), SchedOrdPriceGear::sellGearOrder()};
    const int defaults[] = {6, 7};
    const QString signs[] = {QStringLiteral("向上"), QStringLiteral("向下")};
    for (Side side : {Buy, Sell}) {
        auto* gear = sideChild<QComboBox>(side, QStringLiteral("comboBox_SO_MST_%1PriceGear"));
        QVector<int> codes;
        for (int i = 0; i < gear->count(); ++i) {
            codes.append(gear->itemData(i).toInt());
            QCOMPARE(gear->itemText(i), Util::ParseOrderInsertPriceType(codes.last()));
        }
        QCOMPARE(codes, orders[side]);
        QCOMPARE(gear->currentData().toInt(), defaults[side]);
        auto* sign = sideChild<QPushButton>(side, QStringLiteral("pushButton_SO_MST_%1Float_PN"));
        QCOMPARE(sign->text(), signs[side]);
        QCOMPARE(sign->property("IsPositive").toBool(), side == Buy);
        auto* unit = sideChild<QPushButton>(side, QStringLiteral("pushButton_SO_MST_%1Float_Unit"));
        QCOMPARE(unit->text(), QStringLiteral("tick"));
        QCOMPARE(unit->property("PriceFloatType").toInt(), 1);
        QVERIFY(!sideChild<QWidget>(side, QStringLiteral("spinBox_SO_MST_%1Float_Tick"))->isHidden());
        QVERIFY(sideChild<QWidget>(side, QStringLiteral("doubleSpinBox_SO_MST_%1Float_Percentage"))->isHidden());
    }
    for (QComboBox* combo : m_dialog->findChildren<QComboBox*>())
        QVERIFY2(qobject_cast<QListView*>(combo->view()), qPrintable(combo->objectName()));
}

void ModifyDialogTest::openingFloats_data()
{
    QTest::addColumn<char>("direction");
    QTest::addColumn<char>("floatType");
    QTest::addColumn<double>("floatValue");
    QTest::addColumn<QString>("signText");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<double>("percent");
    QTest::addColumn<bool>("changed");
    QTest::addColumn<double>("written");
    QTest::newRow("3 ticks down") << Direction::Buy << PriceFloatType::Tick << -3.0 << "向下" << 1 << 3 << 0.0 << false << -3.0;
    QTest::newRow("no float") << Direction::Buy << PriceFloatType::Tick << 0.0 << "向上" << 1 << 0 << 0.0 << false << 0.0;
    QTest::newRow("2.7 ticks opens as 2") << Direction::Buy << PriceFloatType::Tick << 2.7 << "向上" << 1 << 2 << 0.0 << true << 2.0;
    QTest::newRow("sell 0.5 percent down") << Direction::Sell << PriceFloatType::Percent << -0.5 << "向下" << 2 << 0 << 0.5 << false << -0.5;
    QTest::newRow("1.25 percent up") << Direction::Buy << PriceFloatType::Percent << 1.25 << "向上" << 2 << 0 << 1.25 << false << 1.25;
    QTest::newRow("a trace below zero is no float") << Direction::Sell << PriceFloatType::Tick << -0.0000005 << "向上" << 1 << 0 << 0.0 << false << 0.0;
}

void ModifyDialogTest::openingFloats()
{
    QFETCH(char, direction);
    QFETCH(char, floatType);
    QFETCH(double, floatValue);
    QFETCH(QString, signText);
    QFETCH(int, unit);
    QFETCH(int, ticks);
    QFETCH(double, percent);
    QFETCH(bool, changed);
    QFETCH(double, written);
    SchedOrdSubTaskField stored = waitingSubTask(direction);
    stored.PriceFloatType = floatType;
    stored.PriceFloatValue = floatValue;
    open(kStockAccount, stored);

    const Side side = isSellDirection(direction) ? Sell : Buy;
    auto* sign = sideChild<QPushButton>(side, QStringLiteral("pushButton_SO_MST_%1Float_PN"));
    QCOMPARE(sign->text(), signText);
    QCOMPARE(sign->property("IsPositive").toBool(), signText == QStringLiteral("向上"));
    auto* unitButton = sideChild<QPushButton>(side, QStringLiteral("pushButton_SO_MST_%1Float_Unit"));
    QCOMPARE(unitButton->property("PriceFloatType").toInt(), unit);
    QCOMPARE(unitButton->text(), unit == 1 ? QStringLiteral("tick") : QStringLiteral("%"));
    auto* tick = sideChild<QSpinBox>(side, QStringLiteral("spinBox_SO_MST_%1Float_Tick"));
    auto* percentage = sideChild<QDoubleSpinBox>(side, QStringLiteral("doubleSpinBox_SO_MST_%1Float_Percentage"));
    QCOMPARE(tick->isHidden(), unit != 1);
    QCOMPARE(percentage->isHidden(), unit == 1);
    QCOMPARE(tick->value(), ticks);
    QCOMPARE(percentage->value(), percent);

    QSignalSpy ok(m_dialog, &ISubModuleDlg::signal_pushbutton_ok);
    confirm();
    QCOMPARE(ok.count(), 1);
    QCOMPARE(m_confirmed, changed);
    QCOMPARE(m_edited.PriceFloatType, floatType);
    QCOMPARE(m_edited.PriceFloatValue, written);
}

void ModifyDialogTest::priceTypeOpensItsGear_data()
{
    QTest::addColumn<char>("direction");
    QTest::addColumn<int>("priceType");
    QTest::addColumn<int>("gear");
    QTest::addColumn<bool>("customRow");
    QTest::addColumn<int>("written");
    QTest::newRow("ask 1") << Direction::Buy << 1 << 6 << false << 1;
    QTest::newRow("previous close has no gear") << Direction::Buy << 13 << -1 << false << 0;
    QTest::newRow("custom price") << Direction::Buy << 12 << 15 << true << 12;
    QTest::newRow("market price, sell") << Direction::Sell << 3 << 21 << true << 3;
    QTest::newRow("buy cage") << Direction::Buy << 16 << 13 << false << 16;
    QTest::newRow("sell cage") << Direction::Sell << 17 << 14 << false << 17;
    QTest::newRow("limit-down, sell") << Direction::Sell << 15 << 12 << false << 15;
    QTest::newRow("last price") << Direction::Sell << 0 << 0 << false << 0;
}

void ModifyDialogTest::priceTypeOpensItsGear()
{
    QFETCH(char, direction);
    QFETCH(int, priceType);
    QFETCH(int, gear);
    QFETCH(bool, customRow);
    QFETCH(int, written);
    SchedOrdSubTaskField stored = waitingSubTask(direction);
    stored.PriceType = priceType;
    stored.OrderPrice = 10.57;
    open(kStockAccount, stored);

    const Side side = isSellDirection(direction) ? Sell : Buy;
    auto* combo = sideChild<QComboBox>(side, QStringLiteral("comboBox_SO_MST_%1PriceGear"));
    if (gear < 0)
        QCOMPARE(combo->currentIndex(), -1);
    else
        QCOMPARE(combo->currentData().toInt(), gear);
    QCOMPARE(sideChild<QWidget>(side, QStringLiteral("widget_SO_MST_%1CustomPrice"))->isHidden(), !customRow);
    QCOMPARE(sideChild<QWidget>(side, QStringLiteral("widget_SO_MST_%1Float"))->isHidden(), customRow);
    QCOMPARE(sideChild<QDoubleSpinBox>(side, QStringLiteral("doubleSpinBox_SO_MST_%1CustomPrice"))->value(), 10.57);

    confirm();
    QCOMPARE(m_edited.PriceType, written);
    QCOMPARE(m_edited.OrderPrice, 10.57);
    QCOMPARE(m_confirmed, written != priceType);
}

void ModifyDialogTest::gearChoosesCustomPriceOrFloatRow_data()
{
    QTest::addColumn<Side>("side");
    QTest::addColumn<int>("gear");
    QTest::addColumn<bool>("customRow");
    QTest::newRow("buy custom") << Buy << 15 << true;
    QTest::newRow("buy market") << Buy << 21 << true;
    QTest::newRow("buy last price") << Buy << 0 << false;
    QTest::newRow("buy cage") << Buy << 13 << false;
    QTest::newRow("sell custom") << Sell << 15 << true;
    QTest::newRow("sell market") << Sell << 21 << true;
    QTest::newRow("sell cage") << Sell << 14 << false;
    QTest::newRow("sell limit-up") << Sell << 1 << false;
}

void ModifyDialogTest::gearChoosesCustomPriceOrFloatRow()
{
    QFETCH(Side, side);
    QFETCH(int, gear);
    QFETCH(bool, customRow);
    // Opened on the other kind of row first, so that every choice has to switch the rows.
    SchedOrdSubTaskField stored = waitingSubTask(side == Sell ? Direction::Sell : Direction::Buy);
    stored.PriceType = customRow ? 1 : 12;
    open(kStockAccount, stored);
    auto* combo = sideChild<QComboBox>(side, QStringLiteral("comboBox_SO_MST_%1PriceGear"));
    QCOMPARE(sideChild<QWidget>(side, QStringLiteral("widget_SO_MST_%1CustomPrice"))->isHidden(), customRow);

    combo->setCurrentIndex(combo->findData(gear));
    QCOMPARE(sideChild<QWidget>(side, QStringLiteral("widget_SO_MST_%1CustomPrice"))->isHidden(), !customRow);
    QCOMPARE(sideChild<QWidget>(side, QStringLiteral("widget_SO_MST_%1Float"))->isHidden(), customRow);
    confirm();
    QCOMPARE(m_edited.PriceType, SchedOrdPriceGear::toPriceType(gear));
}

void ModifyDialogTest::signAndUnitButtons_data()
{
    QTest::addColumn<Side>("side");
    QTest::newRow("buy") << Buy;
    QTest::newRow("sell") << Sell;
}

void ModifyDialogTest::signAndUnitButtons()
{
    QFETCH(Side, side);
    open(kStockAccount, waitingSubTask(side == Sell ? Direction::Sell : Direction::Buy));
    auto* sign = sideChild<QPushButton>(side, QStringLiteral("pushButton_SO_MST_%1Float_PN"));
    auto* unit = sideChild<QPushButton>(side, QStringLiteral("pushButton_SO_MST_%1Float_Unit"));
    auto* tick = sideChild<QSpinBox>(side, QStringLiteral("spinBox_SO_MST_%1Float_Tick"));
    auto* percentage = sideChild<QDoubleSpinBox>(side, QStringLiteral("doubleSpinBox_SO_MST_%1Float_Percentage"));

    QCOMPARE(sign->text(), QStringLiteral("向上"));
    sign->click();
    QCOMPARE(sign->text(), QStringLiteral("向下"));
    QCOMPARE(sign->property("IsPositive").toBool(), false);
    sign->click();
    QCOMPARE(sign->text(), QStringLiteral("向上"));
    QCOMPARE(sign->property("IsPositive").toBool(), true);

    // Given values in both boxes, a switch of unit clears both, either way.
    tick->setValue(4);
    percentage->setValue(1.5);
    unit->click();
    QCOMPARE(unit->property("PriceFloatType").toInt(), 2);
    QCOMPARE(unit->text(), QStringLiteral("%"));
    QVERIFY(tick->isHidden());
    QVERIFY(!percentage->isHidden());
    QCOMPARE(tick->value(), 0);
    QCOMPARE(percentage->value(), 0.0);

    tick->setValue(3);
    percentage->setValue(2.25);
    sign->click();
    confirm();
    QCOMPARE(m_edited.PriceFloatType, PriceFloatType::Percent);
    QCOMPARE(m_edited.PriceFloatValue, -2.25);
    QVERIFY(m_confirmed);

    unit->click();
    QCOMPARE(unit->property("PriceFloatType").toInt(), 1);
    QCOMPARE(unit->text(), QStringLiteral("tick"));
    QVERIFY(!tick->isHidden());
    QVERIFY(percentage->isHidden());
    QCOMPARE(tick->value(), 0);
    QCOMPARE(percentage->value(), 0.0);
}

void ModifyDialogTest::setTime_data()
{
    QTest::addColumn<qint64>("storedStart");
    QTest::addColumn<QTime>("newTime");
    QTest::addColumn<qint64>("writtenStart");
    QTest::addColumn<bool>("changed");
    QTest::newRow("09:30:00 to 09:31:00") << qint64(today(9, 30, 0)) << QTime(9, 31, 0) << qint64(today(9, 31, 0)) << true;
    QTest::newRow("untouched, made today") << qint64(today(9, 30, 0)) << QTime() << qint64(today(9, 30, 0)) << false;
    QTest::newRow("untouched, made yesterday") << qint64(yesterday(9, 30, 0)) << QTime() << qint64(today(9, 30, 0)) << true;
    QTest::newRow("a second before midnight") << qint64(today(23, 59, 58)) << QTime(23, 59, 59) << qint64(today(23, 59, 59)) << true;
}

void ModifyDialogTest::setTime()
{
    QFETCH(qint64, storedStart);
    QFETCH(QTime, newTime);
    QFETCH(qint64, writtenStart);
    QFETCH(bool, changed);
    SchedOrdSubTaskField stored = waitingSubTask();
    stored.StartTime = storedStart;
    stored.EndTime = storedStart;
    open(kStockAccount, stored);
    auto* timeEdit = child<QTimeEdit>(QStringLiteral("timeEdit_SO_MST_ScheduledTime"));
    QCOMPARE(timeEdit->time(), QTime::fromString(SchedOrdTaskTime::toText(storedStart), QStringLiteral("hh:mm:ss")));
    if (newTime.isValid())
        timeEdit->setTime(newTime);
    confirm();
    QCOMPARE(m_confirmed, changed);

    SchedOrdSubTaskField expected = stored;
    expected.StartTime = writtenStart;
    const QStringList differences = VelmTest::subTaskDifferences(m_edited, expected);
    QVERIFY2(differences.isEmpty(), qPrintable(differences.join(QStringLiteral("; "))));
}

void ModifyDialogTest::eachComparedFieldSetsTheFlag_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<int>("accountId");
    QTest::addColumn<QString>("field");
    QTest::newRow("custom price") << Change::CustomPrice << kStockAccount << "OrderPrice";
    QTest::newRow("gear") << Change::Gear << kStockAccount << "PriceType";
    QTest::newRow("sign") << Change::Sign << kStockAccount << "PriceFloatValue";
    QTest::newRow("unit") << Change::Unit << kStockAccount << "PriceFloatType";
    QTest::newRow("ticks") << Change::Ticks << kStockAccount << "PriceFloatValue";
    QTest::newRow("percent") << Change::Percent << kStockAccount << "PriceFloatValue";
    QTest::newRow("volume") << Change::Volume << kStockAccount << "TargetVolume";
    QTest::newRow("time") << Change::Time << kStockAccount << "StartTime";
    QTest::newRow("no sell at limit-up") << Change::UpperLimit << kStockAccount << "NoSellAtLimitUp";
    QTest::newRow("no buy at limit-down") << Change::LowerLimit << kStockAccount << "NoBuyAtLimitDown";
    QTest::newRow("credit kind") << Change::CreditKind << kCreditAccount << "Direction";
}

void ModifyDialogTest::eachComparedFieldSetsTheFlag()
{
    QFETCH(Change, change);
    QFETCH(int, accountId);
    QFETCH(QString, field);
    SchedOrdSubTaskField stored = waitingSubTask(Direction::Sell);
    stored.PriceType = change == Change::CustomPrice ? 12 : 2;
    stored.OrderPrice = 10.57;
    stored.PriceFloatType = change == Change::Percent ? PriceFloatType::Percent : PriceFloatType::Tick;
    stored.PriceFloatValue = change == Change::Percent ? 0.5 : 2.0;
    open(accountId, stored);

    switch (change) {
    case Change::CustomPrice:
        child<QDoubleSpinBox>(QStringLiteral("doubleSpinBox_SO_MST_SellCustomPrice"))->setValue(10.58);
        break;
    case Change::Gear: {
        auto* gear = child<QComboBox>(QStringLiteral("comboBox_SO_MST_SellPriceGear"));
        gear->setCurrentIndex(gear->findData(8));
        break;
    }
    case Change::Sign:
        child<QPushButton>(QStringLiteral("pushButton_SO_MST_SellFloat_PN"))->click();
        break;
    case Change::Unit:
        // Switching clears the float; the same value typed again leaves only the type changed.
        child<QPushButton>(QStringLiteral("pushButton_SO_MST_SellFloat_Unit"))->click();
        child<QDoubleSpinBox>(QStringLiteral("doubleSpinBox_SO_MST_SellFloat_Percentage"))->setValue(2.0);
        break;
    case Change::Ticks:
        child<QSpinBox>(QStringLiteral("spinBox_SO_MST_SellFloat_Tick"))->setValue(3);
        break;
    case Change::Percent:
        child<QDoubleSpinBox>(QStringLiteral("doubleSpinBox_SO_MST_SellFloat_Percentage"))->setValue(0.51);
        break;
    case Change::Volume:
        child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->setValue(301);
        break;
    case Change::Time:
        child<QTimeEdit>(QStringLiteral("timeEdit_SO_MST_ScheduledTime"))->setTime(QTime(10, 15, 31));
        break;
    case Change::UpperLimit:
        child<QCheckBox>(QStringLiteral("checkBox_SO_MST_UpperLimit"))->setChecked(false);
        break;
    case Change::LowerLimit:
        child<QCheckBox>(QStringLiteral("checkBox_SO_MST_LowerLimit"))->setChecked(true);
        break;
    case Change::CreditKind:
        child<QComboBox>(QStringLiteral("comboBox_SO_MST_CreditSellType"))->setCurrentIndex(1);
        break;
    }
    confirm();

    const QStringList differences = VelmTest::subTaskDifferences(m_edited, m_stored);
    QCOMPARE(differences.size(), 1);
    QVERIFY2(differences.first().startsWith(field + QLatin1Char(':')), qPrintable(differences.first()));
    QVERIFY(m_confirmed);
}

void ModifyDialogTest::zeroVolumeIsRefused()
{
    open(kStockAccount, waitingSubTask());
    QSignalSpy ok(m_dialog, &ISubModuleDlg::signal_pushbutton_ok);
    child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->setValue(0);
    child<QPushButton>(QStringLiteral("pushButton_SO_MST_BuyFloat_PN"))->click();
    m_confirmed = true;
    confirm();

    QCOMPARE(ok.count(), 0);
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().kind, PopupRecord::Info);
    QCOMPARE(gWM->popups().first().text, QStringLiteral("委托数量不能为0，请重新输入"));
    QVERIFY(gWM->popups().first().detail.isEmpty());
    QCOMPARE(gWM->popups().first().parent.data(), static_cast<QWidget*>(m_dialog));
    QVERIFY(m_confirmed);
    QVERIFY(VelmTest::subTaskDifferences(m_edited, m_stored).isEmpty());

    // The dialog stays usable: a volume given, the same click goes through.
    child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->setValue(100);
    confirm();
    QCOMPARE(ok.count(), 1);
    QCOMPARE(m_edited.TargetVolume, 100);
}

void ModifyDialogTest::cancelLeavesCopyAndFlagAlone()
{
    open(kStockAccount, waitingSubTask());
    QSignalSpy ok(m_dialog, &ISubModuleDlg::signal_pushbutton_ok);
    QSignalSpy cancel(m_dialog, &ISubModuleDlg::signal_pushbutton_cancel);
    child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->setValue(900);
    child<QCheckBox>(QStringLiteral("checkBox_SO_MST_UpperLimit"))->setChecked(false);
    m_confirmed = true;
    child<QPushButton>(QStringLiteral("pushButton_SO_MST_bottom_Cancel"))->click();
    QCOMPARE(cancel.count(), 1);
    QCOMPARE(ok.count(), 0);
    QVERIFY(m_confirmed);
    QVERIFY(VelmTest::subTaskDifferences(m_edited, m_stored).isEmpty());
    QVERIFY(gWM->popups().isEmpty());
}

void ModifyDialogTest::resetReloadsTheStoredSubTask()
{
    SchedOrdSubTaskField stored = waitingSubTask(Direction::Sell);
    stored.PriceFloatType = PriceFloatType::Percent;
    stored.PriceFloatValue = -0.75;
    open(kCreditAccount, stored);
    child<QComboBox>(QStringLiteral("comboBox_SO_MST_CreditSellType"))->setCurrentIndex(1);
    auto* gear = child<QComboBox>(QStringLiteral("comboBox_SO_MST_SellPriceGear"));
    gear->setCurrentIndex(gear->findData(15));
    child<QDoubleSpinBox>(QStringLiteral("doubleSpinBox_SO_MST_SellCustomPrice"))->setValue(12.34);
    child<QPushButton>(QStringLiteral("pushButton_SO_MST_SellFloat_Unit"))->click();
    child<QPushButton>(QStringLiteral("pushButton_SO_MST_SellFloat_PN"))->click();
    child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->setValue(1);
    child<QTimeEdit>(QStringLiteral("timeEdit_SO_MST_ScheduledTime"))->setTime(QTime(14, 0, 0));
    child<QCheckBox>(QStringLiteral("checkBox_SO_MST_UpperLimit"))->setChecked(false);
    child<QCheckBox>(QStringLiteral("checkBox_SO_MST_LowerLimit"))->setChecked(true);

    child<QPushButton>(QStringLiteral("pushButton_SO_MST_bottom_reset"))->click();
    QCOMPARE(child<QComboBox>(QStringLiteral("comboBox_SO_MST_CreditSellType"))->currentIndex(), 0);
    QCOMPARE(gear->currentData().toInt(), 7);
    QCOMPARE(child<QDoubleSpinBox>(QStringLiteral("doubleSpinBox_SO_MST_SellCustomPrice"))->value(), 0.0);
    QCOMPARE(child<QPushButton>(QStringLiteral("pushButton_SO_MST_SellFloat_PN"))->text(), QStringLiteral("向下"));
    QCOMPARE(child<QDoubleSpinBox>(QStringLiteral("doubleSpinBox_SO_MST_SellFloat_Percentage"))->value(), 0.75);
    QCOMPARE(child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->value(), 300);
    QCOMPARE(child<QTimeEdit>(QStringLiteral("timeEdit_SO_MST_ScheduledTime"))->time(), QTime(10, 15, 30));
    confirm();
    QVERIFY(!m_confirmed);
    QVERIFY(VelmTest::subTaskDifferences(m_edited, m_stored).isEmpty());
}

void ModifyDialogTest::stockVariant_data()
{
    QTest::addColumn<char>("direction");
    QTest::addColumn<QString>("securityLine");
    QTest::addColumn<QString>("maxVolumeCaption");
    QTest::newRow("buy") << Direction::Buy << "600000 浦发银行 买入" << "参考可买";
    QTest::newRow("sell") << Direction::Sell << "600000 浦发银行 卖出" << "参考可卖";
}

void ModifyDialogTest::stockVariant()
{
    QFETCH(char, direction);
    QFETCH(QString, securityLine);
    QFETCH(QString, maxVolumeCaption);
    open(kStockAccount, waitingSubTask(direction));
    const Side shown = direction == Direction::Sell ? Sell : Buy;
    const Side hidden = shown == Buy ? Sell : Buy;
    QVERIFY(child<QWidget>(QStringLiteral("widget_SO_MST_CreditBuyType"))->isHidden());
    QVERIFY(child<QWidget>(QStringLiteral("widget_SO_MST_CreditSellType"))->isHidden());
    QCOMPARE(child<QComboBox>(QStringLiteral("comboBox_SO_MST_CreditBuyType"))->count(), 0);
    QVERIFY(!sideChild<QWidget>(shown, QStringLiteral("widget_SO_MST_%1PriceGear"))->isHidden());
    QVERIFY(!sideChild<QWidget>(shown, QStringLiteral("widget_SO_MST_%1Float"))->isHidden());
    for (const QString& row : {QStringLiteral("widget_SO_MST_%1PriceGear"), QStringLiteral("widget_SO_MST_%1CustomPrice"),
                               QStringLiteral("widget_SO_MST_%1Float")})
        QVERIFY2(sideChild<QWidget>(hidden, row)->isHidden(), qPrintable(row.arg(sideName(hidden))));
    QCOMPARE(child<QLabel>(QStringLiteral("label_SO_MST_SecurityName"))->text(), securityLine);
    QCOMPARE(child<QLabel>(QStringLiteral("label_SO_MST_MaxVolume"))->text(), maxVolumeCaption);

    confirm();
    QCOMPARE(m_edited.Direction, direction);
    QVERIFY(!m_confirmed);
}

void ModifyDialogTest::creditVariant_data()
{
    QTest::addColumn<char>("direction");
    QTest::addColumn<Side>("side");
    QTest::addColumn<QString>("kindText");
    QTest::addColumn<int>("chosenKind");
    QTest::addColumn<char>("written");
    QTest::addColumn<bool>("changed");
    QTest::newRow("financed buy") << 'i' << Buy << "融资买入" << 0 << 'i' << false;
    QTest::newRow("financed buy to collateral") << 'i' << Buy << "融资买入" << 1 << '0' << true;
    QTest::newRow("collateral buy") << '0' << Buy << "担保品买入" << 0 << '0' << false;
    QTest::newRow("short sell") << 'j' << Sell << "融券卖出" << 0 << 'j' << false;
    QTest::newRow("short sell to collateral") << 'j' << Sell << "融券卖出" << 4 << '1' << true;
    QTest::newRow("collateral sell to short") << '1' << Sell << "担保品卖出" << 5 << 'j' << true;
    QTest::newRow("third buy kind") << 'l' << Buy << "担保品买入" << 0 << '0' << true;
    QTest::newRow("third sell kind") << 'k' << Sell << "担保品卖出" << 0 << '1' << true;
}

void ModifyDialogTest::creditVariant()
{
    QFETCH(char, direction);
    QFETCH(Side, side);
    QFETCH(QString, kindText);
    QFETCH(int, chosenKind);
    QFETCH(char, written);
    QFETCH(bool, changed);
    // Opened before on the second kind of both sides: the reset must start again from the first.
    open(kCreditAccount, waitingSubTask('i'));
    reopen(waitingSubTask('j'));
    reopen(waitingSubTask(direction));

    auto* buyKind = child<QComboBox>(QStringLiteral("comboBox_SO_MST_CreditBuyType"));
    auto* sellKind = child<QComboBox>(QStringLiteral("comboBox_SO_MST_CreditSellType"));
    QCOMPARE(buyKind->count(), 2);
    QCOMPARE(buyKind->itemText(0), QStringLiteral("担保品买入"));
    QCOMPARE(buyKind->itemData(1).toInt(), 2);
    QCOMPARE(sellKind->itemText(1), QStringLiteral("融券卖出"));
    QCOMPARE(sellKind->itemData(0).toInt(), 4);

    QCOMPARE(child<QWidget>(QStringLiteral("widget_SO_MST_CreditBuyType"))->isHidden(), side != Buy);
    QCOMPARE(child<QWidget>(QStringLiteral("widget_SO_MST_CreditSellType"))->isHidden(), side != Sell);
    QVERIFY(sideChild<QWidget>(side == Buy ? Sell : Buy, QStringLiteral("widget_SO_MST_%1PriceGear"))->isHidden());
    QComboBox* kind = side == Buy ? buyKind : sellKind;
    QCOMPARE(kind->currentText(), kindText);
    if (chosenKind != 0)
        kind->setCurrentIndex(kind->findData(chosenKind));

    confirm();
    QCOMPARE(m_edited.Direction, written);
    QCOMPARE(m_confirmed, changed);
}

void ModifyDialogTest::securityDetails_data()
{
    QTest::addColumn<QString>("securityKey");
    QTest::addColumn<QString>("securityLine");
    QTest::addColumn<QString>("volumeUnit");
    QTest::addColumn<QString>("currency");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("priceStep");
    QTest::addColumn<int>("volumeStep");
    QTest::newRow("share") << "600000.SH" << "600000 浦发银行 买入" << "股" << "元" << 2 << 0.01 << 100;
    QTest::newRow("fund") << "510300.SH" << "510300 沪深300ETF 买入" << "份" << "元" << 3 << 0.001 << 100;
    QTest::newRow("Shenzhen B share") << "200002.SZ" << "200002 万科B 买入" << "股" << "港元" << 2 << 0.01 << 100;
    QTest::newRow("STAR share, step 1") << "688981.SH" << "688981 中芯国际 买入" << "股" << "元" << 2 << 0.01 << 1;
}

void ModifyDialogTest::securityDetails()
{
    QFETCH(QString, securityKey);
    QFETCH(QString, securityLine);
    QFETCH(QString, volumeUnit);
    QFETCH(QString, currency);
    QFETCH(int, decimals);
    QFETCH(double, priceStep);
    QFETCH(int, volumeStep);
    open(kStockAccount, waitingSubTask(Direction::Buy, qPrintable(securityKey)));
    QCOMPARE(child<QLabel>(QStringLiteral("label_SO_MST_SecurityName"))->text(), securityLine);
    QCOMPARE(child<QLabel>(QStringLiteral("label_SO_MST_VolumeOriginal_Unit"))->text(), volumeUnit);
    auto* volume = child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"));
    QCOMPARE(volume->singleStep(), volumeStep);
    QCOMPARE(volume->value(), 300);
    for (Side side : {Buy, Sell}) {
        QCOMPARE(sideChild<QLabel>(side, QStringLiteral("label_SO_MST_%1CustomPrice_Unit"))->text(), currency);
        auto* price = sideChild<QDoubleSpinBox>(side, QStringLiteral("doubleSpinBox_SO_MST_%1CustomPrice"));
        QCOMPARE(price->decimals(), decimals);
        QCOMPARE(price->singleStep(), priceStep);
    }
}

void ModifyDialogTest::unknownSecurityLeavesTheFormReset()
{
    SchedOrdSubTaskField stored = waitingSubTask(Direction::Sell, "999999.SH");
    stored.PriceType = 12;
    stored.OrderPrice = 8.8;
    open(kStockAccount, stored);
    QVERIFY(child<QLabel>(QStringLiteral("label_SO_MST_SecurityName"))->text().isEmpty());
    QCOMPARE(child<QLabel>(QStringLiteral("label_SO_MST_BuyCustomPrice_Unit"))->text(), QStringLiteral("-"));
    QCOMPARE(child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->value(), 0);
    QCOMPARE(child<QTimeEdit>(QStringLiteral("timeEdit_SO_MST_ScheduledTime"))->time(), QTime(9, 30, 0));
    // Unlike the fresh dialog, a reset leaves the sell side shifting up as well.
    QCOMPARE(child<QPushButton>(QStringLiteral("pushButton_SO_MST_SellFloat_PN"))->text(), QStringLiteral("向上"));
    QVERIFY(gWM->popups().isEmpty());

    // The trader may still confirm: the reset form (buy side, ask 1) is what gets written.
    child<QSpinBox>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"))->setValue(100);
    confirm();
    QVERIFY(m_confirmed);
    QCOMPARE(m_edited.Direction, Direction::Buy);
    QCOMPARE(m_edited.PriceType, 1);
    QCOMPARE(m_edited.OrderPrice, 0.0);
    QCOMPARE(m_edited.TargetVolume, 100);
    QCOMPARE(m_edited.StartTime, today(9, 30, 0));
    QCOMPARE(m_edited.SecurityKey, std::string("999999.SH"));
}

void ModifyDialogTest::shortKeyShowsNotFoundForASecond()
{
    open(kStockAccount, waitingSubTask(Direction::Buy, "60"));
    auto* name = child<QLabel>(QStringLiteral("label_SO_MST_SecurityName"));
    QCOMPARE(name->text(), QStringLiteral("找不到该代码！"));
    QTest::qWait(500);
    QCOMPARE(name->text(), QStringLiteral("找不到该代码！"));
    QTRY_VERIFY_WITH_TIMEOUT(name->text().isEmpty(), 3000);

    // A timer left from such a key must not clear the line of a security loaded meanwhile.
    reopen(waitingSubTask(Direction::Buy, "60"));
    reopen(waitingSubTask());
    QTest::qWait(1300);
    QCOMPARE(name->text(), QStringLiteral("600000 浦发银行 买入"));
}

void ModifyDialogTest::comboBoxesAreRestyledWhenShown()
{
    open(kCreditAccount, waitingSubTask('i'));
    m_parent->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_parent.get()));
    for (const QString& name : {QStringLiteral("comboBox_SO_MST_BuyPriceGear"), QStringLiteral("comboBox_SO_MST_CreditBuyType")}) {
        auto* combo = child<QComboBox>(name);
        QVERIFY(combo->isVisible());
        QVERIFY2(combo->property("customStyled").toBool(), qPrintable(name));
    }
}

QTEST_MAIN(ModifyDialogTest)
#include "tst_modifydialog.moc"
