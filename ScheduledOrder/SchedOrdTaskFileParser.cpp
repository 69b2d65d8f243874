#include "SchedOrdTaskFileParser.h"

#include "SchedOrdCodes.h"
#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskTime.h"
#include "UserData.h"
#include "Util.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <utility>

using namespace VELMSCHEDORDAPI;

namespace Velm_Space {

namespace {

constexpr int kSecurityFieldLength = 8;
constexpr int kHighestPriceType = 17;
constexpr int kBuyCageUpper = 16;
constexpr int kSellCageLower = 17;
constexpr int kSpecifiedLimitPrice = 12;
constexpr double kLowestSpecifiedPrice = 0.000001;
constexpr int kSecondsPerDay = 24 * 60 * 60;
// A refused value is shown up to this many characters: enough for any valid one.
constexpr qsizetype kLongestShownValue = 32;

bool isAsciiDigit(QChar ch)
{
    return ch.unicode() >= '0' && ch.unicode() <= '9';
}

bool isAllAsciiDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar ch) { return isAsciiDigit(ch); });
}

QChar asciiUpper(QChar ch)
{
    return (ch.unicode() >= 'a' && ch.unicode() <= 'z') ? QChar(ch.unicode() - 'a' + 'A') : ch;
}

// Unicode case folding would also take look-alikes such as the long s for an S.
bool equalsIgnoringAsciiCase(QStringView text, QLatin1String upperCase)
{
    if (text.size() != upperCase.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (asciiUpper(text[i]) != upperCase[i])
            return false;
    }
    return true;
}

int digitValue(QChar ch)
{
    return ch.unicode() - '0';
}

// Digits only; false when the value does not fit an int.
bool digitsToInt(QStringView digits, int& value)
{
    int64_t result = 0;
    for (const QChar ch : digits) {
        result = result * 10 + digitValue(ch);
        if (result > std::numeric_limits<int>::max())
            return false;
    }
    value = static_cast<int>(result);
    return true;
}

// The full match of ([0-1][0-9]|2[0-3]):([0-5][0-9]):([0-5][0-9]), without running a regular
// expression on every line.
bool isClockTime(QStringView text)
{
    if (text.size() != 8)
        return false;
    const auto inRange = [&text](int position, char low, char high) {
        return text[position].unicode() >= low && text[position].unicode() <= high;
    };
    const bool hourOk = (inRange(0, '0', '1') && inRange(1, '0', '9')) || (inRange(0, '2', '2') && inRange(1, '0', '3'));
    return hourOk && text[2] == QLatin1Char(':') && inRange(3, '0', '5') && inRange(4, '0', '9')
        && text[5] == QLatin1Char(':') && inRange(6, '0', '5') && inRange(7, '0', '9');
}

int twoDigits(QStringView text, int position)
{
    return digitValue(text[position]) * 10 + digitValue(text[position + 1]);
}

char exchangeOfPrefix(QStringView prefix)
{
    if (equalsIgnoringAsciiCase(prefix, QLatin1String("SH")))
        return Exchange::Shanghai;
    if (equalsIgnoringAsciiCase(prefix, QLatin1String("SZ")))
        return Exchange::Shenzhen;
    if (equalsIgnoringAsciiCase(prefix, QLatin1String("BJ")))
        return Exchange::Beijing;
    return 0;
}

// Splits at every comma, keeping empty parts; returns how many parts there are, of which the
// first FieldCount are stored.
int splitFields(QStringView line, QStringView (&fields)[SchedOrdTaskFileParser::FieldCount])
{
    const QChar* const data = line.data();
    const qsizetype size = line.size();
    int count = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= size; ++i) {
        if (i < size && data[i] != QLatin1Char(','))
            continue;
        if (count < SchedOrdTaskFileParser::FieldCount)
            fields[count] = QStringView(data + start, i - start);
        ++count;
        start = i + 1;
    }
    return count;
}

QStringView trimmedField(QStringView field)
{
    if (field.isEmpty() || (!field.front().isSpace() && !field.back().isSpace()))
        return field;
    qsizetype first = 0;
    qsizetype end = field.size();
    while (first < end && field[first].isSpace())
        ++first;
    while (end > first && field[end - 1].isSpace())
        --end;
    return field.mid(first, end - first);
}

