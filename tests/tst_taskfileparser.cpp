#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskFileParser.h"
#include "SchedOrdTaskFileReader.h"
#include "SchedOrdTaskTime.h"
#include "Util.h"
#include "VelmTest.h"

#include <QFile>
#include <QTextCodec>
#include <QTextStream>
#include <QtTest>

#include <functional>
#include <initializer_list>
#include <utility>

using VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskTime;
using Velm_Space::SchedOrdTaskFileParser;
using Velm_Space::SchedOrdTaskFileReader;

Q_DECLARE_METATYPE(SchedOrdSubTaskField)

namespace {

constexpr int kStock = 1;
constexpr int kCredit = 2;
constexpr int kOtherApiType = 9;
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

int64_t at(int hour, int minute, int second)
{
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

// What the valid line gives, with some fields changed.
SchedOrdSubTaskField expected(const std::function<void(SchedOrdSubTaskField&)>& change = {})
{
    SchedOrdSubTaskField sub;
    sub.SubTaskID = kFirstId;
    sub.SecurityKey = "600000.SH";
    sub.SecurityID = "600000";
    sub.ExchangeID = '1';
    sub.Direction = '0';
    sub.TriggerTime = at(0, 0, 0);
    sub.TargetVolume = 100;
    sub.SubTaskStatus = '1';
    sub.TriggerStatus = '1';
    sub.PriceType = 0;
    sub.PriceFloatType = '0';
    sub.StartTime = at(9, 45, 30);
    if (change)
        change(sub);
    return sub;
}

void compareSubTasks(const SchedOrdSubTaskField& actual, const SchedOrdSubTaskField& wanted)
{
    QCOMPARE(actual.MainTaskID, wanted.MainTaskID);
    QCOMPARE(actual.SubTaskID, wanted.SubTaskID);
    QCOMPARE(actual.SecurityKey, wanted.SecurityKey);
    QCOMPARE(actual.SecurityID, wanted.SecurityID);
    QCOMPARE(actual.ExchangeID, wanted.ExchangeID);
    QCOMPARE(actual.Direction, wanted.Direction);
    QCOMPARE(actual.TriggerTime, wanted.TriggerTime);
    QCOMPARE(actual.TargetVolume, wanted.TargetVolume);
    QCOMPARE(actual.TradeVolume, wanted.TradeVolume);
    QCOMPARE(actual.SubTaskStatus, wanted.SubTaskStatus);
    QCOMPARE(actual.TriggerStatus, wanted.TriggerStatus);
    QCOMPARE(actual.HostCode, wanted.HostCode);
    QCOMPARE(actual.OrderVolume, wanted.OrderVolume);
    QCOMPARE(actual.PriceType, wanted.PriceType);
    QCOMPARE(actual.PriceFloatType, wanted.PriceFloatType);
    QCOMPARE(actual.PriceFloatValue, wanted.PriceFloatValue);
    QCOMPARE(actual.OrderPrice, wanted.OrderPrice);
    QCOMPARE(actual.HostValue, wanted.HostValue);
    QCOMPARE(actual.StartTime, wanted.StartTime);
    QCOMPARE(actual.EndTime, wanted.EndTime);
    QCOMPARE(actual.NoSellAtLimitUp, wanted.NoSellAtLimitUp);
    QCOMPARE(actual.NoBuyAtLimitDown, wanted.NoBuyAtLimitDown);
    QCOMPARE(actual.ErrorMsg, wanted.ErrorMsg);
}

QString failed(int lineNumber, const QString& reason)
{
    return QStringLiteral("[行#%1导入失败] ").arg(lineNumber) + reason;
}

const QString kStockDirectionRule = QStringLiteral("格式要求：0为买入，1为卖出");
const QString kCreditDirectionRule = QStringLiteral("格式要求：0为买入, 1为卖出, i为融资买入, j为融券卖出");
const QString kTimeRule = QStringLiteral("格式要求：长度8，格式为hh:mm:ss，例如09:45:30");

} // namespace

// One line of a task file against the sub-task it gives or the exact message that refuses it,
// and the file-level rules (header, empty lines, codec, collected messages).
class TaskFileParserTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void acceptedLine_data();
    void acceptedLine();
    void refusedLine_data();
    void refusedLine();
    void isAllDigits_data();
    void isAllDigits();

