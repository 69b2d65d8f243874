#include "FramelessFloatDlg.h"
#include "ISubModuleDlg.h"
#include "MarketSimulator.h"
#include "SchedOrdCodes.h"
#include "SchedOrd_ModifySubTaskParamWid.h"
#include "SchedOrd_TableSubTaskWid.h"
#include "ScheduledOrderFactory.h"
#include "SubTaskFields.h"
#include "TaskTableTest.h"
#include "UserDataManager.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QTimeEdit>

#include <functional>
#include <memory>

using namespace VELMSCHEDORDAPI;
using F = SchedOrdSubTaskField;
using Adjust = std::function<void(F&)>;

Q_DECLARE_METATYPE(Adjust)

namespace {

constexpr int kOperationColumn = 14;     // "操作", button 修改
constexpr int kParametersColumn = 13;    // "报单参数", button 点击查看

QString rowKey(const F& sub) { return QStringLiteral("%1_%2").arg(sub.MainTaskID).arg(sub.SubTaskID); }

template <typename T>
T* part(QWidget* dialog, const QString& name)
{
    T* found = dialog->findChild<T*>(name);
    return found ? found : (qFatal("no %s in the dialog", qPrintable(name)), nullptr);
}

using Steps = std::function<void(FramelessFloatDlg*, QWidget*)>;
// `content`: whether the dialog gets its content; `refusal`: the message instead of the dialog.
struct ModifyClick { char triggerStatus; QString securityKey; bool content; QString refusal; };
// `time`, `volume`: what is entered (invalid, 0: kept); `log`: the operation log line of the sub-task.
struct Confirmation { QTime time; int volume; QString log; };

constexpr int kCreditAccount = 1702;
const char* const kVolume = "spinBox_SO_MST_VolumeOriginal";

void setVolumeAndConfirm(QWidget* content, int volume)
{
    part<QSpinBox>(content, kVolume)->setValue(volume);
    part<QPushButton>(content, "pushButton_SO_MST_bottom_OK")->click();
}

void useModuleDialogContent(bool use)
{
    // Without a client the frameless dialog takes its content from this module's own factory.
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, use ? &Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg : nullptr);
}

using Edit = std::function<void(QWidget*)>;
// Widget name -> the text, value, time or current item it shows; "!name" -> whether it is hidden.
using Shown = QVariantMap;
// Opened on `stored` in the account, the form shows `shown`; after `edit` the copy is `written`, the flag `changed`;
// or OK is refused with `refusal`, the copy and the flag left alone.
struct Row { int accountId; Adjust stored; Shown shown; Edit edit; Adjust written; bool changed; QString refusal = {}; };

} // namespace

Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(ModifyClick)
Q_DECLARE_METATYPE(Confirmation)

// The modify dialog, and the sub-task table's row buttons: modify through the host's frameless dialog, and the
// parameters tool tip.
class ModifyFlowTest : public TaskTableTest
{
    Q_OBJECT
public:
    ModifyFlowTest() : TaskTableTest(1701, QStringLiteral("tableview_SO_monitorSubTask")) {}

private slots:
    void init()
    {
        useModuleDialogContent(true);
        UserDataManager::instance()->market().setLastPrice(QStringLiteral("600000.SH"), 10.35);
        setUpService();
        VelmTest::addCreditAccount(kCreditAccount);
    }
    void cleanup() // the dialog goes before its account
    {
        m_dialogParent = std::make_unique<QWidget>();
        m_table.reset();
        VelmTest::removeAllAccounts();
    }

