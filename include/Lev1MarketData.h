#pragma once

#include <cstddef>
#include <utility>
#include <vector>

// The host's Level-1 snapshot of one security. The first of the eight prices is the last price.
struct Lev1MarketData
{
    double LastPrice = 0.0;
    double PreClosePrice = 0.0;
    double OpenPrice = 0.0;
    double HighestPrice = 0.0;
    double LowestPrice = 0.0;
    double UpperLimitPrice = 0.0;
    double LowerLimitPrice = 0.0;
    double AveragePrice = 0.0;
    // Ten (price, volume) pairs: bid 1..5 at 0..4, ask 1..5 at 5..9. A price of 0 is an empty level.
    std::vector<std::pair<double, double>> PriceLevels = std::vector<std::pair<double, double>>(10);
    int TradingDay = 0;         // yyyymmdd
    int UpdateMillisec = 0;
    double Volume = 0.0;
    double Turnover = 0.0;
    char UpdateTime[9] = {};    // "hh:mm:ss"

    double bidPrice(int level) const { return PriceLevels[static_cast<std::size_t>(level - 1)].first; }
    double askPrice(int level) const { return PriceLevels[static_cast<std::size_t>(level + 4)].first; }
};
