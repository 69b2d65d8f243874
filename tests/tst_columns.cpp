#include "SchedOrdTaskField.h"
#include "SchedOrdTaskTime.h"
#include "TableHeaderSchedOrdMainTask.h"
#include "TableHeaderSchedOrdSubTask.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "Util.h"
#include "VelmTest.h"

#include <QtTest>

#include <any>
#include <functional>

using namespace VELMSCHEDORDAPI;
using Velm_Space::TableHeaderSchedOrdMainTask;
using Velm_Space::TableHeaderSchedOrdSubTask;
using Adjust = std::function<void(SchedOrdTaskField&, SchedOrdSubTaskField&)>;
// Column `columnId` of the main or sub-task table: its `text` and sort value.
struct Cell { QString table; int columnId; QString text; QVariant userValue; Adjust adjust; bool credit; };
Q_DECLARE_METATYPE(Cell)

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
    task.MainTaskStatus = task.TriggerStatus = '2';
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
    SchedOrdSubTaskField sub = VelmTest::makeSubTask({"600000.SH", '1', at(14, 56, 30), 1500}, 12, 37);
    sub.TriggerTime = at(14, 56, 30) + 1234567;
    sub.SubTaskStatus = sub.TriggerStatus = '4';
    sub.OrderVolume = 1400;
    sub.TradeVolume = 300;
    sub.ErrorMsg = Util::QStr2str(QStringLiteral("可用持仓不足"));
    return sub;
}

} // namespace

