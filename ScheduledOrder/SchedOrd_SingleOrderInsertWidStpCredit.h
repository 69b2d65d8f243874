#pragma once

#include "SchedOrd_SingleOrderInsertWid.h"

namespace Velm_Space {

// The entry form of a credit account: each side has its trade kind (collateral or financed buy,
// collateral or short sell).
class SchedOrd_SingleOrderInsertWidStpCredit final : public SchedOrd_SingleOrderInsertWid
{
    Q_OBJECT
public:
    SchedOrd_SingleOrderInsertWidStpCredit(int accountId, QWidget* parent);
    ~SchedOrd_SingleOrderInsertWidStpCredit() override;

protected:
    void initTradeTypeWidgets() override;
    void updateTradeTypeWidgets(int directionId) override;
    char getBuyDirection() override;
    char getSellDirection() override;
    void inquiryMaxOrderVolume() override;
};

} // namespace Velm_Space
