#pragma once

#include <cstdint>
#include <string>

namespace VELMSCHEDORDAPI {

// One scheduled order for one security. Field order and types are shared with the service.
// Strings hold GBK text; times are 100-ns ticks since 1970-01-01 00:00:00 UTC.
struct SchedOrdSubTaskField
{
    int32_t MainTaskID = 0;
    int32_t SubTaskID = 0;
    std::string SecurityKey;
    std::string SecurityID;
    char ExchangeID = 0;
    char Direction = 0;
    int64_t TriggerTime = 0;
    int32_t TargetVolume = 0;
    int32_t TradeVolume = 0;
    char SubTaskStatus = 0;
    char TriggerStatus = 0;
    char HostCode = 0;
    int32_t OrderVolume = 0;
    int32_t PriceType = 0;
    char PriceFloatType = 0;
    double PriceFloatValue = 0.0;
    double OrderPrice = 0.0;
    int64_t HostValue = 0;
    int64_t StartTime = 0;
    int64_t EndTime = 0;
    bool NoSellAtLimitUp = true;
    bool NoBuyAtLimitDown = true;
    std::string ErrorMsg;
};

} // namespace VELMSCHEDORDAPI
