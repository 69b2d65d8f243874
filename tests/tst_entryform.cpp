#include "MarketSimulator.h"
#include "MaxOrderVolumeReq.h"
#include "MyCompleterEdit.h"
#include "SchedOrd_SingleOrderInsertWidStpCredit.h"
#include "SchedOrd_SingleOrderInsertWidStpStock.h"
#include "ScriptedUserData.h"
#include "SimBroker.h"
#include "SingleOrderEntry.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimeEdit>
#include <QTimer>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <memory>

using Velm_Space::SchedOrd_SingleOrderInsertWid;
using Velm_Space::SchedOrd_SingleOrderInsertWidStpCredit;
using Velm_Space::SchedOrd_SingleOrderInsertWidStpStock;

namespace {

constexpr int kStockAccount = 601;
constexpr int kCreditAccount = 602;
constexpr int kScriptedAccount = 603;

// Byte ranges of the 128-byte request that the forms fill; everything else must stay 0.
struct ByteRange {
    int offset;
    int width;
};
constexpr ByteRange kFilledRanges[] = {{4, 1}, {5, 31}, {68, 11}, {79, 1}, {80, 3}, {88, 8}, {125, 1}};

bool isFilledByte(int offset)
{
    for (const ByteRange& range : kFilledRanges) {
        if (offset >= range.offset && offset < range.offset + range.width)
            return true;
    }
    return false;
}

QByteArray textField(const QByteArray& request, int offset, int width)
{
    const QByteArray field = request.mid(offset, width);
    return field.left(field.indexOf('\0'));
}

double priceField(const QByteArray& request)
{
    double price = 0.0;
    std::memcpy(&price, request.constData() + 88, sizeof price);
    return price;
}

} // namespace

// The single-order entry form and its stock and credit variants, driven through their widgets.
class EntryFormTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void freshFormState();
    void gearListsHoldTheLadder();
    void directionShowsItsSide_data();
    void directionShowsItsSide();
    void gearChoosesCustomPriceOrShiftRow_data();
    void gearChoosesCustomPriceOrShiftRow();
    void signAndUnitButtons();
    void entryOfASellWithTwoTicksDown();
    void entryOfABuyInPercent();
    void selectionSetsQuantityUnitsAndPrices_data();
    void selectionSetsQuantityUnitsAndPrices();
    void insertRefusals_data();
    void insertRefusals();
    void shortCompletionShowsNotFoundForASecond();
    void unknownSecurityLeavesTheFormCleared();
    void oneLevel1SubscriptionAtATime();
    void resetRestoresDefaults();
    void firstValidPriceTriggersOneInquiry();
    void stockInquiryRequestBytes_data();
    void stockInquiryRequestBytes();
    void creditInquiryRequestBytes_data();
    void creditInquiryRequestBytes();
    void creditTradeKinds_data();
    void creditTradeKinds();
    void longCodeAndAccountAreCut();
    void noInquiryWithoutItsInputs_data();
    void noInquiryWithoutItsInputs();
    void timerInquiresOnlyAfterAnAccountUpdate();
    void inquiryAnswers();

private:
    template <typename Form>
    std::unique_ptr<Form> makeForm(int accountId);
    void select(SchedOrd_SingleOrderInsertWid* form, const QString& key);
    void selectAndWaitForInquiry(SchedOrd_SingleOrderInsertWid* form, UserData* userData, const QString& key);
    template <typename T>
    T* child(QWidget* form, const QString& name) const;
    UserData* userData(int accountId) const { return UserDataManager::instance()->getUserData(accountId); }
};

void EntryFormTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
}

void EntryFormTest::init()
{
    VelmTest::setUpWindowManager();
    VelmTest::addStockAccount(kStockAccount);
    VelmTest::addCreditAccount(kCreditAccount);
    MarketSimulator& market = UserDataManager::instance()->market();
    market.setLastPrice(QStringLiteral("600000.SH"), 10.35);
    market.setLastPrice(QStringLiteral("000001.SZ"), 11.42);
}

void EntryFormTest::cleanup()
{
    VelmTest::removeAllAccounts();
}

template <typename Form>
std::unique_ptr<Form> EntryFormTest::makeForm(int accountId)
{
    auto form = std::make_unique<Form>(accountId, nullptr);
    form->initForm();
    return form;
}

