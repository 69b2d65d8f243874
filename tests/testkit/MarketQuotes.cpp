#include "MarketQuotes.h"

#include "Lev1MarketData.h"

namespace VelmTest {

Lev1MarketData ladderQuote(int bid1Cents, int ask1Cents, double depth)
{
    Lev1MarketData quote;
    for (int level = 0; level < 5; ++level) {
        quote.PriceLevels[size_t(level)] = {(bid1Cents - level) / 100.0, depth};
        quote.PriceLevels[size_t(5 + level)] = {(ask1Cents + level) / 100.0, depth};
    }
    return quote;
}

Lev1MarketData pufaQuote()
{
    Lev1MarketData quote = ladderQuote(1034, 1036, 1e5);
    quote.LastPrice = 10.35;
    quote.PreClosePrice = 10.20;
    quote.UpperLimitPrice = 11.22;
    quote.LowerLimitPrice = 9.18;
    return quote;
}

} // namespace VelmTest
