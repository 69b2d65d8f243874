#include "SchedOrdTaskField.h"
#include "SchedOrdTaskTime.h"
#include "TableHeaderSchedOrdMainTask.h"
#include "TableHeaderSchedOrdSubTask.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "Util.h"
#include "VelmTest.h"

#include <QtTest>

#include <any>

using namespace VELMSCHEDORDAPI;
using Velm_Space::TableHeaderSchedOrdMainTask;
using Velm_Space::TableHeaderSchedOrdSubTask;

namespace {

int64_t at(int hour, int minute, int second)
{
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

// Five sub-tasks, two of them fired, started at different times.
SchedOrdTaskField mainTask()
{
    SchedOrdTaskField task;
    task.MainTaskID = 12;
    task.MainTaskName = Util::QStr2str(QStringLiteral("篮子_2026"));
    task.MainTaskStatus = '2';
    task.TriggerStatus = '2';
    task.CreateTime = at(8, 59, 1);
    task.StartTime = at(9, 30, 0);
    task.IsSameStartTime = false;
    task.Direction = '0';
    task.VecSubTask.resize(5);
    for (size_t i = 0; i < 5; ++i)
        task.VecSubTask[i].TriggerStatus = i < 2 ? '3' : '1';
    return task;
}

SchedOrdSubTaskField firedSubTask()
{
    SchedOrdSubTaskField sub;
    sub.MainTaskID = 12;
    sub.SubTaskID = 37;
    sub.SecurityID = "600000";
    sub.ExchangeID = '1';
    sub.SecurityKey = "600000.SH";
    sub.Direction = '1';
    sub.StartTime = at(14, 56, 30);
    sub.TriggerTime = at(14, 56, 30) + 1234567;
    sub.SubTaskStatus = '4';
    sub.TriggerStatus = '4';
    sub.TargetVolume = 1500;
    sub.OrderVolume = 1400;
    sub.TradeVolume = 300;
    sub.ErrorMsg = Util::QStr2str(QStringLiteral("可用持仓不足"));
    return sub;
}

} // namespace

// The columns of both monitor tables and the texts and sort values of their cells.
class ColumnsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        VelmTest::setUpWindowManager();
        m_stock = VelmTest::addStockAccount(901);
        m_credit = VelmTest::addCreditAccount(902);
    }
    void cleanupTestCase() { VelmTest::removeAllAccounts(); }

    // "unfired": the sub-task with no trigger time.
    void cells_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("columnId");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("userValue");
        QTest::newRow("main 1 id") << "main" << 1 << "#12" << QVariant(12);
        QTest::newRow("main 2 name") << "main" << 2 << "篮子_2026" << QVariant(QStringLiteral("篮子_2026"));
        QTest::newRow("main 3 direction") << "main" << 3 << "买入" << QVariant(int('0'));
        QTest::newRow("main 4 start, several times") << "main" << 4 << "09:30:00起" << QVariant(QStringLiteral("09:30:00起"));
        QTest::newRow("main 6 status") << "main" << 6 << "运行中" << QVariant(int('2'));
        QTest::newRow("main 7 trigger (2/5)") << "main" << 7 << "部分触发(2/5)" << QVariant(int('2'));
        QTest::newRow("main 8 created") << "main" << 8 << "08:59:01" << QVariant(QStringLiteral("08:59:01"));
        QTest::newRow("main 10 operation") << "main" << 10 << "" << QVariant();
        QTest::newRow("main 5 undefined") << "main" << 5 << "" << QVariant();
        QTest::newRow("main 99 unknown") << "main" << 99 << "" << QVariant();
        QTest::newRow("sub 1 main id") << "sub" << 1 << "#12" << QVariant(12);
        QTest::newRow("sub 2 code") << "sub" << 2 << "600000" << QVariant(QStringLiteral("600000"));
        QTest::newRow("sub 3 name") << "sub" << 3 << "浦发银行" << QVariant(QStringLiteral("浦发银行"));
        QTest::newRow("sub 4 direction") << "sub" << 4 << "卖出" << QVariant(int('1'));
        QTest::newRow("sub 5 set time") << "sub" << 5 << "14:56:30" << QVariant(QStringLiteral("14:56:30"));
        QTest::newRow("sub 7 status") << "sub" << 7 << "已完成" << QVariant(int('4'));
        QTest::newRow("sub 8 trigger") << "sub" << 8 << "已触发(废单)" << QVariant(int('4'));
        QTest::newRow("sub 9 target") << "sub" << 9 << "1500" << QVariant(1500);
        QTest::newRow("sub 10 ordered") << "sub" << 10 << "1400" << QVariant(1400);
        QTest::newRow("sub 11 traded") << "sub" << 11 << "300" << QVariant(300);
        QTest::newRow("sub 12 trigger time") << "sub" << 12 << "14:56:30" << QVariant(QStringLiteral("14:56:30"));
        QTest::newRow("sub 12 not fired: a dash") << "unfired" << 12 << "-" << QVariant(QStringLiteral("-"));
        QTest::newRow("sub 13 error") << "sub" << 13 << "可用持仓不足" << QVariant(QStringLiteral("可用持仓不足"));
        QTest::newRow("sub 14 order parameters") << "sub" << 14 << "" << QVariant();
        QTest::newRow("sub 16 operation") << "sub" << 16 << "" << QVariant();
        QTest::newRow("sub 15 undefined") << "sub" << 15 << "" << QVariant();
    }
    void cells()
    {
        QFETCH(QString, table);
        QFETCH(int, columnId);
        QFETCH(QVariant, userValue);
        SchedOrdTaskField task = mainTask();
        SchedOrdSubTaskField sub = firedSubTask();
        if (table == "unfired")
            sub.TriggerTime = at(0, 0, 0);
        TableHeaderSchedOrdMainTask mainHeader;
        TableHeaderSchedOrdSubTask subHeader;
        TableHeader& header = table == "main" ? static_cast<TableHeader&>(mainHeader) : subHeader;
        const std::any record = table == "main" ? std::any(&task) : std::any(&sub);
        QTEST(header.getColumnValue(columnId, record, m_stock), "text");
        const QVariant value = header.getColumnValueUserRole(columnId, record, m_stock);
        QCOMPARE(value.userType(), userValue.userType());
        QCOMPARE(value, userValue);
    }

    void mainTaskDirectionAndCounts_data()
    {
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("subTasks");
        QTest::addColumn<QString>("directionText");
        QTest::addColumn<QString>("triggerText");
        QTest::newRow("several directions") << char(0) << 3 << "多方向" << "未触发(0/3)";
        QTest::newRow("sell, one sub-task") << '1' << 1 << "卖出" << "未触发(0/1)";
        QTest::newRow("no sub-tasks") << '0' << 0 << "买入" << "未触发(0/0)";
    }
    void mainTaskDirectionAndCounts()
    {
        QFETCH(char, direction);
        QFETCH(int, subTasks);
        SchedOrdTaskField task;
        task.TriggerStatus = '1';
        task.StartTime = at(9, 30, 0);
        task.Direction = direction;
        task.VecSubTask.resize(static_cast<size_t>(subTasks));
        for (SchedOrdSubTaskField& sub : task.VecSubTask)
            sub.TriggerStatus = '1';
        TableHeaderSchedOrdMainTask header;
        const std::any record(&task);
        QTEST(header.getColumnValue(3, record, m_stock), "directionText");
        QCOMPARE(header.getColumnValueUserRole(3, record, m_stock), QVariant(int(direction)));
        QTEST(header.getColumnValue(7, record, m_stock), "triggerText");
        QCOMPARE(header.getColumnValue(4, record, m_stock), QStringLiteral("09:30:00"));
    }

    void creditDirections_data()
    {
        QTest::addColumn<char>("direction");
        QTest::addColumn<QString>("text");
        QTest::newRow("collateral buy") << '0' << "担保品买入";
        QTest::newRow("collateral sell") << '1' << "担保品卖出";
        QTest::newRow("financed buy") << 'i' << "融资买入";
        QTest::newRow("short sell") << 'j' << "融券卖出";
    }
    void creditDirections()
    {
        QFETCH(char, direction);
        SchedOrdSubTaskField sub = firedSubTask();
        sub.Direction = direction;
        SchedOrdTaskField task = mainTask();
        task.Direction = direction;
        QTEST(TableHeaderSchedOrdSubTask().getColumnValue(4, std::any(&sub), m_credit), "text");
        QTEST(TableHeaderSchedOrdMainTask().getColumnValue(3, std::any(&task), m_credit), "text");
    }

    void rowKeys()
    {
        SchedOrdSubTaskField sub = firedSubTask();
        SchedOrdTaskField task = mainTask();
        TableHeaderSchedOrdSubTask subHeader;
        TableHeaderSchedOrdMainTask mainHeader;
        const QVariantList keys{subHeader.getRowValue(Qt::DisplayRole, std::any(&sub)),
                                subHeader.getRowValue(Qt::UserRole, std::any(&sub)),
                                subHeader.getRowValue(Qt::ToolTipRole, std::any(&sub)),
                                mainHeader.getRowValue(Qt::DisplayRole, std::any(&task)),
                                mainHeader.getRowValue(Qt::UserRole, std::any(&task)),
                                mainHeader.getRowValue(Qt::TextAlignmentRole, std::any(&task))};
        QCOMPARE(keys, (QVariantList{QStringLiteral("12_37"), 12, QVariant(), 12, 12, QVariant()}));
    }

    // No account, status codes outside the tables, null records and the other table's records.
    void badRecords()
    {
        TableHeaderSchedOrdMainTask mainHeader;
        TableHeaderSchedOrdSubTask subHeader;
        SchedOrdSubTaskField sub = firedSubTask();
        for (int id : {1, 2, 3, 4, 9, 12, 13})
            QCOMPARE(subHeader.getColumnValue(id, std::any(&sub), nullptr), QString());
        // Sort values do without the account, but code and name are the account's answers.
        QCOMPARE(subHeader.getColumnValueUserRole(9, std::any(&sub), nullptr), QVariant(1500));
        QVERIFY(!subHeader.getColumnValueUserRole(2, std::any(&sub), nullptr).isValid());
        QVERIFY(!subHeader.getColumnValueUserRole(3, std::any(&sub), nullptr).isValid());
        SchedOrdTaskField task = mainTask();
        task.MainTaskStatus = '9';
        task.TriggerStatus = 'x';
        sub.SubTaskStatus = '7';
        sub.TriggerStatus = '6';
        QCOMPARE(mainHeader.getColumnValue(6, std::any(&task), m_stock), QString());
        QCOMPARE(mainHeader.getColumnValue(7, std::any(&task), m_stock), QStringLiteral("(2/5)"));
        QCOMPARE(subHeader.getColumnValue(7, std::any(&sub), m_stock), QString());
        QCOMPARE(subHeader.getColumnValue(8, std::any(&sub), m_stock), QString());
        const std::any nullTask(static_cast<SchedOrdTaskField*>(nullptr));
        const std::any nullSub(static_cast<SchedOrdSubTaskField*>(nullptr));
        QCOMPARE(mainHeader.getColumnValue(1, nullTask, m_stock), QString());
        QVERIFY(!mainHeader.getColumnValueUserRole(1, nullTask, m_stock).isValid());
        QCOMPARE(subHeader.getColumnValue(2, nullSub, m_stock), QString());
        QVERIFY(!subHeader.getRowValue(Qt::DisplayRole, nullSub).isValid());
        // One table's record in the other table's columns is a programming error.
        QVERIFY_EXCEPTION_THROWN(mainHeader.getColumnValue(1, std::any(&sub), m_stock), std::bad_any_cast);
    }

    void startTimeSuffixSortsAfterTheBareTime()
    {
        TableHeaderSchedOrdMainTask header;
        SchedOrdTaskField same = mainTask();
        same.IsSameStartTime = true;
        SchedOrdTaskField several = mainTask();
        SchedOrdTaskField later = same;
        later.StartTime = at(9, 30, 1);
        const QString bare = header.getColumnValueUserRole(4, std::any(&same), m_stock).toString();
        const QString suffixed = header.getColumnValueUserRole(4, std::any(&several), m_stock).toString();
        QVERIFY(bare < suffixed);
        QVERIFY(suffixed < header.getColumnValueUserRole(4, std::any(&later), m_stock).toString());
    }

private:
    UserData* m_stock = nullptr;
    UserData* m_credit = nullptr;
};

QTEST_MAIN(ColumnsTest)
#include "tst_columns.moc"
