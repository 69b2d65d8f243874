#include "SchedOrdTaskFileParser.h"
#include "SchedOrdTaskFileReader.h"
#include "SchedOrdTaskTime.h"
#include "SubTaskFields.h"
#include "TaskBuilder.h"
#include "Util.h"
#include "VelmTest.h"

#include <QDateTime>
#include <QTextCodec>
#include <QtTest>

#include <functional>

using F = VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskTime;
using Velm_Space::SchedOrdTaskFileParser;
using Velm_Space::SchedOrdTaskFileReader;

Q_DECLARE_METATYPE(F)

namespace {

constexpr int kStock = 1;
constexpr int kCredit = 2;
constexpr int kFirstId = 700;

const QStringList kValidLine{"SCHED", "SH600000", "0", "09:45:30", "", "0", "0", "0", "0", "100", "1", "1"};

// The valid line with some fields (numbered from 1) replaced.
QString lineWith(std::initializer_list<std::pair<int, QString>> changes)
{
    QStringList fields = kValidLine;
    for (const auto& change : changes)
        fields[change.first - 1] = change.second;
    return fields.join(QLatin1Char(','));
}

// What the valid line gives, with some fields changed.
F expected(const std::function<void(F&)>& change = {})
{
    F sub = VelmTest::makeSubTask({"600000.SH", '0', SchedOrdTaskTime::fromClockTime(9, 45, 30), 100, 0}, 0, kFirstId);
    sub.EndTime = 0; // a file sets no end time
    if (change)
        change(sub);
    return sub;
}

QString failed(int lineNumber, const QString& reason)
{
    return QStringLiteral("[行#%1导入失败] ").arg(lineNumber) + reason;
}

} // namespace

