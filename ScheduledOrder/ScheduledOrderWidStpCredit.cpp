#include "ScheduledOrderWidStpCredit.h"

#include "SchedOrd_SingleOrderInsertWidStpCredit.h"

#include <QDebug>

namespace Velm_Space {

ScheduledOrderWidStpCredit::ScheduledOrderWidStpCredit(int accountId, int reserved, QWidget* parent)
    : ScheduledOrderWid(accountId, reserved, parent)
{
}

ScheduledOrderWidStpCredit::~ScheduledOrderWidStpCredit()
{
    qDebug() << "~ScheduledOrderWidStpCredit()";
}

SchedOrd_SingleOrderInsertWid* ScheduledOrderWidStpCredit::createSingleOrderInsertWid()
{
    return new SchedOrd_SingleOrderInsertWidStpCredit(m_accountId, this);
}

} // namespace Velm_Space