template <typename T>
T* EntryFormTest::child(QWidget* form, const QString& name) const
{
    T* found = form->findChild<T*>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

void EntryFormTest::select(SchedOrd_SingleOrderInsertWid* form, const QString& key)
{
    emit form->findChild<MyCompleterEdit*>()->signalTextComplete(key);
}

void EntryFormTest::selectAndWaitForInquiry(SchedOrd_SingleOrderInsertWid* form, UserData* data, const QString& key)
{
    const int before = data->inquiryRequestCount();
    select(form, key);
    QTRY_COMPARE(data->inquiryRequestCount(), before + 1);
}

void EntryFormTest::freshFormState()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    QVERIFY(child<QCheckBox>(form.get(), "checkBox_singleOI_UpperLimit")->isChecked());
    QVERIFY(child<QCheckBox>(form.get(), "checkBox_singleOI_LowerLimit")->isChecked());
    QCOMPARE(child<QTimeEdit>(form.get(), "timeEdit_singleOI_ScheduledTime")->time(), QTime(9, 30, 0));
    QVERIFY(child<QPushButton>(form.get(), "pushButton_singleOI_dir_buy")->isChecked());
    QVERIFY(!child<QPushButton>(form.get(), "pushButton_singleOI_dir_sell")->isChecked());
    QCOMPARE(child<QComboBox>(form.get(), "comboBox_singleOI_BuyPriceGear")->currentData().toInt(), 6);
    QCOMPARE(child<QComboBox>(form.get(), "comboBox_singleOI_SellPriceGear")->currentData().toInt(), 7);
    auto* buySign = child<QPushButton>(form.get(), "pushButton_singleOI_BuyFloat_PN");
    auto* sellSign = child<QPushButton>(form.get(), "pushButton_singleOI_SellFloat_PN");
    QCOMPARE(buySign->text(), QStringLiteral("向上"));
    QCOMPARE(buySign->property("IsPositive").toBool(), true);
    QCOMPARE(sellSign->text(), QStringLiteral("向下"));
    QCOMPARE(sellSign->property("IsPositive").toBool(), false);
    for (const char* side : {"Buy", "Sell"}) {
        auto* unit = child<QPushButton>(form.get(), QStringLiteral("pushButton_singleOI_%1Float_Unit").arg(side));
        QCOMPARE(unit->text(), QStringLiteral("tick"));
        QCOMPARE(unit->property("PriceFloatType").toInt(), 1);
        QVERIFY(!child<QSpinBox>(form.get(), QStringLiteral("spinBox_singleOI_%1Float_Tick").arg(side))->isHidden());
        QVERIFY(child<QDoubleSpinBox>(form.get(), QStringLiteral("doubleSpinBox_singleOI_%1Float_Percentage").arg(side))
                    ->isHidden());
    }
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_SellPriceGear")->isHidden());
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_SellCustomPrice")->isHidden());
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_SellFloat")->isHidden());
    QVERIFY(child<QWidget>(form.get(), "pushButton_singleOI_bottom_help")->isHidden());
    QVERIFY(child<QWidget>(form.get(), "pushButton_singleOI_MaxVolume_All")->isHidden());
    QVERIFY(child<QWidget>(form.get(), "label_singleOI_tips")->isHidden());
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_CreditBuyType")->isHidden());
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_CreditSellType")->isHidden());
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_SecurityName")->text(), QString());

    auto* completer = form->findChild<MyCompleterEdit*>();
    QVERIFY(completer);
    QCOMPARE(completer->placeholderText(), QStringLiteral("输入代码/名称"));
    QCOMPARE(completer->minimumWidth(), 90);
    QCOMPARE(completer->maximumWidth(), 90);
    QCOMPARE(completer->parentWidget()->objectName(), QStringLiteral("widget_singleOI_SecurityIDName"));

    auto* timer = form->findChild<QTimer*>();
    QVERIFY(timer);
    QCOMPARE(timer->interval(), 5000);
    QVERIFY(timer->isActive());
}

void EntryFormTest::gearListsHoldTheLadder()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    const QStringList buyTexts{"涨停价", "卖五价", "卖四价", "卖三价", "卖二价", "卖一价", "最新价", "买一价",
                               "买二价", "买三价", "买四价", "买五价", "跌停价", "笼子买上限", "市价", "自定价"};
    const QList<int> buyGears{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 13, 21, 15};
    const QList<int> sellGears{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 14, 21, 15};
    auto* buy = child<QComboBox>(form.get(), "comboBox_singleOI_BuyPriceGear");
    auto* sell = child<QComboBox>(form.get(), "comboBox_singleOI_SellPriceGear");
    QCOMPARE(buy->count(), buyGears.size());
    QCOMPARE(sell->count(), sellGears.size());
    for (int i = 0; i < buyGears.size(); ++i) {
        QCOMPARE(buy->itemData(i).toInt(), buyGears[i]);
        QCOMPARE(buy->itemText(i), buyTexts[i]);
        QCOMPARE(sell->itemData(i).toInt(), sellGears[i]);
    }
    QCOMPARE(sell->itemText(13), QStringLiteral("笼子卖下限"));
}

void EntryFormTest::directionShowsItsSide_data()
{
    QTest::addColumn<bool>("sell");
    QTest::addColumn<QString>("insertText");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("maxLabel");
    QTest::newRow("buy") << false << "定时买入" << "buy" << "参考可买";
    QTest::newRow("sell") << true << "定时卖出" << "sell" << "参考可卖";
}

