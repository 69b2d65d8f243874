#include "PriceTick.h"

#include <cmath>

namespace {

constexpr double kTolerance = 1e-7;

} // namespace

double PriceTick::round(double price, double tick)
{
    return fromTicks(std::floor(price / tick + 0.5 + kTolerance), tick);
}

double PriceTick::floor(double price, double tick)
{
    return fromTicks(std::floor(price / tick + kTolerance), tick);
}

double PriceTick::ceil(double price, double tick)
{
    return fromTicks(std::ceil(price / tick - kTolerance), tick);
}

double PriceTick::fromTicks(double ticks, double tick)
{
    // Dividing by the number of ticks per unit gives the correctly rounded decimal price
    // (1139 / 100 == 11.39) where multiplying by 0.01 may not.
    const double perUnit = std::round(1.0 / tick);
    if (perUnit >= 1.0 && std::fabs(perUnit * tick - 1.0) < 1e-12)
        return ticks / perUnit;
    return ticks * tick;
}
