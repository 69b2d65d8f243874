#include "FileDialogDriver.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TableMainTaskWid.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QPushButton>
#include <QTextCodec>
#include <QTemporaryDir>
#include <QtTest>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrd_TableMainTaskWid;

namespace {

constexpr int kStockAccount = 1401;
const QDateTime kNow(QDate(2026, 12, 7), QTime(8, 15, 30, 500));
const QString kHeaderText = QStringLiteral("类型标识,证券标的,买卖方向,设定开始时间,备注,价格类型,委托价格,报价优化方式,浮动值,委托数量,涨停不卖,跌停不买\n");

QByteArray order(const char* security, char direction, const char* time, const char* volume = "100")
{
    return QByteArray("SCHED,") + security + ',' + direction + ',' + time + ",,0,0,0,0," + volume + ",1,1\n";
}

QByteArray strategyLog() { return VelmTest::readFile(WindowManager::strategyLogPath()); }

QString summary(int imported, int failed)
{
    return QStringLiteral("文件批量导入定时单任务。成功%1条，失败%2条。").arg(imported).arg(failed);
}

// `detail`: the refused lines; `name` .. `direction`: the imported task, if any; `autoStart`: of imported tasks
// (the single-entry setting is the opposite).
struct Imported { QString file; QByteArray content; int imported; QString detail, name, startTime; bool sameStartTime; int direction; bool autoStart; };

} // namespace

Q_DECLARE_METATYPE(Imported)

