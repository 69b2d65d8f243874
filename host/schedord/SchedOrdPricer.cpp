#include "SchedOrdPricer.h"

#include "PriceTick.h"
#include "SchedOrdCodes.h"
#include "SecurityInfo.h"
#include "Util.h"

#include <algorithm>
#include <cmath>

using VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::isBuyDirection;
using VELMSCHEDORDAPI::isSellDirection;

namespace {

constexpr double kNoShift = 1e-6;
constexpr double kCageShare = 0.02;

enum PriceTypeCode {
    LastPrice = 0, Ask1 = 1, Bid1 = 2, Market = 3,
    Ask2 = 4, Bid2 = 5, Ask3 = 6, Bid3 = 7, Ask4 = 8, Bid4 = 9, Ask5 = 10, Bid5 = 11,
    CustomPrice = 12, PreClose = 13, LimitUp = 14, LimitDown = 15, BuyCageUpper = 16, SellCageLower = 17,
};

double firstPositive(double a, double b, double c)
{
    return a > 0.0 ? a : (b > 0.0 ? b : c);
}

QString priceText(double price, const SecurityInfo& security)
{
    return QString::number(price, 'f', security.PriceDecimals);
}

} // namespace

QString SchedOrdPricer::limitGuard(const SchedOrdSubTaskField& subTask, const Lev1MarketData& quote,
                                   const SecurityInfo& security)
{
    const double halfTick = security.PriceTick / 2;
    if (quote.LastPrice <= 0.0)
        return QString();
    if (subTask.NoSellAtLimitUp && isSellDirection(subTask.Direction) && quote.UpperLimitPrice > 0.0
        && quote.LastPrice >= quote.UpperLimitPrice - halfTick) {
        return QStringLiteral("涨停不卖：最新价%1已达涨停价%2")
            .arg(priceText(quote.LastPrice, security), priceText(quote.UpperLimitPrice, security));
    }
    if (subTask.NoBuyAtLimitDown && isBuyDirection(subTask.Direction) && quote.LowerLimitPrice > 0.0
        && quote.LastPrice <= quote.LowerLimitPrice + halfTick) {
        return QStringLiteral("跌停不买：最新价%1已达跌停价%2")
            .arg(priceText(quote.LastPrice, security), priceText(quote.LowerLimitPrice, security));
    }
    return QString();
}

double SchedOrdPricer::orderPrice(const SchedOrdSubTaskField& subTask, const Lev1MarketData& quote,
                                  const SecurityInfo& security, QString& error)
{
    const QString typeName = Util::ParsePriceTypeName(subTask.PriceType);
    if (typeName.isEmpty()) {
        error = QStringLiteral("不支持的价格类型：%1").arg(subTask.PriceType);
        return 0.0;
    }
    const double base = basePrice(subTask, quote, security.PriceTick);
    if (!Util::JudgeEffectivePrice(base)) {
        error = QStringLiteral("无有效%1，无法确定委托价格").arg(typeName);
        return 0.0;
    }
    const double moved = shifted(base, subTask.PriceFloatType, subTask.PriceFloatValue, security.PriceTick);
    const double price = clampToLimits(PriceTick::round(moved, security.PriceTick), quote);
    if (!Util::JudgeEffectivePrice(price)) {
        error = QStringLiteral("委托价格无效：%1").arg(priceText(price, security));
        return 0.0;
    }
    return price;
}

double SchedOrdPricer::basePrice(const SchedOrdSubTaskField& subTask, const Lev1MarketData& quote, double tick)
{
    switch (subTask.PriceType) {
    case LastPrice: return quote.LastPrice;
    case Ask1: return quote.askPrice(1);
    case Bid1: return quote.bidPrice(1);
    case Ask2: return quote.askPrice(2);
    case Bid2: return quote.bidPrice(2);
    case Ask3: return quote.askPrice(3);
    case Bid3: return quote.bidPrice(3);
    case Ask4: return quote.askPrice(4);
    case Bid4: return quote.bidPrice(4);
    case Ask5: return quote.askPrice(5);
    case Bid5: return quote.bidPrice(5);
    case Market:
        // The best price of the other side; the daily limit when that side is empty.
        return isBuyDirection(subTask.Direction) ? firstPositive(quote.askPrice(1), quote.UpperLimitPrice, 0.0)
                                                 : firstPositive(quote.bidPrice(1), quote.LowerLimitPrice, 0.0);
    case CustomPrice: return subTask.OrderPrice;
    case PreClose: return quote.PreClosePrice;
    case LimitUp: return quote.UpperLimitPrice;
    case LimitDown: return quote.LowerLimitPrice;
    case BuyCageUpper: {
        // The cage's reference: best ask, else best bid, else the last price.
        const double reference = firstPositive(quote.askPrice(1), quote.bidPrice(1), quote.LastPrice);
        const double cage = PriceTick::floor(reference * (1.0 + kCageShare), tick);
        return quote.UpperLimitPrice > 0.0 ? std::min(quote.UpperLimitPrice, cage) : cage;
    }
    case SellCageLower: {
        const double reference = firstPositive(quote.bidPrice(1), quote.askPrice(1), quote.LastPrice);
        const double cage = PriceTick::ceil(reference * (1.0 - kCageShare), tick);
        return std::max(quote.LowerLimitPrice, cage);
    }
    default: return 0.0;
    }
}

double SchedOrdPricer::shifted(double price, char floatType, double floatValue, double tick)
{
    if (std::fabs(floatValue) < kNoShift)
        return price;
    if (floatType == VELMSCHEDORDAPI::PriceFloatType::Percent)
        return price * (1.0 + floatValue / 100.0);
    return price + floatValue * tick;
}

double SchedOrdPricer::clampToLimits(double price, const Lev1MarketData& quote)
{
    if (quote.UpperLimitPrice > 0.0)
        price = std::min(price, quote.UpperLimitPrice);
    if (quote.LowerLimitPrice > 0.0)
        price = std::max(price, quote.LowerLimitPrice);
    return price;
}