void EntryFormTest::directionShowsItsSide()
{
    QFETCH(bool, sell);
    QFETCH(QString, insertText);
    QFETCH(QString, property);
    QFETCH(QString, maxLabel);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    form->show();
    child<QLineEdit>(form.get(), "lineEdit_singleOI_MaxVolume")->setText(QStringLiteral("stale"));
    // Go the other way first so that the checked side really changes.
    QTest::mouseClick(child<QPushButton>(form.get(), sell ? "pushButton_singleOI_dir_buy" : "pushButton_singleOI_dir_sell"),
                      Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(form.get(), sell ? "pushButton_singleOI_dir_sell" : "pushButton_singleOI_dir_buy"),
                      Qt::LeftButton);

    auto* insert = child<QPushButton>(form.get(), "pushButton_singleOI_bottom_Insert");
    QCOMPARE(insert->text(), insertText);
    QCOMPARE(insert->property("direction").toString(), property);
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_MaxVolume")->text(), maxLabel);
    QCOMPARE(child<QLineEdit>(form.get(), "lineEdit_singleOI_MaxVolume")->text(), QString());
    const QString shown = sell ? QStringLiteral("Sell") : QStringLiteral("Buy");
    const QString hidden = sell ? QStringLiteral("Buy") : QStringLiteral("Sell");
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_" + shown + "PriceGear")->isVisible());
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_" + shown + "Float")->isVisible());
    QVERIFY(!child<QWidget>(form.get(), "widget_singleOI_" + shown + "CustomPrice")->isVisible());
    QVERIFY(!child<QWidget>(form.get(), "widget_singleOI_" + hidden + "PriceGear")->isVisible());
    QVERIFY(!child<QWidget>(form.get(), "widget_singleOI_" + hidden + "Float")->isVisible());
    QVERIFY(!child<QWidget>(form.get(), "widget_singleOI_" + hidden + "CustomPrice")->isVisible());
    // A stock form never shows the credit rows.
    QVERIFY(!child<QWidget>(form.get(), "widget_singleOI_CreditBuyType")->isVisible());
    QVERIFY(!child<QWidget>(form.get(), "widget_singleOI_CreditSellType")->isVisible());
}

void EntryFormTest::gearChoosesCustomPriceOrShiftRow_data()
{
    QTest::addColumn<bool>("sell");
    QTest::addColumn<int>("gear");
    QTest::addColumn<bool>("customRow");
    const QList<int> buyGears{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 13, 21, 15};
    const QList<int> sellGears{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 14, 21, 15};
    for (int gear : buyGears)
        QTest::addRow("buy gear %d", gear) << false << gear << (gear == 15 || gear == 21);
    for (int gear : sellGears)
        QTest::addRow("sell gear %d", gear) << true << gear << (gear == 15 || gear == 21);
}

void EntryFormTest::gearChoosesCustomPriceOrShiftRow()
{
    QFETCH(bool, sell);
    QFETCH(int, gear);
    QFETCH(bool, customRow);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    form->show();
    const QString side = sell ? QStringLiteral("Sell") : QStringLiteral("Buy");
    if (sell)
        QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_dir_sell"), Qt::LeftButton);
    auto* gearBox = child<QComboBox>(form.get(), "comboBox_singleOI_" + side + "PriceGear");
    // From a gear of the other kind, so the rows must really switch.
    gearBox->setCurrentIndex(gearBox->findData(customRow ? 6 : 15));
    gearBox->setCurrentIndex(gearBox->findData(gear));
    QCOMPARE(child<QWidget>(form.get(), "widget_singleOI_" + side + "CustomPrice")->isVisible(), customRow);
    QCOMPARE(child<QWidget>(form.get(), "widget_singleOI_" + side + "Float")->isVisible(), !customRow);
    QCOMPARE(form->getSingleOrderEntry().PriceGear, gear);
}

void EntryFormTest::signAndUnitButtons()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    form->show();
    auto* sign = child<QPushButton>(form.get(), "pushButton_singleOI_BuyFloat_PN");
    QTest::mouseClick(sign, Qt::LeftButton);
    QCOMPARE(sign->text(), QStringLiteral("向下"));
    QCOMPARE(sign->property("IsPositive").toBool(), false);
    QTest::mouseClick(sign, Qt::LeftButton);
    QCOMPARE(sign->text(), QStringLiteral("向上"));
    QCOMPARE(sign->property("IsPositive").toBool(), true);

    auto* unit = child<QPushButton>(form.get(), "pushButton_singleOI_BuyFloat_Unit");
    auto* tick = child<QSpinBox>(form.get(), "spinBox_singleOI_BuyFloat_Tick");
    auto* percentage = child<QDoubleSpinBox>(form.get(), "doubleSpinBox_singleOI_BuyFloat_Percentage");
    tick->setValue(3);
    QTest::mouseClick(unit, Qt::LeftButton);
    QCOMPARE(unit->text(), QStringLiteral("%"));
    QCOMPARE(unit->property("PriceFloatType").toInt(), 2);
    QVERIFY(!tick->isVisible());
    QVERIFY(percentage->isVisible());
    QCOMPARE(tick->value(), 0);
    percentage->setValue(1.25);
    QTest::mouseClick(unit, Qt::LeftButton);
    QCOMPARE(unit->text(), QStringLiteral("tick"));
    QCOMPARE(unit->property("PriceFloatType").toInt(), 1);
    QVERIFY(tick->isVisible());
    QVERIFY(!percentage->isVisible());
    QCOMPARE(percentage->value(), 0.0);

    // A type the form does not know stays as it is.
    unit->setProperty("PriceFloatType", 7);
    QTest::mouseClick(unit, Qt::LeftButton);
    QCOMPARE(unit->property("PriceFloatType").toInt(), 7);
    QCOMPARE(unit->text(), QString());
}

