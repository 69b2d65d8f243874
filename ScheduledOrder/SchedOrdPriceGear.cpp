#include "SchedOrdPriceGear.h"

namespace VELMSCHEDORDAPI {

namespace {

struct GearPriceType {
    int gear;
    int priceType;
};

constexpr GearPriceType kGearTable[] = {
    {SchedOrdPriceGear::LastPrice, 0},     {SchedOrdPriceGear::LimitUp, 14},
    {SchedOrdPriceGear::Ask5, 10},         {SchedOrdPriceGear::Ask4, 8},
    {SchedOrdPriceGear::Ask3, 6},          {SchedOrdPriceGear::Ask2, 4},
    {SchedOrdPriceGear::Ask1, 1},          {SchedOrdPriceGear::Bid1, 2},
    {SchedOrdPriceGear::Bid2, 5},          {SchedOrdPriceGear::Bid3, 7},
    {SchedOrdPriceGear::Bid4, 9},          {SchedOrdPriceGear::Bid5, 11},
    {SchedOrdPriceGear::LimitDown, 15},    {SchedOrdPriceGear::BuyCageUpper, 16},
    {SchedOrdPriceGear::SellCageLower, 17}, {SchedOrdPriceGear::CustomPrice, 12},
    {SchedOrdPriceGear::MarketPrice, 3},
};

} // namespace

int SchedOrdPriceGear::toPriceType(int gear)
{
    for (const GearPriceType& entry : kGearTable) {
        if (entry.gear == gear)
            return entry.priceType;
    }
    return 0;
}

int SchedOrdPriceGear::fromPriceType(int priceType)
{
    for (const GearPriceType& entry : kGearTable) {
        if (entry.priceType == priceType)
            return entry.gear;
    }
    return -1;
}

const QVector<int>& SchedOrdPriceGear::buyGearOrder()
{
    static const QVector<int> order{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 13, 21, 15};
    return order;
}

const QVector<int>& SchedOrdPriceGear::sellGearOrder()
{
    static const QVector<int> order{1, 2, 3, 4, 5, 6, 0, 7, 8, 9, 10, 11, 12, 14, 21, 15};
    return order;
}

bool SchedOrdPriceGear::showsCustomPrice(int gear)
{
    return gear == CustomPrice || gear == MarketPrice;
}

} // namespace VELMSCHEDORDAPI
