#pragma once

#include "SchedOrd_ModifySubTaskParamWid.h"

namespace Velm_Space {

// The modify dialog of an ordinary stock account: plain buy and sell, no credit kinds.
class SchedOrd_ModifySubTaskParamWidStpStock final : public SchedOrd_ModifySubTaskParamWid
{
    Q_OBJECT
public:
    SchedOrd_ModifySubTaskParamWidStpStock(int accountId, QWidget* parent);
    ~SchedOrd_ModifySubTaskParamWidStpStock() override;

protected:
    void initVariantWidgets() override;
    void applyDirectionMode(int mode) override;
    char buyDirectionCode() override;
    char sellDirectionCode() override;
};

} // namespace Velm_Space
