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
#include <memory>

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
    for (int i = 0; i < 5; ++i) {
        SchedOrdSubTaskField sub;
        sub.TriggerStatus = i < 2 ? '3' : '1';
        task.VecSubTask.push_back(sub);
    }
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

void compareValue(const QVariant& value, const QVariant& expected)
{
    QCOMPARE(value.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(value.userType(), expected.userType());
        QCOMPARE(value, expected);
    }
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

    void mainTaskCells_data()
    {
        QTest::addColumn<int>("columnId");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("userValue");
        QTest::newRow("1 id") << 1 << "#12" << QVariant(12);
        QTest::newRow("2 name") << 2 << "篮子_2026" << QVariant(QStringLiteral("篮子_2026"));
        QTest::newRow("3 direction") << 3 << "买入" << QVariant(int('0'));
        QTest::newRow("4 start, several times") << 4 << "09:30:00起" << QVariant(QStringLiteral("09:30:00起"));
        QTest::newRow("6 status") << 6 << "运行中" << QVariant(int('2'));
        QTest::newRow("7 trigger (2/5)") << 7 << "部分触发(2/5)" << QVariant(int('2'));
        QTest::newRow("8 created") << 8 << "08:59:01" << QVariant(QStringLiteral("08:59:01"));
        QTest::newRow("10 operation") << 10 << "" << QVariant();
        QTest::newRow("5 undefined") << 5 << "" << QVariant();
        QTest::newRow("99 unknown") << 99 << "" << QVariant();
    }
    void mainTaskCells()
    {
        QFETCH(int, columnId);
        QFETCH(QString, text);
        QFETCH(QVariant, userValue);
        TableHeaderSchedOrdMainTask header;
        SchedOrdTaskField task = mainTask();
        QCOMPARE(header.getColumnValue(columnId, std::any(&task), m_stock), text);
        compareValue(header.getColumnValueUserRole(columnId, std::any(&task), m_stock), userValue);
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
        QFETCH(QString, directionText);
        QFETCH(QString, triggerText);
        SchedOrdTaskField task;
        task.TriggerStatus = '1';
        task.StartTime = at(9, 30, 0);
        task.Direction = direction;
        task.VecSubTask.resize(static_cast<size_t>(subTasks));
        for (SchedOrdSubTaskField& sub : task.VecSubTask)
            sub.TriggerStatus = '1';
        TableHeaderSchedOrdMainTask header;
        const std::any record(&task);
        QCOMPARE(header.getColumnValue(3, record, m_stock), directionText);
        QCOMPARE(header.getColumnValueUserRole(3, record, m_stock), QVariant(int(direction)));
        QCOMPARE(header.getColumnValue(7, record, m_stock), triggerText);
        QCOMPARE(header.getColumnValue(4, record, m_stock), QStringLiteral("09:30:00"));
    }

    void subTaskCells_data()
    {
        QTest::addColumn<int>("columnId");
        QTest::addColumn<bool>("fired");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("userValue");
        QTest::newRow("1 main id") << 1 << true << "#12" << QVariant(12);
        QTest::newRow("2 code") << 2 << true << "600000" << QVariant(QStringLiteral("600000"));
        QTest::newRow("3 name") << 3 << true << "浦发银行" << QVariant(QStringLiteral("浦发银行"));
        QTest::newRow("4 direction") << 4 << true << "卖出" << QVariant(int('1'));
        QTest::newRow("5 set time") << 5 << true << "14:56:30" << QVariant(QStringLiteral("14:56:30"));
        QTest::newRow("7 status") << 7 << true << "已完成" << QVariant(int('4'));
        QTest::newRow("8 trigger") << 8 << true << "已触发(废单)" << QVariant(int('4'));
        QTest::newRow("9 target") << 9 << true << "1500" << QVariant(1500);
        QTest::newRow("10 ordered") << 10 << true << "1400" << QVariant(1400);
        QTest::newRow("11 traded") << 11 << true << "300" << QVariant(300);
        QTest::newRow("12 trigger time") << 12 << true << "14:56:30" << QVariant(QStringLiteral("14:56:30"));
        QTest::newRow("12 not fired: a dash") << 12 << false << "-" << QVariant(QStringLiteral("-"));
        QTest::newRow("13 error") << 13 << true << "可用持仓不足" << QVariant(QStringLiteral("可用持仓不足"));
        QTest::newRow("14 order parameters") << 14 << true << "" << QVariant();
        QTest::newRow("16 operation") << 16 << true << "" << QVariant();
        QTest::newRow("15 undefined") << 15 << true << "" << QVariant();
    }
    void subTaskCells()
    {
        QFETCH(int, columnId);
        QFETCH(bool, fired);
        QFETCH(QString, text);
        QFETCH(QVariant, userValue);
        TableHeaderSchedOrdSubTask header;
        SchedOrdSubTaskField sub = firedSubTask();
        if (!fired)
            sub.TriggerTime = at(0, 0, 0);
        QCOMPARE(header.getColumnValue(columnId, std::any(&sub), m_stock), text);
        compareValue(header.getColumnValueUserRole(columnId, std::any(&sub), m_stock), userValue);
    }

    void subTaskTextsNeedTheAccount()
    {
        TableHeaderSchedOrdSubTask header;
        SchedOrdSubTaskField sub = firedSubTask();
        const std::any record(&sub);
        for (int id : {1, 2, 3, 4, 9, 12, 13})
            QCOMPARE(header.getColumnValue(id, record, nullptr), QString());
        // Sort values do without the account, but code and name are the account's answers.
        QCOMPARE(header.getColumnValueUserRole(9, record, nullptr), QVariant(1500));
        QVERIFY(!header.getColumnValueUserRole(2, record, nullptr).isValid());
        QVERIFY(!header.getColumnValueUserRole(3, record, nullptr).isValid());
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
        QFETCH(QString, text);
        SchedOrdSubTaskField sub = firedSubTask();
        sub.Direction = direction;
        SchedOrdTaskField task = mainTask();
        task.Direction = direction;
        QCOMPARE(TableHeaderSchedOrdSubTask().getColumnValue(4, std::any(&sub), m_credit), text);
        QCOMPARE(TableHeaderSchedOrdMainTask().getColumnValue(3, std::any(&task), m_credit), text);
    }

    void codesOutsideTheTablesGiveEmptyTexts()
    {
        SchedOrdTaskField task = mainTask();
        task.MainTaskStatus = '9';
        task.TriggerStatus = 'x';
        SchedOrdSubTaskField sub = firedSubTask();
        sub.SubTaskStatus = '7';
        sub.TriggerStatus = '6';
        TableHeaderSchedOrdMainTask mainHeader;
        TableHeaderSchedOrdSubTask subHeader;
        QCOMPARE(mainHeader.getColumnValue(6, std::any(&task), m_stock), QString());
        QCOMPARE(mainHeader.getColumnValue(7, std::any(&task), m_stock), QStringLiteral("(2/5)"));
        QCOMPARE(subHeader.getColumnValue(7, std::any(&sub), m_stock), QString());
        QCOMPARE(subHeader.getColumnValue(8, std::any(&sub), m_stock), QString());
    }

    void rowKeys()
    {
        SchedOrdSubTaskField sub;
        sub.MainTaskID = 12;
        sub.SubTaskID = 37;
        SchedOrdTaskField task;
        task.MainTaskID = 12;
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

    void nullAndForeignRecords()
    {
        TableHeaderSchedOrdMainTask mainHeader;
        TableHeaderSchedOrdSubTask subHeader;
        const std::any nullTask(static_cast<SchedOrdTaskField*>(nullptr));
        const std::any nullSub(static_cast<SchedOrdSubTaskField*>(nullptr));
        QCOMPARE(mainHeader.getColumnValue(1, nullTask, m_stock), QString());
        QVERIFY(!mainHeader.getColumnValueUserRole(1, nullTask, m_stock).isValid());
        QCOMPARE(subHeader.getColumnValue(2, nullSub, m_stock), QString());
        QVERIFY(!subHeader.getRowValue(Qt::DisplayRole, nullSub).isValid());
        // One table's record in the other table's columns is a programming error.
        SchedOrdSubTaskField sub;
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
