#include "ISubModuleWid.h"
#include "MyCompleterEdit.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_SingleOrderInsertWidStpCredit.h"
#include "SchedOrd_SingleOrderInsertWidStpStock.h"
#include "SecurityCatalogue.h"
#include "ScheduledOrderFactory.h"
#include "ScriptedUserData.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "SingleOrderEntry.h"
#include "SubTaskFields.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <memory>
#include <utility>

using namespace Velm_Space;
using namespace VELMSCHEDORDAPI;

namespace {

constexpr int kStockAccount = 601;
constexpr int kCreditAccount = 602;
constexpr int kScriptedAccount = 603;
constexpr int kShortCodeAccount = 604; // knows a code of 4 digits

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

// What a keyboard sends, character by character (QTest::keyClicks cannot type Chinese).
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Typed, the popup's first lines and its size (-1: not checked); then popup `line` moved to (or clicked, for key 0;
// -1 for none) and `key` pressed (-1: none); `chosenKey` emitted, if any.
struct Choice { QString typed; QStringList leadingLines; int count; int line; int key; QString chosenKey; };
} // namespace

Q_DECLARE_METATYPE(Choice)
Q_DECLARE_METATYPE(Insert)
Q_DECLARE_METATYPE(Selection)
Q_DECLARE_METATYPE(Inquiry)
Q_DECLARE_METATYPE(Request)

