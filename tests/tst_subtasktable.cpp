#include "SchedOrd_TableSubTaskWid.h"
#include "TaskTableTest.h"

#include <QComboBox>
#include <QLineEdit>

// The sub-task table: rows of every main task, its two filters, and updates in place.
class SubTaskTableTest : public TaskTableTest
{
    Q_OBJECT
public:
    SubTaskTableTest() : TaskTableTest(1201, QStringLiteral("tableview_SO_monitorSubTask")) {}
    enum { kSecurityColumn = 2, kTriggerColumn = 7, kKeyColumn = 15 };

private slots:
    void init()
    {
        setUpService();
        const auto basket = VelmTest::makeMainTask(
            *m_service, QStringLiteral("篮子"),
            {{QStringLiteral("600000.SH"), '0', at(9, 30, 0)}, {QStringLiteral("000001.SZ"), '1', at(9, 30, 0)},
             {QStringLiteral("600036.SH"), '0', at(9, 31, 0)}});
        m_service->AddMainTasks({basket});
        m_ids.append(basket.MainTaskID);
        m_ids.append(VelmTest::addMainTask(*m_service, QStringLiteral("茅台"), QStringLiteral("600519.SH"), 2, at(9, 45, 0)));
        const auto letters = VelmTest::makeMainTask(*m_service, QStringLiteral("字母"),
                                                                 {{QStringLiteral("abc001.SH"), '0', at(10, 0, 0)}});
        m_service->AddMainTasks({letters});
        m_ids.append(letters.MainTaskID);
        open();
    }

    // Every sub-task in service order, the buttons, and the main-task choices the trader reads.
    void rowsButtonsAndChoices()
    {
        QStringList expected;
        for (const auto& sub : m_service->getVecAllSubTask())
            expected.append(QStringLiteral("%1_%2").arg(sub.MainTaskID).arg(sub.SubTaskID));
        QCOMPARE(expected.size(), 6);
        QCOMPARE(column(kKeyColumn), expected);
        QCOMPARE(column(3).at(1), QStringLiteral("平安银行"));
        QVERIFY(view()->isColumnHidden(kKeyColumn));
        QCOMPARE(buttons(13) + buttons(14), (QStringList{QStringLiteral("%1 点击查看").arg(Velm_Space::ViewDetail),
                                                          QStringLiteral("%1 修改").arg(Velm_Space::Modify)}));
        QCOMPARE(comboTexts(), (QStringList{"全部", QStringLiteral("[#%1] 篮子").arg(m_ids[0]),
                                            QStringLiteral("[#%1] 茅台").arg(m_ids[1]),
                                            QStringLiteral("[#%1] 字母").arg(m_ids[2])}));
    }

    void mainTaskFilterFollowsTheTasks()
    {
        chooseMainTask(m_ids[1]);
        QCOMPARE(proxy()->rowCount(), 2);
        // A main task added while another is chosen: the choice survives the refill.
        const int added = VelmTest::addMainTask(*m_service, QStringLiteral("五粮液"), QStringLiteral("000858.SZ"), 1, at(9, 50, 0));
        settle();
        QCOMPARE(filterState(), QStringLiteral("[#%1] 茅台, 2 of 5 choices, 2 rows").arg(m_ids[1]));
        QCOMPARE(comboTexts().last(), QStringLiteral("[#%1] 五粮液").arg(added));
        // With 全部 chosen an addition keeps 全部 and shows the new rows.
        chooseMainTask(-1);
        VelmTest::addMainTask(*m_service, QStringLiteral("宁德"), QStringLiteral("300750.SZ"), 2, at(9, 55, 0));
        settle();
        QCOMPARE(filterState(), QStringLiteral("全部, 0 of 6 choices, 9 rows"));
        // When the chosen task goes, the choice falls back to 全部.
        chooseMainTask(m_ids[0]);
        QCOMPARE(proxy()->rowCount(), 3);
        m_service->DeleteMainTasks({m_ids[0]});
        settle();
        QCOMPARE(filterState(), QStringLiteral("全部, 0 of 5 choices, 6 rows"));
        // Before an addition's signal is handled, 刷新 shows the rows but leaves the list alone.
        VelmTest::addMainTask(*m_service, QStringLiteral("新任务"), QStringLiteral("601318.SH"), 1, at(9, 58, 0));
        clickButton(QStringLiteral("pushButton_somonitor_subtask_refresh"));
        QCOMPARE(filterState(), QStringLiteral("全部, 0 of 5 choices, 7 rows"));
        settle();
        QCOMPARE(filterState(), QStringLiteral("全部, 0 of 6 choices, 7 rows"));
    }

