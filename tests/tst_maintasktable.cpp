#include "MyHeaderViewWithCheckbox.h"
#include "MyItemDelegateSO.h"
#include "MyTableViewSO.h"
#include "SchedOrdClock.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TableMainTaskWid.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "VelmClient.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QAbstractItemModelTester>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QtTest>

#include <memory>
#include <thread>

using namespace VELMSCHEDORDAPI;
using Velm_Space::MyItemDelegateSO;
using Velm_Space::MyTableViewSO;
using Velm_Space::SchedOrd_TableMainTaskWid;

namespace {

constexpr int kAccount = 1101;

int64_t at(int hour, int minute, int second)
{
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

} // namespace

// The main-task table: its columns, how it follows the service, and its buttons.
class MainTaskTableTest : public QObject
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
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("浦发"), QStringLiteral("600000.SH"), 2, at(9, 30, 0)));
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("平安"), QStringLiteral("000001.SZ"), 1, at(9, 31, 0), '1'));
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("茅台"), QStringLiteral("600519.SH"), 3, at(9, 32, 0)));
        m_service->waitForEngineIdle();
    }

    void cleanup()
    {
        m_table.reset();
        VelmTest::removeAllAccounts();
    }

    // The titles the trader reads, the row button, and rows in main-task id order.
    void columnsAndRows()
    {
        open();
        QStringList titles;
        for (int column = 0; column < model()->columnCount(); ++column)
            titles.append(model()->headerData(column, Qt::Horizontal).toString());
        QCOMPARE(titles, (QStringList{"", "母任务号", "母任务名称", "买卖方向", "设定时间", "母任务状态", "触发状态",
                                      "创建时间", "操作", "hiddenColumnm"}));
        QVERIFY(view()->isColumnHidden(9));
        auto* delegate = qobject_cast<MyItemDelegateSO*>(view()->itemDelegate());
        QCOMPARE(delegate->colorColumnIndex(), 3);
        const QVector<Velm_Space::TableBtnInfo> buttons = delegate->columnButtons(8);
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(buttons.first().type, Velm_Space::Delete);
        QCOMPARE(buttons.first().text, QStringLiteral("删除"));

        QCOMPARE(proxy()->rowCount(), 3);
        for (int row = 0; row < 3; ++row)
            QCOMPARE(proxy()->index(row, 9).data().toInt(), m_ids[row]);
        QCOMPARE(cell(2, 7), QStringLiteral("未触发(0/3)"));
    }

    void followsTheServiceFromItsThread()
    {
        open();
        // Given a task added from another thread, when its signal arrives, then one row is appended.
        int added = 0;
        std::thread producer([&] {
            added = VelmTest::addMainTask(*m_service, QStringLiteral("五粮液"), QStringLiteral("000858.SZ"), 2, at(9, 40, 0));
        });
        producer.join();
        settle();
        QCOMPARE(proxy()->rowCount(), 4);
        QCOMPARE(proxy()->index(3, 9).data().toInt(), added);

        // A start and a fire change the row in place.
        m_service->StartMainTasks({m_ids[0]});
        settle();
        QCOMPARE(cell(0, 6), QStringLiteral("运行中"));
        m_clock->setNow(at(9, 30, 0));
        settle();
        QCOMPARE(cell(0, 6), QStringLiteral("全部触发"));
        QCOMPARE(cell(0, 7), QStringLiteral("全部触发(2/2)"));
        QCOMPARE(proxy()->rowCount(), 4);
    }

    void unknownIdsChangeNothing()
    {
        open();
        QSignalSpy inserted(model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
        QSignalSpy reset(model(), &QAbstractItemModel::modelReset);
        emit m_service->signalRtnMainTaskAdded(4242);
        emit m_service->signalRtnMainTaskChanged(4242);
        emit m_service->signalRtnSubTaskChanged(m_ids[0], {1, 2, 3});
        QCoreApplication::processEvents();
        QCOMPARE(proxy()->rowCount(), 3);
        QCOMPARE(inserted.count(), 0);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(reset.count(), 0);
    }

    void deletionReloadsEverything()
    {
        open();
        check(0);
        QSignalSpy reset(model(), &QAbstractItemModel::modelReset);
        m_service->DeleteMainTasks({m_ids[1]});
        settle();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(proxy()->rowCount(), 2);
        QCOMPARE(proxy()->index(1, 9).data().toInt(), m_ids[2]);

        // A deletion signal reloads even when nothing the table shows went away; so does 刷 新.
        emit m_service->signalRtnMainTaskDeleted();
        QCoreApplication::processEvents();
        QCOMPARE(reset.count(), 2);
        clickButton(QStringLiteral("pushButton_schedord_maintask_refresh"));
        QCOMPARE(reset.count(), 3);
        QCOMPARE(proxy()->rowCount(), 2);
    }

    void startAndPauseTheCheckedTasks_data()
    {
        QTest::addColumn<QList<int>>("checkedRows");
        QTest::addColumn<QString>("expectedStatuses");
        QTest::newRow("nothing checked") << QList<int>{} << "111";
        QTest::newRow("first and last") << QList<int>{0, 2} << "212";
        QTest::newRow("all") << QList<int>{0, 1, 2} << "222";
    }
    void startAndPauseTheCheckedTasks()
    {
        QFETCH(QList<int>, checkedRows);
        QFETCH(QString, expectedStatuses);
        open();
        for (int row : checkedRows)
            check(row);
        clickButton(QStringLiteral("pushButton_schedord_maintask_start"));
        QString statuses;
        for (int id : m_ids)
            statuses.append(QLatin1Char(m_service->getOneMainTask(id).MainTaskStatus));
        QCOMPARE(statuses, expectedStatuses);
        QVERIFY(gWM->popups().isEmpty());

        // The table shows it only once the service reports it.
        settle();
        for (int row : checkedRows)
            QCOMPARE(cell(row, 6), QStringLiteral("运行中"));

        clickButton(QStringLiteral("pushButton_schedord_maintask_pause"));
        for (int row = 0; row < 3; ++row) {
            const char expected = checkedRows.contains(row) ? '3' : '1';
            QCOMPARE(m_service->getOneMainTask(m_ids[row]).MainTaskStatus, expected);
        }
    }

    void batchDeleteAsksFirst_data()
    {
        QTest::addColumn<QList<int>>("checkedRows");
        QTest::addColumn<bool>("startFirst");
        QTest::addColumn<bool>("pauseFirst");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("rowsLeft");
        const QString running = QStringLiteral("有任务处于监控运行状态，\n是否确认立即停止并批量删除任务？");
        const QString plain = QStringLiteral("是否确认批量删除任务？\n ");
        QTest::newRow("nothing checked, confirmed") << QList<int>{} << false << false << true << plain << 3;
        QTest::newRow("not started counts as running") << QList<int>{1} << false << false << true << running << 2;
        QTest::newRow("running, declined") << QList<int>{0, 1} << true << false << false << running << 3;
        QTest::newRow("paused, confirmed") << QList<int>{0, 2} << true << true << true << plain << 1;
    }
    void batchDeleteAsksFirst()
    {
        QFETCH(QList<int>, checkedRows);
        QFETCH(bool, startFirst);
        QFETCH(bool, pauseFirst);
        QFETCH(bool, confirm);
        QFETCH(QString, message);
        QFETCH(int, rowsLeft);
        if (startFirst)
            m_service->StartMainTasks(std::vector<int>(m_ids.cbegin(), m_ids.cend()));
        if (pauseFirst)
            m_service->PauseMainTasks(std::vector<int>(m_ids.cbegin(), m_ids.cend()));
        open();
        for (int row : checkedRows)
            check(row);
        gWM->queueConfirmAnswer(confirm);
        clickButton(QStringLiteral("pushButton_schedord_maintask_delete"));

        QCOMPARE(gWM->popups().size(), 1);
        QCOMPARE(gWM->popups().first().kind, PopupRecord::Confirm);
        QCOMPARE(gWM->popups().first().title, QStringLiteral("删除任务"));
        QCOMPARE(gWM->popups().first().text, message);
        QCOMPARE(gWM->popups().first().parent.data(), static_cast<QWidget*>(m_table.get()));
        settle();
        QCOMPARE(int(m_service->getVecMainTask().size()), rowsLeft);
        QCOMPARE(proxy()->rowCount(), rowsLeft);
    }

    void rowButtonDeletesOneTask_data()
    {
        QTest::addColumn<bool>("start");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("messageFormat");
        QTest::newRow("not started") << false << true << QStringLiteral("是否确认删除该任务（#%1_茅台）？\n ");
        QTest::newRow("running, declined") << true << false
                                           << QStringLiteral("当前任务（#%1_茅台）处于运行状态，\n是否确认立即停止并删除该任务？");
        QTest::newRow("running, confirmed") << true << true
                                            << QStringLiteral("当前任务（#%1_茅台）处于运行状态，\n是否确认立即停止并删除该任务？");
    }
    void rowButtonDeletesOneTask()
    {
        QFETCH(bool, start);
        QFETCH(bool, confirm);
        QFETCH(QString, messageFormat);
        if (start)
            m_service->StartMainTasks({m_ids[2]});
        open();
        gWM->queueConfirmAnswer(confirm);
        const QRect button = view()->buttonRect(proxy()->index(2, 8), 0);
        QVERIFY(!button.isEmpty());
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, button.center());

        QCOMPARE(gWM->popups().size(), 1);
        QCOMPARE(gWM->popups().first().title, QStringLiteral("删除任务"));
        QCOMPARE(gWM->popups().first().text, messageFormat.arg(m_ids[2]));
        settle();
        QCOMPARE(m_service->getOneMainTask(m_ids[2]).MainTaskID == m_ids[2], !confirm);
        QCOMPARE(proxy()->rowCount(), confirm ? 2 : 3);
    }

    void headerCheckBox_data()
    {
        QTest::addColumn<int>("taskCount");
        QTest::addColumn<QList<int>>("checkedRows");
        QTest::addColumn<int>("headerState");
        QTest::newRow("none") << 3 << QList<int>{} << int(Qt::Unchecked);
        QTest::newRow("some") << 3 << QList<int>{1} << int(Qt::PartiallyChecked);
        QTest::newRow("all") << 3 << QList<int>{0, 1, 2} << int(Qt::Checked);
        QTest::newRow("empty table") << 0 << QList<int>{} << int(Qt::Unchecked);
    }
    void headerCheckBox()
    {
        QFETCH(int, taskCount);
        QFETCH(QList<int>, checkedRows);
        QFETCH(int, headerState);
        if (taskCount == 0)
            m_service->DeleteMainTasks(std::vector<int>(m_ids.cbegin(), m_ids.cend()));
        open();
        // Rows are toggled as the trader does: through the delegate, which asks the table to recount.
        for (int row : checkedRows) {
            const QRect cell = view()->visualRect(proxy()->index(row, 0));
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        }
        if (checkedRows.isEmpty() && taskCount > 0) {
            const QRect cell = view()->visualRect(proxy()->index(0, 0));
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
        }
        if (taskCount == 0)
            QMetaObject::invokeMethod(m_table.get(), "slotTableCheckStateChanged");
        QCOMPARE(proxy()->headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt(), headerState);

        // The header's own check box then checks or clears every row.
        QMetaObject::invokeMethod(m_table.get(), "slotHeaderCheckStateChanged", Q_ARG(bool, true));
        for (int row = 0; row < proxy()->rowCount(); ++row)
            QCOMPARE(proxy()->index(row, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QMetaObject::invokeMethod(m_table.get(), "slotHeaderCheckStateChanged", Q_ARG(bool, false));
        for (int row = 0; row < proxy()->rowCount(); ++row)
            QCOMPARE(proxy()->index(row, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    }

    void settingButtonOpensTheHostPage()
    {
        open();
        // Without a host main window the button does nothing.
        gWM->setCurrentMainWindow(nullptr);
        clickButton(QStringLiteral("pushButton_schedord_maintask_setting"));

        VelmClient client;
        QCOMPARE(gWM->getCurrentMainWindow(), &client);
        QVERIFY(!client.settingsDialog());
        clickButton(QStringLiteral("pushButton_schedord_maintask_setting"));
        QVERIFY(client.settingsDialog());
        QVERIFY(client.settingsDialog()->isVisible());
    }

private:
    void open()
    {
        m_table = std::make_unique<SchedOrd_TableMainTaskWid>(kAccount, m_service, nullptr);
        m_table->resize(928, 300);
        m_table->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_table.get()));
        new QAbstractItemModelTester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal, m_table.get());
        new QAbstractItemModelTester(proxy(), QAbstractItemModelTester::FailureReportingMode::Fatal, m_table.get());
        // Signals of the additions made before the table existed may still be on their way.
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
        return view()->model();
    }

    QAbstractItemModel* model() const
    {
        return qobject_cast<QSortFilterProxyModel*>(proxy())->sourceModel();
    }

    MyTableViewSO* view() const
    {
        return m_table->findChild<MyTableViewSO*>(QStringLiteral("tableview_SO_monitorMainTask"));
    }

    QString cell(int row, int columnId) const
    {
        return proxy()->index(row, columnOf(columnId)).data().toString();
    }

    int columnOf(int columnId) const
    {
        const QList<int> ids{1, 2, 3, 4, 6, 7, 8, 10};
        return ids.indexOf(columnId) + 1;
    }

    void check(int row)
    {
        QVERIFY(proxy()->setData(proxy()->index(row, 0), Qt::Checked, Qt::CheckStateRole));
    }

    void clickButton(const QString& objectName)
    {
        auto* button = m_table->findChild<QPushButton*>(objectName);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    UserData* m_userData = nullptr;
    ServiceScheduledOrder* m_service = nullptr;
    std::shared_ptr<ManualSchedOrdClock> m_clock;
    std::unique_ptr<SchedOrd_TableMainTaskWid> m_table;
    QList<int> m_ids;
};

QTEST_MAIN(MainTaskTableTest)
#include "tst_maintasktable.moc"

