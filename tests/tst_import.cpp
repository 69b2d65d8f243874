#include "FileDialogDriver.h"
#include "SchedOrdClock.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TableMainTaskWid.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "Util.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QFile>
#include <QPushButton>
#include <QSet>
#include <QTableView>
#include <QTextCodec>
#include <QtTest>

#include <functional>
#include <memory>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrd_TableMainTaskWid;

namespace {

constexpr int kStockAccount = 1401;
constexpr int kCreditAccount = 1402;

const QByteArray kHeader = QStringLiteral("类型标识,证券标的,买卖方向,设定开始时间,备注,价格类型,委托价格,报价优化方式,浮动值,委托数量,涨停不卖,跌停不买\n").toUtf8();

int64_t at(int hour, int minute, int second)
{
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

QByteArray order(const char* security, char direction, const char* time, const char* volume = "100")
{
    return QByteArray("SCHED,") + security + ',' + direction + ',' + time + ",,0,0,0,0," + volume + ",1,1\n";
}

QString summary(int imported, int failed)
{
    return QStringLiteral("文件批量导入定时单任务。成功%1条，失败%2条。").arg(imported).arg(failed);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The import through the real 导入 button: the file dialog, the codec, the main task handed to
// the service, the ids, auto-start, the summary box and the strategy log.
class ImportTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void asksForTheFileAsTheHostExpects();
    void cancelDoesNothing();
    void unopenableFileIsReported();
    void utf8FileWithBom_data();
    void utf8FileWithBom();
    void gbkFileWithChineseNames();
    void headerOnlyFileCreatesNoTask();
    void fileOfBadLinesCreatesNoTask();
    void mainTaskAggregates_data();
    void mainTaskAggregates();
    void idsOnlyForPassingLines();
    void autoStart_data();
    void autoStart();
    void summaryGoesToTheStrategyLog();
    void samples_data();
    void samples();
    void basketSamplesAgree();

private:
    void open(int accountId);
    // Clicks 导入 and answers the dialog with `path`; `onAnswered` runs right after the answer.
    void importThroughButton(const QString& path, const std::function<void()>& onAnswered = {});
    QString writeFile(const QString& name, const QByteArray& bytes) const;
    void settle();

    ServiceScheduledOrder* m_service = nullptr;
    ServiceScheduledOrder* m_creditService = nullptr;
    std::unique_ptr<SchedOrd_TableMainTaskWid> m_table;
    std::unique_ptr<VelmTest::FileDialogDriver> m_driver;
};

void ImportTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
}

void ImportTest::init()
{
    VelmTest::setUpWindowManager();
    UserData* stock = VelmTest::addStockAccount(kStockAccount);
    stock->initScheduledOrderApi();
    m_service = stock->getServiceScheduledOrder();
    UserData* credit = VelmTest::addCreditAccount(kCreditAccount);
    credit->initScheduledOrderApi();
    m_creditService = credit->getServiceScheduledOrder();
    // Just after midnight: nothing the tests import is due.
    VelmTest::driveClock(*m_service, at(0, 0, 1));
    VelmTest::driveClock(*m_creditService, at(0, 0, 1));
}

void ImportTest::cleanup()
{
    m_driver.reset();
    m_table.reset();
    VelmTest::removeAllAccounts();
}

void ImportTest::open(int accountId)
{
    ServiceScheduledOrder* service = accountId == kCreditAccount ? m_creditService : m_service;
    m_table = std::make_unique<SchedOrd_TableMainTaskWid>(accountId, service, nullptr);
    m_table->resize(928, 300);
    m_table->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_table.get()));
}

QString ImportTest::writeFile(const QString& name, const QByteArray& bytes) const
{
    const QString path = VelmTest::tempDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes);
    return path;
}

void ImportTest::importThroughButton(const QString& path, const std::function<void()>& onAnswered)
{
    m_driver = std::make_unique<VelmTest::FileDialogDriver>(path);
    m_driver->setOnAnswered(onAnswered);
    QTest::mouseClick(m_table->findChild<QPushButton*>(QStringLiteral("pushButton_schedord_maintask_import")),
                      Qt::LeftButton);
    QVERIFY(m_driver->dialogSeen());
    settle();
}

