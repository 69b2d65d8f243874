#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_ModifySubTaskParamWid.h"
#include "ScheduledOrderFactory.h"
#include "SubTaskFields.h"
#include "TestAccounts.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTimeEdit>
#include <QtTest>

#include <functional>
#include <memory>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrd_ModifySubTaskParamWid;

namespace {

constexpr int kStockAccount = 1601;
constexpr int kCreditAccount = 1602;

int64_t today(int hour, int minute, int second) { return SchedOrdTaskTime::fromClockTime(hour, minute, second); }

// A value in every field, so that a field the dialog must not touch shows up when touched.
SchedOrdSubTaskField waitingSubTask(char direction = Direction::Buy)
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = 7; sub.SubTaskID = 70;
    sub.SecurityKey = "600000.SH"; sub.SecurityID = "600000"; sub.ExchangeID = Exchange::Shanghai;
    sub.Direction = direction; sub.TargetVolume = 300; sub.PriceType = 1; sub.PriceFloatType = PriceFloatType::Tick;
    sub.SubTaskStatus = SubTaskStatus::Running; sub.TriggerStatus = SubTriggerStatus::NotTriggered; sub.TriggerTime = today(0, 0, 0);
    sub.StartTime = sub.EndTime = today(10, 15, 30);
    sub.NoSellAtLimitUp = true; sub.NoBuyAtLimitDown = false;
    sub.HostCode = 'h'; sub.HostValue = 4242; sub.ErrorMsg = "kept";
    return sub;
}

template <typename T>
T* find(QWidget* dialog, const QString& name)
{
    T* found = dialog->findChild<T*>(name);
    return found ? found : (qFatal("no child %s", qPrintable(name)), nullptr);
}

using F = SchedOrdSubTaskField;
using Adjust = std::function<void(F&)>;
using Edit = std::function<void(QWidget*)>;
// Widget name -> the text, value, time or current item it shows; "!name" -> whether it is hidden.
using Shown = QVariantMap;
// Opened on `stored` in the account, the form shows `shown`; after `edit` the copy is `written`, the flag `changed`.
struct Row { int accountId; Adjust stored; Shown shown; Edit edit; Adjust written; bool changed; };

} // namespace

Q_DECLARE_METATYPE(Row)

