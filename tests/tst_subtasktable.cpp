#include "MyItemDelegateSO.h"
#include "MySFProxyModelSOSubTask.h"
#include "MyTableViewSO.h"
#include "SchedOrdClock.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TableSubTaskWid.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace VELMSCHEDORDAPI;
using Velm_Space::MyItemDelegateSO;
using Velm_Space::MySFProxyModelSOSubTask;
using Velm_Space::MyTableViewSO;
using Velm_Space::SchedOrd_TableSubTaskWid;

namespace {

constexpr int kAccount = 1201;
constexpr int kSecurityColumn = 2;
constexpr int kTriggerColumn = 7;
constexpr int kKeyColumn = 15;

int64_t at(int hour, int minute, int second)
{
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

} // namespace

// The sub-task table: rows of every main task, its two filters, and updates in place.
class SubTaskTableTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        qRegisterMetaType<Velm_Space::TableBtnType>();
    }

    void init()
    {
        VelmTest::setUpWindowManager();
        m_userData = VelmTest::addStockAccount(kAccount);
        m_userData->initScheduledOrderApi();
        m_service = m_userData->getServiceScheduledOrder();
        m_clock = VelmTest::driveClock(*m_service, at(9, 0, 0));
        m_ids.clear();
        const SchedOrdTaskField basket = VelmTest::makeMainTask(
            *m_service, QStringLiteral("篮子"),
            {{QStringLiteral("600000.SH"), '0', at(9, 30, 0)}, {QStringLiteral("000001.SZ"), '1', at(9, 30, 0)},
             {QStringLiteral("600036.SH"), '0', at(9, 31, 0)}});
        m_service->AddMainTasks({basket});
        m_ids.append(basket.MainTaskID);
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("茅台"), QStringLiteral("600519.SH"), 2, at(9, 45, 0)));
        const SchedOrdTaskField letters = VelmTest::makeMainTask(*m_service, QStringLiteral("字母"),
                                                                 {{QStringLiteral("abc001.SH"), '0', at(10, 0, 0)}});
        m_service->AddMainTasks({letters});
        m_ids.append(letters.MainTaskID);
        m_service->waitForEngineIdle();
    }

    void cleanup()
    {
        m_table.reset();
        VelmTest::removeAllAccounts();
    }

    // Every sub-task in service order, the buttons, and the main-task choices the trader reads.
    void rowsButtonsAndChoices()
    {
        open();
        QStringList expected;
        for (const SchedOrdSubTaskField& sub : m_service->getVecAllSubTask())
            expected.append(QStringLiteral("%1_%2").arg(sub.MainTaskID).arg(sub.SubTaskID));
        QCOMPARE(expected.size(), 6);
        QCOMPARE(visibleKeys(), expected);
        QCOMPARE(proxy()->index(1, 3).data().toString(), QStringLiteral("平安银行"));

        auto* view = m_table->findChild<MyTableViewSO*>(QStringLiteral("tableview_SO_monitorSubTask"));
        QVERIFY(view->isColumnHidden(kKeyColumn));
        auto* delegate = qobject_cast<MyItemDelegateSO*>(view->itemDelegate());
        QCOMPARE(delegate->colorColumnIndex(), 4);
        QCOMPARE(delegate->columnButtons(13).first().type, Velm_Space::ViewDetail);
        QCOMPARE(delegate->columnButtons(13).first().text, QStringLiteral("点击查看"));
        QCOMPARE(delegate->columnButtons(14).first().type, Velm_Space::Modify);
        QCOMPARE(delegate->columnButtons(14).first().text, QStringLiteral("修改"));
        QCOMPARE(comboTexts(), (QStringList{"全部", QStringLiteral("[#%1] 篮子").arg(m_ids[0]),
                                            QStringLiteral("[#%1] 茅台").arg(m_ids[1]),
                                            QStringLiteral("[#%1] 字母").arg(m_ids[2])}));
        QCOMPARE(combo()->itemData(0).toInt(), -1);
        QCOMPARE(combo()->itemData(2).toInt(), m_ids[1]);
    }

    void mainTaskFilterKeepsItsChoice()
    {
        open();
        chooseMainTask(m_ids[1]);
        QCOMPARE(visibleKeys().size(), 2);

        // Given a main task added while another is chosen, the choice survives the refill.
        const int added = VelmTest::addMainTask(*m_service, QStringLiteral("五粮液"), QStringLiteral("000858.SZ"), 1, at(9, 50, 0));
        settle();
        QCOMPARE(combo()->count(), 5);
        QCOMPARE(combo()->currentData().toInt(), m_ids[1]);
        QCOMPARE(visibleKeys().size(), 2);
        QCOMPARE(comboTexts().last(), QStringLiteral("[#%1] 五粮液").arg(added));

        // With 全部 chosen an addition keeps 全部 and shows the new rows.
        chooseMainTask(-1);
        VelmTest::addMainTask(*m_service, QStringLiteral("宁德"), QStringLiteral("300750.SZ"), 2, at(9, 55, 0));
        settle();
        QCOMPARE(combo()->currentIndex(), 0);
        QCOMPARE(visibleKeys().size(), 9);
    }

    void mainTaskFilterFallsBackWhenTheTaskGoes()
    {
        open();
        chooseMainTask(m_ids[0]);
        QCOMPARE(visibleKeys().size(), 3);
        m_service->DeleteMainTasks({m_ids[0]});
        settle();
        QCOMPARE(combo()->currentIndex(), 0);
        QCOMPARE(combo()->currentText(), QStringLiteral("全部"));
        QCOMPARE(combo()->count(), 3);
        QCOMPARE(visibleKeys().size(), 3);
        QCOMPARE(qobject_cast<MySFProxyModelSOSubTask*>(proxy())->filterMainTaskId(), -1);
    }

    void refreshLeavesTheFilterListAlone()
    {
        open();
        VelmTest::addMainTask(*m_service, QStringLiteral("新任务"), QStringLiteral("601318.SH"), 1, at(9, 58, 0));
        // Before the addition's signal is handled, the refresh button shows the rows but keeps the list.
        QTest::mouseClick(m_table->findChild<QPushButton*>(QStringLiteral("pushButton_somonitor_subtask_refresh")),
                          Qt::LeftButton);
        QCOMPARE(visibleKeys().size(), 7);
        QCOMPARE(combo()->count(), 4);
        settle();
        QCOMPARE(combo()->count(), 5);
    }

    void securityFilter_data()
    {
        QTest::addColumn<int>("mainTaskChoice");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("empty text") << -1 << "" << QStringList{"600000", "000001", "600036", "600519", "600519", "abc001"};
        QTest::newRow("prefix 6") << -1 << "6" << QStringList{"600000", "600036", "600519", "600519"};
        QTest::newRow("prefix 6000") << -1 << "6000" << QStringList{"600000", "600036"};
        QTest::newRow("same case") << -1 << "abc" << QStringList{"abc001"};
        QTest::newRow("with a main task") << 0 << "6" << QStringList{"600000", "600036"};
        QTest::newRow("main task, no match") << 1 << "000" << QStringList{};
    }
    void securityFilter()
    {
        QFETCH(int, mainTaskChoice);
        QFETCH(QString, text);
        QFETCH(QStringList, codes);
        open();
        if (mainTaskChoice >= 0)
            chooseMainTask(m_ids[mainTaskChoice]);
        auto* edit = m_table->findChild<QLineEdit*>(QStringLiteral("lineEdit_somonitor_subtask_filter_securityID"));
        edit->setText(QStringLiteral("zzz"));
        edit->clear();
        // Typed key by key: every change reaches the proxy at once.
        QTest::keyClicks(edit, text);
        QCOMPARE(qobject_cast<MySFProxyModelSOSubTask*>(proxy())->filterSecurityID(), text);
        QStringList shown;
        for (int row = 0; row < proxy()->rowCount(); ++row)
            shown.append(proxy()->index(row, kSecurityColumn).data().toString());
        QCOMPARE(shown, codes);
    }

    void changedSubTasksUpdateInPlace()
    {
        m_service->StartMainTasks({m_ids[0]});
        open();
        QSignalSpy reset(model(), &QAbstractItemModel::modelReset);
        QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
        m_clock->setNow(at(9, 30, 0));
        settle();
        QCOMPARE(reset.count(), 0);
        // The two sub-tasks due at 09:30 changed; the third waits.
        QCOMPARE(changed.count(), 2);
        QVERIFY(proxy()->index(0, kTriggerColumn).data().toString().startsWith(QStringLiteral("已触发")));
        QVERIFY(proxy()->index(1, kTriggerColumn).data().toString().startsWith(QStringLiteral("已触发")));
        QCOMPARE(proxy()->index(2, kTriggerColumn).data().toString(), QStringLiteral("未触发"));
        QCOMPARE(proxy()->index(0, 11).data().toString(), QStringLiteral("09:30:00"));
        QCOMPARE(proxy()->index(2, 6).data().toString(), QStringLiteral("运行中"));
    }

    void changesForUnknownRowsAreSkipped()
    {
        open();
        QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
        const SchedOrdSubTaskField first = m_service->getVecAllSubTask().front();
        emit m_service->signalRtnSubTaskChanged(m_ids[0], {9999, 8888});
        emit m_service->signalRtnSubTaskChanged(4242, {first.SubTaskID});
        emit m_service->signalRtnSubTaskChanged(m_ids[1], {first.SubTaskID});
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 0);
        emit m_service->signalRtnSubTaskChanged(m_ids[0], {first.SubTaskID, 9999});
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 1);
    }

    void headerCheckBoxActsOnVisibleRowsOnly()
    {
        open();
        chooseMainTask(m_ids[1]);
        QMetaObject::invokeMethod(m_table.get(), "slotHeaderCheckStateChanged", Q_ARG(bool, true));
        int checked = 0;
        for (int row = 0; row < model()->rowCount(); ++row) {
            if (model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
                ++checked;
        }
        QCOMPARE(checked, 2);
        QMetaObject::invokeMethod(m_table.get(), "slotTableCheckStateChanged");
        QCOMPARE(proxy()->headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt(), int(Qt::Checked));
        chooseMainTask(-1);
        QMetaObject::invokeMethod(m_table.get(), "slotTableCheckStateChanged");
        QCOMPARE(proxy()->headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));
    }