void ImportTest::settle()
{
    m_service->waitForEngineIdle();
    m_creditService->waitForEngineIdle();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void ImportTest::asksForTheFileAsTheHostExpects()
{
    open(kStockAccount);
    importThroughButton(QString());
    QCOMPARE(m_driver->caption(), QStringLiteral("请选择定时单任务文件"));
    QCOMPARE(m_driver->directory(), QCoreApplication::applicationDirPath());
    QCOMPARE(m_driver->nameFilters(), QStringList{QStringLiteral("CSV Files(*.csv)")});
    QCOMPARE(m_driver->dialogParent(), m_table.get());
}

void ImportTest::cancelDoesNothing()
{
    open(kStockAccount);
    const QByteArray logBefore = readAll(WindowManager::strategyLogPath());
    const int nextSubTaskId = m_service->getNextSubTaskID();
    importThroughButton(QString());
    QVERIFY(gWM->popups().isEmpty());
    QVERIFY(m_service->getVecMainTask().empty());
    QCOMPARE(m_service->getNextSubTaskID(), nextSubTaskId + 1);
    QCOMPARE(readAll(WindowManager::strategyLogPath()), logBefore);
}

void ImportTest::unopenableFileIsReported()
{
    open(kStockAccount);
    const QString path = writeFile(QStringLiteral("vanishing.csv"), order("SH600000", '0', "09:30:00"));
    const QByteArray logBefore = readAll(WindowManager::strategyLogPath());
    QTest::ignoreMessage(QtDebugMsg, "Cannot open file for reading: No such file or directory");
    // The file goes away between the trader's choice and the import's attempt to read it.
    importThroughButton(path, [&path] { QFile::remove(path); });

    QCOMPARE(gWM->popups().size(), 1);
    const PopupRecord popup = gWM->popups().first();
    QCOMPARE(popup.kind, PopupRecord::Info);
    QCOMPARE(popup.text, QStringLiteral("文件打开错误，导入失败"));
    QCOMPARE(popup.detail, QString());
    QCOMPARE(popup.parent.data(), m_table.get());
    QVERIFY(m_service->getVecMainTask().empty());
    QCOMPARE(readAll(WindowManager::strategyLogPath()), logBefore);
}

void ImportTest::utf8FileWithBom_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::newRow("BOM, then data") << QByteArray();
    QTest::newRow("BOM, then a header") << kHeader;
}

void ImportTest::utf8FileWithBom()
{
    QFETCH(QByteArray, header);
    open(kStockAccount);
    const QByteArray content = "\xEF\xBB\xBF" + header + order("SH600000", '0', "09:30:00")
        + QStringLiteral("SCHED,SZ000001,1,09:31:00,平安银行 卖出,12,11.5,1,-0.5,2000,0,1\n").toUtf8()
        + order("BJ920185", '0', "09:32:00", "300");
    // The name stops at the first dot.
    importThroughButton(writeFile(QStringLiteral("basket.v2.csv"), content));

    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, summary(3, 0));
    QCOMPARE(gWM->popups().first().detail, QString());
    const std::vector<SchedOrdTaskField> tasks = m_service->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(1));
    const SchedOrdTaskField& task = tasks.front();
    QCOMPARE(task.MainTaskName, std::string("basket"));
    QCOMPARE(task.MainTaskStatus, '1');
    QCOMPARE(task.TriggerStatus, '1');
    QCOMPARE(task.VecSubTask.size(), size_t(3));
    QCOMPARE(task.VecSubTask[0].SecurityKey, std::string("600000.SH"));
    QCOMPARE(task.VecSubTask[1].SecurityKey, std::string("000001.SZ"));
    QCOMPARE(task.VecSubTask[2].SecurityKey, std::string("920185.BJ"));
    const SchedOrdSubTaskField& limit = task.VecSubTask[1];
    QCOMPARE(limit.Direction, '1');
    QCOMPARE(limit.PriceType, 12);
    QCOMPARE(limit.OrderPrice, 11.5);
    QCOMPARE(limit.PriceFloatType, '1');
    QCOMPARE(limit.PriceFloatValue, -0.5);
    QCOMPARE(limit.TargetVolume, 2000);
    QVERIFY(!limit.NoSellAtLimitUp);
    QVERIFY(limit.NoBuyAtLimitDown);
    for (const SchedOrdSubTaskField& sub : task.VecSubTask)
        QCOMPARE(sub.MainTaskID, task.MainTaskID);

    // The table learns of the task from the service's signal.
    const QAbstractItemModel* rows = m_table->findChild<QTableView*>(QStringLiteral("tableview_SO_monitorMainTask"))->model();
    QCOMPARE(rows->rowCount(), 1);
    QCOMPARE(rows->index(0, rows->columnCount() - 1).data().toInt(), task.MainTaskID);
    QCOMPARE(rows->index(0, 2).data().toString(), QStringLiteral("basket"));
}

