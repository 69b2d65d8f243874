#pragma once

#include "ISubModuleDlg.h"
#include "SchedOrdPriceSide.h"
#include "SecurityInfo.h"

#include <QString>

namespace Ui {
class SchedOrd_ModifySubTaskParamWid;
}
namespace VELMSCHEDORDAPI {
struct SchedOrdSubTaskField;
}

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class UserData;

namespace Velm_Space {

// The form in which the trader changes the order parameters of one sub-task that has not been
// sent. It edits the caller's copy and raises the caller's flag when something differs from the
// stored sub-task; the account variants supply the credit kinds and the direction codes.
class SchedOrd_ModifySubTaskParamWid : public ISubModuleDlg
{
    Q_OBJECT
public:
    SchedOrd_ModifySubTaskParamWid(int accountId, QWidget* parent);
    ~SchedOrd_ModifySubTaskParamWid() override;

    bool eventFilter(QObject* watched, QEvent* event) override;
    void setOpenerWidget(QWidget* opener) override;
    bool isModalContent() override;

    void initDialog();
    // The three objects must outlive the dialog's use; the dialog only reads `stored`.
    void setSubTask(const VELMSCHEDORDAPI::SchedOrdSubTaskField* stored, VELMSCHEDORDAPI::SchedOrdSubTaskField* edited,
                    bool* confirmed);

    // Side modes: which price rows the sub-task's direction uses.
    static constexpr int BothSides = 0;
    static constexpr int BuySide = 1;
    static constexpr int SellSide = 2;

protected:
    void customEvent(QEvent* event) override;

    virtual void initVariantWidgets() = 0;
    virtual void applyDirectionMode(int mode) = 0;
    virtual char buyDirectionCode() = 0;
    virtual char sellDirectionCode() = 0;

protected slots:
    void slot_BuyPriceGearChanged(int index);
    void slot_SellPriceGearChanged(int index);
    void on_pushButton_SO_MST_BuyFloat_PN_clicked();
    void on_pushButton_SO_MST_SellFloat_PN_clicked();
    void on_pushButton_SO_MST_BuyFloat_Unit_clicked();
    void on_pushButton_SO_MST_SellFloat_Unit_clicked();
    void on_pushButton_SO_MST_bottom_help_clicked();
    void on_pushButton_SO_MST_bottom_reset_clicked();
    void on_pushButton_SO_MST_bottom_OK_clicked();
    void on_pushButton_SO_MST_bottom_Cancel_clicked();
    void slot_UpdateAllSecurity();

protected:
    Ui::SchedOrd_ModifySubTaskParamWid* ui;
    int m_accountId;
    UserData* m_userData;
    int m_apiType;
    const VELMSCHEDORDAPI::SchedOrdSubTaskField* m_storedSubTask = nullptr;
    VELMSCHEDORDAPI::SchedOrdSubTaskField* m_editedSubTask = nullptr;
    bool* m_confirmed = nullptr;
    int m_sideMode = BuySide;

    static constexpr const char* PropertyIsPositive = SchedOrdPriceSide::PropertyIsPositive;
    static constexpr const char* PropertyPriceFloatType = SchedOrdPriceSide::PropertyPriceFloatType;
    static constexpr int CreditCollateralBuy = 1;
    static constexpr int CreditFinancedBuy = 2;
    static constexpr int CreditOtherBuy = 3;
    static constexpr int CreditCollateralSell = 4;
    static constexpr int CreditShortSell = 5;
    static constexpr int CreditOtherSell = 6;

    QString m_securityKey;
    SecurityInfo m_security;

private:
    SchedOrdPriceSide buySide() const;
    SchedOrdPriceSide sellSide() const;
    SchedOrdPriceSide sideInUse() const;

    void restyleComboBoxes();
    void resetForm();
    void clearSecurity();
    void loadSecurityKey(const QString& securityKey);
    void showNotFoundForAMoment();
    void applySideMode(int mode);
    void showSecurityDetails();
    void loadOrderParameters(const SchedOrdPriceSide& side);
    void writeFormInto(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask);
    bool differsFromStored(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
};

} // namespace Velm_Space
