#include "FixOrderMessages.h"

#include "SchedOrdCodes.h"

#include <quickfix/fix44/NewOrderSingle.h>
#include <quickfix/fix44/OrderStatusRequest.h>

#include <cmath>

namespace Direction = VELMSCHEDORDAPI::Direction;
namespace Exchange = VELMSCHEDORDAPI::Exchange;

namespace {

constexpr int kCreditApiType = 2;
constexpr int64_t kTicksPerMillisecond = 10000;
constexpr int64_t kMillisecondsPerSecond = 1000;
constexpr int kMillisecondPrecision = 3;
constexpr double kPriceScale = 1000.0;      // prices go out with at most three decimals
const char kNoSymbol[] = "[N/A]";

FIX::UtcTimeStamp utcStampOf(int64_t ticks)
{
    const int64_t millis = ticks / kTicksPerMillisecond;
    const auto seconds = static_cast<time_t>(millis / kMillisecondsPerSecond);
    return FIX::UtcTimeStamp(seconds, static_cast<int>(millis % kMillisecondsPerSecond), kMillisecondPrecision);
}

// A quantity field as whole shares; false when missing or not a number.
bool quantityOf(const FIX::Message& message, int tag, int* out)
{
    if (!message.isSetField(tag))
        return false;
    bool ok = false;
    const double value = QString::fromStdString(message.getField(tag)).toDouble(&ok);
    if (!ok || value < 0)
        return false;
    *out = static_cast<int>(std::llround(value));
    return true;
}

bool stateOf(char ordStatus, bool unknownOrder, BrokerExecutionReport::State* state)
{
    using State = BrokerExecutionReport::State;
    switch (ordStatus) {
    case FIX::OrdStatus_NEW:
    case FIX::OrdStatus_PENDING_NEW: *state = State::New; return true;
    case FIX::OrdStatus_PARTIALLY_FILLED: *state = State::PartFilled; return true;
    case FIX::OrdStatus_FILLED: *state = State::Filled; return true;
    case FIX::OrdStatus_CANCELED:
    case FIX::OrdStatus_EXPIRED:
    case FIX::OrdStatus_DONE_FOR_DAY: *state = State::Canceled; return true;
    case FIX::OrdStatus_REJECTED: *state = unknownOrder ? State::Unknown : State::Rejected; return true;
    default: return false;
    }
}

} // namespace

std::string FixOrderMessages::micOf(char exchangeId)
{
    switch (exchangeId) {
    case Exchange::Shanghai: return "XSHG";
    case Exchange::Shenzhen: return "XSHE";
    case Exchange::Beijing: return "BJSE";
    default: return std::string();
    }
}

char FixOrderMessages::exchangeOf(const std::string& mic)
{
    for (const char exchange : {Exchange::Shanghai, Exchange::Shenzhen, Exchange::Beijing}) {
        if (micOf(exchange) == mic)
            return exchange;
    }
    return 0;
}

bool FixOrderMessages::sideOf(char direction, int apiType, char* side, char* cashMargin)
{
    const bool credit = apiType == kCreditApiType;
    *cashMargin = credit ? FIX::CashMargin_CASH : 0;
    switch (direction) {
    case Direction::Buy: *side = FIX::Side_BUY; return true;
    case Direction::Sell: *side = FIX::Side_SELL; return true;
    default: break;
    }
    if (!credit)
        return false;
    switch (direction) {
    case Direction::FinancedBuy: *side = FIX::Side_BUY; *cashMargin = FIX::CashMargin_MARGIN_OPEN; return true;
    case Direction::ShortSell: *side = FIX::Side_SELL_SHORT; *cashMargin = FIX::CashMargin_MARGIN_OPEN; return true;
    case Direction::CreditOtherBuy: *side = FIX::Side_BUY; *cashMargin = FIX::CashMargin_MARGIN_CLOSE; return true;
    case Direction::CreditOtherSell: *side = FIX::Side_SELL; *cashMargin = FIX::CashMargin_MARGIN_CLOSE; return true;
    default: return false;
    }
}

char FixOrderMessages::directionOf(char side, char cashMargin)
{
    const bool cash = cashMargin == 0 || cashMargin == FIX::CashMargin_CASH;
    const bool open = cashMargin == FIX::CashMargin_MARGIN_OPEN;
    const bool close = cashMargin == FIX::CashMargin_MARGIN_CLOSE;
    switch (side) {
    case FIX::Side_BUY: return cash ? Direction::Buy : open ? Direction::FinancedBuy : close ? Direction::CreditOtherBuy : 0;
    case FIX::Side_SELL: return cash ? Direction::Sell : close ? Direction::CreditOtherSell : 0;
    case FIX::Side_SELL_SHORT: return open ? Direction::ShortSell : 0;
    default: return 0;
    }
}