    void fileLines_data();
    void fileLines();
    void codecOfAFile_data();
    void codecOfAFile();

private:
    QString writeFile(const QString& name, const QByteArray& bytes);
};

void TaskFileParserTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
}

QString TaskFileParserTest::writeFile(const QString& name, const QByteArray& bytes)
{
    const QString path = VelmTest::tempDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes);
    return path;
}

void TaskFileParserTest::acceptedLine_data()
{
    QTest::addColumn<int>("apiType");
    QTest::addColumn<QString>("line");
    QTest::addColumn<SchedOrdSubTaskField>("sub");

    QTest::newRow("valid line") << kStock << lineWith({}) << expected();
    QTest::newRow("tag in lower case") << kStock << lineWith({{1, "sched"}}) << expected();
    QTest::newRow("tag in mixed case, padded") << kStock << lineWith({{1, " ScHeD\t"}}) << expected();
    QTest::newRow("sh600000") << kStock << lineWith({{2, "sh600000"}}) << expected();
    QTest::newRow("Shenzhen") << kStock << lineWith({{2, "SZ000001"}}) << expected([](SchedOrdSubTaskField& s) {
        s.SecurityID = "000001";
        s.SecurityKey = "000001.SZ";
        s.ExchangeID = '2';
    });
    QTest::newRow("Beijing, mixed case") << kStock << lineWith({{2, "bJ920185"}}) << expected([](SchedOrdSubTaskField& s) {
        s.SecurityID = "920185";
        s.SecurityKey = "920185.BJ";
        s.ExchangeID = '4';
    });
    QTest::newRow("letters between prefix and digits") << kStock << lineWith({{2, "SHab6000"}})
                                                       << expected([](SchedOrdSubTaskField& s) {
                                                              s.SecurityID = "6000";
                                                              s.SecurityKey = "6000.SH";
                                                          });
    QTest::newRow("no digits at the end") << kStock << lineWith({{2, "SH6000ab"}}) << expected([](SchedOrdSubTaskField& s) {
        s.SecurityID = "";
        s.SecurityKey = ".SH";
    });
    QTest::newRow("sell") << kStock << lineWith({{3, "1"}}) << expected([](SchedOrdSubTaskField& s) { s.Direction = '1'; });
    QTest::newRow("financed buy on credit") << kCredit << lineWith({{3, "i"}})
                                            << expected([](SchedOrdSubTaskField& s) { s.Direction = 'i'; });
    QTest::newRow("short sell on credit") << kCredit << lineWith({{3, " j "}})
                                          << expected([](SchedOrdSubTaskField& s) { s.Direction = 'j'; });
    QTest::newRow("any direction for another api type") << kOtherApiType << lineWith({{3, "x"}})
                                                        << expected([](SchedOrdSubTaskField& s) { s.Direction = 'x'; });
    QTest::newRow("23:59:59") << kStock << lineWith({{4, "23:59:59"}})
                              << expected([](SchedOrdSubTaskField& s) { s.StartTime = at(23, 59, 59); });
    QTest::newRow("00:00:00") << kStock << lineWith({{4, "00:00:00"}})
                              << expected([](SchedOrdSubTaskField& s) { s.StartTime = at(0, 0, 0); });
    QTest::newRow("19:05:09, padded") << kStock << lineWith({{4, "  19:05:09 "}})
                                      << expected([](SchedOrdSubTaskField& s) { s.StartTime = at(19, 5, 9); });
    QTest::newRow("field 5 is not examined") << kStock << lineWith({{5, "浦发银行 开盘 \"买入\";"}}) << expected();
    QTest::newRow("empty price type is 0") << kStock << lineWith({{6, ""}}) << expected();
    QTest::newRow("016 buys at the cage") << kStock << lineWith({{6, "016"}})
                                          << expected([](SchedOrdSubTaskField& s) { s.PriceType = 16; });
    QTest::newRow("17 sells at the cage") << kStock << lineWith({{3, "1"}, {6, "17"}}) << expected([](SchedOrdSubTaskField& s) {
        s.Direction = '1';
        s.PriceType = 17;
    });
    QTest::newRow("16 with a financed buy") << kCredit << lineWith({{3, "i"}, {6, "16"}}) << expected([](SchedOrdSubTaskField& s) {
        s.Direction = 'i';
        s.PriceType = 16;
    });
    QTest::newRow("17 with a short sell") << kCredit << lineWith({{3, "j"}, {6, "17"}}) << expected([](SchedOrdSubTaskField& s) {
        s.Direction = 'j';
        s.PriceType = 17;
    });
    QTest::newRow("specified price") << kStock << lineWith({{6, "12"}, {7, "10.35"}}) << expected([](SchedOrdSubTaskField& s) {
        s.PriceType = 12;
        s.OrderPrice = 10.35;
    });
    QTest::newRow("smallest specified price") << kStock << lineWith({{6, "12"}, {7, "0.000001"}})
                                              << expected([](SchedOrdSubTaskField& s) {
                                                     s.PriceType = 12;
                                                     s.OrderPrice = 0.000001;
                                                 });
    QTest::newRow("price abc is 0 for the last price") << kStock << lineWith({{7, "abc"}}) << expected();
    QTest::newRow("price is kept for other types") << kStock << lineWith({{6, "3"}, {7, "1e1"}})
                                                   << expected([](SchedOrdSubTaskField& s) {
                                                          s.PriceType = 3;
                                                          s.OrderPrice = 10;
                                                      });
    QTest::newRow("nan is no price") << kStock << lineWith({{7, "nan"}}) << expected();
    QTest::newRow("ticks 2.5 give 0") << kStock << lineWith({{9, "2.5"}}) << expected();
    QTest::newRow("ticks -3") << kStock << lineWith({{9, "-3"}})
                              << expected([](SchedOrdSubTaskField& s) { s.PriceFloatValue = -3; });
    QTest::newRow("ticks +2") << kStock << lineWith({{9, "+2"}})
                              << expected([](SchedOrdSubTaskField& s) { s.PriceFloatValue = 2; });
    QTest::newRow("percent 2.5") << kStock << lineWith({{8, "1"}, {9, "2.5"}}) << expected([](SchedOrdSubTaskField& s) {
        s.PriceFloatType = '1';
        s.PriceFloatValue = 2.5;
    });
    QTest::newRow("percent -0.5") << kStock << lineWith({{8, "1"}, {9, "-0.5"}}) << expected([](SchedOrdSubTaskField& s) {
        s.PriceFloatType = '1';
        s.PriceFloatValue = -0.5;
    });
    QTest::newRow("percent text gives 0") << kStock << lineWith({{8, "1"}, {9, "up"}})
                                          << expected([](SchedOrdSubTaskField& s) { s.PriceFloatType = '1'; });
    QTest::newRow("volume with spaces around") << kStock << lineWith({{10, " 100 "}}) << expected();
    QTest::newRow("volume with leading zeros") << kStock << lineWith({{10, "0070"}})
                                               << expected([](SchedOrdSubTaskField& s) { s.TargetVolume = 70; });
    QTest::newRow("largest volume") << kStock << lineWith({{10, "2147483647"}})
                                    << expected([](SchedOrdSubTaskField& s) { s.TargetVolume = 2147483647; });
    QTest::newRow("flags 0 and 0") << kStock << lineWith({{11, "0"}, {12, "0"}}) << expected([](SchedOrdSubTaskField& s) {
        s.NoSellAtLimitUp = false;
        s.NoBuyAtLimitDown = false;
    });
    QTest::newRow("flags 1 and 0") << kStock << lineWith({{11, "1"}, {12, " 0"}})
                                   << expected([](SchedOrdSubTaskField& s) { s.NoBuyAtLimitDown = false; });
    QTest::newRow("flags 0 and 1") << kStock << lineWith({{11, "0 "}, {12, "1"}})
                                   << expected([](SchedOrdSubTaskField& s) { s.NoSellAtLimitUp = false; });
}

