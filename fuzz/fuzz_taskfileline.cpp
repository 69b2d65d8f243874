// libFuzzer target for the task-file import. Every input is parsed as one line, decoded both as
// UTF-8 and as the host's local code page, for a stock account, a credit account and another
// account kind, and then read as a whole file. Whatever the bytes: the verdict's message starts
// with the line's prefix, an id is drawn for exactly the passing lines, and a passing line's
// sub-task holds only values the file format allows, converted as Qt's own conversions would.

#include "SchedOrdCodes.h"
#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskFileParser.h"
#include "SchedOrdTaskFileReader.h"
#include "SchedOrdTaskTime.h"
#include "Util.h"

#include <QBuffer>
#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>
#include <QTextStream>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrdTaskFileParser;
using Velm_Space::SchedOrdTaskFileReader;

namespace {

constexpr int kApiTypes[] = {1, 2, 7};

[[noreturn]] void violated(const char* invariant, const QString& line)
{
    std::fprintf(stderr, "invariant violated: %s\nline: %s\n", invariant, line.toUtf8().constData());
    __builtin_trap();
}

void require(bool holds, const char* invariant, const QString& line)
{
    if (!holds)
        violated(invariant, line);
}

std::string prefixOf(int lineNumber)
{
    return Util::QStr2str(QStringLiteral("[行#%1导入失败] ").arg(lineNumber));
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

double referenceDouble(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0.0;
}

double referenceWholeNumber(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? value : 0;
}

bool isDirectionOf(int apiType, char direction)
{
    if (apiType == 1)
        return direction == '0' || direction == '1';
    if (apiType == 2)
        return direction == '0' || direction == '1' || direction == 'i' || direction == 'j';
    return true;
}

// What a passing line must have produced, field by field, checked against slow references.
void checkPassedLine(int apiType, const QString& line, const SchedOrdSubTaskField& sub)
{
    static const QRegularExpression clockTime(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-1][0-9]|2[0-3]):([0-5][0-9]):([0-5][0-9])")));
    static const QRegularExpression digitsOnly(QRegularExpression::anchoredPattern(QStringLiteral("[0-9]+")));
    const QStringList fields = line.split(QLatin1Char(','));
    require(fields.size() == SchedOrdTaskFileParser::FieldCount, "12 fields", line);
    const auto field = [&fields](int number) { return fields[number - 1].trimmed(); };

    require(field(1).compare(QLatin1String("SCHED"), Qt::CaseInsensitive) == 0, "tag", line);
    require(field(2).size() == 8, "security length", line);
    require(sub.ExchangeID == Exchange::Shanghai || sub.ExchangeID == Exchange::Shenzhen
                || sub.ExchangeID == Exchange::Beijing, "exchange", line);
    require(sub.SecurityID.size() <= 6 && SchedOrdTaskFileParser::isAllDigits(sub.SecurityID), "code digits", line);
    require(field(2).endsWith(QString::fromStdString(sub.SecurityID)), "code is the field's end", line);
    require(sub.SecurityKey == Util::GetSecurityKey(QString::fromStdString(sub.SecurityID), sub.ExchangeID).toStdString(),
            "security key", line);
    require(isDirectionOf(apiType, sub.Direction), "direction of the account", line);

    const QRegularExpressionMatch time = clockTime.match(field(4));
    require(time.hasMatch(), "time matches the pattern", line);
    require(sub.StartTime == SchedOrdTaskTime::fromClockTime(time.captured(1).toInt(), time.captured(2).toInt(),
                                                           time.captured(3).toInt()),
            "start time", line);

    require(sub.PriceType >= 0 && sub.PriceType <= 17, "price type range", line);
    require(!(sub.PriceType == 16 && (sub.Direction == '1' || sub.Direction == 'j')), "buy cage not sold", line);
    require(!(sub.PriceType == 17 && (sub.Direction == '0' || sub.Direction == 'i')), "sell cage not bought", line);
    require(sub.OrderPrice == referenceDouble(field(7)), "order price as QString::toDouble", line);
    require(sub.PriceType != 12 || sub.OrderPrice >= 0.000001, "specified price", line);
    require(sub.PriceFloatType == PriceFloatType::Tick || sub.PriceFloatType == PriceFloatType::Percent, "float mode", line);
    const double floatValue = sub.PriceFloatType == PriceFloatType::Tick ? referenceWholeNumber(field(9))
                                                                         : referenceDouble(field(9));
    require(sub.PriceFloatValue == floatValue, "float amount as QString::toInt/toDouble", line);
    require(sub.TargetVolume >= 1 && digitsOnly.match(field(10)).hasMatch() && field(10).toLongLong() == sub.TargetVolume,
            "volume", line);
    require(sub.NoSellAtLimitUp == (field(11) == QLatin1String("1")), "limit-up flag", line);
    require(sub.NoBuyAtLimitDown == (field(12) == QLatin1String("1")), "limit-down flag", line);
    require(sub.SubTaskStatus == '1' && sub.TriggerStatus == '1' && sub.TradeVolume == 0 && sub.OrderVolume == 0
                && sub.EndTime == 0 && sub.MainTaskID == 0 && sub.TriggerTime == SchedOrdTaskTime::fromClockTime(0, 0, 0),
            "initial state", line);
}

void checkLine(int apiType, int lineNumber, const QString& line)
{
    int idsDrawn = 0;
    const SchedOrdTaskFileParser parser(apiType, [&idsDrawn] { return 1000 + idsDrawn++; });
    std::string message;
    SchedOrdSubTaskField sub;
    if (parser.parseLine(lineNumber, line, message, sub)) {
        require(idsDrawn == 1 && sub.SubTaskID == 1000, "one id for a passing line", line);
        require(message.empty(), "no message for a passing line", line);
        checkPassedLine(apiType, line, sub);
        return;
    }
    require(idsDrawn == 0, "no id for a failing line", line);
    const std::string prefix = prefixOf(lineNumber);
    require(startsWith(message, prefix) && message.size() > prefix.size(), "message starts with the line prefix", line);
}

int countLines(const QByteArray& bytes, const char* codec)
{
    QByteArray content = bytes;
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    QTextStream stream(&buffer);
    stream.setCodec(codec);
    int lines = 0;
    while (!stream.atEnd()) {
        stream.readLine();
        ++lines;
    }
    return lines;
}

// The same bytes as a file: every line but a first-line header is parsed once, in order, and
// ends up as a sub-task or as one collected message.
void checkFile(const QByteArray& bytes, const char* codec)
{
    QByteArray content = bytes;
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    QTextStream stream(&buffer);
    stream.setCodec(codec);
    int idsDrawn = 0;
    const SchedOrdTaskFileParser parser(2, [&idsDrawn] { return ++idsDrawn; });
    int parsed = 0;
    int lastLine = 0;
    const SchedOrdTaskFileReader::Result result = SchedOrdTaskFileReader::readLines(
        stream, [&](int lineNumber, const QString& line, std::string& message, SchedOrdSubTaskField& sub) {
            require(lineNumber == lastLine + 1 || (lastLine == 0 && lineNumber == 2), "physical line numbers", line);
            lastLine = lineNumber;
            ++parsed;
            return parser.parseLine(lineNumber, line, message, sub);
        });
    const int lines = countLines(bytes, codec);
    require(parsed == lines || parsed == lines - 1, "only the first line may be skipped", QString());
    const int passed = static_cast<int>(result.subTasks.size());
    require(passed + result.failureCount == parsed, "every parsed line passes or fails", QString());
    require(passed == idsDrawn, "ids drawn for the passing lines only", QString());
    const std::string linePrefix = Util::QStr2str(QStringLiteral("[行#"));
    int messages = 0;
    for (const QByteArray& message : QByteArray::fromStdString(result.errorText).split('\n')) {
        require(result.failureCount == 0 || startsWith(message.toStdString(), linePrefix), "collected message", QString());
        ++messages;
    }
    require(result.failureCount == 0 ? result.errorText.empty() : messages == result.failureCount,
            "one message per failing line", QString());
    for (int i = 0; i < passed; ++i)
        require(result.subTasks[size_t(i)].SubTaskID == i + 1, "ids in file order", QString());
    if (passed == 0)
        return;
    const SchedOrdTaskField task = SchedOrdTaskFileReader::buildMainTask(99, QStringLiteral("fuzz"), result.subTasks);
    for (const SchedOrdSubTaskField& sub : task.VecSubTask) {
        require(sub.MainTaskID == 99 && sub.StartTime >= task.StartTime, "main task holds its sub-tasks", QString());
        require(task.Direction == 0 || task.Direction == sub.Direction, "common direction", QString());
        require(!task.IsSameStartTime || sub.StartTime == task.StartTime, "same start time", QString());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const int lineNumber = static_cast<int>(size % 1000) + 1;
    const QString asUtf8 = QString::fromUtf8(bytes);
    const QString asLocal = Util::GetLocalCodec()->toUnicode(bytes);
    for (const int apiType : kApiTypes) {
        checkLine(apiType, lineNumber, asUtf8);
        checkLine(apiType, lineNumber, asLocal);
    }
    checkFile(bytes, "UTF-8");
    checkFile(bytes, "GBK");
    return 0;
}