// A whole number with an optional sign, as QString::toInt reads it; 0 for anything else.
int signedWholeNumber(QStringView text)
{
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QStringView digits = (negative || text.startsWith(QLatin1Char('+'))) ? text.mid(1) : text;
    int64_t value = 0;
    if (digits.isEmpty() || !isAllAsciiDigits(digits))
        return 0;
    for (const QChar ch : digits) {
        value = value * 10 + digitValue(ch);
        if (value > int64_t(std::numeric_limits<int>::max()) + 1)
            return 0;
    }
    value = negative ? -value : value;
    return value > std::numeric_limits<int>::max() ? 0 : static_cast<int>(value);
}

// "[+-]digits[.digits]" whose digits fit a double's mantissa: the exact mantissa divided by an
// exact power of ten rounds as a full conversion would. False for any other text.
bool plainDecimal(QStringView text, double& value)
{
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr uint64_t kExactMantissa = uint64_t(1) << 53;
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QStringView number = (negative || text.startsWith(QLatin1Char('+'))) ? text.mid(1) : text;
    uint64_t mantissa = 0;
    int digits = 0;
    int fractionDigits = 0;
    bool point = false;
    for (const QChar ch : number) {
        if (ch == QLatin1Char('.') && !point) {
            point = true;
            continue;
        }
        if (!isAsciiDigit(ch) || mantissa >= kExactMantissa / 10)
            return false;
        mantissa = mantissa * 10 + uint64_t(digitValue(ch));
        ++digits;
        fractionDigits += point ? 1 : 0;
    }
    if (digits == 0 || fractionDigits >= int(std::size(kPowersOfTen)))
        return false;
    const double magnitude = double(mantissa) / kPowersOfTen[fractionDigits];
    value = negative ? -magnitude : magnitude;
    return true;
}

std::string toLocal(const char* utf8)
{
    return Util::QStr2str(QString::fromUtf8(utf8));
}

// The fixed parts of the messages in the host's local 8-bit code page, converted once: a
// code-page conversion costs more than parsing a whole line, and a file may fail on every line.
struct MessageTexts
{
    std::string lineOpen = toLocal("[行#");
    std::string lineClose = toLocal("导入失败] ");
    std::string emptyLine = toLocal("该行内容为空");
    std::string fieldCount = toLocal("实际字段数量：");
    std::string fieldCountRule = toLocal("。格式要求字段数量：");
    std::string lineLength = toLocal("该行内容过长：");
    std::string lineLengthRule = toLocal("个字符。格式要求：每行不超过");
    std::string characters = toLocal("个字符");
    std::string typeTag = toLocal("类型标识");
    std::string isInvalid = toLocal(")字段无效。");
    std::string typeTagRule = toLocal("格式要求：请填写SCHED。");
    std::string security = toLocal("证券标的");
    std::string valueIsInvalid = toLocal(")字段值无效。");
    std::string securityLengthRule = toLocal("格式要求：长度8，例如SH600000,SZ000001,BJ430047");
    std::string securityPrefixRule = toLocal("格式要求：前两位为交易所字母标识，例如SH600000,SZ000001,BJ430047");
    std::string direction = toLocal("买卖方向");
    std::string lengthIsInvalid = toLocal(")字段长度无效。");
    std::string lengthRule = toLocal("格式要求：长度1。");
    std::string stockDirectionRule = toLocal("格式要求：0为买入，1为卖出");
    std::string creditDirectionRule = toLocal("格式要求：0为买入, 1为卖出, i为融资买入, j为融券卖出");
    std::string startTime = toLocal("设定开始时间");
    std::string startTimeRule = toLocal("格式要求：长度8，格式为hh:mm:ss，例如09:45:30");
    std::string priceType = toLocal("价格类型");
    std::string isInvalidValue = toLocal(")字段为无效值。");
    std::string buyCageForSell = toLocal("价格类型(笼子买入上限)无法用于卖出方向。");
    std::string sellCageForBuy = toLocal("价格类型(笼子卖出下限)无法用于买入方向。");
    std::string orderPrice = toLocal("委托价格");
    std::string orderPriceRule = toLocal("注：价格类型为指定限价时，必须输入有效的报单价格");
    std::string priceFloatType = toLocal("报价优化方式");
    std::string priceFloatTypeRule = toLocal("格式要求：0为tick调整，1为百分比调整");
    std::string targetVolume = toLocal("委托数量");
    std::string noSellAtLimitUp = toLocal("涨停不卖");
    std::string noSellAtLimitUpRule = toLocal("格式要求：0为不限制，1为涨停时不报卖单");
    std::string noBuyAtLimitDown = toLocal("跌停不买");
    std::string noBuyAtLimitDownRule = toLocal("格式要求：0为不限制，1为跌停时不报买单");
};

const MessageTexts& texts()
{
    static const MessageTexts messageTexts;
    return messageTexts;
}

