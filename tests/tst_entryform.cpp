#include "MyCompleterEdit.h"
#include "SchedOrd_SingleOrderInsertWidStpCredit.h"
#include "SchedOrd_SingleOrderInsertWidStpStock.h"
#include "ScriptedUserData.h"
#include "SimBroker.h"
#include "SingleOrderEntry.h"
#include "TestAccounts.h"
#include "UserDataManager.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <memory>

using namespace Velm_Space;

namespace {

constexpr int kStockAccount = 601;
constexpr int kCreditAccount = 602;
constexpr int kScriptedAccount = 603;

using Form = std::unique_ptr<SchedOrd_SingleOrderInsertWid>;

// The variant for the account's kind, set up and shown.
Form makeForm(int accountId)
{
    Form form(UserDataManager::instance()->getUserData(accountId)->getApiType() == 2
                  ? static_cast<SchedOrd_SingleOrderInsertWid*>(new SchedOrd_SingleOrderInsertWidStpCredit(accountId, nullptr))
                  : new SchedOrd_SingleOrderInsertWidStpStock(accountId, nullptr));
    form->initForm();
    form->show();
    return form;
}

template <typename T = QWidget>
T* child(const Form& form, const QString& name) { return form->findChild<T*>(name); }
void click(const Form& form, const QString& button) { QTest::mouseClick(child<QPushButton>(form, button), Qt::LeftButton); }
void select(const Form& form, const QString& key) { emit form->findChild<MyCompleterEdit*>()->signalTextComplete(key); }

// `kind`: the credit trade kind picked (0 collateral, 1 financed buy or short sell); -1: stock form.
// Selection's default quantity, step and unit (volume -1: not checked); the quantity entered; Insert's refusal.
struct Selection { QString key; int volume; int step; QString unit; int entered; QString message; };
struct Inquiry { QString key; bool sell; int kind; bool shortSellOption; char direction; char shortSellFlag; };

// The scripted account's shareholder string and last price, whether the security is picked, the requests sent.
struct Request { QString shareholder; double price; bool selected; int requests; };

} // namespace

Q_DECLARE_METATYPE(Selection)
Q_DECLARE_METATYPE(Inquiry)
Q_DECLARE_METATYPE(Request)

class EntryFormTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(kStockAccount);
        VelmTest::addCreditAccount(kCreditAccount);
    }
    void cleanup() { VelmTest::removeAllAccounts(); }

    // The host reaches the form's slots by meta-object index: their order is part of the contract.
    void signalAndSlotsInContractOrder()
    {
        const QMetaObject& meta = SchedOrd_SingleOrderInsertWid::staticMetaObject;
        QStringList methods;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            const QMetaMethod method = meta.method(i);
            QCOMPARE(method.access(), i == meta.methodOffset() ? QMetaMethod::Public : QMetaMethod::Protected);
            methods << method.methodSignature();
        }
        const QString unit = QStringLiteral("on_pushButton_singleOI_%1_clicked()");
        QCOMPARE(methods, (QStringList{
            "signalSingleOrderInsertBtnClicked()", "slot_radiobtn_direction_idClicked(int)",
            "slot_MyCompleterEdit_TextCompleted(QString)", "slot_BuyPriceGearChanged(int)", "slot_SellPriceGearChanged(int)",
            unit.arg("BuyFloat_PN"), unit.arg("SellFloat_PN"), unit.arg("BuyFloat_Unit"), unit.arg("SellFloat_Unit"),
            unit.arg("bottom_help"), unit.arg("bottom_reset"), unit.arg("bottom_Insert"),
            "slot_timeout_reqinquirymaxordervolume()", "slot_RspInquiryMaxOrderVolumeFinished(QString,int,int,QString,int)",
            "slot_RspInquiryMaxOrderVolumeFinished(QString,int,int,QString)",   // the default request id
            "slot_RtnLev1MarketData(QString)", "slot_UpdateTradingAccount()", "slot_UpdateAllSecurity()",
            "slot_PosQuotaTypeNormalChanged()"}));
    }

    // Market and custom price show the price box, other gears the shift row; only on the chosen side.
    void rowsFollowDirectionAndGear_data()
    {
        QTest::addColumn<bool>("sell");
        QTest::addColumn<int>("gear");
        for (const int gear : {1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 13, 21, 15}) {
            QTest::addRow("buy gear %d", gear) << false << gear;
            QTest::addRow("sell gear %d", gear == 13 ? 14 : gear) << true << (gear == 13 ? 14 : gear);   // cage limits
        }
    }
    void rowsFollowDirectionAndGear()
    {
        QFETCH(bool, sell);
        QFETCH(int, gear);
        const bool customRow = gear == 15 || gear == 21;
        const QString side = sell ? QStringLiteral("Sell") : QStringLiteral("Buy");
        const QString other = sell ? QStringLiteral("Buy") : QStringLiteral("Sell");
        Form form = makeForm(kStockAccount);
        click(form, "pushButton_singleOI_dir_" + other.toLower());
        click(form, "pushButton_singleOI_dir_" + side.toLower());
        auto* gearBox = child<QComboBox>(form, "comboBox_singleOI_" + side + "PriceGear");
        gearBox->setCurrentIndex(gearBox->findData(customRow ? 6 : 15));   // from a gear of the other kind
        gearBox->setCurrentIndex(gearBox->findData(gear));

        QCOMPARE(form->getSingleOrderEntry().PriceGear, gear);
        QVERIFY(child(form, "widget_singleOI_" + side + "PriceGear")->isVisible());
        QCOMPARE(child(form, "widget_singleOI_" + side + "CustomPrice")->isVisible(), customRow);
        QCOMPARE(child(form, "widget_singleOI_" + side + "Float")->isVisible(), !customRow);
        for (const char* row : {"PriceGear", "Float", "CustomPrice"})
            QVERIFY(!child(form, "widget_singleOI_" + other + row)->isVisible());
        QCOMPARE(child<QPushButton>(form, "pushButton_singleOI_bottom_Insert")->text(), QString(sell ? "定时卖出" : "定时买入"));
        QCOMPARE(child<QLabel>(form, "label_singleOI_MaxVolume")->text(), QString(sell ? "参考可卖" : "参考可买"));
    }

    // A fresh form shifts a sell down (2 ticks read -2); sign and unit buttons flip it to +2, then to %.
    void entryOfASellAndItsShiftButtons()
    {
        Form form = makeForm(kStockAccount);
        select(form, QStringLiteral("600000.SH"));
        click(form, "pushButton_singleOI_dir_sell");
        child<QSpinBox>(form, "spinBox_singleOI_SellFloat_Tick")->setValue(2);
        child<QSpinBox>(form, "spinBox_singleOI_VolumeOriginal")->setValue(700);
        child<QTimeEdit>(form, "timeEdit_singleOI_ScheduledTime")->setTime(QTime(14, 56, 30));
        child<QCheckBox>(form, "checkBox_singleOI_LowerLimit")->setChecked(false);
        SingleOrderEntry entry = form->getSingleOrderEntry();
        QCOMPARE(QStringList({entry.SecurityID, QString(entry.ExchangeID), QString(entry.Direction)}), QStringList({"600000", "1", "1"}));
        QCOMPARE(QVariantList({entry.PriceGear, entry.PriceFloatType, entry.PriceFloatValue, entry.Volume}), QVariantList({7, 1, -2.0, 700}));
        QCOMPARE(QVariantList({entry.StartTime, entry.EndTime, entry.NoSellAtLimitUp, entry.NoBuyAtLimitDown}),
                 QVariantList({QTime(14, 56, 30), QTime(14, 56, 30), true, false}));

        click(form, "pushButton_singleOI_SellFloat_PN");
        QCOMPARE(child<QPushButton>(form, "pushButton_singleOI_SellFloat_PN")->text(), QStringLiteral("向上"));
        QCOMPARE(form->getSingleOrderEntry().PriceFloatValue, 2.0);
        click(form, "pushButton_singleOI_SellFloat_Unit");
        QCOMPARE(child<QPushButton>(form, "pushButton_singleOI_SellFloat_Unit")->text(), QStringLiteral("%"));
        QVERIFY(child(form, "doubleSpinBox_singleOI_SellFloat_Percentage")->isVisible() && !child(form, "spinBox_singleOI_SellFloat_Tick")->isVisible());
        child<QDoubleSpinBox>(form, "doubleSpinBox_singleOI_SellFloat_Percentage")->setValue(0.75);
        entry = form->getSingleOrderEntry();
        QCOMPARE(QVariantList({entry.PriceFloatType, entry.PriceFloatValue}), QVariantList({2, 0.75}));
    }

    void selectionAndInsert_data()
    {
        QTest::addColumn<Selection>("row");
        QTest::newRow("main board: 100 by 100, quantity 0") << Selection{"600000.SH", 100, 100, "股", 0, "委托数量不能为0，请重新输入"};
        QTest::newRow("STAR: at least 200, step 1") << Selection{"688981.SH", 200, 1, "股", 201, {}};
        QTest::newRow("ETF in units") << Selection{"510300.SH", 100, 100, "份", 100, {}};
        QTest::newRow("no security") << Selection{{}, -1, -1, {}, 100, "无效的证券代码，请重新输入"};
    }
    void selectionAndInsert()
    {
        QFETCH(Selection, row);
        const auto& [key, volume, step, unit, entered, message] = row;
        Form form = makeForm(kStockAccount);
        select(form, key);
        auto* quantity = child<QSpinBox>(form, "spinBox_singleOI_VolumeOriginal");
        if (volume >= 0) {
            QCOMPARE(QVariantList({quantity->value(), quantity->singleStep()}), QVariantList({volume, step}));
            QCOMPARE(child<QLabel>(form, "label_singleOI_VolumeOriginal_Unit")->text(), unit);
        }
        quantity->setValue(entered);
        QSignalSpy inserted(form.get(), &SchedOrd_SingleOrderInsertWid::signalSingleOrderInsertBtnClicked);
        click(form, "pushButton_singleOI_bottom_Insert");
        QCOMPARE(inserted.count(), message.isEmpty() ? 1 : 0);
        QCOMPARE(VelmTest::popups(form.get()), message.isEmpty() ? QStringList() : QStringList{message});
    }

    // One level-1 subscription at a time, dropped by a reset and by the form's end.
    void resetRestoresDefaults()
    {
        UserData* data = UserDataManager::instance()->getUserData(kCreditAccount);
        Form form = makeForm(kCreditAccount);
        for (const char* key : {"000001.SZ", "600000.SH", "600000.SH"})
            select(form, QString(key));
        QCOMPARE(data->lev1SubscriptionCount(QStringLiteral("000001.SZ")), 0);
        click(form, "pushButton_singleOI_dir_sell");
        child<QComboBox>(form, "comboBox_singleOI_CreditSellType")->setCurrentIndex(1);
        child<QComboBox>(form, "comboBox_singleOI_SellPriceGear")->setCurrentIndex(15);
        child<QDoubleSpinBox>(form, "doubleSpinBox_singleOI_SellCustomPrice")->setValue(10.5);
        click(form, "pushButton_singleOI_BuyFloat_Unit");

        QCOMPARE(data->lev1SubscriptionCount(QStringLiteral("600000.SH")), 1);
        click(form, "pushButton_singleOI_bottom_reset");
        QCOMPARE(data->lev1SubscriptionCount(QStringLiteral("600000.SH")), 0);
        QCOMPARE(form->findChild<MyCompleterEdit*>()->text(), QString());
        QCOMPARE(form->getSingleOrderEntry().Direction, '1');   // the side stays, its kind does not
        QCOMPARE(form->getSingleOrderEntry().PriceGear, 7);
        QCOMPARE(child<QDoubleSpinBox>(form, "doubleSpinBox_singleOI_SellCustomPrice")->value(), 0.0);
        QCOMPARE(child<QLabel>(form, "label_singleOI_SellCustomPrice_Unit")->text(), QStringLiteral("-"));
        // Unlike the fresh form, the sell side also shifts up after a reset.
        QCOMPARE(child<QPushButton>(form, "pushButton_singleOI_SellFloat_PN")->text(), QStringLiteral("向上"));
        QCOMPARE(child<QPushButton>(form, "pushButton_singleOI_BuyFloat_Unit")->text(), QStringLiteral("tick"));
        QCOMPARE(child<QSpinBox>(form, "spinBox_singleOI_VolumeOriginal")->value(), 0);
        select(form, QStringLiteral("000001.SZ"));
        form.reset();
        QCOMPARE(data->lev1SubscriptionCount(QStringLiteral("000001.SZ")), 0);
    }

    void inquiryRequestBytes_data()
    {
        QTest::addColumn<Inquiry>("row");
        QTest::newRow("stock, Shanghai buy") << Inquiry{"600000.SH", false, -1, false, '0', '\0'};
        QTest::newRow("stock, Shenzhen sell") << Inquiry{"000001.SZ", true, -1, false, '1', '\0'};
        QTest::newRow("financed buy") << Inquiry{"600000.SH", false, 1, false, 'i', '0'};
        QTest::newRow("collateral sell") << Inquiry{"000001.SZ", true, 0, true, '1', '0'};
        QTest::newRow("short sell, option off") << Inquiry{"600000.SH", true, 1, false, 'j', '1'};
        QTest::newRow("short sell, option on") << Inquiry{"600000.SH", true, 1, true, 'j', '0'};
    }
    void inquiryRequestBytes()
    {
        QFETCH(Inquiry, row);
        const auto& [key, sell, kind, shortSellOption, direction, shortSellFlag] = row;
        gWM->creditShortSellOption = shortSellOption;
        const int accountId = kind < 0 ? kStockAccount : kCreditAccount;
        UserData* data = UserDataManager::instance()->getUserData(accountId);
        Form form = makeForm(accountId);
        select(form, key);
        // Asked once the quote is in, then at once on every change of side or trade kind.
        QTRY_COMPARE(data->inquiryRequestCount(), 1);
        click(form, sell ? "pushButton_singleOI_dir_sell" : "pushButton_singleOI_dir_buy");
        QCOMPARE(data->inquiryRequestCount(), 2);
        if (kind >= 0) {
            auto* kinds = child<QComboBox>(form, sell ? "comboBox_singleOI_CreditSellType" : "comboBox_singleOI_CreditBuyType");
            kinds->setCurrentIndex(kind);
            QCOMPARE(data->inquiryRequestCount(), 2 + kind);
        }

        QCOMPARE(form->getSingleOrderEntry().Direction, direction);

        // Every byte: what is not filled stays 0. The price is the catalogue's last price.
        const bool shanghai = key.endsWith(QLatin1String("SH"));
        const double price = shanghai ? 10.35 : 11.42;
        QByteArray expected(128, '\0');
        expected[4] = shanghai ? '1' : '2';
        expected.replace(5, 6, key.left(6).toLatin1());
        expected.replace(68, 10, shanghai ? VelmTest::ShanghaiShareholder : VelmTest::ShenzhenShareholder);
        expected.replace(79, 4, QByteArray(1, direction) + "231");
        expected.replace(88, 8, QByteArray(reinterpret_cast<const char*>(&price), sizeof price));
        expected[125] = shortSellFlag;
        QCOMPARE(data->lastInquiryRequest().toHex(' '), expected.toHex(' '));
    }

    // Asked on selection, on the armed timer and on the quota signal; never without all three inputs.
    void requestsOfOneSecurity_data()
    {
        QTest::addColumn<Request>("row");
        QTest::newRow("code and account string cut") << Request{"ABCDEFGHIJKL", 12.5, true, 3};
        QTest::newRow("no security selected") << Request{"A123456789", 12.5, false, 0};
        QTest::newRow("account string of 3 characters") << Request{"A12", 12.5, true, 0};
        QTest::newRow("price 0") << Request{"A123456789", 0.0, true, 0};
        QTest::newRow("price NaN") << Request{"A123456789", qQNaN(), true, 0};
    }
    void requestsOfOneSecurity()
    {
        const QString code = QStringLiteral("12345678901234567890123456789012345");
        QFETCH(Request, row);
        const auto& [shareholder, price, selected, requests] = row;
        auto* scripted = new ScriptedUserData(kScriptedAccount, 1);
        SecurityInfo info;
        info.SecurityID = code;
        info.ExchangeID = '1';
        scripted->addSecurity(QStringLiteral("X.SH"), info);
        Lev1MarketData quote;
        quote.LastPrice = price;
        scripted->setQuote(QStringLiteral("X.SH"), quote);
        scripted->MapShareholderID.insert('1', shareholder);
        UserDataManager::instance()->addUserData(scripted);
        Form form = makeForm(kScriptedAccount);
        if (selected)
            select(form, QStringLiteral("X.SH"));
        emit scripted->signal_updateTradingAccount();
        QVERIFY(QMetaObject::invokeMethod(form.get(), "slot_timeout_reqinquirymaxordervolume"));
        QVERIFY(QMetaObject::invokeMethod(form.get(), "slot_timeout_reqinquirymaxordervolume"));   // disarmed
        emit scripted->signal_PosQuotaTypeNormalChanged();
        QCOMPARE(scripted->inquiryRequestCount(), requests);
        if (requests > 0) {
            const QByteArray request = scripted->lastInquiryRequest();
            QCOMPARE(request.mid(5, 31), code.left(30).toLatin1() + '\0');
            QCOMPARE(request.mid(68, 11), shareholder.left(10).toLatin1() + '\0');
            QCOMPARE(request.mid(88, 8), QByteArray(reinterpret_cast<const char*>(&price), sizeof price));
        }
    }

    void answersToOlderRequestsAreIgnored()
    {
        UserData* data = UserDataManager::instance()->getUserData(kStockAccount);
        data->broker().setAvailableFunds(103500.0);
        Form form = makeForm(kStockAccount);
        QSignalSpy answers(data, &UserData::signal_RspInquiryMaxOrderVolumeFinished);
        select(form, QStringLiteral("600000.SH"));
        QTRY_COMPARE(answers.count(), 1);
        const int requestId = answers.first().at(4).toInt();
        auto* display = child<QLineEdit>(form, "lineEdit_singleOI_MaxVolume");
        QCOMPARE((QStringList{display->text(), display->toolTip()}), (QStringList{"10000", "正确"}));   // 103,500 at 10.35

        emit data->signal_RspInquiryMaxOrderVolumeFinished(QStringLiteral("600000.SH"), 1, 0, QString(), requestId - 1);
        QCOMPARE(display->text(), QStringLiteral("10000"));
        emit data->signal_RspInquiryMaxOrderVolumeFinished(QStringLiteral("000001.SZ"), 0, 3, QStringLiteral("委托价格无效"), requestId);
        QCOMPARE((QStringList{display->text(), display->toolTip()}), (QStringList{"委托价格无效", "委托价格无效"}));
    }
};

QTEST_MAIN(EntryFormTest)
#include "tst_entryform.moc"
