#include "SchedOrdDatabase.h"
#include "SubTaskFields.h"
#include "VelmDataFolder.h"
#include "VelmTest.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskField;
using Status = SchedOrdDatabase::OpenStatus;

using Tasks = std::vector<SchedOrdTaskField>;
Q_DECLARE_METATYPE(Tasks)

namespace {

constexpr int kAccount = 10001;
// "浦发银行" and "价格无效" in GBK: stored and read back as these bytes, never decoded.
const std::string kGbkName("\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0", 8);
const std::string kGbkError("\xBC\xDB\xB8\xF1\xCE\xDE\xD0\xA7", 8);

SchedOrdSubTaskField subTask(int mainId, int subId, char direction)
{
    SchedOrdSubTaskField s;
    s.MainTaskID = mainId;
    s.SubTaskID = subId;
    s.SecurityKey = "600000.SH";
    s.SecurityID = "600000";
    s.ExchangeID = '1';
    s.Direction = direction;
    s.TriggerTime = 17650080000000000;
    s.TargetVolume = 300;
    s.SubTaskStatus = '2';
    s.TriggerStatus = '1';
    s.PriceType = 12;
    s.PriceFloatType = '1';
    s.PriceFloatValue = -0.35;
    s.OrderPrice = 10.27;
    s.HostValue = -7;
    s.HostCode = '\xFF';
    s.StartTime = 17650962000000000;
    s.EndTime = 17650962000000000;
    s.NoSellAtLimitUp = false;
    return s;
}

SchedOrdTaskField mainTask(int mainId, std::vector<SchedOrdSubTaskField> subs)
{
    SchedOrdTaskField task;
    task.MainTaskID = mainId;
    task.MainTaskName = "600000_" + kGbkName;
    task.MainTaskStatus = '2';
    task.TriggerStatus = '2';
    task.CreateTime = 17650950000000001;
    task.StartTime = subs.front().StartTime;
    task.EndTime = subs.back().EndTime;
    task.IsSameStartTime = false;
    task.VecSubTask = std::move(subs);
    return task;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void roundTripOverRestart_data();
    void roundTripOverRestart();
    void idsAndTodaysLogSurviveRestart();
    void markOverwritesJournalRoomAndSurvivesACrash_data();
    void markOverwritesJournalRoomAndSurvivesACrash();

    void olderSchemaIsUpgradedKeepingItsTasks();
    void unwritableFolderIsRefused();

    void folderChoice_data();
    void folderChoice();
    void lockOfACrashedClientIsTakenOver();

private:
    QString path() const { return m_dir->filePath(QStringLiteral("velm.db")); }
    qint64 journalBytes() const { return QFileInfo(path() + QStringLiteral("-wal")).size(); }
    void reopen();

    std::unique_ptr<QTemporaryDir> m_dir;
    SchedOrdDatabase m_db;
};

void TestDatabase::init()
{
    m_db.close();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const auto result = m_db.open(path());
    QCOMPARE(result.status, Status::Created);
}

void TestDatabase::reopen()
{
    m_db.close();
    const auto result = m_db.open(path());
    QCOMPARE(result.status, Status::Opened);
    QCOMPARE(result.foundVersion, SchedOrdDatabase::SchemaVersion);
}

void TestDatabase::roundTripOverRestart_data()
{
    QTest::addColumn<Tasks>("tasks");
    QTest::newRow("GBK name, codes and every field") << Tasks{mainTask(1, {subTask(1, 1, '0'), subTask(1, 2, '1')})};
    // Modified to a market price, then fired.
    SchedOrdSubTaskField fired = subTask(4, 7, '1');
    fired.PriceType = 3;
    fired.OrderPrice = 0.0;
    fired.PriceFloatValue = 1e-7;
    fired.TargetVolume = 800;
    fired.NoBuyAtLimitDown = false;
    fired.SubTaskStatus = '3';
    fired.TriggerStatus = '2';
    fired.TriggerTime = 17650962001234567;
    fired.OrderVolume = 300;
    fired.TradeVolume = 100;
    fired.ErrorMsg = kGbkError + std::string("\0tail", 5);
    QTest::newRow("modified, fired, with a GBK error text holding a NUL") << Tasks{mainTask(4, {fired})};
    // Sub-tasks keep their places whatever their ids.
    QTest::newRow("ids interleaved, backwards in one task, credit directions")
        << Tasks{mainTask(8, {subTask(8, 25, 'i'), subTask(8, 23, 'j'), subTask(8, 21, 'k')}),
                 mainTask(9, {subTask(9, 22, '1'), subTask(9, 26, '0')})};
}

void TestDatabase::roundTripOverRestart()
{
    QFETCH(Tasks, tasks);
    // Another account's task under the same main task id, its sub-task id among the others.
    const SchedOrdTaskField other = mainTask(tasks.front().MainTaskID, {subTask(tasks.front().MainTaskID, 24, '1')});
    QVERIFY(m_db.begin());
    QVERIFY2(m_db.saveMainTask(kAccount, tasks.front()), qPrintable(m_db.lastError()));
    QVERIFY(m_db.saveMainTask(kAccount + 1, other));
    for (size_t i = 1; i < tasks.size(); ++i)
        QVERIFY(m_db.saveMainTask(kAccount, tasks[i]));
    QVERIFY(m_db.commit());

    reopen();
    QCOMPARE(VelmTest::taskDifferences(m_db.loadMainTasks(kAccount), tasks).join(QStringLiteral("; ")), QString());
    QCOMPARE(VelmTest::taskDifferences(m_db.loadMainTasks(kAccount + 1), {other}).join(QStringLiteral("; ")), QString());
    // A sub-task that was never stored is refused, not added.
    QVERIFY(!m_db.saveSubTask(kAccount, subTask(6, 12, '1')));
    QCOMPARE(m_db.lastError(), QStringLiteral("save sub-task: no sub-task 12 of main task 6"));
}

// Only the account's lines from the start of the day on come back, and an operation rolled back
// leaves no id and no line behind.
void TestDatabase::idsAndTodaysLogSurviveRestart()
{
    QVERIFY(m_db.begin() && m_db.saveNextIds(kAccount, 42, 1007) && m_db.appendLog(kAccount, 100, QStringLiteral("09:29:59 昨天的一行"))
            && m_db.appendLog(kAccount, 200, QStringLiteral("09:30:00 任务 42 已启动"))
            && m_db.appendLog(kAccount + 1, 300, QStringLiteral("09:30:01 另一账户")) && m_db.commit());
    QVERIFY(m_db.begin() && m_db.saveNextIds(kAccount, 43, 1008) && m_db.appendLog(kAccount, 400, QStringLiteral("09:31:00 未提交")));
    m_db.rollback();

    reopen();
    int nextMain = 0;
    int nextSub = 0;
    QVERIFY(m_db.loadNextIds(kAccount, nextMain, nextSub));
    QCOMPARE(std::make_pair(nextMain, nextSub), std::make_pair(42, 1007));
    QStringList lines;
    for (const SchedOrdDatabase::LogLine& line : m_db.loadLog(kAccount, 200))
        lines << QString::number(line.time) + ' ' + line.text;
    QCOMPARE(lines, QStringList{QStringLiteral("200 09:30:00 任务 42 已启动")});
    QCOMPARE(m_db.loadLog(kAccount, 0).size(), size_t(2));
}

// A file of the first version (before the broker's tables) opens with its tasks and gains them.
enum class JournalBefore { Fresh, GrownPastItsRoom, RestartedOverOlderPages };
Q_DECLARE_METATYPE(JournalBefore)

void TestDatabase::markOverwritesJournalRoomAndSurvivesACrash_data()
{
    QTest::addColumn<JournalBefore>("before");
    QTest::newRow("fresh journal") << JournalBefore::Fresh;
    QTest::newRow("journal grown past its room by an import") << JournalBefore::GrownPastItsRoom;
    QTest::newRow("journal restarted over the pages of the last one") << JournalBefore::RestartedOverOlderPages;
}

// A mark's durable commit writes into room the journal file already has, so its sync records no new
// length; and a crash that leaves that room (zeros, or pages of an earlier log) loses no mark.
void TestDatabase::markOverwritesJournalRoomAndSurvivesACrash()
{
    QFETCH(JournalBefore, before);
    constexpr int kFrameBytes = 24 + 4096;
    QVERIFY(m_db.begin() && m_db.markSending(kAccount, 5, 10, "10001-10") && m_db.commit());
    if (before == JournalBefore::GrownPastItsRoom) {
        std::vector<SchedOrdSubTaskField> many;
        for (int i = 0; i < 30000; ++i)
            many.push_back(subTask(2, 100 + i, '0'));
        QVERIFY(m_db.begin() && m_db.saveMainTask(kAccount, mainTask(2, many)) && m_db.commit());
        QVERIFY(journalBytes() < 32 + qint64(m_db.journalPages() + 1) * kFrameBytes);
        m_db.reserveJournalRoom();
    } else if (before == JournalBefore::RestartedOverOlderPages) {
        QVERIFY(m_db.checkpoint());
        QCOMPARE(m_db.journalPages(), 0);
    }
    const qint64 room = journalBytes() - (32 + qint64(m_db.journalPages()) * kFrameBytes);
    QVERIFY2(room >= 64 * kFrameBytes, qPrintable(QString::number(room)));
    const qint64 bytesBefore = journalBytes();

    QVERIFY(m_db.begin() && m_db.clearSending(kAccount, 10) && m_db.markSending(kAccount, 5, 11, "10001-11")
            && m_db.commit());
    QCOMPARE(journalBytes(), bytesBefore);

    // The files as a crash leaves them: the connection still open, its journal not copied back.
    const QString crashed = m_dir->filePath(QStringLiteral("crashed.db"));
    QVERIFY(QFile::copy(path(), crashed));
    QVERIFY(QFile::copy(path() + QStringLiteral("-wal"), crashed + QStringLiteral("-wal")));
    SchedOrdDatabase recovered;
    QCOMPARE(recovered.open(crashed).status, Status::Opened);
    const auto marks = recovered.loadSending(kAccount);
    QCOMPARE(marks.size(), size_t(1));
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(marks[0].mainTaskId).arg(marks[0].subTaskId).arg(marks[0].clientOrderRef.c_str()),
             QStringLiteral("5 11 10001-11"));
    QCOMPARE(recovered.loadMainTasks(kAccount).size(), size_t(before == JournalBefore::GrownPastItsRoom ? 1 : 0));
}

