#pragma once

#include "ScheduledOrderWid.h"

namespace Velm_Space {

// The window of an ordinary stock account.
class ScheduledOrderWidStpStock final : public ScheduledOrderWid
{
    Q_OBJECT
public:
    ScheduledOrderWidStpStock(int accountId, int reserved, QWidget* parent);
    ~ScheduledOrderWidStpStock() override;

    SchedOrd_SingleOrderInsertWid* createSingleOrderInsertWid() override;
};

} // namespace Velm_Space