void TaskFileParserTest::acceptedLine()
{
    QFETCH(int, apiType);
    QFETCH(QString, line);
    QFETCH(SchedOrdSubTaskField, sub);

    int idsDrawn = 0;
    const SchedOrdTaskFileParser parser(apiType, [&idsDrawn] { return kFirstId + idsDrawn++; });
    std::string message;
    SchedOrdSubTaskField actual;
    QVERIFY(parser.parseLine(4, line, message, actual));
    QCOMPARE(QString::fromStdString(message), QString());
    QCOMPARE(idsDrawn, 1);
    compareSubTasks(actual, sub);
}

void TaskFileParserTest::refusedLine_data()
{
    QTest::addColumn<int>("apiType");
    QTest::addColumn<int>("lineNumber");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("message");

    QTest::newRow("empty line") << kStock << 3 << "" << "[行#3导入失败] 该行内容为空";
    QTest::newRow("line of spaces") << kStock << 12 << "     " << "[行#12导入失败] 实际字段数量：1。格式要求字段数量：12";
    QTest::newRow("trailing comma") << kStock << 2 << lineWith({}) + ","
                                    << "[行#2导入失败] 实际字段数量：13。格式要求字段数量：12";
    QTest::newRow("11 fields") << kStock << 2 << kValidLine.mid(1).join(',')
                               << failed(2, "实际字段数量：11。格式要求字段数量：12");
    QTest::newRow("only commas") << kStock << 2 << ",,,,,,,,,,,,,,,,,,,," << failed(2, "实际字段数量：21。格式要求字段数量：12");
    QTest::newRow("tag SCHEDX") << kStock << 2 << lineWith({{1, "SCHEDX"}})
                                << failed(2, "类型标识(SCHEDX)字段无效。格式要求：请填写SCHED。");
    QTest::newRow("empty tag") << kStock << 2 << lineWith({{1, "  "}}) << failed(2, "类型标识()字段无效。格式要求：请填写SCHED。");
    // The long s folds to an s in Unicode, yet it is no letter of the tag; outside GBK it reads '?'.
    QTest::newRow("tag with a long s") << kStock << 2 << lineWith({{1, "ſched"}})
                                       << failed(2, "类型标识(?ched)字段无效。格式要求：请填写SCHED。");
    QTest::newRow("SH60000") << kStock << 5 << lineWith({{2, "SH60000"}})
                             << failed(5, "证券标的(SH60000)字段值无效。格式要求：长度8，例如SH600000,SZ000001,BJ430047");
    QTest::newRow("nine characters") << kStock << 5 << lineWith({{2, " SH6000000 "}})
                                     << failed(5, "证券标的(SH6000000)字段值无效。格式要求：长度8，例如SH600000,SZ000001,BJ430047");
    QTest::newRow("XX600000") << kStock << 5 << lineWith({{2, "XX600000"}})
                              << failed(5, "证券标的(XX600000)字段值无效。格式要求：前两位为交易所字母标识，例如SH600000,SZ000001,BJ430047");
    QTest::newRow("a name instead of a code") << kStock << 5 << lineWith({{2, "浦发银行上海主板"}})
                                              << failed(5, "证券标的(浦发银行上海主板)字段值无效。格式要求：前两位为交易所字母标识，例如SH600000,SZ000001,BJ430047");
    QTest::newRow("security checked before direction") << kStock << 5 << lineWith({{2, "HK000001"}, {3, "I"}})
                                                       << failed(5, "证券标的(HK000001)字段值无效。格式要求：前两位为交易所字母标识，例如SH600000,SZ000001,BJ430047");
    QTest::newRow("direction of two characters") << kStock << 6 << lineWith({{3, "01"}})
                                                 << failed(6, "买卖方向(01)字段长度无效。格式要求：长度1。");
    QTest::newRow("empty direction") << kCredit << 6 << lineWith({{3, ""}})
                                     << failed(6, "买卖方向()字段长度无效。格式要求：长度1。");
    QTest::newRow("I on credit") << kCredit << 6 << lineWith({{3, "I"}}) << failed(6, "买卖方向(I)字段值无效。" + kCreditDirectionRule);
    QTest::newRow("J on credit") << kCredit << 6 << lineWith({{3, "J"}}) << failed(6, "买卖方向(J)字段值无效。" + kCreditDirectionRule);
    QTest::newRow("i on stock") << kStock << 6 << lineWith({{3, "i"}}) << failed(6, "买卖方向(i)字段值无效。" + kStockDirectionRule);
    QTest::newRow("2 on stock") << kStock << 6 << lineWith({{3, "2"}}) << failed(6, "买卖方向(2)字段值无效。" + kStockDirectionRule);
    QTest::newRow("买 on stock") << kStock << 6 << lineWith({{3, "买"}}) << failed(6, "买卖方向(买)字段值无效。" + kStockDirectionRule);
    QTest::newRow("9:45:30") << kStock << 7 << lineWith({{4, "9:45:30"}}) << failed(7, "设定开始时间(9:45:30)字段值无效。" + kTimeRule);
    QTest::newRow("24:00:00") << kStock << 7 << lineWith({{4, "24:00:00"}}) << failed(7, "设定开始时间(24:00:00)字段值无效。" + kTimeRule);
    QTest::newRow("20:60:00") << kStock << 7 << lineWith({{4, "20:60:00"}}) << failed(7, "设定开始时间(20:60:00)字段值无效。" + kTimeRule);
    QTest::newRow("09:45:60") << kStock << 7 << lineWith({{4, "09:45:60"}}) << failed(7, "设定开始时间(09:45:60)字段值无效。" + kTimeRule);
    QTest::newRow("09-45-30") << kStock << 7 << lineWith({{4, "09-45-30"}}) << failed(7, "设定开始时间(09-45-30)字段值无效。" + kTimeRule);
    QTest::newRow("09:45:30.5") << kStock << 7 << lineWith({{4, "09:45:30.5"}}) << failed(7, "设定开始时间(09:45:30.5)字段值无效。" + kTimeRule);
    QTest::newRow("time with a full-width digit") << kStock << 7 << lineWith({{4, "０9:45:30"}})
                                                  << failed(7, "设定开始时间(０9:45:30)字段值无效。" + kTimeRule);
    QTest::newRow("price type 18") << kStock << 8 << lineWith({{6, "18"}}) << failed(8, "价格类型(18)字段为无效值。");
    QTest::newRow("price type -1") << kStock << 8 << lineWith({{6, "-1"}}) << failed(8, "价格类型(-1)字段为无效值。");
    QTest::newRow("price type 1 2") << kStock << 8 << lineWith({{6, "1 2"}}) << failed(8, "价格类型(1 2)字段为无效值。");
    QTest::newRow("price type beyond int") << kStock << 8 << lineWith({{6, "4294967297"}})
                                           << failed(8, "价格类型(4294967297)字段为无效值。");
    QTest::newRow("16 with a sell") << kStock << 8 << lineWith({{3, "1"}, {6, "016"}})
                                    << failed(8, "价格类型(笼子买入上限)无法用于卖出方向。");
    QTest::newRow("16 with a short sell") << kCredit << 8 << lineWith({{3, "j"}, {6, "16"}})
                                          << failed(8, "价格类型(笼子买入上限)无法用于卖出方向。");
    QTest::newRow("17 with a buy") << kStock << 8 << lineWith({{6, "17"}}) << failed(8, "价格类型(笼子卖出下限)无法用于买入方向。");
    QTest::newRow("17 with a financed buy") << kCredit << 8 << lineWith({{3, "i"}, {6, "17"}})
                                            << failed(8, "价格类型(笼子卖出下限)无法用于买入方向。");
    const QString priceRule = QStringLiteral("注：价格类型为指定限价时，必须输入有效的报单价格");
    QTest::newRow("type 12, price 0") << kStock << 9 << lineWith({{6, "12"}, {7, "0"}})
                                      << failed(9, "委托价格(0)字段为无效值。" + priceRule);
    QTest::newRow("type 12, price abc") << kStock << 9 << lineWith({{6, "12"}, {7, " abc "}})
                                        << failed(9, "委托价格(abc)字段为无效值。" + priceRule);
    QTest::newRow("type 12, below the smallest price") << kStock << 9 << lineWith({{6, "12"}, {7, "0.0000009"}})
                                                       << failed(9, "委托价格(0.0000009)字段为无效值。" + priceRule);
    QTest::newRow("type 12, negative price") << kStock << 9 << lineWith({{6, "12"}, {7, "-5"}})
                                             << failed(9, "委托价格(-5)字段为无效值。" + priceRule);
    QTest::newRow("type 12, nan") << kStock << 9 << lineWith({{6, "12"}, {7, "nan"}})
                                  << failed(9, "委托价格(nan)字段为无效值。" + priceRule);
    QTest::newRow("empty float mode") << kStock << 10 << lineWith({{8, ""}})
                                      << failed(10, "报价优化方式()字段长度无效。格式要求：长度1。");
    QTest::newRow("float mode 01") << kStock << 10 << lineWith({{8, "01"}})
                                   << failed(10, "报价优化方式(01)字段长度无效。格式要求：长度1。");
    QTest::newRow("float mode 2") << kStock << 10 << lineWith({{8, "2"}})
                                  << failed(10, "报价优化方式(2)字段为无效值。格式要求：0为tick调整，1为百分比调整");
    QTest::newRow("volume 0") << kStock << 11 << lineWith({{10, "0"}}) << failed(11, "委托数量(0)字段为无效值。");
    QTest::newRow("volume +100") << kStock << 11 << lineWith({{10, "+100"}}) << failed(11, "委托数量(+100)字段为无效值。");
    QTest::newRow("volume 1e3") << kStock << 11 << lineWith({{10, "1e3"}}) << failed(11, "委托数量(1e3)字段为无效值。");
    QTest::newRow("volume 10 0") << kStock << 11 << lineWith({{10, "10 0"}}) << failed(11, "委托数量(10 0)字段为无效值。");
    QTest::newRow("volume 100.0") << kStock << 11 << lineWith({{10, "100.0"}}) << failed(11, "委托数量(100.0)字段为无效值。");
    QTest::newRow("empty volume") << kStock << 11 << lineWith({{10, ""}}) << failed(11, "委托数量()字段为无效值。");
    QTest::newRow("volume beyond int") << kStock << 11 << lineWith({{10, "2147483648"}})
                                       << failed(11, "委托数量(2147483648)字段为无效值。");
    const QString upRule = QStringLiteral("格式要求：0为不限制，1为涨停时不报卖单");
    const QString downRule = QStringLiteral("格式要求：0为不限制，1为跌停时不报买单");
    QTest::newRow("limit-up flag 2") << kStock << 12 << lineWith({{11, "2"}}) << failed(12, "涨停不卖(2)字段为无效值。" + upRule);
    QTest::newRow("limit-up flag true") << kStock << 12 << lineWith({{11, "true"}}) << failed(12, "涨停不卖(true)字段为无效值。" + upRule);
    QTest::newRow("empty limit-up flag") << kStock << 12 << lineWith({{11, ""}}) << failed(12, "涨停不卖()字段为无效值。" + upRule);
    QTest::newRow("limit-down flag 2") << kStock << 13 << lineWith({{12, "2"}}) << failed(13, "跌停不买(2)字段为无效值。" + downRule);
    QTest::newRow("limit-down flag true") << kStock << 13 << lineWith({{12, "true"}})
                                          << failed(13, "跌停不买(true)字段为无效值。" + downRule);
    QTest::newRow("empty limit-down flag") << kStock << 13 << lineWith({{12, " "}}) << failed(13, "跌停不买()字段为无效值。" + downRule);
    QTest::newRow("limit-down flag 01") << kStock << 13 << lineWith({{12, "01"}}) << failed(13, "跌停不买(01)字段为无效值。" + downRule);
}