// A file of the first version (before the broker's tables) opens with its tasks and gains them.
void TestDatabase::olderSchemaIsUpgradedKeepingItsTasks()
{
    const SchedOrdTaskField task = mainTask(3, {subTask(3, 9, '0')});
    QVERIFY(m_db.begin() && m_db.saveMainTask(kAccount, task) && m_db.commit());
    m_db.close();
    QVERIFY(VelmTest::runSql(path(), "DROP TABLE broker_account; DROP TABLE broker_position; DROP TABLE broker_quota; "
                                     "DROP TABLE broker_order; DROP TABLE broker_trade; PRAGMA user_version=1"));

    const auto result = m_db.open(path());
    QCOMPARE(result.status, Status::Opened);
    QCOMPARE(result.foundVersion, 1);
    QCOMPARE(VelmTest::taskDifferences(m_db.loadMainTasks(kAccount), {task}).join(QStringLiteral("; ")), QString());
    SimBroker broker(1);
    broker.setAvailableFunds(1234.5);
    SimBroker::State stored;
    QVERIFY(m_db.begin() && m_db.saveBrokerState(kAccount, broker.state()) && m_db.commit());
    QVERIFY(m_db.loadBrokerState(kAccount, stored));
    QCOMPARE(stored.funds, 1234.5);
}