// The single-order entry form, its security box, and the window around it that stores the orders it sends.
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
    void cleanup()
    {
        m_edit.reset();
        VelmTest::removeAllAccounts();
        SchedOrdTaskTime::setClock({});
    }

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
        // Each side's own cage limit, a quote gear, market and custom price.
        const std::pair<bool, int> rows[] = {{false, 1}, {false, 13}, {false, 21}, {true, 0}, {true, 14}, {true, 15}};
        for (const auto& [sell, gear] : rows)
            QTest::addRow("%s gear %d", sell ? "sell" : "buy", gear) << sell << gear;
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
        SingleOrderEntry entry = form->getSingleOrderEntry();
        QCOMPARE(QVariantList({entry.PriceGear, entry.PriceFloatType, entry.PriceFloatValue}), QVariantList({7, 1, -2.0}));

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
        // The side stays, its kind does not; unlike the fresh form, the sell side also shifts up after a reset.
        const SingleOrderEntry entry = form->getSingleOrderEntry();
        QCOMPARE((QVariantList{form->findChild<MyCompleterEdit*>()->text(), QString(entry.Direction), entry.PriceGear,
                               child<QDoubleSpinBox>(form, "doubleSpinBox_singleOI_SellCustomPrice")->value(),
                               child<QLabel>(form, "label_singleOI_SellCustomPrice_Unit")->text(),
                               child<QPushButton>(form, "pushButton_singleOI_SellFloat_PN")->text(),
                               child<QPushButton>(form, "pushButton_singleOI_BuyFloat_Unit")->text(),
                               child<QSpinBox>(form, "spinBox_singleOI_VolumeOriginal")->value()}),
                 (QVariantList{QString(), "1", 7, 0.0, "-", "向上", "tick", 0}));
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

    // A zoom set before the deferred build step is applied once to every point-sized font, however deep;
    // later zooms are relative, and 100 % gives back the designed sizes.
    void zoomIsAppliedOnceThenRelative()
    {
        std::unique_ptr<ISubModuleWid> window(ScheduledOrderFactory::createScheduledOrderWid(kStockAccount, 0, nullptr));
        auto* tabs = window->findChild<QWidget*>("tabWidget_scheduled_setting_execution");
        const qreal designed = tabs->font().pointSizeF();
        QVERIFY(designed > 0);
        window->initWid();
        window->setScalePercent(120);
        QVERIFY(!window->findChild<SchedOrd_SingleOrderInsertWid*>());
        QTRY_COMPARE(tabs->font().pointSizeF(), designed * 1.2);
        QCOMPARE(window->findChild<QPushButton*>("pushButton_singleOI_bottom_Insert")->font().pointSizeF(), designed * 1.2);
        QCoreApplication::processEvents();   // whatever else the build step posted lands before the sizes are read
        QHash<QWidget*, qreal> zoomed;
        for (QWidget* widget : window->findChildren<QWidget*>())
            zoomed.insert(widget, widget->font().pointSizeF());
        window->setScalePercent(150);
        auto* label = window->findChild<QWidget*>("label_singleOI_SecurityID");
        QCOMPARE(label->font().pointSizeF(), zoomed.value(label) * 1.25);
        window->setScalePercent(100);
        for (auto it = zoomed.cbegin(); it != zoomed.cend(); ++it) {
            if (it.value() > 0)
                QVERIFY2(qFuzzyCompare(it.key()->font().pointSizeF(), it.value() / 1.2), qPrintable(it.key()->objectName()));
        }
    }

    void insertRefusesOrStores_data()
    {
        const QString tooEarly = QStringLiteral("设定时间（%1）不能早于当前时间（10:00:00），请重新输入。\n\n注：可在设置中修改对应配置项。");
        QTest::addColumn<Insert>("row");
        QTest::newRow("code shorter than 5") << Insert{kShortCodeAccount, "6000.SH", QTime(10, 1, 0), false, false, "证券代码(6000)无效，请检查。\n"};
        QTest::newRow("the current second") << Insert{kStockAccount, "600000.SH", QTime(10, 0, 0), false, false, tooEarly};
        QTest::newRow("midnight, past allowed") << Insert{kStockAccount, "600000.SH", QTime(0, 0, 0), true, false, {}};
        QTest::newRow("next second, auto-start on") << Insert{kStockAccount, "600036.SH", QTime(10, 0, 1), false, true, {}};
    }
    void insertRefusesOrStores()
    {
        QFETCH(Insert, row);
        const auto& [accountId, key, setTime, allowPast, autoStart, message] = row;
        useFixedClock();
        auto* scripted = new ScriptedUserData(kShortCodeAccount, 1);
        SecurityInfo shortCode;
        shortCode.SecurityID = QStringLiteral("6000");
        shortCode.ExchangeID = '1';
        scripted->addSecurity(QStringLiteral("6000.SH"), shortCode);
        UserDataManager::instance()->addUserData(scripted);
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
        QCOMPARE(VelmTest::popups(window.get()), QStringList());
    }

    // A credit short sell at market, 1.5 % down, custom price, both guards off: unlike a default buy.
    void insertBuildsTheMainTaskAndItsSubTask()
    {
        const QTime setTime(10, 1, 0);
        useFixedClock();
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
        window->findChild<QCheckBox*>("checkBox_singleOI_LowerLimit")->setChecked(false);
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
        expected.NoSellAtLimitUp = expected.NoBuyAtLimitDown = false;
        QCOMPARE(VelmTest::subTaskDifferences(task.VecSubTask.front(), expected), QStringList());
    }

    void popupListsBestFirstAndEachChoiceEmitsOnce_data()
    {
        QTest::addColumn<Choice>("row");
        QTest::newRow("code prefix") << Choice{"6000", {"600000 浦发银行", "600016 民生银行", "600028 中国石化"}, 8, -1, -1, ""};
        QTest::newRow("initials of a polyphone") << Choice{"cjdl", {"600900 长江电力"}, 1, -1, -1, ""};
        QTest::newRow("no match") << Choice{"zzzz", {}, 0, -1, -1, ""};
        QTest::newRow("exact code") << Choice{"600000", {}, -1, -1, Qt::Key_Return, "600000.SH"};
        QTest::newRow("exact key, keypad Enter") << Choice{"600000.sh", {}, -1, -1, Qt::Key_Enter, "600000.SH"};
        QTest::newRow("two names alike") << Choice{"沪深300", {}, -1, -1, Qt::Key_Return, ""};
        QTest::newRow("code on two exchanges") << Choice{"000001", {}, -1, -1, Qt::Key_Return, ""};
        QTest::newRow("third line, Enter") << Choice{"6000", {}, -1, 2, Qt::Key_Return, "600028.SH"};
        QTest::newRow("second line clicked") << Choice{"银行", {}, -1, 1, 0, "600016.SH"};
    }
    void popupListsBestFirstAndEachChoiceEmitsOnce()
    {
        QFETCH(Choice, row);
        const auto& [typed, leadingLines, count, line, key, chosenKey] = row;
        QVERIFY(showCatalogueEdit());
        QSignalSpy chosen(m_edit.get(), &MyCompleterEdit::signalTextComplete);
        typeText(m_edit.get(), typed);
        QAbstractItemView* popup = m_edit->completer()->popup();
        QVERIFY(!popup->currentIndex().isValid());
        if (count >= 0)
            QCOMPARE(popup->model()->rowCount(), count);
        for (int i = 0; i < leadingLines.size(); ++i)
            QCOMPARE(popup->model()->index(i, 0).data().toString(), leadingLines[i]);
        if (key == 0) {
            QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, popup->visualRect(popup->model()->index(line, 0)).center());
        } else if (key > 0) {
            // With a line highlighted the open popup has the keyboard, as when typing.
            for (int i = 0; i <= line; ++i)
                QTest::keyClick(popup, Qt::Key_Down);
            QTest::keyClick(line >= 0 ? static_cast<QWidget*>(popup) : m_edit.get(), Qt::Key(key));
        }
        QCOMPARE(chosen.count(), chosenKey.isEmpty() ? 0 : 1);
        QCOMPARE(chosen.isEmpty() ? QString() : chosen.first().first().toString(), chosenKey);
        QCOMPARE(m_edit->text(), chosenKey.isEmpty() ? typed : chosenKey.left(6));
        QCOMPARE(popup->isVisible(), chosenKey.isEmpty() && count != 0);
    }

    void candidatesRankAndReplace()
    {
        QVERIFY(showCatalogueEdit());
        const QStringList keys{"K0", "K1", "K2", "K3", "K4", "K5", "K6", "K7"};
        const QStringList codes{"zg01", "111111", "222222", "333333", "zg", "444444", "555555", "666666"};
        const QStringList names{"其他", "中国平安", "ZG", "zg测试", "某某", "一zg", "中国", "新中国"};
        m_edit->updateModel(keys, codes, names, QStringLiteral("catalogue"));
        QVERIFY2(m_edit->candidateCount() > 100, "the same version must not rebuild");
        m_edit->updateModel(keys, codes, names, QStringLiteral("ranking"));
        // Exact code, code prefix, exact name, initials prefix (list order), name prefix, name substring.
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("ZG")), (QStringList{"K4", "K0", "K2", "K1", "K3", "K6", "K5"}));
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("中国")), (QStringList{"K6", "K1", "K7"}));

        QTest::ignoreMessage(QtWarningMsg, "MyCompleterEdit::updateModel: 2 keys, 1 codes and 3 names differ in number; "
                                           "no candidates kept");
        m_edit->updateModel({"A.SH", "B.SH"}, {"1"}, {"甲", "乙", "丙"}, QStringLiteral("ranking"));
        QCOMPARE(m_edit->candidateCount(), 0);
        // The refused lists left no version behind.
        m_edit->updateModel(keys, codes, names, QStringLiteral("ranking"));
        QCOMPARE(m_edit->candidateCount(), keys.size());
    }

private:
    // A shown security box over the catalogue, plus the index that shares 000001 with a Shenzhen share.
    bool showCatalogueEdit()
    {
        QStringList keys{"000001.SH"}, codes{"000001"}, names{"上证指数"};
        for (const SecurityInfo& info : SecurityCatalogue::instance().all()) {
            keys.append(Util::GetSecurityKey(info.SecurityID, info.ExchangeID));
            codes.append(info.SecurityID);
            names.append(info.SecurityName);
        }
        m_edit = std::make_unique<MyCompleterEdit>();
        m_edit->updateModel(keys, codes, names, QStringLiteral("catalogue"));
        m_edit->show();
        return QTest::qWaitForWindowExposed(m_edit.get());
    }
    static void useFixedClock() { SchedOrdTaskTime::setClock([] { return kNow; }); }

    std::unique_ptr<MyCompleterEdit> m_edit;
};

QTEST_MAIN(EntryFormTest)
#include "tst_entryform.moc"