void TaskFileParserTest::refusedLine()
{
    QFETCH(int, apiType);
    QFETCH(int, lineNumber);
    QFETCH(QString, line);
    QFETCH(QString, message);

    int idsDrawn = 0;
    const SchedOrdTaskFileParser parser(apiType, [&idsDrawn] { return kFirstId + idsDrawn++; });
    std::string actual;
    SchedOrdSubTaskField sub;
    QVERIFY(!parser.parseLine(lineNumber, line, actual, sub));
    // The message is local 8-bit text: it must read back through the host's conversion.
    QCOMPARE(Util::Str2QStr(actual), message);
    QCOMPARE(idsDrawn, 0);
    QCOMPARE(sub.SubTaskID, 0);
}

void TaskFileParserTest::isAllDigits_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("digits");
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("digits") << QByteArray("0123456789") << true;
    QTest::newRow("letter at the end") << QByteArray("123a") << false;
    QTest::newRow("leading space") << QByteArray(" 1") << false;
    QTest::newRow("sign") << QByteArray("-1") << false;
    QTest::newRow("decimal point") << QByteArray("1.0") << false;
    QTest::newRow("NUL byte") << QByteArray("1\0" "2", 3) << false;
    QTest::newRow("full-width digit in GBK") << QByteArray("\xA3\xB1") << false;
    QTest::newRow("byte 0xB9 (superscript one in Latin-1)") << QByteArray("\xB9") << false;
}