void ImportTest::gbkFileWithChineseNames()
{
    // Meaningful only where the machine's code page is not the desks' one.
    QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
    open(kStockAccount);
    QTextCodec* gbk = QTextCodec::codecForName("GBK");
    const QByteArray content = gbk->fromUnicode(QStringLiteral(
        "类型标识,证券标的,买卖方向,设定开始时间,备注,价格类型,委托价格,报价优化方式,浮动值,委托数量,涨停不卖,跌停不买\n"
        "SCHED,SH600000,0,09:30:00,浦发银行 开盘买入,0,0,0,0,1000,1,1\n"
        "SCHED,SZ300750,1,10:00:00,宁德时代 卖出一半,2,0,0,-1,500,1,1\n"
        "SCHED,SH600519,买,10:00:00,贵州茅台,0,0,0,0,100,1,1\n"
        "SCHED,浦发银行上海主板,0,10:00:00,,0,0,0,0,100,1,1\n"));
    QVERIFY(!content.contains("\xEF\xBB\xBF"));
    importThroughButton(writeFile(QStringLiteral("篮子.csv"), content));

    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, summary(2, 2));
    // Read as UTF-8, the Chinese of these fields would have turned into replacement characters.
    QCOMPARE(gWM->popups().first().detail,
             QStringLiteral("[行#4导入失败] 买卖方向(买)字段值无效。格式要求：0为买入，1为卖出\n"
                            "[行#5导入失败] 证券标的(浦发银行上海主板)字段值无效。格式要求：前两位为交易所字母标识，例如SH600000,SZ000001,BJ430047"));
    const std::vector<SchedOrdTaskField> tasks = m_service->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(1));
    QCOMPARE(tasks.front().MainTaskName, Util::QStr2str(QStringLiteral("篮子")));
    QCOMPARE(tasks.front().VecSubTask.size(), size_t(2));
    QCOMPARE(tasks.front().VecSubTask[1].SecurityKey, std::string("300750.SZ"));
    QCOMPARE(tasks.front().VecSubTask[1].PriceFloatValue, -1.0);
}

void ImportTest::headerOnlyFileCreatesNoTask()
{
    open(kStockAccount);
    const int nextSubTaskId = m_service->getNextSubTaskID();
    const int nextMainTaskId = m_service->getNextMainTaskID();
    importThroughButton(writeFile(QStringLiteral("header.csv"), kHeader));

    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, summary(0, 0));
    QCOMPARE(gWM->popups().first().detail, QString());
    QVERIFY(m_service->getVecMainTask().empty());
    QCOMPARE(m_service->getNextSubTaskID(), nextSubTaskId + 1);
    QCOMPARE(m_service->getNextMainTaskID(), nextMainTaskId + 1);
}

void ImportTest::fileOfBadLinesCreatesNoTask()
{
    open(kStockAccount);
    const int nextSubTaskId = m_service->getNextSubTaskID();
    const int nextMainTaskId = m_service->getNextMainTaskID();
    const QByteArray content = kHeader + order("SH60000", '0', "09:30:00") + order("SH600000", 'i', "09:30:00")
        + "\n" + order("SH600000", '0', "24:00:00") + order("SH600000", '0', "09:30:00", "0");
    importThroughButton(writeFile(QStringLiteral("bad.csv"), content));

    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, summary(0, 5));
    QCOMPARE(gWM->popups().first().detail,
             QStringLiteral("[行#2导入失败] 证券标的(SH60000)字段值无效。格式要求：长度8，例如SH600000,SZ000001,BJ430047\n"
                            "[行#3导入失败] 买卖方向(i)字段值无效。格式要求：0为买入，1为卖出\n"
                            "[行#4导入失败] 该行内容为空\n"
                            "[行#5导入失败] 设定开始时间(24:00:00)字段值无效。格式要求：长度8，格式为hh:mm:ss，例如09:45:30\n"
                            "[行#6导入失败] 委托数量(0)字段为无效值。"));
    QVERIFY(m_service->getVecMainTask().empty());
    QCOMPARE(m_service->getNextSubTaskID(), nextSubTaskId + 1);
    QCOMPARE(m_service->getNextMainTaskID(), nextMainTaskId + 1);
}