// The modify dialog and its two account variants, driven through their widgets.
class ModifyDialogTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(kStockAccount);
        VelmTest::addCreditAccount(kCreditAccount);
        m_parent = std::make_unique<QWidget>();
    }
    void cleanup() { m_parent.reset(); VelmTest::removeAllAccounts(); }

    void confirmedCopy_data()
    {
        QTest::addColumn<Row>("row");
        using A = Adjust;
        const A none = [](F&) {};
        const Edit nothing = [](QWidget*) {};
        const auto dir = [](char direction) { return A([=](F& s) { s.Direction = direction; }); };
        const auto shift = [](double value) { return A([=](F& s) { s.PriceFloatValue = value; }); };
        const auto type = [](int priceType) { return A([=](F& s) { s.PriceType = priceType; }); };
        const auto kind = [](const char* box, int data) {
            return Edit([=](QWidget* d) { auto* c = find<QComboBox>(d, box); c->setCurrentIndex(c->findData(data)); });
        };
        const auto set = [](const char* name, const QVariant& value) {
            return Edit([=](QWidget* d) { find<QWidget>(d, name)->setProperty(value.type() == QVariant::Time ? "time" : "value", value); });
        };
        const auto click = [](const char* name) { return Edit([=](QWidget* d) { find<QAbstractButton>(d, name)->click(); }); };
        const char* sign = "pushButton_SO_MST_BuyFloat_PN";
        const char* ticks = "spinBox_SO_MST_BuyFloat_Tick";
        const char* gear = "comboBox_SO_MST_BuyPriceGear";
        const char *buyKind = "comboBox_SO_MST_CreditBuyType", *sellKind = "comboBox_SO_MST_CreditSellType";
        const int stock = kStockAccount, credit = kCreditAccount;
        const QDate day = QDate::currentDate().addDays(-1);
        const int64_t yesterday = SchedOrdTaskTime::fromLocalDateTime(day.year(), day.month(), day.day(), 10, 15, 30);

        QTest::newRow("-3 ticks") << Row{stock, shift(-3), Shown{{sign, "向下"}, {ticks, 3}}, nothing, none, false};
        QTest::newRow("2.7 ticks open as 2") << Row{stock, shift(2.7), Shown{{sign, "向上"}, {ticks, 2}}, nothing, shift(2), true};
        QTest::newRow("sell, -0.5 percent") << Row{stock, A([](F& s) { s.Direction = '1'; s.PriceFloatType = '1'; s.PriceFloatValue = -0.5; }),
            Shown{{"pushButton_SO_MST_SellFloat_PN", "向下"}, {"pushButton_SO_MST_SellFloat_Unit", "%"},
                  {"doubleSpinBox_SO_MST_SellFloat_Percentage", 0.5}, {"!spinBox_SO_MST_SellFloat_Tick", true}}, nothing, none, false};
        QTest::newRow("13 has no gear, writes 0") << Row{stock, type(13), Shown{{gear, -1}}, nothing, type(0), true};
        QTest::newRow("12 opens gear 15") << Row{stock, type(12), Shown{{gear, 15}, {"!widget_SO_MST_BuyCustomPrice", false}, {"!widget_SO_MST_BuyFloat", true}}, nothing, none, false};
        QTest::newRow("made yesterday, written for today") << Row{stock, A([=](F& s) { s.StartTime = yesterday; }), Shown{}, nothing, A([](F& s) { s.StartTime = today(10, 15, 30); }), true};
        QTest::newRow("custom price") << Row{stock, type(12), Shown{}, set("doubleSpinBox_SO_MST_BuyCustomPrice", 10.58), A([](F& s) { s.OrderPrice = 10.58; }), true};
        QTest::newRow("sign") << Row{stock, shift(2), Shown{}, click(sign), shift(-2), true};
        QTest::newRow("limit-up") << Row{stock, none, Shown{}, click("checkBox_SO_MST_UpperLimit"), A([](F& s) { s.NoSellAtLimitUp = false; }), true};
        QTest::newRow("unit") << Row{stock, none, Shown{}, Edit([](QWidget* d) {
            find<QPushButton>(d, "pushButton_SO_MST_BuyFloat_Unit")->click();
            find<QDoubleSpinBox>(d, "doubleSpinBox_SO_MST_BuyFloat_Percentage")->setValue(2.25);
        }), A([](F& s) { s.PriceFloatType = '1'; s.PriceFloatValue = 2.25; }), true};
        const auto sideShown = [](const char* side, const char* max, const char* other) {
            return Shown{{"label_SO_MST_SecurityName", QString("600000 浦发银行 ") + side}, {"label_SO_MST_MaxVolume", max}, {"!widget_SO_MST_CreditBuyType", true},
                         {"!widget_SO_MST_CreditSellType", true}, {QString("!widget_SO_MST_%1PriceGear").arg(other), true}, {QString("!widget_SO_MST_%1Float").arg(other), true}};
        };
        QTest::newRow("stock buy keeps '0'") << Row{stock, none, sideShown("买入", "参考可买", "Sell"), nothing, none, false};
        QTest::newRow("stock sell keeps '1'") << Row{stock, dir('1'), sideShown("卖出", "参考可卖", "Buy"), nothing, none, false};
        QTest::newRow("credit i opens on 融资买入, buy rows only") << Row{credit, dir('i'),
            Shown{{buyKind, "融资买入"}, {"!widget_SO_MST_CreditSellType", true}, {"!widget_SO_MST_SellPriceGear", true}}, nothing, none, false};
        QTest::newRow("credit i to 担保品买入") << Row{credit, dir('i'), Shown{}, kind(buyKind, 1), dir('0'), true};
        QTest::newRow("credit 1 to 融券卖出") << Row{credit, dir('1'), Shown{{sellKind, "担保品卖出"}}, kind(sellKind, 5), dir('j'), true};
        QTest::newRow("credit l written back as 0") << Row{credit, dir('l'), Shown{{buyKind, "担保品买入"}}, nothing, dir('0'), true};
    }
    void confirmedCopy()
    {
        QFETCH(Row, row);
        const auto& [accountId, stored, shown, edit, written, changed] = row;
        SchedOrdSubTaskField sub = waitingSubTask();
        stored(sub);
        open(accountId, waitingSubTask('i'));
        // Opened before on the second kind of both sides: the reset must start again from the first.
        reopen(waitingSubTask('j'));
        reopen(sub);
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            const bool hidden = it.key().startsWith(QLatin1Char('!'));
            QWidget* widget = child<QWidget>(it.key().mid(hidden ? 1 : 0));
            QVariant actual = widget->property(qobject_cast<QTimeEdit*>(widget) ? "time" : widget->inherits("QAbstractSpinBox") ? "value" : "text");
            if (hidden)
                actual = widget->isHidden();
            else if (auto* combo = qobject_cast<QComboBox*>(widget))
                actual = combo->currentIndex() < 0 ? QVariant(-1) : it.value().type() == QVariant::String ? combo->currentText() : combo->currentData();
            QVERIFY2(actual.toString() == it->toString(), qPrintable(it.key() + ": " + actual.toString() + " != " + it->toString()));
        }
        edit(m_dialog);
        QSignalSpy ok(m_dialog, &ISubModuleDlg::signal_pushbutton_ok);
        confirm();
        QCOMPARE(ok.count(), 1);
        written(sub);
        QCOMPARE(VelmTest::subTaskDifferences(m_edited, sub), QStringList());
        QCOMPARE(m_confirmed, changed);
    }

    void unitSwitchClearsBothBoxes()
    {
        open(kStockAccount, waitingSubTask());
        auto* unit = child<QPushButton>("pushButton_SO_MST_BuyFloat_Unit");
        auto* tick = child<QSpinBox>("spinBox_SO_MST_BuyFloat_Tick");
        auto* percentage = child<QDoubleSpinBox>("doubleSpinBox_SO_MST_BuyFloat_Percentage");
        for (const QString& text : {QStringLiteral("%"), QStringLiteral("tick")}) {
            tick->setValue(4);
            percentage->setValue(1.5);
            unit->click();
            QCOMPARE(unit->text(), text);
            QCOMPARE(tick->isHidden(), text == "%");
            QCOMPARE(tick->value() + percentage->value(), 0.0);
        }
    }

    void zeroVolumeIsRefused()
    {
        open(kStockAccount, waitingSubTask());
        QSignalSpy ok(m_dialog, &ISubModuleDlg::signal_pushbutton_ok);
        child<QSpinBox>("spinBox_SO_MST_VolumeOriginal")->setValue(0);
        child<QPushButton>("pushButton_SO_MST_BuyFloat_PN")->click();
        m_confirmed = true;
        confirm();
        QCOMPARE(ok.count(), 0);
        QCOMPARE(VelmTest::popups(m_dialog), QStringList{QStringLiteral("委托数量不能为0，请重新输入")});
        QVERIFY(m_confirmed);
        QCOMPARE(VelmTest::subTaskDifferences(m_edited, m_stored), QStringList());
    }

private:
    void open(int accountId, const SchedOrdSubTaskField& stored)
    {
        m_dialog = qobject_cast<SchedOrd_ModifySubTaskParamWid*>(
            Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg(accountId, 0, m_parent.get()));
        QVERIFY(m_dialog);
        m_dialog->initDialog();
        reopen(stored);
    }
    void reopen(const SchedOrdSubTaskField& stored)
    {
        m_stored = m_edited = stored;
        m_confirmed = false;
        m_dialog->setSubTask(&m_stored, &m_edited, &m_confirmed);
    }
    void confirm() { child<QPushButton>("pushButton_SO_MST_bottom_OK")->click(); }
    template <typename T>
    T* child(const QString& name) const { return find<T>(m_dialog, name); }

    std::unique_ptr<QWidget> m_parent;
    SchedOrd_ModifySubTaskParamWid* m_dialog = nullptr;
    SchedOrdSubTaskField m_stored;
    SchedOrdSubTaskField m_edited;
    bool m_confirmed = false;
};

QTEST_MAIN(ModifyDialogTest)
#include "tst_modifydialog.moc"
