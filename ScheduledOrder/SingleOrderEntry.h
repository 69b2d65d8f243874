#pragma once

#include <QString>
#include <QTime>

// One order as the single-order entry form hands it to the main window.
struct SingleOrderEntry
{
    QString SecurityID;
    char ExchangeID = 0;
    QString SecurityName;
    char Direction = 0;
    int PriceGear = -1;
    double CustomPrice = 0.0;
    int PriceFloatType = -1;
    double PriceFloatValue = 0.0;
    int Volume = 0;
    QTime StartTime;
    QTime EndTime;
    bool NoSellAtLimitUp = true;
    bool NoBuyAtLimitDown = true;
};