// A line against the sub-task it gives or the exact message that refuses it; the file-level rules.
class TaskFileParserTest : public QObject
{
    Q_OBJECT
    int m_idsDrawn = 0;
    SchedOrdTaskFileParser parser(int apiType)
    {
        m_idsDrawn = 0;
        return SchedOrdTaskFileParser(apiType, [this] { return kFirstId + m_idsDrawn++; });
    }

private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        // A parser takes its day when it is made, the expectations theirs later: the same fixed day.
        SchedOrdTaskTime::setClock([] { return QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 999)); });
        // The codec of a file must not follow the machine's: here UTF-8, the desks' code page GBK.
        QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
        QCOMPARE(Util::GetLocalCodec()->name(), QByteArray("GBK"));
    }

    void acceptedLine_data()
    {
        QTest::addColumn<int>("apiType");
        QTest::addColumn<QString>("line");
        QTest::addColumn<F>("sub");
        QTest::newRow("valid line") << kStock << lineWith({}) << expected();
        QTest::newRow("Shenzhen") << kStock << lineWith({{2, "SZ000001"}}) << expected([](F& s) { s.SecurityID = "000001"; s.SecurityKey = "000001.SZ"; s.ExchangeID = '2'; });
        QTest::newRow("Beijing, mixed case") << kStock << lineWith({{2, "bJ920185"}}) << expected([](F& s) { s.SecurityID = "920185"; s.SecurityKey = "920185.BJ"; s.ExchangeID = '4'; });
        QTest::newRow("letters between prefix and digits") << kStock << lineWith({{2, "SHab6000"}}) << expected([](F& s) { s.SecurityID = "6000"; s.SecurityKey = "6000.SH"; });
        QTest::newRow("j on credit, padded") << kCredit << lineWith({{3, " j "}}) << expected([](F& s) { s.Direction = 'j'; });
        QTest::newRow("any direction for another api type") << 9 << lineWith({{3, "x"}}) << expected([](F& s) { s.Direction = 'x'; });
        QTest::newRow("empty price type is 0") << kStock << lineWith({{6, ""}}) << expected();
        QTest::newRow("016 buys at the cage") << kStock << lineWith({{6, "016"}}) << expected([](F& s) { s.PriceType = 16; });
        QTest::newRow("specified price") << kStock << lineWith({{6, "12"}, {7, "10.35"}}) << expected([](F& s) { s.PriceType = 12; s.OrderPrice = 10.35; });
        QTest::newRow("ticks -3") << kStock << lineWith({{9, "-3"}}) << expected([](F& s) { s.PriceFloatValue = -3; });
        QTest::newRow("percent 2.5") << kStock << lineWith({{8, "1"}, {9, "2.5"}}) << expected([](F& s) { s.PriceFloatType = '1'; s.PriceFloatValue = 2.5; });
        QTest::newRow("largest volume") << kStock << lineWith({{10, "2147483647"}}) << expected([](F& s) { s.TargetVolume = 2147483647; });
    }
    void acceptedLine()
    {
        QFETCH(int, apiType);
        QFETCH(QString, line);
        QFETCH(F, sub);
        std::string message;
        F actual;
        QVERIFY(parser(apiType).parseLine(4, line, message, actual));
        QCOMPARE(QString::fromStdString(message), QString());
        QCOMPARE(m_idsDrawn, 1);
        QCOMPARE(VelmTest::subTaskDifferences(actual, sub), QStringList());
    }

    void refusedLine_data()
    {
        QTest::addColumn<int>("apiType");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("message");
        const QString creditRule = QStringLiteral("字段值无效。格式要求：0为买入, 1为卖出, i为融资买入, j为融券卖出");
        const QString time = QStringLiteral("字段值无效。格式要求：长度8，格式为hh:mm:ss，例如09:45:30");
        const QString price = QStringLiteral("字段为无效值。注：价格类型为指定限价时，必须输入有效的报单价格");
        const QString upRule = QStringLiteral("字段为无效值。格式要求：0为不限制，1为涨停时不报卖单");
        QTest::newRow("empty line") << kStock << "" << "该行内容为空";
        QTest::newRow("trailing comma") << kStock << lineWith({}) + "," << "实际字段数量：13。格式要求字段数量：12";
        QTest::newRow("SH60000") << kStock << lineWith({{2, "SH60000"}}) << "证券标的(SH60000)字段值无效。格式要求：长度8，例如SH600000,SZ000001,BJ430047";
        QTest::newRow("XX600000") << kStock << lineWith({{2, "XX600000"}}) << "证券标的(XX600000)字段值无效。格式要求：前两位为交易所字母标识，例如SH600000,SZ000001,BJ430047";
        QTest::newRow("direction 01") << kStock << lineWith({{3, "01"}}) << "买卖方向(01)字段长度无效。格式要求：长度1。";
        QTest::newRow("I on credit") << kCredit << lineWith({{3, "I"}}) << "买卖方向(I)" + creditRule;
        QTest::newRow("i on stock") << kStock << lineWith({{3, "i"}}) << "买卖方向(i)字段值无效。格式要求：0为买入，1为卖出";
        QTest::newRow("9:45:30") << kStock << lineWith({{4, "9:45:30"}}) << "设定开始时间(9:45:30)" + time;
        QTest::newRow("price type 18") << kStock << lineWith({{6, "18"}}) << "价格类型(18)字段为无效值。";
        QTest::newRow("16 with a sell") << kStock << lineWith({{3, "1"}, {6, "016"}}) << "价格类型(笼子买入上限)无法用于卖出方向。";
        QTest::newRow("17 with a buy") << kStock << lineWith({{6, "17"}}) << "价格类型(笼子卖出下限)无法用于买入方向。";
        QTest::newRow("type 12, price 0") << kStock << lineWith({{6, "12"}, {7, "0"}}) << "委托价格(0)" + price;
        QTest::newRow("empty float mode") << kStock << lineWith({{8, ""}}) << "报价优化方式()字段长度无效。格式要求：长度1。";
        QTest::newRow("float mode 2") << kStock << lineWith({{8, "2"}}) << "报价优化方式(2)字段为无效值。格式要求：0为tick调整，1为百分比调整";
        QTest::newRow("volume 0") << kStock << lineWith({{10, "0"}}) << "委托数量(0)字段为无效值。";
        QTest::newRow("limit-up flag 2") << kStock << lineWith({{11, "2"}}) << "涨停不卖(2)" + upRule;
        QTest::newRow("limit-down flag 01") << kStock << lineWith({{12, "01"}}) << "跌停不买(01)字段为无效值。格式要求：0为不限制，1为跌停时不报买单";
        // A refused value is shown cut after 32 characters, invisible characters as escapes.
        const QString tag = QStringLiteral("类型标识(%1)字段无效。格式要求：请填写SCHED。");
        QTest::newRow("long value cut") << kStock << lineWith({{1, QString(40, 'S')}}) << tag.arg(QString(32, 'S') + "…");
        QTest::newRow("cut before a surrogate pair") << kStock << lineWith({{1, QString(31, 'S') + "😀SS"}}) << tag.arg(QString(31, 'S') + "…");
        QTest::newRow("32 characters whole") << kStock << lineWith({{1, QString(32, 'S')}}) << tag.arg(QString(32, 'S'));
        QTest::newRow("NUL") << kStock << lineWith({{3, QString(QChar(0))}}) << "买卖方向(\\x00)字段值无效。格式要求：0为买入，1为卖出";
        QTest::newRow("right-to-left override") << kStock << lineWith({{11, QString(QChar(0x202E)) + "1"}}) << "涨停不卖(\\u202E1)" + upRule;
    }
    void refusedLine()
    {
        QFETCH(int, apiType);
        QFETCH(QString, line);
        QFETCH(QString, message);
        std::string actual;
        F sub;
        QVERIFY(!parser(apiType).parseLine(12, line, actual, sub));
        // Local 8-bit text: it must read back through the host's conversion.
        QCOMPARE(Util::Str2QStr(actual), failed(12, message));
        QCOMPARE(m_idsDrawn, 0);
        QCOMPARE(sub.SubTaskID, 0);
    }

    void fileLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("securityIds");
        QTest::addColumn<QString>("errorText");
        const QByteArray data = lineWith({}).toUtf8();
        const QByteArray lowerCase = lineWith({{1, "sched"}, {2, "SZ000001"}}).toUtf8();
        const QByteArray header = QStringLiteral("类型标识,证券标的,买卖方向,设定开始时间,备注,价格类型,委托价格,报价优化方式,浮动值,委托数量,涨停不卖,跌停不买").toUtf8();
        QTest::newRow("UTF-8 with BOM, data first") << "\xEF\xBB\xBF" + data << QStringList{"600000"} << "";
        QTest::newRow("lower-case line 1 is a header") << lowerCase + "\n" + data + "\n" << QStringList{"600000"} << "";
        QTest::newRow("lower-case line 2 is data") << header + "\n" + lowerCase + "\n" << QStringList{"000001"} << "";
        QTest::newRow("line 1 starting with SCHED is checked") << "SCHEDULE" + data.mid(5) + "\n" + data << QStringList{"600000"}
                                                               << failed(1, "类型标识(SCHEDULE)字段无效。格式要求：请填写SCHED。");
        QTest::newRow("one extra empty line at the end") << header + "\n" + data + "\n\n" << QStringList{"600000"} << failed(3, "该行内容为空");
        // A line longer than 4096 characters is refused without being read whole.
        const QByteArray data4096 = lineWith({{5, QString(4096 - data.size(), 'x')}}).toUtf8();
        const QByteArray data4097 = lineWith({{5, QString(4097 - data.size(), 'x')}}).toUtf8();
        QTest::newRow("4096 characters, CR LF") << header + "\r\n" + data4096 + "\r\n" + data << QStringList{"600000", "600000"} << "";
        QTest::newRow("4097 characters, 12 fields") << header + "\n" + data4097 + "\n" + data << QStringList{"600000"}
            << failed(2, "该行内容过长：4097个字符。格式要求：每行不超过4096个字符");
        QTest::newRow("long line of commas") << header + "\n" + QByteArray(9000, ',') + "\n" + data << QStringList{"600000"}
            << failed(2, "实际字段数量：9001。格式要求字段数量：12");
        QTest::newRow("long header skipped") << QByteArray(9000, 'h') + "\n" + data << QStringList{"600000"} << "";
    }
    void fileLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, securityIds);
        QFETCH(QString, errorText);
        QFile file(VelmTest::writeTempFile(QStringLiteral("lines.csv"), content));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        QTextStream stream(&file);
        stream.setCodec(SchedOrdTaskFileReader::codecFor(file.fileName()));
        const SchedOrdTaskFileParser lines = parser(kStock);
        const SchedOrdTaskFileReader::Result result = SchedOrdTaskFileReader::readLines(
            stream, [&lines](int number, const QString& line, std::string& message, F& sub) { return lines.parseLine(number, line, message, sub); });
        QStringList ids;
        for (size_t i = 0; i < result.subTasks.size(); ++i) {
            ids.append(QString::fromStdString(result.subTasks[i].SecurityID));
            QCOMPARE(result.subTasks[i].SubTaskID, kFirstId + int(i));
        }
        QCOMPARE(ids, securityIds);
        QCOMPARE(m_idsDrawn, securityIds.size());
        QCOMPARE(result.failureCount, errorText.isEmpty() ? 0 : errorText.count(QLatin1Char('\n')) + 1);
        QCOMPARE(Util::Str2QStr(result.errorText), errorText);
    }
};

QTEST_GUILESS_MAIN(TaskFileParserTest)
#include "tst_taskfileparser.moc"