void EntryFormTest::entryOfASellWithTwoTicksDown()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    form->show();
    select(form.get(), QStringLiteral("600000.SH"));
    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_dir_sell"), Qt::LeftButton);
    child<QSpinBox>(form.get(), "spinBox_singleOI_SellFloat_Tick")->setValue(2);
    child<QSpinBox>(form.get(), "spinBox_singleOI_VolumeOriginal")->setValue(700);
    child<QTimeEdit>(form.get(), "timeEdit_singleOI_ScheduledTime")->setTime(QTime(14, 56, 30));
    child<QCheckBox>(form.get(), "checkBox_singleOI_LowerLimit")->setChecked(false);

    const SingleOrderEntry entry = form->getSingleOrderEntry();
    QCOMPARE(entry.SecurityID, QStringLiteral("600000"));
    QCOMPARE(entry.ExchangeID, '1');
    QCOMPARE(entry.SecurityName, QString());
    QCOMPARE(entry.Direction, '1');
    QCOMPARE(entry.PriceGear, 7);
    QCOMPARE(entry.PriceFloatType, 1);
    QCOMPARE(entry.PriceFloatValue, -2.0);
    QCOMPARE(entry.CustomPrice, 0.0);
    QCOMPARE(entry.Volume, 700);
    QCOMPARE(entry.StartTime, QTime(14, 56, 30));
    QCOMPARE(entry.EndTime, QTime(14, 56, 30));
    QCOMPARE(entry.NoSellAtLimitUp, true);
    QCOMPARE(entry.NoBuyAtLimitDown, false);
}

void EntryFormTest::entryOfABuyInPercent()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    form->show();
    select(form.get(), QStringLiteral("000001.SZ"));
    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_BuyFloat_Unit"), Qt::LeftButton);
    child<QDoubleSpinBox>(form.get(), "doubleSpinBox_singleOI_BuyFloat_Percentage")->setValue(0.75);
    // The hidden tick box is not read while the unit is percent.
    child<QSpinBox>(form.get(), "spinBox_singleOI_BuyFloat_Tick")->setValue(9);

    const SingleOrderEntry entry = form->getSingleOrderEntry();
    QCOMPARE(entry.ExchangeID, '2');
    QCOMPARE(entry.Direction, '0');
    QCOMPARE(entry.PriceGear, 6);
    QCOMPARE(entry.PriceFloatType, 2);
    QCOMPARE(entry.PriceFloatValue, 0.75);
}

void EntryFormTest::selectionSetsQuantityUnitsAndPrices_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("volume");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("currency");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<double>("priceStep");
    QTest::newRow("main board: 100 by 100") << "600000.SH" << "浦发银行" << 100 << 100 << "股" << "元" << 2 << 0.01;
    QTest::newRow("STAR: at least 200, step 1") << "688981.SH" << "中芯国际" << 200 << 1 << "股" << "元" << 2 << 0.01;
    QTest::newRow("Beijing: 100, step 1") << "920185.BJ" << "贝特瑞" << 100 << 1 << "股" << "元" << 2 << 0.01;
    QTest::newRow("ETF in units") << "510300.SH" << "沪深300ETF" << 100 << 100 << "份" << "元" << 3 << 0.001;
    QTest::newRow("B share in HKD") << "200002.SZ" << "万科B" << 100 << 100 << "股" << "港元" << 2 << 0.01;
}

void EntryFormTest::selectionSetsQuantityUnitsAndPrices()
{
    QFETCH(QString, key);
    QFETCH(QString, name);
    QFETCH(int, volume);
    QFETCH(int, step);
    QFETCH(QString, unit);
    QFETCH(QString, currency);
    QFETCH(int, decimals);
    QFETCH(double, priceStep);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    child<QDoubleSpinBox>(form.get(), "doubleSpinBox_singleOI_BuyCustomPrice")->setValue(5.0);
    select(form.get(), key);

    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_SecurityName")->text(), name);
    auto* quantity = child<QSpinBox>(form.get(), "spinBox_singleOI_VolumeOriginal");
    QCOMPARE(quantity->value(), volume);
    QCOMPARE(quantity->singleStep(), step);
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_MaxVolume_Unit")->text(), unit);
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_VolumeOriginal_Unit")->text(), unit);
    for (const char* side : {"Buy", "Sell"}) {
        auto* price = child<QDoubleSpinBox>(form.get(), QStringLiteral("doubleSpinBox_singleOI_%1CustomPrice").arg(side));
        QCOMPARE(price->value(), 0.0);
        QCOMPARE(price->decimals(), decimals);
        QCOMPARE(price->singleStep(), priceStep);
        QCOMPARE(child<QLabel>(form.get(), QStringLiteral("label_singleOI_%1CustomPrice_Unit").arg(side))->text(), currency);
    }
}

void EntryFormTest::insertRefusals_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("volume");
    QTest::addColumn<QString>("message");
    QTest::newRow("no security") << QString() << 100 << "无效的证券代码，请重新输入";
    QTest::newRow("quantity 0") << "600000.SH" << 0 << "委托数量不能为0，请重新输入";
    QTest::newRow("valid order") << "600000.SH" << 100 << QString();
}

void EntryFormTest::insertRefusals()
{
    QFETCH(QString, key);
    QFETCH(int, volume);
    QFETCH(QString, message);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    form->show();
    if (!key.isEmpty())
        select(form.get(), key);
    child<QSpinBox>(form.get(), "spinBox_singleOI_VolumeOriginal")->setValue(volume);
    QSignalSpy inserted(form.get(), &SchedOrd_SingleOrderInsertWid::signalSingleOrderInsertBtnClicked);
    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_bottom_Insert"), Qt::LeftButton);

    if (message.isEmpty()) {
        QCOMPARE(inserted.count(), 1);
        QVERIFY(gWM->popups().isEmpty());
        return;
    }
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, message);
    QCOMPARE(gWM->popups().first().detail, QString());
    QCOMPARE(gWM->popups().first().parent.data(), form.get());
}