void ImportTest::mainTaskAggregates_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("startTime");
    QTest::addColumn<bool>("sameStartTime");
    QTest::addColumn<int>("direction");

    QTest::newRow("mixed times and directions")
        << order("SH600000", '0', "10:00:00") + order("SZ000001", '1', "09:30:00") + order("SH600519", '0', "10:00:00")
        << "09:30:00" << false << 0;
    QTest::newRow("earliest last") << order("SH600000", '1', "14:00:00") + order("SZ000001", '1', "09:15:00")
                                   << "09:15:00" << false << int('1');
    QTest::newRow("one time, one direction") << order("SH600000", '0', "09:45:30") + order("SZ000001", '0', "09:45:30")
                                             << "09:45:30" << true << int('0');
    QTest::newRow("single line") << order("SH600000", '1', "13:00:00") << "13:00:00" << true << int('1');
}

void ImportTest::mainTaskAggregates()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, startTime);
    QFETCH(bool, sameStartTime);
    QFETCH(int, direction);
    open(kStockAccount);
    const int64_t before = SchedOrdTaskTime::fromQTime(QTime::currentTime());
    importThroughButton(writeFile(QStringLiteral("mixed.csv"), content));
    const int64_t after = SchedOrdTaskTime::fromQTime(QTime::currentTime());

    const std::vector<SchedOrdTaskField> tasks = m_service->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(1));
    const SchedOrdTaskField& task = tasks.front();
    QCOMPARE(SchedOrdTaskTime::toText(task.StartTime), startTime);
    QCOMPARE(task.IsSameStartTime, sameStartTime);
    QCOMPARE(int(task.Direction), direction);
    // Field 5 is not an end time: every sub-task keeps 0.
    QCOMPARE(task.EndTime, int64_t(0));
    QVERIFY(task.IsSameEndTime);
    QVERIFY(task.CreateTime >= before && task.CreateTime <= after);
}

void ImportTest::idsOnlyForPassingLines()
{
    open(kStockAccount);
    const int firstSubTaskId = m_service->getNextSubTaskID() + 1;
    const int mainTaskId = m_service->getNextMainTaskID() + 1;
    const QByteArray content = order("SH600000", '0', "09:30:00") + order("SH600000", '0', "9:30:00")
        + order("SZ000001", '0', "09:30:00") + order("SZ000001", '0', "09:30:00", "+1") + order("BJ920185", '0', "09:30:00");
    importThroughButton(writeFile(QStringLiteral("ids.csv"), content));

    QCOMPARE(gWM->popups().first().text, summary(3, 2));
    const SchedOrdTaskField task = m_service->getOneMainTask(mainTaskId);
    QCOMPARE(task.MainTaskID, mainTaskId);
    QCOMPARE(task.VecSubTask.size(), size_t(3));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(task.VecSubTask[size_t(i)].SubTaskID, firstSubTaskId + i);
    // The main-task id was drawn after them, and nothing else was drawn.
    QCOMPARE(m_service->getNextSubTaskID(), firstSubTaskId + 3);
    QCOMPARE(m_service->getNextMainTaskID(), mainTaskId + 1);
}

void ImportTest::autoStart_data()
{
    QTest::addColumn<bool>("autoStart");
    QTest::addColumn<char>("status");
    QTest::newRow("on") << true << '2';
    QTest::newRow("off") << false << '1';
}

void ImportTest::autoStart()
{
    QFETCH(bool, autoStart);
    QFETCH(char, status);
    gWM->autoStartImportedTask = autoStart;
    // The single-entry setting must not be the one that counts.
    gWM->autoStartSingleTask = !autoStart;
    open(kStockAccount);
    importThroughButton(writeFile(QStringLiteral("start.csv"), order("SH600000", '0', "09:30:00")));
    const std::vector<SchedOrdTaskField> tasks = m_service->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(1));
    QCOMPARE(tasks.front().MainTaskStatus, status);
}

