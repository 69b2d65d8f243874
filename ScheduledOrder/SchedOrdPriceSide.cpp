#include "SchedOrdPriceSide.h"

#include "SchedOrdPriceGear.h"
#include "Util.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

using VELMSCHEDORDAPI::SchedOrdPriceGear;

namespace Velm_Space {

void SchedOrdPriceSide::fillGears(const QVector<int>& gears) const
{
    for (const int code : gears)
        gear->addItem(Util::ParseOrderInsertPriceType(code), code);
}

void SchedOrdPriceSide::selectGear(int gearCode) const
{
    gear->setCurrentIndex(gear->findData(gearCode));
}

int SchedOrdPriceSide::currentGear() const
{
    return gear->currentIndex() < 0 ? -1 : gear->currentData().toInt();
}

void SchedOrdPriceSide::showRowsForGear() const
{
    const bool custom = SchedOrdPriceGear::showsCustomPrice(currentGear());
    customPriceRow->setVisible(custom);
    floatRow->setVisible(!custom);
}

void SchedOrdPriceSide::setSign(bool positive) const
{
    sign->setProperty(PropertyIsPositive, positive);
    sign->setText(positive ? tr("向上") : tr("向下"));
}

void SchedOrdPriceSide::toggleSign() const
{
    setSign(!isPositive());
}

bool SchedOrdPriceSide::isPositive() const
{
    return sign->property(PropertyIsPositive).toBool();
}

int SchedOrdPriceSide::unitType() const
{
    return unit->property(PropertyPriceFloatType).toInt();
}

void SchedOrdPriceSide::switchUnit() const
{
    const int type = unitType();
    if (type == TickFloat)
        applyUnit(PercentFloat);
    else if (type == PercentFloat)
        applyUnit(TickFloat);
    else
        applyUnit(type);
}

void SchedOrdPriceSide::applyUnit(int type) const
{
    unit->setText(Util::ParseOrderInsertPriceFloatType(type));
    unit->setProperty(PropertyPriceFloatType, type);
    tick->setVisible(type == TickFloat);
    percentage->setVisible(type != TickFloat);
    tick->setValue(0);
    percentage->setValue(0.0);
}

double SchedOrdPriceSide::signedShift() const
{
    double shift = 0.0;
    if (unitType() == TickFloat)
        shift = tick->value();
    else if (unitType() == PercentFloat)
        shift = percentage->value();
    return isPositive() ? shift : -shift;
}

void SchedOrdPriceSide::reset(int gearCode) const
{
    selectGear(gearCode);
    customPrice->setValue(0.0);
    customPriceUnit->setText(QStringLiteral("-"));
    setSign(true);
    tick->setValue(0);
    percentage->setValue(0.0);
    if (unitType() == PercentFloat)
        switchUnit();
}

} // namespace Velm_Space