void EntryFormTest::shortCompletionShowsNotFoundForASecond()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    select(form.get(), QStringLiteral("600000.SH"));
    select(form.get(), QStringLiteral("60"));
    auto* name = child<QLabel>(form.get(), "label_singleOI_SecurityName");
    QCOMPARE(name->text(), QStringLiteral("找不到该代码！"));
    // The previous selection is gone with its subscription.
    QCOMPARE(userData(kStockAccount)->lev1SubscriptionCount(QStringLiteral("600000.SH")), 0);
    QCOMPARE(form->getSingleOrderEntry().SecurityID, QString());
    QTest::qWait(500);
    QCOMPARE(name->text(), QStringLiteral("找不到该代码！"));
    QTRY_COMPARE_WITH_TIMEOUT(name->text(), QString(), 2000);
}

void EntryFormTest::unknownSecurityLeavesTheFormCleared()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    select(form.get(), QStringLiteral("600000.SH"));
    select(form.get(), QStringLiteral("999999.SH"));
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_SecurityName")->text(), QString());
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_BuyCustomPrice_Unit")->text(), QStringLiteral("-"));
    QCOMPARE(form->getSingleOrderEntry().SecurityID, QString());
    QCOMPARE(form->getSingleOrderEntry().ExchangeID, char(0));
    QCOMPARE(userData(kStockAccount)->lev1SubscriptionCount(QStringLiteral("600000.SH")), 0);
    QCOMPARE(userData(kStockAccount)->lev1SubscriptionCount(QStringLiteral("999999.SH")), 0);

    // An empty completion changes nothing.
    select(form.get(), QStringLiteral("000001.SZ"));
    select(form.get(), QString());
    QCOMPARE(form->getSingleOrderEntry().SecurityID, QStringLiteral("000001"));
}

void EntryFormTest::oneLevel1SubscriptionAtATime()
{
    UserData* data = userData(kStockAccount);
    const QString first = QStringLiteral("600000.SH");
    const QString second = QStringLiteral("000001.SZ");
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);

    select(form.get(), first);
    QCOMPARE(data->lev1SubscriptionCount(first), 1);
    select(form.get(), second);
    QCOMPARE(data->lev1SubscriptionCount(first), 0);
    QCOMPARE(data->lev1SubscriptionCount(second), 1);
    select(form.get(), second);
    QCOMPARE(data->lev1SubscriptionCount(second), 1);

    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_bottom_reset"), Qt::LeftButton);
    QCOMPARE(data->lev1SubscriptionCount(second), 0);

    select(form.get(), first);
    QCOMPARE(data->lev1SubscriptionCount(first), 1);
    form.reset();
    QCOMPARE(data->lev1SubscriptionCount(first), 0);
}

void EntryFormTest::resetRestoresDefaults()
{
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpCredit>(kCreditAccount);
    form->show();
    auto* completer = form->findChild<MyCompleterEdit*>();
    completer->setText(QStringLiteral("600000"));
    select(form.get(), QStringLiteral("600000.SH"));
    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_dir_sell"), Qt::LeftButton);
    child<QComboBox>(form.get(), "comboBox_singleOI_CreditSellType")->setCurrentIndex(1);
    child<QComboBox>(form.get(), "comboBox_singleOI_BuyPriceGear")->setCurrentIndex(0);
    auto* sellGear = child<QComboBox>(form.get(), "comboBox_singleOI_SellPriceGear");
    sellGear->setCurrentIndex(sellGear->findData(15));
    child<QDoubleSpinBox>(form.get(), "doubleSpinBox_singleOI_SellCustomPrice")->setValue(10.5);
    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_BuyFloat_Unit"), Qt::LeftButton);
    child<QDoubleSpinBox>(form.get(), "doubleSpinBox_singleOI_BuyFloat_Percentage")->setValue(2.5);
    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_BuyFloat_PN"), Qt::LeftButton);
    child<QCheckBox>(form.get(), "checkBox_singleOI_UpperLimit")->setChecked(false);
    child<QTimeEdit>(form.get(), "timeEdit_singleOI_ScheduledTime")->setTime(QTime(13, 0, 5));

    QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_bottom_reset"), Qt::LeftButton);

    QCOMPARE(completer->text(), QString());
    QCOMPARE(form->getSingleOrderEntry().SecurityID, QString());
    QCOMPARE(child<QComboBox>(form.get(), "comboBox_singleOI_CreditSellType")->currentIndex(), 0);
    QCOMPARE(child<QComboBox>(form.get(), "comboBox_singleOI_BuyPriceGear")->currentData().toInt(), 6);
    QCOMPARE(sellGear->currentData().toInt(), 7);
    QCOMPARE(child<QDoubleSpinBox>(form.get(), "doubleSpinBox_singleOI_SellCustomPrice")->value(), 0.0);
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_SellCustomPrice_Unit")->text(), QStringLiteral("-"));
    for (const char* side : {"Buy", "Sell"}) {
        auto* sign = child<QPushButton>(form.get(), QStringLiteral("pushButton_singleOI_%1Float_PN").arg(side));
        // Unlike the fresh form, the sell side also shifts up after a reset.
        QCOMPARE(sign->text(), QStringLiteral("向上"));
        QCOMPARE(sign->property("IsPositive").toBool(), true);
        auto* unit = child<QPushButton>(form.get(), QStringLiteral("pushButton_singleOI_%1Float_Unit").arg(side));
        QCOMPARE(unit->property("PriceFloatType").toInt(), 1);
        QCOMPARE(unit->text(), QStringLiteral("tick"));
        QCOMPARE(child<QDoubleSpinBox>(form.get(), QStringLiteral("doubleSpinBox_singleOI_%1Float_Percentage").arg(side))->value(), 0.0);
    }
    QVERIFY(child<QSpinBox>(form.get(), "spinBox_singleOI_BuyFloat_Tick")->isVisibleTo(form.get()));
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_MaxVolume")->text(), QStringLiteral("参考可卖"));
    QCOMPARE(child<QLineEdit>(form.get(), "lineEdit_singleOI_MaxVolume")->text(), QString());
    QCOMPARE(child<QSpinBox>(form.get(), "spinBox_singleOI_VolumeOriginal")->value(), 0);
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_MaxVolume_Unit")->text(), QString());
    QCOMPARE(child<QLabel>(form.get(), "label_singleOI_VolumeOriginal_Unit")->text(), QString());
    QCOMPARE(child<QTimeEdit>(form.get(), "timeEdit_singleOI_ScheduledTime")->time(), QTime(9, 30, 0));
    // Direction, visible rows and the guards stay as they were.
    QVERIFY(child<QPushButton>(form.get(), "pushButton_singleOI_dir_sell")->isChecked());
    QVERIFY(child<QWidget>(form.get(), "widget_singleOI_CreditSellType")->isVisible());
    QVERIFY(!child<QCheckBox>(form.get(), "checkBox_singleOI_UpperLimit")->isChecked());
}

