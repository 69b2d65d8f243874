#pragma once

#include "SchedOrd_ModifySubTaskParamWid.h"

class QComboBox;

namespace Velm_Space {

// The modify dialog of a credit account: the trader picks the collateral or the financed (short)
// kind of the side the sub-task is on.
class SchedOrd_ModifySubTaskParamWidStpCredit final : public SchedOrd_ModifySubTaskParamWid
{
    Q_OBJECT
public:
    SchedOrd_ModifySubTaskParamWidStpCredit(int accountId, QWidget* parent);
    ~SchedOrd_ModifySubTaskParamWidStpCredit() override;

protected:
    void initVariantWidgets() override;
    void applyDirectionMode(int mode) override;
    char buyDirectionCode() override;
    char sellDirectionCode() override;

private:
    void selectCreditKind(QComboBox* comboBox, int kind);
};

} // namespace Velm_Space
