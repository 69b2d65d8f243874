#pragma once

#include <QCoreApplication>
#include <QVector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QWidget;

namespace Velm_Space {

// One side (buy or sell) of a price rule, as the entry form and the modify dialog both show it:
// the gear combo box, the custom-price row or the shift row that the gear calls for, and the
// shift's sign and unit buttons with their dynamic properties.
class SchedOrdPriceSide final
{
    Q_DECLARE_TR_FUNCTIONS(SchedOrdPriceSide)
public:
    static constexpr const char* PropertyIsPositive = "IsPositive";
    static constexpr const char* PropertyPriceFloatType = "PriceFloatType";
    static constexpr int TickFloat = 1;
    static constexpr int PercentFloat = 2;

    QWidget* gearRow;
    QComboBox* gear;
    QWidget* customPriceRow;
    QDoubleSpinBox* customPrice;
    QLabel* customPriceUnit;
    QWidget* floatRow;
    QPushButton* sign;
    QSpinBox* tick;
    QDoubleSpinBox* percentage;
    QPushButton* unit;

    void fillGears(const QVector<int>& gears) const;
    void selectGear(int gearCode) const;
    // -1 while no gear is chosen.
    int currentGear() const;
    // Custom price and market price show the custom-price row, every other gear the shift row.
    void showRowsForGear() const;

    void setSign(bool positive) const;
    void toggleSign() const;
    bool isPositive() const;

    int unitType() const;
    // Ticks become percent and back (another type stays); both amounts start again from 0.
    void switchUnit() const;
    void applyUnit(int type) const;
    // The amount of the chosen unit with the sign applied; 0 for a unit of no known type.
    double signedShift() const;

    // The side as a reset leaves it: the gear, no custom price, shifting up by 0 ticks.
    void reset(int gearCode) const;
};

} // namespace Velm_Space