void EntryFormTest::firstValidPriceTriggersOneInquiry()
{
    UserData* data = userData(kStockAccount);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    const int before = data->inquiryRequestCount();
    select(form.get(), QStringLiteral("600000.SH"));
    // No quote yet at selection: the first one arrives from the event loop.
    QCOMPARE(data->inquiryRequestCount(), before);
    QTRY_COMPARE(data->inquiryRequestCount(), before + 1);

    MarketSimulator& market = UserDataManager::instance()->market();
    market.setLastPrice(QStringLiteral("600000.SH"), 10.40);
    market.setLastPrice(QStringLiteral("600000.SH"), 10.45);
    QCoreApplication::processEvents();
    QCOMPARE(data->inquiryRequestCount(), before + 1);
    QCOMPARE(priceField(data->lastInquiryRequest()), 10.35);
}

void EntryFormTest::stockInquiryRequestBytes_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("sell");
    QTest::addColumn<char>("exchange");
    QTest::addColumn<QByteArray>("shareholder");
    QTest::addColumn<char>("direction");
    QTest::newRow("Shanghai buy") << "600000.SH" << false << '1' << QByteArray(VelmTest::ShanghaiShareholder) << '0';
    QTest::newRow("Shenzhen sell") << "000001.SZ" << true << '2' << QByteArray(VelmTest::ShenzhenShareholder) << '1';
}

void EntryFormTest::stockInquiryRequestBytes()
{
    QFETCH(QString, key);
    QFETCH(bool, sell);
    QFETCH(char, exchange);
    QFETCH(QByteArray, shareholder);
    QFETCH(char, direction);
    UserData* data = userData(kStockAccount);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    form->show();
    selectAndWaitForInquiry(form.get(), data, key);
    if (sell) {
        const int before = data->inquiryRequestCount();
        QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_dir_sell"), Qt::LeftButton);
        QCOMPARE(data->inquiryRequestCount(), before + 1);
    }

    const QByteArray request = data->lastInquiryRequest();
    QCOMPARE(request.size(), 128);
    QCOMPARE(request.at(4), exchange);
    QCOMPARE(textField(request, 5, 31), key.section(QLatin1Char('.'), 0, 0).toLatin1());
    QCOMPARE(textField(request, 68, 11), shareholder);
    QCOMPARE(request.at(79), direction);
    QCOMPARE(request.mid(80, 3), QByteArray("231"));
    Lev1MarketData quote;
    QVERIFY(UserDataManager::instance()->market().snapshot(key, quote));
    QCOMPARE(priceField(request), quote.LastPrice);
    QCOMPARE(request.at(125), char(0));
    for (int offset = 0; offset < request.size(); ++offset) {
        if (!isFilledByte(offset))
            QVERIFY2(request.at(offset) == 0, qPrintable(QStringLiteral("byte %1").arg(offset)));
    }
}

