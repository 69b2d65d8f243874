#pragma once

#include "SchedOrd_SingleOrderInsertWid.h"

namespace Velm_Space {

// The entry form of an ordinary stock account: plain buy and sell.
class SchedOrd_SingleOrderInsertWidStpStock final : public SchedOrd_SingleOrderInsertWid
{
    Q_OBJECT
public:
    SchedOrd_SingleOrderInsertWidStpStock(int accountId, QWidget* parent);
    ~SchedOrd_SingleOrderInsertWidStpStock() override;

protected:
    void initTradeTypeWidgets() override;
    void updateTradeTypeWidgets(int directionId) override;
    char getBuyDirection() override;
    char getSellDirection() override;
    void inquiryMaxOrderVolume() override;
};

} // namespace Velm_Space