void TaskFileParserTest::isAllDigits()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, digits);
    QCOMPARE(SchedOrdTaskFileParser::isAllDigits(text.toStdString()), digits);
}

void TaskFileParserTest::fileLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("securityIds");
    QTest::addColumn<int>("failures");
    QTest::addColumn<QString>("errorText");

    const QByteArray data = lineWith({}).toUtf8();
    const QByteArray lowerCase = lineWith({{1, "sched"}, {2, "SZ000001"}}).toUtf8();
    const QByteArray header = QStringLiteral("类型标识,证券标的,买卖方向,设定开始时间,备注,价格类型,委托价格,报价优化方式,浮动值,委托数量,涨停不卖,跌停不买").toUtf8();
    const QByteArray bad = lineWith({{10, "0"}}).toUtf8();

    QTest::newRow("upper-case SCHED as line 1 is data") << data + "\n" << QStringList{"600000"} << 0 << "";
    QTest::newRow("lower-case line 1 is a header") << lowerCase + "\n" + data + "\n" << QStringList{"600000"} << 0 << "";
    QTest::newRow("lower-case line 2 is data") << header + "\n" + lowerCase + "\n" << QStringList{"000001"} << 0 << "";
    QTest::newRow("text as line 1 is a header") << header + "\n" + data << QStringList{"600000"} << 0 << "";
    QTest::newRow("indented SCHED as line 1 is a header") << " " + data + "\n" + lowerCase << QStringList{"000001"} << 0 << "";
    QTest::newRow("line 1 starting with SCHED is checked")
        << "SCHEDULE" + data.mid(5) + "\n" + data << QStringList{"600000"} << 1
        << failed(1, "类型标识(SCHEDULE)字段无效。格式要求：请填写SCHED。");
    QTest::newRow("only a header") << header + "\n" << QStringList{} << 0 << "";
    QTest::newRow("empty file") << QByteArray() << QStringList{} << 0 << "";
    QTest::newRow("empty line in the middle") << header + "\n" + data + "\n\n" + lowerCase + "\n" << QStringList{"600000", "000001"}
                                              << 1 << failed(3, "该行内容为空");
    QTest::newRow("one extra empty line at the end") << header + "\n" + data + "\n\n" << QStringList{"600000"} << 1
                                                     << failed(3, "该行内容为空");
    QTest::newRow("no line feed after the last line") << header + "\n" + data << QStringList{"600000"} << 0 << "";
    QTest::newRow("CR LF line ends") << header + "\r\n" + data + "\r\n" + lowerCase + "\r\n" << QStringList{"600000", "000001"} << 0 << "";
    QTest::newRow("messages in file order, one per line")
        << header + "\n" + bad + "\n" + data + "\n   \n" + bad + "\n"
        << QStringList{"600000"} << 3
        << failed(2, "委托数量(0)字段为无效值。") + "\n" + failed(4, "实际字段数量：1。格式要求字段数量：12") + "\n"
               + failed(5, "委托数量(0)字段为无效值。");
}

