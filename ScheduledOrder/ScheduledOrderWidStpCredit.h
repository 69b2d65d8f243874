#pragma once

#include "ScheduledOrderWid.h"

namespace Velm_Space {

// The window of a credit (margin) account.
class ScheduledOrderWidStpCredit final : public ScheduledOrderWid
{
    Q_OBJECT
public:
    ScheduledOrderWidStpCredit(int accountId, int reserved, QWidget* parent);
    ~ScheduledOrderWidStpCredit() override;

    SchedOrd_SingleOrderInsertWid* createSingleOrderInsertWid() override;
};

} // namespace Velm_Space