// For both monitor tables, the texts and sort values of their cells.
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

    // Each row: the fixture records (a partly fired main task, a fired sell), adjusted, in a stock or credit account.
    // The sort values pin the order too: a start time with 起 sorts after the bare one, before the next second.
    void cells_data()
    {
        QTest::addColumn<Cell>("cell");
        const auto row = [](const char* name, const char* table, int columnId, const QString& text, const QVariant& value,
                            const Adjust& adjust = [](SchedOrdTaskField&, SchedOrdSubTaskField&) {}, bool credit = false) {
            QTest::newRow(name) << Cell{table, columnId, text, value, adjust, credit};
        };
        const auto direction = [](char d) { return Adjust([d](SchedOrdTaskField& t, SchedOrdSubTaskField& s) { t.Direction = s.Direction = d; }); };
        const auto untriggered = [](size_t subTasks) {
            return Adjust([subTasks](SchedOrdTaskField& t, SchedOrdSubTaskField&) {
                t.TriggerStatus = '1';
                t.VecSubTask.assign(subTasks, SchedOrdSubTaskField());
                for (SchedOrdSubTaskField& sub : t.VecSubTask)
                    sub.TriggerStatus = '1';
            });
        };
        row("main 1 id", "main", 1, "#12", 12);
        row("main 3 several directions", "main", 3, "多方向", 0, direction(0));
        row("main 3 credit short sell", "main", 3, "融券卖出", int('j'), direction('j'), true);
        row("main 4 start, several times", "main", 4, "09:30:00起", QStringLiteral("09:30:00起"));
        row("main 4 start, one time", "main", 4, "09:30:00", QStringLiteral("09:30:00"),
            [](SchedOrdTaskField& t, SchedOrdSubTaskField&) { t.IsSameStartTime = true; });
        row("main 7 trigger (2/5)", "main", 7, "部分触发(2/5)", int('2'));
        row("main 7 no sub-tasks", "main", 7, "未触发(0/0)", int('1'), untriggered(0));
        row("main 5 undefined", "main", 5, "", QVariant());
        row("sub 2 code", "sub", 2, "600000", QStringLiteral("600000"));
        row("sub 4 credit collateral sell", "sub", 4, "担保品卖出", int('1'), direction('1'), true);
        row("sub 5 set time", "sub", 5, "14:56:30", QStringLiteral("14:56:30"));
        row("sub 7 status", "sub", 7, "已完成", int('4'));
        row("sub 8 trigger", "sub", 8, "已触发(废单)", int('4'));
        row("sub 9 target", "sub", 9, "1500", 1500);
        row("sub 12 trigger time", "sub", 12, "14:56:30", QStringLiteral("14:56:30"));
        row("sub 12 not fired: a dash", "sub", 12, "-", QStringLiteral("-"),
            [](SchedOrdTaskField&, SchedOrdSubTaskField& s) { s.TriggerTime = at(0, 0, 0); });
        row("sub 13 error", "sub", 13, "可用持仓不足", QStringLiteral("可用持仓不足"));
        row("sub 14 order parameters", "sub", 14, "", QVariant());
        row("sub 15 undefined", "sub", 15, "", QVariant());
    }
    void cells()
    {
        QFETCH(Cell, cell);
        SchedOrdTaskField task = mainTask();
        SchedOrdSubTaskField sub = firedSubTask();
        cell.adjust(task, sub);
        TableHeaderSchedOrdMainTask mainHeader;
        TableHeaderSchedOrdSubTask subHeader;
        TableHeader& header = cell.table == "main" ? static_cast<TableHeader&>(mainHeader) : subHeader;
        const std::any record = cell.table == "main" ? std::any(&task) : std::any(&sub);
        UserData* account = cell.credit ? m_credit : m_stock;
        QCOMPARE(header.getColumnValue(cell.columnId, record, account), cell.text);
        const QVariant value = header.getColumnValueUserRole(cell.columnId, record, account);
        QCOMPARE(value.userType(), cell.userValue.userType());
        QCOMPARE(value, cell.userValue);
    }

    // No account, status codes outside the tables, null records and the other table's records.
    void badRecords()
    {
        TableHeaderSchedOrdMainTask mainHeader;
        TableHeaderSchedOrdSubTask subHeader;
        SchedOrdSubTaskField sub = firedSubTask();
        QStringList texts;
        for (int id : {1, 2, 3, 4, 9, 12, 13})
            texts << subHeader.getColumnValue(id, std::any(&sub), nullptr);
        QCOMPARE(texts.join(QLatin1Char('|')), QStringLiteral("||||||"));
        // Sort values do without the account, but code and name are the account's answers.
        QCOMPARE(subHeader.getColumnValueUserRole(9, std::any(&sub), nullptr), QVariant(1500));
        QVERIFY(!subHeader.getColumnValueUserRole(2, std::any(&sub), nullptr).isValid()
                && !subHeader.getColumnValueUserRole(3, std::any(&sub), nullptr).isValid());
        SchedOrdTaskField task = mainTask();
        task.MainTaskStatus = '9';
        task.TriggerStatus = 'x';
        sub.SubTaskStatus = '7';
        sub.TriggerStatus = '6';
        const std::any nullTask(static_cast<SchedOrdTaskField*>(nullptr));
        const std::any nullSub(static_cast<SchedOrdSubTaskField*>(nullptr));
        QCOMPARE((QStringList{mainHeader.getColumnValue(6, std::any(&task), m_stock), mainHeader.getColumnValue(7, std::any(&task), m_stock),
                              subHeader.getColumnValue(7, std::any(&sub), m_stock), subHeader.getColumnValue(8, std::any(&sub), m_stock),
                              mainHeader.getColumnValue(1, nullTask, m_stock), subHeader.getColumnValue(2, nullSub, m_stock)}),
                 (QStringList{"", "(2/5)", "", "", "", ""}));
        QVERIFY(!mainHeader.getColumnValueUserRole(1, nullTask, m_stock).isValid() && !subHeader.getRowValue(Qt::DisplayRole, nullSub).isValid());
        // One table's record in the other table's columns is a programming error.
        QVERIFY_EXCEPTION_THROWN(mainHeader.getColumnValue(1, std::any(&sub), m_stock), std::bad_any_cast);
    }

private:
    UserData* m_stock = nullptr;
    UserData* m_credit = nullptr;
};

QTEST_MAIN(ColumnsTest)
#include "tst_columns.moc"