    // The dialog alone, as the frameless dialog's content, in a stock and a credit account.
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
            return Edit([=](QWidget* d) { auto* c = part<QComboBox>(d, box); c->setCurrentIndex(c->findData(data)); });
        };
        const auto set = [](const char* name, const QVariant& value) {
            return Edit([=](QWidget* d) { part<QWidget>(d, name)->setProperty(value.type() == QVariant::Time ? "time" : "value", value); });
        };
        const auto click = [](const char* name) { return Edit([=](QWidget* d) { part<QAbstractButton>(d, name)->click(); }); };
        const char* sign = "pushButton_SO_MST_BuyFloat_PN";
        const char* gear = "comboBox_SO_MST_BuyPriceGear";
        const char *buyKind = "comboBox_SO_MST_CreditBuyType", *sellKind = "comboBox_SO_MST_CreditSellType";
        const int stock = m_account, credit = kCreditAccount;
        const QDate day = QDate::currentDate().addDays(-1);
        const int64_t yesterday = SchedOrdTaskTime::fromLocalDateTime(day.year(), day.month(), day.day(), 10, 15, 30);

        QTest::newRow("2.7 ticks open as 2") << Row{stock, shift(2.7), Shown{{sign, "向上"}, {"spinBox_SO_MST_BuyFloat_Tick", 2}}, nothing, shift(2), true};
        QTest::newRow("sell, -0.5 percent") << Row{stock, A([](F& s) { s.Direction = '1'; s.PriceFloatType = '1'; s.PriceFloatValue = -0.5; }),
            Shown{{"pushButton_SO_MST_SellFloat_PN", "向下"}, {"pushButton_SO_MST_SellFloat_Unit", "%"},
                  {"doubleSpinBox_SO_MST_SellFloat_Percentage", 0.5}, {"!spinBox_SO_MST_SellFloat_Tick", true}}, nothing, none, false};
        QTest::newRow("13 has no gear, writes 0") << Row{stock, type(13), Shown{{gear, -1}}, nothing, type(0), true};
        QTest::newRow("12 opens gear 15") << Row{stock, type(12), Shown{{gear, 15}, {"!widget_SO_MST_BuyCustomPrice", false}, {"!widget_SO_MST_BuyFloat", true}}, nothing, none, false};
        QTest::newRow("made yesterday, written for today") << Row{stock, A([=](F& s) { s.StartTime = yesterday; }), Shown{}, nothing, A([](F& s) { s.StartTime = at(10, 15, 30); }), true};
        QTest::newRow("custom price") << Row{stock, type(12), Shown{}, set("doubleSpinBox_SO_MST_BuyCustomPrice", 10.58), A([](F& s) { s.OrderPrice = 10.58; }), true};
        QTest::newRow("sign") << Row{stock, shift(2), Shown{}, click(sign), shift(-2), true};
        QTest::newRow("limit-up") << Row{stock, none, Shown{}, click("checkBox_SO_MST_UpperLimit"), A([](F& s) { s.NoSellAtLimitUp = false; }), true};
        QTest::newRow("unit") << Row{stock, none, Shown{}, Edit([](QWidget* d) {
            part<QPushButton>(d, "pushButton_SO_MST_BuyFloat_Unit")->click();
            part<QDoubleSpinBox>(d, "doubleSpinBox_SO_MST_BuyFloat_Percentage")->setValue(2.25);
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
        QTest::newRow("zero volume refused") << Row{stock, none, Shown{}, Edit([=](QWidget* d) { part<QSpinBox>(d, kVolume)->setValue(0); part<QAbstractButton>(d, sign)->click(); }),
                                                    none, false, "委托数量不能为0，请重新输入"};
    }
    void confirmedCopy()
    {
        QFETCH(Row, row);
        const auto& [accountId, stored, shown, edit, written, changed, refusal] = row;
        SchedOrdSubTaskField sub = waitingSubTask();
        stored(sub);
        open(accountId, waitingSubTask('i'));
        // Opened before on the second kind of both sides: the reset must start again from the first.
        reopen(waitingSubTask('j'));
        reopen(sub);
        for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
            const bool hidden = it.key().startsWith(QLatin1Char('!'));
            QWidget* widget = part<QWidget>(m_dialog, it.key().mid(hidden ? 1 : 0));
            QVariant actual = widget->property(qobject_cast<QTimeEdit*>(widget) ? "time" : widget->inherits("QAbstractSpinBox") ? "value" : "text");
            if (hidden)
                actual = widget->isHidden();
            else if (auto* combo = qobject_cast<QComboBox*>(widget))
                actual = combo->currentIndex() < 0 ? QVariant(-1) : it.value().type() == QVariant::String ? combo->currentText() : combo->currentData();
            QVERIFY2(actual.toString() == it->toString(), qPrintable(it.key() + ": " + actual.toString() + " != " + it->toString()));
        }
        edit(m_dialog);
        QSignalSpy ok(m_dialog, &ISubModuleDlg::signal_pushbutton_ok);
        m_confirmed = !changed;   // OK must set the flag either way, a refusal leave it
        confirm();
        QCOMPARE(ok.count(), refusal.isEmpty() ? 1 : 0);
        QCOMPARE(VelmTest::popups(m_dialog), refusal.isEmpty() ? QStringList() : QStringList{refusal});
        written(sub);
        QCOMPARE(VelmTest::subTaskDifferences(m_edited, sub), QStringList());
        QCOMPARE(m_confirmed, refusal.isEmpty() ? changed : !changed);
    }

    void unitSwitchClearsBothBoxes()
    {
        open(m_account, waitingSubTask());
        auto* unit = part<QPushButton>(m_dialog, "pushButton_SO_MST_BuyFloat_Unit");
        auto* tick = part<QSpinBox>(m_dialog, "spinBox_SO_MST_BuyFloat_Tick");
        auto* percentage = part<QDoubleSpinBox>(m_dialog, "doubleSpinBox_SO_MST_BuyFloat_Percentage");
        for (const QString& text : {QStringLiteral("%"), QStringLiteral("tick")}) {
            tick->setValue(4);
            percentage->setValue(1.5);
            unit->click();
            QCOMPARE(unit->text(), text);
            QCOMPARE(tick->isHidden(), text == "%");
            QCOMPARE(tick->value() + percentage->value(), 0.0);
        }
    }

    // Through the table.
    void modifyButton_data()
    {
        QTest::addColumn<ModifyClick>("r");
        QTest::newRow("sent") << ModifyClick{SubTriggerStatus::Sent, "600000.SH", true, "该子任务已触发过，无法修改参数"};
        QTest::newRow("unknown security") << ModifyClick{SubTriggerStatus::NotTriggered, "abc001.SH", true, "该子任务的证券信息获取失败，无法修改参数"};
        QTest::newRow("no dialog content") << ModifyClick{SubTriggerStatus::NotTriggered, "600000.SH", false, "修改对话框加载失败，无法修改参数"};
        QTest::newRow("not triggered opens") << ModifyClick{SubTriggerStatus::NotTriggered, "600000.SH", true, {}};
        QTest::newRow("rejected opens") << ModifyClick{SubTriggerStatus::Rejected, "600000.SH", true, {}};
    }
    void modifyButton()
    {
        QFETCH(ModifyClick, r);
        const F stored = addTask([&](F& sub) { sub.TriggerStatus = r.triggerStatus; sub.TargetVolume = 1300; }, r.securityKey);
        useModuleDialogContent(r.content);
        QStringList seen;
        click(rowKey(stored), [&](FramelessFloatDlg* dialog, QWidget* content) {
            seen << QString::number(dialog->windowFlags()) << QString::number(dialog->subwinType()) << QString::number(dialog->accountId())
                 << part<QLabel>(content, "label_SO_MST_SecurityName")->text() << part<QSpinBox>(content, kVolume)->text();
            part<QSpinBox>(content, kVolume)->setValue(100);
            part<QPushButton>(content, "pushButton_SO_MST_bottom_Cancel")->click();
        });
        const QStringList opened{"2051", "34", "1701", "600000 浦发银行 买入", "1300"};
        QCOMPARE(seen, r.refusal.isEmpty() ? opened : QStringList());
        QCOMPARE(m_service->modifyRequestCount(), 0);   // cancelled; the dialog is gone after its run
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!qobject_cast<FramelessFloatDlg*>(widget));
        QCOMPARE(VelmTest::popups(m_table.get()), r.refusal.isEmpty() ? QStringList() : QStringList{r.refusal});
    }

    // Confirmed in the dialog: a change sends the whole copy once (fill counters cleared), and the table shows it.
    void confirmation_data()
    {
        QTest::addColumn<Confirmation>("c");
        QTest::newRow("unchanged sends nothing") << Confirmation{QTime(), 0, ""};
        QTest::newRow("new time and volume") << Confirmation{QTime(9, 10, 0), 500, "09:00:00 修改子任务 #%1：买入 买一价 500股 设定时间09:10:00"};
    }
    void confirmation()
    {
        QFETCH(Confirmation, c);
        const F stored = addTask([](F& s) {
            s.PriceType = 2; s.PriceFloatType = PriceFloatType::Percent; s.PriceFloatValue = -0.5; s.NoBuyAtLimitDown = false;
            s.HostCode = 'q'; s.HostValue = 987654321; s.OrderVolume = 55; s.TradeVolume = 44; s.ErrorMsg = "上次";
        }, QStringLiteral("600000.SH"), true);
        const QString key = rowKey(stored);
        click(key, [&](FramelessFloatDlg*, QWidget* content) {
            if (c.time.isValid())
                part<QTimeEdit>(content, "timeEdit_SO_MST_ScheduledTime")->setTime(c.time);
            setVolumeAndConfirm(content, c.volume ? c.volume : stored.TargetVolume);
        });
        QCOMPARE(m_service->modifyRequestCount(), c.volume ? 1 : 0);
        QCOMPARE(m_service->operationLog().filter(QStringLiteral("修改子任务")), c.log.isEmpty() ? QStringList() : QStringList{c.log.arg(key)});
        F expected = stored;
        if (c.volume) {
            expected.TargetVolume = c.volume;
            expected.OrderVolume = expected.TradeVolume = 0;
            expected.StartTime = SchedOrdTaskTime::fromQTime(c.time);
            QCOMPARE(VelmTest::subTaskDifferences(m_service->lastModifyRequest(), expected), QStringList());
        }
        QCOMPARE(cell(key, QStringLiteral("目标数量")) + ' ' + cell(key, QStringLiteral("设定时间")),
                 QString::number(expected.TargetVolume) + ' ' + SchedOrdTaskTime::toText(expected.StartTime));
    }

    // Reset and confirmation read the stored sub-task after the table freed its records (ASan catches a stale one).
    void storedSubTaskOutlivesReloadsDuringTheRun()
    {
        const F deleted = addTask([](F&) {}, QStringLiteral("000001.SZ"));
        const F stored = addTask([](F& sub) { sub.PriceFloatType = PriceFloatType::Percent; sub.PriceFloatValue = 1.5; });
        QString added;
        int volumeAfterReset = 0;
        click(rowKey(stored), [&](FramelessFloatDlg*, QWidget* content) {
            added = rowKey(addTask([](F&) {}, QStringLiteral("600036.SH"), false, false));
            m_service->DeleteMainTasks({deleted.MainTaskID});
            m_service->StartMainTasks({stored.MainTaskID});
            settle();
            part<QPushButton>(m_table.get(), "pushButton_somonitor_subtask_refresh")->click();
            settle();
            part<QSpinBox>(content, kVolume)->setValue(9);
            part<QPushButton>(content, "pushButton_SO_MST_bottom_reset")->click();
            volumeAfterReset = part<QSpinBox>(content, kVolume)->value();
            setVolumeAndConfirm(content, 450);
        });
        QCOMPARE(volumeAfterReset, 300);
        F expected = stored;
        expected.TargetVolume = 450;
        QCOMPARE(VelmTest::subTaskDifferences(m_service->lastModifyRequest(), expected), QStringList());
        // The table shows the service's state, not the snapshot.
        QCOMPARE(proxy()->rowCount(), 2);
        QVERIFY(rowOf(added) >= 0);
        QCOMPARE(cell(rowKey(stored), QStringLiteral("目标数量")), QStringLiteral("450"));
        QCOMPARE(cell(rowKey(stored), QStringLiteral("子任务状态")), QStringLiteral("运行中"));
    }

    // The lines after 设定时间, one row of text per case.
    void detailsToolTip_data()
    {
        QTest::addColumn<int>("apiType");
        QTest::addColumn<Adjust>("adjust");
        QTest::addColumn<QString>("middleLines");
        const int stock = 1, credit = 2;
        QTest::newRow("half a percent down") << stock << Adjust([](F& s) { s.Direction = '1'; s.PriceType = 2; s.PriceFloatType = '1'; s.PriceFloatValue = -0.5; })
            << "买卖方向：卖出|目标数量：300|价格类型：买一价|价格浮动：-0.5 %|涨停不卖：是|跌停不买：是";
        QTest::newRow("two ticks up") << stock << Adjust([](F& s) { s.PriceFloatValue = 2; s.NoSellAtLimitUp = false; })
            << "买卖方向：买入|目标数量：300|价格类型：卖一价|价格浮动：+2 tick|涨停不卖：不限制|跌停不买：是";
        QTest::newRow("custom price, no float") << stock << Adjust([](F& s) { s.PriceType = 12; s.OrderPrice = 10.57; s.NoBuyAtLimitDown = false; })
            << "买卖方向：买入|目标数量：300|价格类型：自定价|价格浮动：无|指定价格：10.57|涨停不卖：是|跌停不买：不限制";
        QTest::newRow("limit-down shows no price") << stock << Adjust([](F& s) { s.Direction = '1'; s.PriceType = 15; s.PriceFloatValue = -1; s.OrderPrice = 9.32; })
            << "买卖方向：卖出|目标数量：300|价格类型：跌停价|价格浮动：-1 tick|涨停不卖：是|跌停不买：是";
        QTest::newRow("six significant digits") << stock << Adjust([](F& s) { s.PriceType = 12; s.PriceFloatType = '1'; s.PriceFloatValue = 1.23456789; s.OrderPrice = 1234.5678; })
            << "买卖方向：买入|目标数量：300|价格类型：自定价|价格浮动：+1.23457 %|指定价格：1234.57|涨停不卖：是|跌停不买：是";
        QTest::newRow("credit, financed buy") << credit << Adjust([](F& s) { s.Direction = 'i'; s.PriceType = 0; })
            << "买卖方向：融资买入|目标数量：300|价格类型：最新价|价格浮动：无|涨停不卖：是|跌停不买：是";
    }
    void detailsToolTip()
    {
        QFETCH(int, apiType);
        QFETCH(Adjust, adjust);
        QFETCH(QString, middleLines);
        setUpService(apiType);
        click(rowKey(addTask(adjust, QStringLiteral("600000.SH"), false, true, at(14, 5, 9))), {}, kParametersColumn);
        // A tool tip, no dialog.
        QCOMPARE(VelmTest::popups(nullptr), QStringList{"tooltip: 证券代码：600000\n证券名称：浦发银行\n设定时间：14:05:09\n" + middleLines.replace('|', '\n') + '\n'});
    }