void EntryFormTest::creditInquiryRequestBytes_data()
{
    QTest::addColumn<bool>("sell");
    QTest::addColumn<int>("kindIndex");
    QTest::addColumn<bool>("shortSellOption");
    QTest::addColumn<char>("direction");
    QTest::addColumn<char>("shortSellFlag");
    QTest::newRow("collateral buy") << false << 0 << false << '0' << '0';
    QTest::newRow("financed buy") << false << 1 << false << 'i' << '0';
    QTest::newRow("collateral sell") << true << 0 << false << '1' << '0';
    QTest::newRow("short sell, option off") << true << 1 << false << 'j' << '1';
    QTest::newRow("short sell, option on") << true << 1 << true << 'j' << '0';
    QTest::newRow("collateral sell, option on") << true << 0 << true << '1' << '0';
}

void EntryFormTest::creditInquiryRequestBytes()
{
    QFETCH(bool, sell);
    QFETCH(int, kindIndex);
    QFETCH(bool, shortSellOption);
    QFETCH(char, direction);
    QFETCH(char, shortSellFlag);
    gWM->creditShortSellOption = shortSellOption;
    UserData* data = userData(kCreditAccount);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpCredit>(kCreditAccount);
    form->show();
    selectAndWaitForInquiry(form.get(), data, QStringLiteral("600000.SH"));
    if (sell)
        QTest::mouseClick(child<QPushButton>(form.get(), "pushButton_singleOI_dir_sell"), Qt::LeftButton);
    // Changing the trade kind asks again at once.
    auto* kind = child<QComboBox>(form.get(), sell ? "comboBox_singleOI_CreditSellType" : "comboBox_singleOI_CreditBuyType");
    kind->setCurrentIndex(1 - kindIndex);
    const int before = data->inquiryRequestCount();
    kind->setCurrentIndex(kindIndex);
    QCOMPARE(data->inquiryRequestCount(), before + 1);

    const QByteArray request = data->lastInquiryRequest();
    QCOMPARE(request.at(79), direction);
    QCOMPARE(request.at(125), shortSellFlag);
    QCOMPARE(request.at(4), '1');
    QCOMPARE(textField(request, 68, 11), QByteArray(VelmTest::ShanghaiShareholder));
    QCOMPARE(form->getSingleOrderEntry().Direction, direction);
}

void EntryFormTest::creditTradeKinds_data()
{
    QTest::addColumn<bool>("sell");
    QTest::addColumn<bool>("buyRowVisible");
    QTest::addColumn<bool>("sellRowVisible");
    QTest::newRow("buy") << false << true << false;
    QTest::newRow("sell") << true << false << true;
}

void EntryFormTest::creditTradeKinds()
{
    QFETCH(bool, sell);
    QFETCH(bool, buyRowVisible);
    QFETCH(bool, sellRowVisible);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpCredit>(kCreditAccount);
    form->show();
    QTest::mouseClick(child<QPushButton>(form.get(), sell ? "pushButton_singleOI_dir_sell" : "pushButton_singleOI_dir_buy"),
                      Qt::LeftButton);
    QCOMPARE(child<QWidget>(form.get(), "widget_singleOI_CreditBuyType")->isVisible(), buyRowVisible);
    QCOMPARE(child<QWidget>(form.get(), "widget_singleOI_CreditSellType")->isVisible(), sellRowVisible);

    auto* buyKind = child<QComboBox>(form.get(), "comboBox_singleOI_CreditBuyType");
    auto* sellKind = child<QComboBox>(form.get(), "comboBox_singleOI_CreditSellType");
    QCOMPARE(buyKind->count(), 2);
    QCOMPARE(buyKind->itemText(0), QStringLiteral("担保品买入"));
    QCOMPARE(buyKind->itemData(0).toInt(), 1);
    QCOMPARE(buyKind->itemText(1), QStringLiteral("融资买入"));
    QCOMPARE(buyKind->itemData(1).toInt(), 2);
    QCOMPARE(sellKind->count(), 2);
    QCOMPARE(sellKind->itemText(0), QStringLiteral("担保品卖出"));
    QCOMPARE(sellKind->itemData(0).toInt(), 4);
    QCOMPARE(sellKind->itemText(1), QStringLiteral("融券卖出"));
    QCOMPARE(sellKind->itemData(1).toInt(), 5);
}

void EntryFormTest::longCodeAndAccountAreCut()
{
    auto* scripted = new ScriptedUserData(kScriptedAccount, 1);
    const QString longCode = QStringLiteral("12345678901234567890123456789012345");
    SecurityInfo info;
    info.SecurityID = longCode;
    info.ExchangeID = '1';
    info.SecurityName = QStringLiteral("长代码");
    scripted->addSecurity(QStringLiteral("long.SH"), info);
    Lev1MarketData quote;
    quote.LastPrice = 12.5;
    scripted->setQuote(QStringLiteral("long.SH"), quote);
    scripted->MapShareholderID.insert('1', QStringLiteral("ABCDEFGHIJKL"));
    UserDataManager::instance()->addUserData(scripted);

    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kScriptedAccount);
    const int before = scripted->inquiryRequestCount();
    select(form.get(), QStringLiteral("long.SH"));
    QCOMPARE(scripted->inquiryRequestCount(), before + 1);
    const QByteArray request = scripted->lastInquiryRequest();
    QCOMPARE(request.mid(5, 31), longCode.left(30).toLatin1() + '\0');
    QCOMPARE(request.mid(68, 11), QByteArray("ABCDEFGHIJ") + '\0');
    QCOMPARE(priceField(request), 12.5);
}