void ImportTest::summaryGoesToTheStrategyLog()
{
    open(kStockAccount);
    importThroughButton(writeFile(QStringLiteral("log.csv"), kHeader + order("SH600000", '0', "09:30:00")
                                                                 + order("SH600000", '2', "09:30:00")
                                                                 + order("SZ000001", '1', "09:30:00")));
    const QList<QByteArray> lines = readAll(WindowManager::strategyLogPath()).trimmed().split('\n');
    QVERIFY(QString::fromUtf8(lines.last()).endsWith(QStringLiteral("[info] [type 6] ") + summary(2, 1)));
}

void ImportTest::samples_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("accountId");
    QTest::addColumn<int>("imported");
    QTest::addColumn<int>("failed");
    QTest::addColumn<bool>("distinctMessages");
    QTest::newRow("basket, UTF-8") << "basket_utf8.csv" << kStockAccount << 8 << 0 << true;
    QTest::newRow("basket, GBK") << "basket_gbk.csv" << kStockAccount << 8 << 0 << true;
    QTest::newRow("credit orders") << "credit_orders.csv" << kCreditAccount << 6 << 0 << true;
    QTest::newRow("credit orders on a stock account") << "credit_orders.csv" << kStockAccount << 2 << 4 << false;
    QTest::newRow("one error per line") << "error_examples.csv" << kStockAccount << 0 << 17 << true;
}

void ImportTest::samples()
{
    QFETCH(QString, file);
    QFETCH(int, accountId);
    QFETCH(int, imported);
    QFETCH(int, failed);
    QFETCH(bool, distinctMessages);
    const QString path = QFINDTESTDATA(QStringLiteral("../samples/") + file);
    QVERIFY(!path.isEmpty());
    open(accountId);
    importThroughButton(path);

    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().text, summary(imported, failed));
    const QStringList messages = gWM->popups().first().detail.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(messages.size(), failed);
    QStringList reasons;
    for (const QString& message : messages) {
        QVERIFY2(message.startsWith(QStringLiteral("[行#")), qPrintable(message));
        reasons.append(message.section(QStringLiteral("] "), 1));
    }
    // Every line of the error examples shows another message.
    if (distinctMessages)
        QCOMPARE(QSet<QString>(reasons.cbegin(), reasons.cend()).size(), reasons.size());
}

void ImportTest::basketSamplesAgree()
{
    open(kStockAccount);
    importThroughButton(QFINDTESTDATA("../samples/basket_utf8.csv"));
    importThroughButton(QFINDTESTDATA("../samples/basket_gbk.csv"));
    const std::vector<SchedOrdTaskField> tasks = m_service->getVecMainTask();
    QCOMPARE(tasks.size(), size_t(2));
    QCOMPARE(tasks[0].MainTaskName, std::string("basket_utf8"));
    QCOMPARE(tasks[1].MainTaskName, std::string("basket_gbk"));
    QCOMPARE(tasks[0].VecSubTask.size(), tasks[1].VecSubTask.size());
    QSet<char> exchanges;
    for (size_t i = 0; i < tasks[0].VecSubTask.size(); ++i) {
        const SchedOrdSubTaskField& utf8 = tasks[0].VecSubTask[i];
        const SchedOrdSubTaskField& gbk = tasks[1].VecSubTask[i];
        QCOMPARE(gbk.SecurityKey, utf8.SecurityKey);
        QCOMPARE(gbk.Direction, utf8.Direction);
        QCOMPARE(gbk.StartTime, utf8.StartTime);
        QCOMPARE(gbk.PriceType, utf8.PriceType);
        QCOMPARE(gbk.OrderPrice, utf8.OrderPrice);
        QCOMPARE(gbk.PriceFloatType, utf8.PriceFloatType);
        QCOMPARE(gbk.PriceFloatValue, utf8.PriceFloatValue);
        QCOMPARE(gbk.TargetVolume, utf8.TargetVolume);
        QCOMPARE(gbk.NoSellAtLimitUp, utf8.NoSellAtLimitUp);
        QCOMPARE(gbk.NoBuyAtLimitDown, utf8.NoBuyAtLimitDown);
        exchanges.insert(utf8.ExchangeID);
    }
    QCOMPARE(exchanges, (QSet<char>{'1', '2', '4'}));
}

QTEST_MAIN(ImportTest)
#include "tst_import.moc"
