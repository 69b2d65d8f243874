#pragma once

#include <array>
#include <utility>
#include <vector>

struct Lev1MarketData;

namespace Velm_Space {

// The entry form's copy of the host's Level-1 record of the selected security. Prices that the
// host marks as not effective are kept as 0.
struct Lev1Quote
{
    static constexpr int PriceCount = 8;

    std::array<double, PriceCount> Prices{};
    std::vector<std::pair<double, double>> PriceLevels;
    int TradingDay = 0;
    int UpdateMillisec = 0;
    double Volume = 0.0;
    double Turnover = 0.0;
    char UpdateTime[9] = {};

    static Lev1Quote fromHost(const Lev1MarketData& record);
    // The first of the eight prices: what the form arms and prices its inquiry with.
    double referencePrice() const { return Prices[0]; }
};

} // namespace Velm_Space
