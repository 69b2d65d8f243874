#include "Lev1Quote.h"

#include "Lev1MarketData.h"
#include "Util.h"

#include <cstring>

namespace Velm_Space {

namespace {

double effectiveOrZero(const double& price)
{
    return Util::JudgeEffectivePrice(price) ? price : 0.0;
}

} // namespace

Lev1Quote Lev1Quote::fromHost(const Lev1MarketData& record)
{
    Lev1Quote quote;
    quote.Prices = {effectiveOrZero(record.LastPrice),    effectiveOrZero(record.PreClosePrice),
                    effectiveOrZero(record.OpenPrice),    effectiveOrZero(record.HighestPrice),
                    effectiveOrZero(record.LowestPrice),  effectiveOrZero(record.UpperLimitPrice),
                    effectiveOrZero(record.LowerLimitPrice), effectiveOrZero(record.AveragePrice)};
    quote.PriceLevels = record.PriceLevels;
    quote.TradingDay = record.TradingDay;
    quote.UpdateMillisec = record.UpdateMillisec;
    quote.Volume = record.Volume;
    quote.Turnover = record.Turnover;
    std::memcpy(quote.UpdateTime, record.UpdateTime, sizeof quote.UpdateTime);
    return quote;
}

} // namespace Velm_Space