private:
    // A value in every field, so that a field the dialog must not touch shows up when touched.
    static SchedOrdSubTaskField waitingSubTask(char direction = Direction::Buy)
    {
        SchedOrdSubTaskField sub;
        sub.MainTaskID = 7; sub.SubTaskID = 70;
        sub.SecurityKey = "600000.SH"; sub.SecurityID = "600000"; sub.ExchangeID = Exchange::Shanghai;
        sub.Direction = direction; sub.TargetVolume = 300; sub.PriceType = 1; sub.PriceFloatType = PriceFloatType::Tick;
        sub.SubTaskStatus = SubTaskStatus::Running; sub.TriggerStatus = SubTriggerStatus::NotTriggered; sub.TriggerTime = at(0, 0, 0);
        sub.StartTime = sub.EndTime = at(10, 15, 30);
        sub.NoSellAtLimitUp = true; sub.NoBuyAtLimitDown = false;
        sub.HostCode = 'h'; sub.HostValue = 4242; sub.ErrorMsg = "kept";
        return sub;
    }
    void open(int accountId, const SchedOrdSubTaskField& stored)
    {
        m_dialog = qobject_cast<Velm_Space::SchedOrd_ModifySubTaskParamWid*>(
            Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg(accountId, 0, m_dialogParent.get()));
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
    void confirm() { part<QPushButton>(m_dialog, "pushButton_SO_MST_bottom_OK")->click(); }
    // A task of one buy of 300 at ask 1, adjusted; then the table, unless it is open already.
    F addTask(const Adjust& adjust, const QString& key = QStringLiteral("600000.SH"), bool start = false, bool open = true,
              int64_t startTime = at(9, 30, 0))
    {
        SchedOrdTaskField task = VelmTest::makeMainTask(*m_service, QStringLiteral("任务"), {{key, Direction::Buy, startTime, 300, 1}});
        adjust(task.VecSubTask.front());
        task.Direction = task.VecSubTask.front().Direction;
        m_service->AddMainTasks({task});
        if (start)
            m_service->StartMainTasks({task.MainTaskID});
        if (open)
            openTable<Velm_Space::SchedOrd_TableSubTaskWid>();
        m_service->waitForEngineIdle();
        return m_service->getOneMainTask(task.MainTaskID).VecSubTask.at(0);
    }
    int rowOf(const QString& key) const
    {
        const QModelIndexList found = proxy()->match(proxy()->index(0, proxy()->columnCount() - 1), Qt::DisplayRole, key, 1, Qt::MatchExactly);
        return found.isEmpty() ? -1 : found.first().row();
    }
    QString cell(const QString& key, const QString& title) const
    {
        for (int column = 0; column < proxy()->columnCount(); ++column) {
            if (proxy()->headerData(column, Qt::Horizontal).toString() == title)
                return proxy()->index(rowOf(key), column).data().toString();
        }
        return QStringLiteral("<no column %1>").arg(title);
    }
    // Clicks the row's button; `steps` run inside the dialog's modal run, which is then rejected if still open.
    void click(const QString& key, const Steps& steps = {}, int column = kOperationColumn)
    {
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            const QPointer<FramelessFloatDlg> dialog = qobject_cast<FramelessFloatDlg*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            if (steps)
                steps(dialog, dialog->content());
            if (dialog && dialog->isVisible())
                dialog->reject();
        });
        poll.start(5);
        const QModelIndex index = proxy()->index(rowOf(key), column);
        QVERIFY2(index.isValid(), qPrintable(key));
        view()->scrollTo(index);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, view()->buttonRect(index, 0).center());
        settle();
    }

    std::unique_ptr<QWidget> m_dialogParent = std::make_unique<QWidget>();
    Velm_Space::SchedOrd_ModifySubTaskParamWid* m_dialog = nullptr;
    SchedOrdSubTaskField m_stored;
    SchedOrdSubTaskField m_edited;
    bool m_confirmed = false;
};

QTEST_MAIN(ModifyFlowTest)
#include "tst_modifyflow.moc"