private:
    void open()
    {
        m_table = std::make_unique<SchedOrd_TableSubTaskWid>(kAccount, m_service, nullptr);
        m_table->resize(928, 300);
        m_table->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_table.get()));
        new QAbstractItemModelTester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal, m_table.get());
        new QAbstractItemModelTester(proxy(), QAbstractItemModelTester::FailureReportingMode::Fatal, m_table.get());
        settle();
    }

    void settle()
    {
        m_service->waitForEngineIdle();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    QAbstractItemModel* proxy() const
    {
        return m_table->findChild<MyTableViewSO*>(QStringLiteral("tableview_SO_monitorSubTask"))->model();
    }

    QAbstractItemModel* model() const
    {
        return qobject_cast<QSortFilterProxyModel*>(proxy())->sourceModel();
    }

    QComboBox* combo() const
    {
        return m_table->findChild<QComboBox*>(QStringLiteral("comboBox_subtask_maintaskname"));
    }

    QStringList visibleKeys() const
    {
        QStringList keys;
        for (int row = 0; row < proxy()->rowCount(); ++row)
            keys.append(proxy()->index(row, kKeyColumn).data().toString());
        return keys;
    }

    QStringList comboTexts() const
    {
        QStringList texts;
        for (int i = 0; i < combo()->count(); ++i)
            texts.append(combo()->itemText(i));
        return texts;
    }

    void chooseMainTask(int id)
    {
        combo()->setCurrentIndex(combo()->findData(id));
    }

    UserData* m_userData = nullptr;
    ServiceScheduledOrder* m_service = nullptr;
    std::shared_ptr<ManualSchedOrdClock> m_clock;
    std::unique_ptr<SchedOrd_TableSubTaskWid> m_table;
    QList<int> m_ids;
};

QTEST_MAIN(SubTaskTableTest)
#include "tst_subtasktable.moc"
