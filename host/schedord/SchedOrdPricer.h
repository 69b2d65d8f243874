#pragma once

#include "Lev1MarketData.h"
#include "SchedOrdSubTaskField.h"

#include <QString>

struct SecurityInfo;

// Prices a sub-task's order from a Level-1 quote and applies the limit-up/limit-down guards.
class SchedOrdPricer final
{
public:
    // Why the order must not be sent at this quote (涨停不卖 / 跌停不买), or an empty text.
    static QString limitGuard(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, const Lev1MarketData& quote,
                              const SecurityInfo& security);
    // The price of the order on the security's tick grid inside the daily limits; 0 with
    // `error` set when the quote offers no price of the wanted type.
    static double orderPrice(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, const Lev1MarketData& quote,
                             const SecurityInfo& security, QString& error);

private:
    static double basePrice(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, const Lev1MarketData& quote,
                            double tick);
    static double shifted(double price, char floatType, double floatValue, double tick);
    static double clampToLimits(double price, const Lev1MarketData& quote);
};