void TestDatabase::unwritableFolderIsRefused()
{
    // A folder inside a plain file cannot be made, whoever runs the test (root included).
    const QString folder = m_dir->filePath(QStringLiteral("blocker/data"));
    QVERIFY(VelmTest::writeFile(m_dir->filePath(QStringLiteral("blocker")), {}));

    SchedOrdDatabase db;
    const auto result = db.open(folder + QStringLiteral("/velm.db"));
    QCOMPARE(result.status, Status::NotWritable);
    QCOMPARE(result.message, QStringLiteral("无法创建数据文件夹 %1，定时委托任务无法保存。").arg(folder));
}

void TestDatabase::folderChoice_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("environment");
    QTest::addColumn<QString>("expected");

    QTest::newRow("--data-dir wins, made absolute") << "velm-a" << "/tmp/velm-b" << QDir::current().absoluteFilePath("velm-a");
    QTest::newRow("then the environment") << "" << "/tmp/velm-b" << "/tmp/velm-b";
}

void TestDatabase::folderChoice()
{
    QFETCH(QString, commandLine);
    QFETCH(QString, environment);
    QFETCH(QString, expected);
    qputenv(VelmDataFolder::EnvironmentVariable, environment.toUtf8());
    const VelmDataFolder folder(commandLine);
    qunsetenv(VelmDataFolder::EnvironmentVariable);
    QCOMPARE(folder.path(), expected);
    QCOMPARE(folder.databasePath(), expected + QStringLiteral("/velm.db"));
}

void TestDatabase::lockOfACrashedClientIsTakenOver()
{
    // Given the lock file of a client whose process no longer exists, the next client takes the folder over.
    const QString dir = m_dir->filePath(QStringLiteral("crashed"));
    QVERIFY(QDir().mkpath(dir));
    QVERIFY(VelmTest::writeFile(dir + QStringLiteral("/velm.lock"),
                                "2147483646\nvelm_client\n" + QSysInfo::machineHostName().toUtf8() + "\n"));

    VelmDataFolder next(dir);
    QString message;
    QVERIFY2(next.acquire(&message), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
