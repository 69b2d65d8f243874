#pragma once

#include <QString>

// The host's record of one security.
struct SecurityInfo
{
    QString SecurityID;
    char ExchangeID = 0;
    char SecurityType = 0;      // '1' share, '2' fund, '3' bond
    double PriceTick = 0.0001;
    int VolumeStep = 1;
    int MinVolume = 1;
    bool IsHKD = false;
    // Further fields the module does not read.
    QString SecurityName;
    double PreClosePrice = 0.0;
    double LimitPercent = 0.0;  // daily price limit, percent of the previous close
    int PriceDecimals = 2;
};

namespace SecurityType {
constexpr char Share = '1';
constexpr char Fund = '2';
constexpr char Bond = '3';
}
