#pragma once

#include <QVector>

namespace VELMSCHEDORDAPI {

// The price-gear codes of the entry form and the modify dialog, and their mapping onto PriceType.
class SchedOrdPriceGear
{
public:
    enum Gear {
        LastPrice = 0,
        LimitUp = 1,
        Ask5 = 2, Ask4 = 3, Ask3 = 4, Ask2 = 5, Ask1 = 6,
        Bid1 = 7, Bid2 = 8, Bid3 = 9, Bid4 = 10, Bid5 = 11,
        LimitDown = 12,
        BuyCageUpper = 13,
        SellCageLower = 14,
        CustomPrice = 15,
        MarketPrice = 21,
    };

    // PriceType of a gear code; 0 (last price) for a code outside the ladder.
    static int toPriceType(int gear);
    // Gear code of a PriceType; -1 when the price type has no gear (13, previous close).
    static int fromPriceType(int priceType);
    // Item order of the two gear combo boxes.
    static const QVector<int>& buyGearOrder();
    static const QVector<int>& sellGearOrder();
    // Gears that show the custom-price row instead of the shift row.
    static bool showsCustomPrice(int gear);
};

} // namespace VELMSCHEDORDAPI