bool FixOrderMessages::newOrderSingle(const BrokerOrderRequest& request, FIX44::NewOrderSingle* out, QString* whyNot)
{
    const std::string mic = micOf(request.exchangeId);
    char side = 0;
    char cashMargin = 0;
    if (request.clientOrderRef.empty())
        *whyNot = QStringLiteral("委托缺少客户委托编号");
    else if (mic.empty())
        *whyNot = QStringLiteral("未知的交易所代码：%1").arg(QLatin1Char(request.exchangeId));
    else if (!sideOf(request.direction, request.apiType, &side, &cashMargin))
        *whyNot = QStringLiteral("账户不支持该委托方向：%1").arg(QLatin1Char(request.direction));
    else if (request.volume <= 0)
        *whyNot = QStringLiteral("委托数量必须大于0");
    else if (!(request.price > 0.0))
        *whyNot = QStringLiteral("委托价格无效");
    else
        whyNot->clear();
    if (!whyNot->isEmpty())
        return false;

    FIX44::NewOrderSingle& order = *out;
    order = FIX44::NewOrderSingle(FIX::ClOrdID(request.clientOrderRef), FIX::Side(side),
                                  FIX::TransactTime(utcStampOf(request.transactTime), kMillisecondPrecision),
                                  FIX::OrdType(FIX::OrdType_LIMIT));
    order.set(FIX::Account(request.shareholderAccount.toStdString()));
    order.set(FIX::Symbol(request.securityId.toStdString()));
    order.set(FIX::SecurityExchange(mic));
    order.set(FIX::OrderQty(request.volume));
    order.set(FIX::Price(std::round(request.price * kPriceScale) / kPriceScale));
    order.set(FIX::TimeInForce(FIX::TimeInForce_DAY));
    if (cashMargin)
        order.set(FIX::CashMargin(cashMargin));
    return true;
}

FIX44::OrderStatusRequest FixOrderMessages::orderStatusRequest(const std::string& clientOrderRef,
                                                               const BrokerOrderRequest* known)
{
    char side = FIX::Side_UNDISCLOSED;
    char cashMargin = 0;
    if (known && !sideOf(known->direction, known->apiType, &side, &cashMargin))
        side = FIX::Side_UNDISCLOSED;
    FIX44::OrderStatusRequest request{FIX::ClOrdID(clientOrderRef), FIX::Side(side)};
    if (known) {
        request.set(FIX::Symbol(known->securityId.toStdString()));
        const std::string mic = micOf(known->exchangeId);
        if (!mic.empty())
            request.set(FIX::SecurityExchange(mic));
    } else {
        request.set(FIX::Symbol(kNoSymbol));
    }
    return request;
}

bool FixOrderMessages::toBrokerReport(const FIX::Message& message, BrokerExecutionReport* out, QString* whyNot)
{
    FIX::MsgType type;
    message.getHeader().getFieldIfSet(type);
    if (type.getValue() != FIX::MsgType_ExecutionReport) {
        *whyNot = QStringLiteral("不是执行报告：35=%1").arg(QString::fromStdString(type.getValue()));
        return false;
    }
    BrokerExecutionReport report;
    FIX::ClOrdID clOrdId;
    FIX::OrdStatus ordStatus;
    if (!message.getFieldIfSet(clOrdId) || clOrdId.getValue().empty()) {
        *whyNot = QStringLiteral("执行报告缺少ClOrdID");
        return false;
    }
    report.clientOrderRef = clOrdId.getValue();
    const QString ref = QString::fromStdString(report.clientOrderRef);
    if (!message.getFieldIfSet(ordStatus)) {
        *whyNot = QStringLiteral("执行报告缺少OrdStatus：%1").arg(ref);
        return false;
    }
    const bool unknownOrder = message.isSetField(FIX::FIELD::OrdRejReason)
        && message.getField(FIX::FIELD::OrdRejReason) == std::to_string(FIX::OrdRejReason_UNKNOWN_ORDER);
    if (!stateOf(ordStatus.getValue(), unknownOrder, &report.state)) {
        *whyNot = QStringLiteral("执行报告的OrdStatus无法识别：%1（%2）").arg(QLatin1Char(ordStatus.getValue())).arg(ref);
        return false;
    }
    if (!quantityOf(message, FIX::FIELD::CumQty, &report.tradedVolume)) {
        *whyNot = QStringLiteral("执行报告缺少CumQty：%1").arg(ref);
        return false;
    }
    int leaves = 0;
    if (!quantityOf(message, FIX::FIELD::OrderQty, &report.orderVolume))
        report.orderVolume = report.tradedVolume + (quantityOf(message, FIX::FIELD::LeavesQty, &leaves) ? leaves : 0);
    if (message.isSetField(FIX::FIELD::Text))
        report.text = QString::fromStdString(message.getField(FIX::FIELD::Text));
    *out = report;
    whyNot->clear();
    return true;
}
