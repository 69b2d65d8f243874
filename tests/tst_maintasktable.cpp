#include "SchedOrd_TableMainTaskWid.h"
#include "TaskTableTest.h"
#include "VelmClient.h"

#include <QDialog>

#include <thread>

// The batch button deletes the checked `rows`, the row button its own row; `state`: of the tasks before the table opens.
struct Deletion { bool rowButton; QList<int> rows; char state; bool confirm; QString message; };
Q_DECLARE_METATYPE(Deletion)

// The main-task table: its columns, how it follows the service, and its buttons.
class MainTaskTableTest : public TaskTableTest
{
    Q_OBJECT
public:
    MainTaskTableTest() : TaskTableTest(1101, QStringLiteral("tableview_SO_monitorMainTask")) {}
    enum { kStatusColumn = 5, kTriggerColumn = 6, kIdColumn = 9 };

private slots:
    void init()
    {
        setUpService();
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("浦发"), QStringLiteral("600000.SH"), 2, at(9, 30, 0)));
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("平安"), QStringLiteral("000001.SZ"), 1, at(9, 31, 0), '1'));
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("茅台"), QStringLiteral("600519.SH"), 3, at(9, 32, 0)));
        open();
    }

    // The titles the trader reads, the row button, and rows in main-task id order.
    void columnsAndRows()
    {
        QStringList titles;
        for (int column = 0; column < model()->columnCount(); ++column)
            titles.append(model()->headerData(column, Qt::Horizontal).toString());
        QCOMPARE(titles, (QStringList{"", "母任务号", "母任务名称", "买卖方向", "设定时间", "母任务状态", "触发状态",
                                      "创建时间", "操作", "hiddenColumnm"}));
        QVERIFY(view()->isColumnHidden(kIdColumn));
        QCOMPARE(buttons(8), QStringList{QStringLiteral("%1 删除").arg(Velm_Space::Delete)});
        QCOMPARE(shownIds(), m_ids);
    }

    void followsTheServiceFromItsThread()
    {
        int added = 0;
        std::thread producer([&] {
            added = VelmTest::addMainTask(*m_service, QStringLiteral("五粮液"), QStringLiteral("000858.SZ"), 2, at(9, 40, 0));
        });
        producer.join();
        settle();
        QCOMPARE(shownIds(), m_ids + QList<int>{added});

        // A fire changes the started task's row in place.
        m_service->StartMainTasks({m_ids[0]});
        settle();
        m_clock->setNow(at(9, 30, 0));
        settle();
        QCOMPARE(column(kStatusColumn).first() + ' ' + column(kTriggerColumn).first(), QStringLiteral("全部触发 全部触发(2/2)"));
        QCOMPARE(proxy()->rowCount(), 4);
    }

    void unknownIdsChangeNothing()
    {
        QSignalSpy inserted(model(), &QAbstractItemModel::rowsInserted);
        QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
        QSignalSpy reset(model(), &QAbstractItemModel::modelReset);
        emit m_service->signalRtnMainTaskAdded(4242);
        emit m_service->signalRtnMainTaskChanged(4242);
        emit m_service->signalRtnSubTaskChanged(m_ids[0], {1, 2, 3});
        QCoreApplication::processEvents();
        QCOMPARE(proxy()->rowCount(), 3);
        QCOMPARE(inserted.count() + changed.count() + reset.count(), 0);
    }

    void deletionReloadsEverything()
    {
        check(0);
        QSignalSpy reset(model(), &QAbstractItemModel::modelReset);
        m_service->DeleteMainTasks({m_ids[1]});
        settle();
        QCOMPARE(reset.count(), 1);
        QCOMPARE(shownIds(), (QList<int>{m_ids[0], m_ids[2]}));

        // A deletion signal reloads even when nothing the table shows went away; so does 刷新.
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
        QTest::addColumn<QString>("started");
        QTest::newRow("nothing checked") << QList<int>{} << "111";
        QTest::newRow("first and last") << QList<int>{0, 2} << "212";
    }
    void startAndPauseTheCheckedTasks()
    {
        QFETCH(QList<int>, checkedRows);
        QFETCH(QString, started);
        for (int row : checkedRows)
            check(row);
        clickButton(QStringLiteral("pushButton_schedord_maintask_start"));
        QCOMPARE(statuses(), started);
        QCOMPARE(VelmTest::popups(m_table.get()), QStringList());
        settle(); // the table shows it only once the service reports it
        for (int row : checkedRows)
            QCOMPARE(column(kStatusColumn).at(row), QStringLiteral("运行中"));
        clickButton(QStringLiteral("pushButton_schedord_maintask_pause"));
        QCOMPARE(statuses(), started.replace('2', '3'));
    }

    // Once confirmed; the row button here is the last row's.
    void deleteAsksFirst_data()
    {
        QTest::addColumn<Deletion>("row");
        const QString running = QStringLiteral("有任务处于监控运行状态，\n是否确认立即停止并批量删除任务？");
        const QString plain = QStringLiteral("是否确认批量删除任务？\n ");
        const QString oneRunning = QStringLiteral("当前任务（#%1_茅台）处于运行状态，\n是否确认立即停止并删除该任务？");
        QTest::newRow("nothing checked, confirmed") << Deletion{false, {}, '1', true, plain};
        QTest::newRow("not started counts as running") << Deletion{false, {1}, '1', true, running};
        QTest::newRow("running, declined") << Deletion{false, {0, 1}, '2', false, running};
        QTest::newRow("paused, confirmed") << Deletion{false, {0, 2}, '3', true, plain};
        QTest::newRow("row, not started") << Deletion{true, {2}, '1', true, QStringLiteral("是否确认删除该任务（#%1_茅台）？\n ")};
        QTest::newRow("row, running, confirmed") << Deletion{true, {2}, '2', true, oneRunning};
    }
    void deleteAsksFirst()
    {
        QFETCH(Deletion, row);
        const auto& [rowButton, rows, state, confirm, message] = row;
        const std::vector<int> all(m_ids.cbegin(), m_ids.cend());
        if (state != '1') {
            m_service->StartMainTasks(rowButton ? std::vector<int>{m_ids[2]} : all);
            if (state == '3')
                m_service->PauseMainTasks(all);
            open();
        }
        gWM->queueConfirmAnswer(confirm);
        if (rowButton) {
            const QRect button = view()->buttonRect(proxy()->index(2, 8), 0);
            QVERIFY(!button.isEmpty());
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, button.center());
        } else {
            for (int checked : rows)
                check(checked);
            clickButton(QStringLiteral("pushButton_schedord_maintask_delete"));
        }
        QCOMPARE(VelmTest::popups(m_table.get()), QStringList{"confirm 删除任务: " + QString(message).replace("%1", QString::number(m_ids[2]))});
        settle();
        QList<int> left = m_ids;
        for (int deleted : rows)
            left.removeAll(confirm ? m_ids[deleted] : -1);
        QCOMPARE(int(m_service->getVecMainTask().size()), left.size());
        QCOMPARE(shownIds(), left);
    }

    // Rows are toggled as the trader does: through the delegate, which asks the table to recount. The header's
    // own check box clears every row; an empty table is never checked.
    void headerCheckBox()
    {
        for (int row : {0, 1, 2, 1})
            QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, view()->visualRect(proxy()->index(row, 0)).center());
        QCOMPARE(headerCheck(), int(Qt::PartiallyChecked));
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, Qt::NoModifier, view()->visualRect(proxy()->index(1, 0)).center());
        QCOMPARE(headerCheck(), int(Qt::Checked));
        QMetaObject::invokeMethod(m_table.get(), "slotHeaderCheckStateChanged", Q_ARG(bool, false));
        QCOMPARE(checks(), QStringLiteral("000"));
        m_service->DeleteMainTasks(std::vector<int>(m_ids.cbegin(), m_ids.cend()));
        open();
        QMetaObject::invokeMethod(m_table.get(), "slotTableCheckStateChanged");
        QCOMPARE(headerCheck(), int(Qt::Unchecked));
    }

    void settingButtonOpensTheHostPage()
    {
        gWM->setCurrentMainWindow(nullptr); // without a host main window the button does nothing
        clickButton(QStringLiteral("pushButton_schedord_maintask_setting"));
        VelmClient client;
        QCOMPARE(gWM->getCurrentMainWindow(), &client);
        QVERIFY(!client.settingsDialog());
        clickButton(QStringLiteral("pushButton_schedord_maintask_setting"));
        QVERIFY(client.settingsDialog());
        QVERIFY(client.settingsDialog()->isVisible());
    }

private:
    void open() { openTable<Velm_Space::SchedOrd_TableMainTaskWid>(); }

    void check(int row) { QVERIFY(proxy()->setData(proxy()->index(row, 0), Qt::Checked, Qt::CheckStateRole)); }

    QList<int> shownIds() const
    {
        QList<int> ids;
        for (const QString& id : column(kIdColumn))
            ids.append(id.toInt());
        return ids;
    }

    QString statuses() const // of the three tasks, e.g. "212"
    {
        QString statuses;
        for (int id : m_ids)
            statuses.append(QLatin1Char(m_service->getOneMainTask(id).MainTaskStatus));
        return statuses;
    }
};

QTEST_MAIN(MainTaskTableTest)
#include "tst_maintasktable.moc"