    void securityFilter_data()
    {
        QTest::addColumn<int>("mainTaskChoice");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("codes");
        QTest::newRow("empty text") << -1 << "" << QStringList{"600000", "000001", "600036", "600519", "600519", "abc001"};
        QTest::newRow("prefix 6") << -1 << "6" << QStringList{"600000", "600036", "600519", "600519"};
        QTest::newRow("with a main task") << 0 << "6" << QStringList{"600000", "600036"};
    }
    void securityFilter()
    {
        QFETCH(int, mainTaskChoice);
        QFETCH(QString, text);
        if (mainTaskChoice >= 0)
            chooseMainTask(m_ids[mainTaskChoice]);
        auto* edit = m_table->findChild<QLineEdit*>(QStringLiteral("lineEdit_somonitor_subtask_filter_securityID"));
        edit->setText(QStringLiteral("zzz"));
        edit->clear();
        QTest::keyClicks(edit, text); // key by key: every change reaches the proxy at once
        QTEST(column(kSecurityColumn), "codes");
    }

    void changedSubTasksUpdateInPlace()
    {
        m_service->StartMainTasks({m_ids[0]});
        open(); // anew, over the started task
        QSignalSpy reset(model(), &QAbstractItemModel::modelReset);
        QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
        m_clock->setNow(at(9, 30, 0));
        settle();
        QCOMPARE(reset.count(), 0);
        QCOMPARE(changed.count(), 2); // the two sub-tasks due at 09:30; the third waits
        const QStringList triggers = column(kTriggerColumn);
        QCOMPARE((QStringList{triggers[0].left(3), triggers[1].left(3), triggers[2], column(11).first(), column(6).at(2)}),
                 (QStringList{"已触发", "已触发", "未触发", "09:30:00", "运行中"}));
    }

    void changesForUnknownRowsAreSkipped()
    {
        QSignalSpy changed(model(), &QAbstractItemModel::dataChanged);
        const int first = m_service->getVecAllSubTask().front().SubTaskID;
        emit m_service->signalRtnSubTaskChanged(m_ids[0], {9999, 8888});
        emit m_service->signalRtnSubTaskChanged(4242, {first});
        emit m_service->signalRtnSubTaskChanged(m_ids[1], {first});
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 0);
        emit m_service->signalRtnSubTaskChanged(m_ids[0], {first, 9999});
        QCoreApplication::processEvents();
        QCOMPARE(changed.count(), 1);
    }

    void headerCheckBoxActsOnVisibleRowsOnly()
    {
        chooseMainTask(m_ids[1]);
        QMetaObject::invokeMethod(m_table.get(), "slotHeaderCheckStateChanged", Q_ARG(bool, true));
        QMetaObject::invokeMethod(m_table.get(), "slotTableCheckStateChanged");
        QCOMPARE(headerCheck(), int(Qt::Checked));
        chooseMainTask(-1);
        QCOMPARE(checks(), QStringLiteral("000220"));
        QMetaObject::invokeMethod(m_table.get(), "slotTableCheckStateChanged");
        QCOMPARE(headerCheck(), int(Qt::PartiallyChecked));
    }

private:
    void open() { openTable<Velm_Space::SchedOrd_TableSubTaskWid>(); }

    QComboBox* combo() const { return m_table->findChild<QComboBox*>(QStringLiteral("comboBox_subtask_maintaskname")); }

    QStringList comboTexts() const
    {
        QStringList texts;
        for (int i = 0; i < combo()->count(); ++i)
            texts.append(combo()->itemText(i));
        return texts;
    }

    QString filterState() const // the main-task choice, its index and the number of choices, the rows shown
    {
        return QStringLiteral("%1, %2 of %3 choices, %4 rows").arg(combo()->currentText()).arg(combo()->currentIndex()).arg(combo()->count()).arg(proxy()->rowCount());
    }

    void chooseMainTask(int id) { combo()->setCurrentIndex(combo()->findData(id)); }
};

QTEST_MAIN(SubTaskTableTest)
#include "tst_subtasktable.moc"