void EntryFormTest::noInquiryWithoutItsInputs_data()
{
    QTest::addColumn<QString>("shareholder");
    QTest::addColumn<double>("price");
    QTest::addColumn<bool>("selected");
    QTest::newRow("no security selected") << QStringLiteral("A123456789") << 12.5 << false;
    QTest::newRow("no account string") << QString() << 12.5 << true;
    QTest::newRow("account string of 3 characters") << QStringLiteral("A12") << 12.5 << true;
    QTest::newRow("price 0") << QStringLiteral("A123456789") << 0.0 << true;
    QTest::newRow("negative price") << QStringLiteral("A123456789") << -1.0 << true;
    QTest::newRow("price NaN") << QStringLiteral("A123456789") << std::nan("") << true;
}

void EntryFormTest::noInquiryWithoutItsInputs()
{
    QFETCH(QString, shareholder);
    QFETCH(double, price);
    QFETCH(bool, selected);
    auto* scripted = new ScriptedUserData(kScriptedAccount, 1);
    SecurityInfo info;
    info.SecurityID = QStringLiteral("777777");
    info.ExchangeID = '1';
    scripted->addSecurity(QStringLiteral("777777.SH"), info);
    Lev1MarketData quote;
    quote.LastPrice = price;
    scripted->setQuote(QStringLiteral("777777.SH"), quote);
    if (!shareholder.isEmpty())
        scripted->MapShareholderID.insert('1', shareholder);
    UserDataManager::instance()->addUserData(scripted);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kScriptedAccount);
    if (selected)
        select(form.get(), QStringLiteral("777777.SH"));

    emit scripted->signal_updateTradingAccount();
    QVERIFY(QMetaObject::invokeMethod(form.get(), "slot_timeout_reqinquirymaxordervolume"));
    emit scripted->signal_PosQuotaTypeNormalChanged();
    QCOMPARE(scripted->inquiryRequestCount(), 0);

    // The failed attempt used up the armed flag: a later tick asks nothing even once it could.
    scripted->MapShareholderID.insert('1', QStringLiteral("A123456789"));
    quote.LastPrice = 12.5;
    scripted->setQuote(QStringLiteral("777777.SH"), quote);
    if (!selected) {
        select(form.get(), QStringLiteral("777777.SH"));
        QCOMPARE(scripted->inquiryRequestCount(), 1);
        return;
    }
    QVERIFY(QMetaObject::invokeMethod(form.get(), "slot_timeout_reqinquirymaxordervolume"));
    QCOMPARE(scripted->inquiryRequestCount(), 0);
}

void EntryFormTest::timerInquiresOnlyAfterAnAccountUpdate()
{
    UserData* data = userData(kStockAccount);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    selectAndWaitForInquiry(form.get(), data, QStringLiteral("600000.SH"));
    const int afterSelection = data->inquiryRequestCount();

    QVERIFY(QMetaObject::invokeMethod(form.get(), "slot_timeout_reqinquirymaxordervolume"));
    QCOMPARE(data->inquiryRequestCount(), afterSelection);

    // A funds change arms the timer for exactly one inquiry.
    data->broker().setAvailableFunds(500000.0);
    QTRY_VERIFY(QMetaObject::invokeMethod(form.get(), "slot_timeout_reqinquirymaxordervolume")
                && data->inquiryRequestCount() == afterSelection + 1);
    QVERIFY(QMetaObject::invokeMethod(form.get(), "slot_timeout_reqinquirymaxordervolume"));
    QCOMPARE(data->inquiryRequestCount(), afterSelection + 1);

    // The position-quota signal asks at once.
    emit data->signal_PosQuotaTypeNormalChanged();
    QCOMPARE(data->inquiryRequestCount(), afterSelection + 2);
}

void EntryFormTest::inquiryAnswers()
{
    UserData* data = userData(kStockAccount);
    data->broker().setAvailableFunds(103500.0);
    auto form = makeForm<SchedOrd_SingleOrderInsertWidStpStock>(kStockAccount);
    QSignalSpy answers(data, &UserData::signal_RspInquiryMaxOrderVolumeFinished);
    selectAndWaitForInquiry(form.get(), data, QStringLiteral("600000.SH"));
    QTRY_COMPARE(answers.count(), 1);
    const int requestId = answers.first().at(4).toInt();

    // 103,500 at 10.35 buys 10,000 shares.
    auto* display = child<QLineEdit>(form.get(), "lineEdit_singleOI_MaxVolume");
    QCOMPARE(display->text(), QStringLiteral("10000"));
    QCOMPARE(display->toolTip(), QStringLiteral("正确"));

    emit data->signal_RspInquiryMaxOrderVolumeFinished(QStringLiteral("600000.SH"), 1, 0, QString(), requestId - 1);
    emit data->signal_RspInquiryMaxOrderVolumeFinished(QStringLiteral("600000.SH"), 2, 0, QString(), -1);
    QCOMPARE(display->text(), QStringLiteral("10000"));

    emit data->signal_RspInquiryMaxOrderVolumeFinished(QStringLiteral("000001.SZ"), 0, 3, QStringLiteral("委托价格无效"),
                                                       requestId);
    QCOMPARE(display->text(), QStringLiteral("委托价格无效"));
    QCOMPARE(display->toolTip(), QStringLiteral("委托价格无效"));
}

QTEST_MAIN(EntryFormTest)
#include "tst_entryform.moc"
