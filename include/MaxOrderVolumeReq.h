#pragma once

#include <cstddef>

// The 128-byte maximum-quantity request the entry forms hand to UserData::reqInquiryMaxOrderVolume.
// Bytes not named below stay 0.
#pragma pack(push, 1)
struct MaxOrderVolumeReq
{
    char Reserved0[4];
    char ExchangeID;
    char SecurityID[31];
    char Reserved36[32];
    char ShareholderID[11];
    char Direction;
    char OrderPriceType;
    char TimeCondition;
    char VolumeCondition;
    char Reserved83[5];
    double LimitPrice;
    char Reserved96[29];
    char ShortSellFlag;
    char Reserved126[2];
};
#pragma pack(pop)

static_assert(sizeof(MaxOrderVolumeReq) == 128, "the request is 128 bytes");
static_assert(offsetof(MaxOrderVolumeReq, ExchangeID) == 4, "exchange at 4");
static_assert(offsetof(MaxOrderVolumeReq, SecurityID) == 5, "security code at 5");
static_assert(offsetof(MaxOrderVolumeReq, ShareholderID) == 68, "account string at 68");
static_assert(offsetof(MaxOrderVolumeReq, Direction) == 79, "direction at 79");
static_assert(offsetof(MaxOrderVolumeReq, OrderPriceType) == 80, "price-type characters at 80");
static_assert(offsetof(MaxOrderVolumeReq, LimitPrice) == 88, "price at 88");
static_assert(offsetof(MaxOrderVolumeReq, ShortSellFlag) == 125, "short-sell flag at 125");