void TaskFileParserTest::fileLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, securityIds);
    QFETCH(int, failures);
    QFETCH(QString, errorText);

    const QString path = writeFile(QStringLiteral("lines.csv"), content);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    QTextStream stream(&file);
    stream.setCodec(SchedOrdTaskFileReader::codecFor(path));
    int idsDrawn = 0;
    const SchedOrdTaskFileParser parser(kStock, [&idsDrawn] { return kFirstId + idsDrawn++; });
    const SchedOrdTaskFileReader::Result result = SchedOrdTaskFileReader::readLines(
        stream, [&parser](int lineNumber, const QString& line, std::string& message, SchedOrdSubTaskField& sub) {
            return parser.parseLine(lineNumber, line, message, sub);
        });

    QStringList ids;
    for (const SchedOrdSubTaskField& sub : result.subTasks)
        ids.append(QString::fromStdString(sub.SecurityID));
    QCOMPARE(ids, securityIds);
    QCOMPARE(idsDrawn, securityIds.size());
    for (int i = 0; i < int(result.subTasks.size()); ++i)
        QCOMPARE(result.subTasks[size_t(i)].SubTaskID, kFirstId + i);
    QCOMPARE(result.failureCount, failures);
    QCOMPARE(Util::Str2QStr(result.errorText), errorText);
}

void TaskFileParserTest::codecOfAFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("codec");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBFSCHED\n") << QByteArray("UTF-8");
    QTest::newRow("UTF-8 without BOM") << QStringLiteral("备注\n").toUtf8() << QByteArray("UTF-8");
    QTest::newRow("GBK") << QByteArray("\xB1\xB8\xD7\xA2\n") << QByteArray("GBK");
}

void TaskFileParserTest::codecOfAFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, codec);
    // The machine's own locale must not decide: here it is UTF-8, the desks' code page is GBK.
    QCOMPARE(QTextCodec::codecForLocale()->name(), QByteArray("UTF-8"));
    QCOMPARE(Util::GetLocalCodec()->name(), QByteArray("GBK"));
    QCOMPARE(SchedOrdTaskFileReader::codecFor(writeFile(QStringLiteral("codec.csv"), content))->name(), codec);
}

QTEST_GUILESS_MAIN(TaskFileParserTest)
#include "tst_taskfileparser.moc"
