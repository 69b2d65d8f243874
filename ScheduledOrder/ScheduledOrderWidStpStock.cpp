#include "ScheduledOrderWidStpStock.h"

#include "SchedOrd_SingleOrderInsertWidStpStock.h"

#include <QDebug>

namespace Velm_Space {

ScheduledOrderWidStpStock::ScheduledOrderWidStpStock(int accountId, int reserved, QWidget* parent)
    : ScheduledOrderWid(accountId, reserved, parent)
{
}

ScheduledOrderWidStpStock::~ScheduledOrderWidStpStock()
{
    qDebug() << "~ScheduledOrderWidStpStock()";
}

SchedOrd_SingleOrderInsertWid* ScheduledOrderWidStpStock::createSingleOrderInsertWid()
{
    return new SchedOrd_SingleOrderInsertWidStpStock(m_accountId, this);
}

} // namespace Velm_Space