bool isPlainAscii(QChar ch)
{
    return ch.unicode() >= 0x20 && ch.unicode() < 0x7F;
}

// Control and format characters would reach the message box raw, or not at all.
bool isInvisible(QChar ch)
{
    switch (ch.category()) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        return false;
    }
}

QString escaped(QChar ch)
{
    const bool byte = ch.unicode() <= 0xFF;
    return (byte ? QStringLiteral("\\x") : QStringLiteral("\\u"))
        + QString::number(ch.unicode(), 16).toUpper().rightJustified(byte ? 2 : 4, QLatin1Char('0'));
}

// A refused value as the trader reads it: cut after kLongestShownValue characters with an
// ellipsis, invisible characters written as escapes.
QString shownValue(QStringView text)
{
    qsizetype shownLength = std::min(text.size(), kLongestShownValue);
    if (shownLength < text.size() && text[shownLength - 1].isHighSurrogate())
        --shownLength;
    QString shown;
    for (const QChar ch : text.left(shownLength)) {
        if (isInvisible(ch))
            shown += escaped(ch);
        else
            shown += ch;
    }
    if (shownLength < text.size())
        shown += QChar(0x2026);
    return shown;
}

// A field's text as the messages show it; most refused fields are short plain ASCII and need no codec.
void appendFieldText(std::string& message, QStringView text)
{
    if (text.size() > kLongestShownValue || !std::all_of(text.begin(), text.end(), isPlainAscii)) {
        message += Util::QStr2str(shownValue(text));
        return;
    }
    for (const QChar ch : text)
        message += static_cast<char>(ch.unicode());
}

// "[行#N导入失败] ", with which every message of a refused line starts.
std::string& startMessage(std::string& message, int lineNumber)
{
    return message.assign(texts().lineOpen).append(std::to_string(lineNumber)).append(texts().lineClose);
}

// "name(text)" followed by the verdict and the rule, as every field message reads.
std::string fieldMessage(const std::string& fieldName, QStringView text, const std::string& verdict,
                         const std::string& rule)
{
    std::string message = fieldName;
    message += '(';
    appendFieldText(message, text);
    return message.append(verdict).append(rule);
}

} // namespace

SchedOrdTaskFileParser::SchedOrdTaskFileParser(int apiType, SubTaskIdSource nextSubTaskId)
    : m_apiType(apiType)
    , m_nextSubTaskId(std::move(nextSubTaskId))
    , m_cLocale(QLocale::c())
    , m_todayMidnight(SchedOrdTaskTime::fromClockTime(0, 0, 0))
    , m_todayIsEvenlyTimed(SchedOrdTaskTime::fromClockTime(23, 59, 59) - m_todayMidnight
                           == int64_t(kSecondsPerDay - 1) * SchedOrdTaskTime::TicksPerSecond)
{
}

void SchedOrdTaskFileParser::refuseLongLine(int lineNumber, qint64 fieldCount, qint64 length, std::string& message)
{
    const MessageTexts& text = texts();
    startMessage(message, lineNumber);
    if (fieldCount != FieldCount)
        message.append(text.fieldCount).append(std::to_string(fieldCount)).append(text.fieldCountRule).append(std::to_string(FieldCount));
    else
        message.append(text.lineLength).append(std::to_string(length)).append(text.lineLengthRule)
            .append(std::to_string(LongestLine)).append(text.characters);
}

bool SchedOrdTaskFileParser::isAllDigits(const std::string& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](char byte) { return byte >= '0' && byte <= '9'; });
}

bool SchedOrdTaskFileParser::parseLine(int lineNumber, QStringView line, std::string& message,
                                       SchedOrdSubTaskField& subTask) const
{
    std::string reason;
    if (!parseContent(line, reason, subTask)) {
        startMessage(message, lineNumber).append(reason);
        return false;
    }
    subTask.TriggerTime = m_todayMidnight;
    subTask.SubTaskStatus = SubTaskStatus::NotStarted;
    subTask.TriggerStatus = SubTriggerStatus::NotTriggered;
    subTask.SubTaskID = m_nextSubTaskId();
    return true;
}

bool SchedOrdTaskFileParser::parseContent(QStringView line, std::string& reason, SchedOrdSubTaskField& subTask) const
{
    if (line.isEmpty()) {
        reason = texts().emptyLine;
        return false;
    }
    QStringView fields[FieldCount];
    const int count = splitFields(line, fields);
    if (count != FieldCount) {
        reason = texts().fieldCount + std::to_string(count) + texts().fieldCountRule + std::to_string(FieldCount);
        return false;
    }
    return parseFields(fields, reason, subTask);
}

