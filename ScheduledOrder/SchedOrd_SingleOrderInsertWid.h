#pragma once

#include "Lev1Quote.h"
#include "SchedOrdPriceSide.h"
#include "SecurityInfo.h"

#include <QString>
#include <QWidget>

namespace Ui {
class SchedOrd_SingleOrderInsertWid;
}

class MyCompleterEdit;
class QButtonGroup;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTimer;
class UserData;
struct MaxOrderVolumeReq;
struct SingleOrderEntry;

namespace Velm_Space {

// The form in which the trader enters one scheduled order. The account variants decide the
// trade kinds of each side and how the maximum quantity is asked for.
class SchedOrd_SingleOrderInsertWid : public QWidget
{
    Q_OBJECT
public:
    SchedOrd_SingleOrderInsertWid(int accountId, QWidget* parent);
    ~SchedOrd_SingleOrderInsertWid() override;

    void initForm();
    SingleOrderEntry getSingleOrderEntry();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Ids of the direction buttons in m_directionGroup.
    static constexpr int BuyDirectionId = 1;
    static constexpr int SellDirectionId = 2;

signals:
    void signalSingleOrderInsertBtnClicked();

protected:
    virtual void initTradeTypeWidgets() = 0;
    virtual void updateTradeTypeWidgets(int directionId) = 0;
    virtual char getBuyDirection() = 0;
    virtual char getSellDirection() = 0;
    virtual void inquiryMaxOrderVolume() = 0;

protected slots:
    void slot_radiobtn_direction_idClicked(int id);
    void slot_MyCompleterEdit_TextCompleted(QString securityKey);
    void slot_BuyPriceGearChanged(int index);
    void slot_SellPriceGearChanged(int index);
    void on_pushButton_singleOI_BuyFloat_PN_clicked();
    void on_pushButton_singleOI_SellFloat_PN_clicked();
    void on_pushButton_singleOI_BuyFloat_Unit_clicked();
    void on_pushButton_singleOI_SellFloat_Unit_clicked();
    void on_pushButton_singleOI_bottom_help_clicked();
    void on_pushButton_singleOI_bottom_reset_clicked();
    void on_pushButton_singleOI_bottom_Insert_clicked();
    void slot_timeout_reqinquirymaxordervolume();
    void slot_RspInquiryMaxOrderVolumeFinished(QString securitykey, int maxvolume, int error_id, QString error_msg,
                                               int requestID = -1);
    void slot_RtnLev1MarketData(QString securityKey);
    void slot_UpdateTradingAccount();
    void slot_UpdateAllSecurity();
    void slot_PosQuotaTypeNormalChanged();

protected:
    // Steps shared by both variants' inquiries: clears the armed flag and fills `request` with
    // everything but the direction. False when no inquiry can be sent.
    bool prepareInquiryRequest(MaxOrderVolumeReq& request);
    void sendInquiryRequest(MaxOrderVolumeReq& request);
    int checkedDirectionId() const;

    Ui::SchedOrd_SingleOrderInsertWid* ui;
    int m_accountId;
    UserData* m_userData;
    int m_apiType;

    static constexpr const char* PropertyIsPositive = SchedOrdPriceSide::PropertyIsPositive;
    static constexpr const char* PropertyPriceFloatType = SchedOrdPriceSide::PropertyPriceFloatType;
    static constexpr const char* DirectionNone = "";
    static constexpr const char* DirectionBuy = "buy";
    static constexpr const char* DirectionSell = "sell";
    static constexpr int CreditCollateralBuyId = 1;
    static constexpr int CreditFinancedBuyId = 2;
    static constexpr int CreditCollateralSellId = 4;
    static constexpr int CreditShortSellId = 5;

    QString m_securityKey;
    SecurityInfo m_security;
    QString m_subscribedKey;
    Lev1Quote m_quote;
    double m_referencePrice;
    int m_inquiryRequestId;
    QButtonGroup* m_directionGroup;
    MyCompleterEdit* m_completer;
    QTimer* m_inquiryTimer;
    bool m_inquiryArmed;

private:
    SchedOrdPriceSide buySide() const;
    SchedOrdPriceSide sellSide() const;

    void setUpControls();
    void placeCompleterFirstInTabOrder();
    void connectUserDataSignals();
    void startInquiryTimer();
    void clearSelection();
    void takeMarketDataSnapshot();
    bool findQuote(Lev1Quote& quote) const;
    void fillPriceFields(const SchedOrdPriceSide& side, SingleOrderEntry& entry) const;
    void showMaxVolumeLabel(int directionId);
};

} // namespace Velm_Space