// The import through the real 导入 button, as the trader runs it.
class ImportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        SchedOrdTaskTime::setClock([] { return kNow; });
        UserData* account = VelmTest::addStockAccount(kStockAccount);
        account->initScheduledOrderApi();
        m_service = account->getServiceScheduledOrder();
        // Just after midnight: nothing the tests import is due.
        VelmTest::driveClock(*m_service, SchedOrdTaskTime::fromClockTime(0, 0, 1));
        m_table = std::make_unique<SchedOrd_TableMainTaskWid>(kStockAccount, m_service, nullptr);
        m_table->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_table.get()));
    }
    void cleanup()
    {
        m_driver.reset();
        m_table.reset();
        VelmTest::removeAllAccounts();
        SchedOrdTaskTime::setClock({});
    }

    void asksForTheFileAndCancelDoesNothing()
    {
        importFile(QString());
        QCOMPARE(QStringList({m_driver->caption(), m_driver->directory()}) + m_driver->nameFilters(),
                 QStringList({"请选择定时单任务文件", QCoreApplication::applicationDirPath(), "CSV Files(*.csv)"}));
        QCOMPARE(m_driver->dialogParent(), m_table.get());
        QVERIFY(VelmTest::popups(m_table.get()).isEmpty() && m_service->getVecMainTask().empty());
    }

    void unopenableFileIsReported()
    {
        const QString path = VelmTest::writeTempFile(QStringLiteral("vanishing.csv"), order("SH600000", '0', "09:30:00"));
        const QByteArray logBefore = strategyLog();
        QTest::ignoreMessage(QtWarningMsg, "Cannot open file for reading: No such file or directory");
        // Gone between the trader's choice and the read.
        importFile(path, [&path] { QFile::remove(path); });
        QCOMPARE(VelmTest::popups(m_table.get()), QStringList{QStringLiteral("文件打开错误，导入失败")});
        QVERIFY(m_service->getVecMainTask().empty());
        QCOMPARE(strategyLog(), logBefore);
    }

    // A file the service cannot store is not reported as imported: the storage's refusal is the
    // only message, and no task appears.
    void unstoredImportIsNotReportedAsImported()
    {
        QTemporaryDir dataDir(VelmTest::tempDir() + QStringLiteral("/import-data-XXXXXX"));
        QVERIFY(m_service->openStorage(dataDir.filePath(QStringLiteral("velm.db"))));
        QVERIFY(m_service->limitStorageSize(1));
        importFile(VelmTest::writeTempFile(QStringLiteral("unstored.csv"), order("SH600000", '0', "09:30:00").repeated(3000)));
        QCOMPARE(VelmTest::popups(nullptr),
                 QStringList{"定时委托任务未能保存，本次操作未生效：磁盘空间已满（save sub-task: database or disk is full）"});
        QVERIFY(m_service->getVecMainTask().empty());
    }

    void importedFile_data()
    {
        QTest::addColumn<Imported>("row");
        QTest::newRow("GBK, Chinese in field 5") << Imported{"篮子.csv", QTextCodec::codecForName("GBK")->fromUnicode(kHeaderText + QStringLiteral(
            "SCHED,SH600000,0,09:30:00,浦发银行 开盘买入,0,0,0,0,1000,1,1\n"
            "SCHED,SZ300750,0,09:30:00,宁德时代 买入,2,0,0,-1,500,1,1\n"
            "SCHED,SH600519,买,10:00:00,贵州茅台,0,0,0,0,100,1,1\n"
            "SCHED,浦发银行上海主板,0,10:00:00,,0,0,0,0,100,1,1\n")),
            2, "[行#4导入失败] 买卖方向(买)字段值无效。格式要求：0为买入，1为卖出\n"
               "[行#5导入失败] 证券标的(浦发银行上海主板)字段值无效。格式要求：前两位为交易所字母标识，例如SH600000,SZ000001,BJ430047",
            "篮子", "09:30:00", true, int('0'), true};
        QTest::newRow("header only") << Imported{"header.csv", kHeaderText.toUtf8(), 0, "", "", "", false, 0, true};
        // The name stops at the first dot.
        QTest::newRow("mixed times and directions, failures between") << Imported{"mixed.v2.csv",
            order("SH600000", '0', "10:00:00") + order("SH600000", '0', "9:30:00") + order("SZ000001", '1', "09:30:00")
                + order("SZ000001", '1', "09:30:00", "+1") + order("SH600519", '0', "10:00:00"),
            3, "[行#2导入失败] 设定开始时间(9:30:00)字段值无效。格式要求：长度8，格式为hh:mm:ss，例如09:45:30\n"
               "[行#4导入失败] 委托数量(+1)字段为无效值。",
            "mixed", "09:30:00", false, 0, false};
    }
    void importedFile()
    {
        QFETCH(Imported, row);
        const auto& [file, content, imported, detail, name, startTime, sameStartTime, direction, autoStart] = row;
        gWM->autoStartImportedTask = autoStart;
        gWM->autoStartSingleTask = !autoStart;
        const int failed = detail.isEmpty() ? 0 : detail.count(QLatin1Char('\n')) + 1;
        const int nextSubTaskId = m_service->getNextSubTaskID();
        const int nextMainTaskId = m_service->getNextMainTaskID();
        importFile(VelmTest::writeTempFile(file, content));

        QCOMPARE(VelmTest::popups(m_table.get()), QStringList{summary(imported, failed) + (detail.isEmpty() ? "" : " | " + detail)});
        QVERIFY(QString::fromUtf8(strategyLog().trimmed().split('\n').last()).endsWith("[info] [type 6] " + summary(imported, failed)));
        const std::vector<SchedOrdTaskField> tasks = m_service->getVecMainTask();
        QCOMPARE(int(tasks.size()), imported ? 1 : 0);
        // Ids only for passing lines, in file order, then the task's; the +1 is the draw here.
        QCOMPARE(m_service->getNextSubTaskID(), nextSubTaskId + imported + 1);
        QCOMPARE(m_service->getNextMainTaskID(), nextMainTaskId + (imported ? 2 : 1));
        if (!imported)
            return;
        const SchedOrdTaskField& task = tasks.front();
        QVector<int> idSteps; // each sub-task's id is the draw after the one before
        for (const SchedOrdSubTaskField& sub : task.VecSubTask)
            idSteps.append(sub.SubTaskID - nextSubTaskId - idSteps.size());
        QCOMPARE(idSteps, QVector<int>(imported, 1));
        // Field 5 is no end time.
        const QTime start = QTime::fromString(startTime, "hh:mm:ss");
        QCOMPARE(QVariantList({Util::Str2QStr(task.MainTaskName), qlonglong(task.CreateTime), qlonglong(task.StartTime), task.IsSameStartTime,
                               int(task.Direction), task.MainTaskStatus, qlonglong(task.EndTime), task.IsSameEndTime}),
                 QVariantList({name, qlonglong(SchedOrdTaskTime::fromLocalDateTime(2026, 12, 7, 8, 15, 30)),
                               qlonglong(SchedOrdTaskTime::fromLocalDateTime(2026, 12, 7, start.hour(), start.minute(), start.second())),
                               sameStartTime, direction, autoStart ? MainTaskStatus::Running : MainTaskStatus::NotStarted, 0LL, true}));
    }

private:
    // Clicks 导入 and answers the dialog with `path`; `onAnswered` runs right after the answer.
    void importFile(const QString& path, const std::function<void()>& onAnswered = {})
    {
        m_driver = std::make_unique<VelmTest::FileDialogDriver>(path);
        m_driver->setOnAnswered(onAnswered);
        QTest::mouseClick(m_table->findChild<QPushButton*>(QStringLiteral("pushButton_schedord_maintask_import")), Qt::LeftButton);
        QVERIFY(m_driver->dialogSeen());
        m_service->waitForEngineIdle();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    ServiceScheduledOrder* m_service = nullptr;
    std::unique_ptr<SchedOrd_TableMainTaskWid> m_table;
    std::unique_ptr<VelmTest::FileDialogDriver> m_driver;
};

QTEST_MAIN(ImportTest)
#include "tst_import.moc"
