// libFuzzer target for one line of a task file. Every input is parsed as one line, decoded both
// as UTF-8 and as the host's local code page, for a stock account, a credit account and another
// account kind. Whatever the bytes: a refusal's message starts with the line's prefix and shows
// the value cut and without raw control characters, an id is drawn for exactly the passing
// lines, and a passing line's sub-task holds only values the file format allows, converted as
// Qt's own conversions would. (fuzz_taskfile reads whole files.)

#include "FuzzEnvironment.h"
#include "FuzzInvariants.h"
#include "SchedOrdCodes.h"
#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskFileParser.h"
#include "SchedOrdTaskTime.h"
#include "Util.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>

#include <cmath>
#include <cstdint>
#include <string>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrdTaskFileParser;
using FuzzInvariants::require;

namespace {

constexpr int kApiTypes[] = {1, 2, 7};

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
    FuzzInvariants::checkRefusal(lineNumber, message, line);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzEnvironment::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const int lineNumber = static_cast<int>(size % 1000) + 1;
    const QString asUtf8 = QString::fromUtf8(bytes);
    const QString asLocal = Util::GetLocalCodec()->toUnicode(bytes);
    // Most inputs decode alike both ways (plain ASCII): parsing the same text twice finds nothing new.
    const bool decodedAlike = asLocal == asUtf8;
    for (const int apiType : kApiTypes) {
        checkLine(apiType, lineNumber, asUtf8);
        if (!decodedAlike)
            checkLine(apiType, lineNumber, asLocal);
    }
    return 0;
}