bool SchedOrdTaskFileParser::parseFields(const QStringView (&fields)[FieldCount], std::string& reason,
                                         SchedOrdSubTaskField& subTask) const
{
    const auto field = [&fields](int number) { return trimmedField(fields[number - 1]); };
    const MessageTexts& text = texts();
    if (!parseTypeTag(field(1), reason) || !parseSecurity(field(2), reason, subTask)
        || !parseDirection(field(3), reason, subTask) || !parseStartTime(field(4), reason, subTask)
        || !parsePriceType(field(6), reason, subTask) || !parseOrderPrice(field(7), reason, subTask)
        || !parsePriceFloatType(field(8), reason, subTask))
        return false;
    parsePriceFloatValue(field(9), subTask);
    return parseTargetVolume(field(10), reason, subTask)
        && parseLimitFlag(field(11), reason, text.noSellAtLimitUp, text.noSellAtLimitUpRule, subTask.NoSellAtLimitUp)
        && parseLimitFlag(field(12), reason, text.noBuyAtLimitDown, text.noBuyAtLimitDownRule, subTask.NoBuyAtLimitDown);
}

bool SchedOrdTaskFileParser::parseTypeTag(QStringView text, std::string& reason)
{
    if (equalsIgnoringAsciiCase(text, QLatin1String("SCHED")))
        return true;
    reason = fieldMessage(texts().typeTag, text, texts().isInvalid, texts().typeTagRule);
    return false;
}

bool SchedOrdTaskFileParser::parseSecurity(QStringView text, std::string& reason, SchedOrdSubTaskField& subTask) const
{
    if (text.size() != kSecurityFieldLength) {
        reason = fieldMessage(texts().security, text, texts().valueIsInvalid, texts().securityLengthRule);
        return false;
    }
    const char exchange = exchangeOfPrefix(text.left(2));
    if (!exchange) {
        reason = fieldMessage(texts().security, text, texts().valueIsInvalid, texts().securityPrefixRule);
        return false;
    }
    qsizetype codeStart = text.size();
    while (codeStart > 2 && isAsciiDigit(text[codeStart - 1]))
        --codeStart;
    const QStringView code = text.mid(codeStart);
    subTask.ExchangeID = exchange;
    subTask.SecurityID.resize(static_cast<size_t>(code.size()));
    std::transform(code.begin(), code.end(), subTask.SecurityID.begin(),
                   [](QChar digit) { return static_cast<char>(digit.unicode()); });
    subTask.SecurityKey = securityKey(subTask.SecurityID, exchange);
    return true;
}

const std::string& SchedOrdTaskFileParser::securityKey(const std::string& securityId, char exchange) const
{
    // At most six digits (two of the field's eight characters are the prefix): the exchange, the
    // number of digits and their value name the security in one number.
    uint64_t value = 0;
    for (const char digit : securityId)
        value = value * 10 + uint64_t(digit - '0');
    const uint64_t code = uint64_t(static_cast<unsigned char>(exchange)) << 40 | uint64_t(securityId.size()) << 32 | value;
    auto known = m_securityKeys.find(code);
    if (known == m_securityKeys.end()) {
        const QString key = Util::GetSecurityKey(QString::fromLatin1(securityId.data(), int(securityId.size())), exchange);
        known = m_securityKeys.emplace(code, key.toStdString()).first;
    }
    return known->second;
}

bool SchedOrdTaskFileParser::isDirectionAccepted(QChar direction) const
{
    switch (m_apiType) {
    case ApiTypes::Stock:
        return direction == QLatin1Char(Direction::Buy) || direction == QLatin1Char(Direction::Sell);
    case ApiTypes::Credit:
        return direction == QLatin1Char(Direction::Buy) || direction == QLatin1Char(Direction::Sell)
            || direction == QLatin1Char(Direction::FinancedBuy) || direction == QLatin1Char(Direction::ShortSell);
    default:
        return true;
    }
}

bool SchedOrdTaskFileParser::parseDirection(QStringView text, std::string& reason, SchedOrdSubTaskField& subTask) const
{
    if (text.size() != 1) {
        reason = fieldMessage(texts().direction, text, texts().lengthIsInvalid, texts().lengthRule);
        return false;
    }
    if (!isDirectionAccepted(text[0])) {
        const std::string& rule = m_apiType == ApiTypes::Credit ? texts().creditDirectionRule : texts().stockDirectionRule;
        reason = fieldMessage(texts().direction, text, texts().valueIsInvalid, rule);
        return false;
    }
    subTask.Direction = text[0].toLatin1();
    return true;
}

bool SchedOrdTaskFileParser::parseStartTime(QStringView text, std::string& reason, SchedOrdSubTaskField& subTask) const
{
    if (!isClockTime(text)) {
        reason = fieldMessage(texts().startTime, text, texts().valueIsInvalid, texts().startTimeRule);
        return false;
    }
    subTask.StartTime = ticksAt(twoDigits(text, 0), twoDigits(text, 3), twoDigits(text, 6));
    return true;
}

int64_t SchedOrdTaskFileParser::ticksAt(int hour, int minute, int second) const
{
    // Asking the zone (mktime) for every line would cost more than the rest of the line.
    if (m_todayIsEvenlyTimed)
        return m_todayMidnight + int64_t(hour * 3600 + minute * 60 + second) * SchedOrdTaskTime::TicksPerSecond;
    return SchedOrdTaskTime::fromClockTime(hour, minute, second);
}

bool SchedOrdTaskFileParser::parsePriceType(QStringView text, std::string& reason, SchedOrdSubTaskField& subTask) const
{
    int priceType = 0;
    if (!isAllAsciiDigits(text) || !digitsToInt(text, priceType) || priceType > kHighestPriceType) {
        reason = fieldMessage(texts().priceType, text, texts().isInvalidValue, std::string());
        return false;
    }
    const char direction = subTask.Direction;
    if (priceType == kBuyCageUpper && (direction == Direction::Sell || direction == Direction::ShortSell)) {
        reason = texts().buyCageForSell;
        return false;
    }
    if (priceType == kSellCageLower && (direction == Direction::Buy || direction == Direction::FinancedBuy)) {
        reason = texts().sellCageForBuy;
        return false;
    }
    subTask.PriceType = priceType;
    return true;
}

double SchedOrdTaskFileParser::toFiniteDouble(QStringView text) const
{
    double value = 0.0;
    if (plainDecimal(text, value))
        return value;
    // "nan" and "inf" are no prices: they count as text that is not a number.
    value = m_cLocale.toDouble(text);
    return std::isfinite(value) ? value : 0.0;
}

bool SchedOrdTaskFileParser::parseOrderPrice(QStringView text, std::string& reason, SchedOrdSubTaskField& subTask) const
{
    const double price = toFiniteDouble(text);
    if (subTask.PriceType == kSpecifiedLimitPrice && price < kLowestSpecifiedPrice) {
        reason = fieldMessage(texts().orderPrice, text, texts().isInvalidValue, texts().orderPriceRule);
        return false;
    }
    subTask.OrderPrice = price;
    return true;
}

bool SchedOrdTaskFileParser::parsePriceFloatType(QStringView text, std::string& reason,
                                                 SchedOrdSubTaskField& subTask) const
{
    if (text.size() != 1) {
        reason = fieldMessage(texts().priceFloatType, text, texts().lengthIsInvalid, texts().lengthRule);
        return false;
    }
    if (text[0] != QLatin1Char(PriceFloatType::Tick) && text[0] != QLatin1Char(PriceFloatType::Percent)) {
        reason = fieldMessage(texts().priceFloatType, text, texts().isInvalidValue, texts().priceFloatTypeRule);
        return false;
    }
    subTask.PriceFloatType = text[0].toLatin1();
    return true;
}

void SchedOrdTaskFileParser::parsePriceFloatValue(QStringView text, SchedOrdSubTaskField& subTask) const
{
    if (subTask.PriceFloatType == PriceFloatType::Tick)
        subTask.PriceFloatValue = signedWholeNumber(text);
    else
        subTask.PriceFloatValue = toFiniteDouble(text);
}

bool SchedOrdTaskFileParser::parseTargetVolume(QStringView text, std::string& reason, SchedOrdSubTaskField& subTask) const
{
    int volume = 0;
    if (!isAllAsciiDigits(text) || !digitsToInt(text, volume) || volume < 1) {
        reason = fieldMessage(texts().targetVolume, text, texts().isInvalidValue, std::string());
        return false;
    }
    subTask.TargetVolume = volume;
    subTask.TradeVolume = 0;
    subTask.OrderVolume = 0;
    return true;
}

bool SchedOrdTaskFileParser::parseLimitFlag(QStringView text, std::string& reason, const std::string& fieldName,
                                            const std::string& rule, bool& flag)
{
    if (text != QLatin1String("0") && text != QLatin1String("1")) {
        reason = fieldMessage(fieldName, text, texts().isInvalidValue, rule);
        return false;
    }
    flag = text == QLatin1String("1");
    return true;
}

} // namespace Velm_Space
