#include "SchedOrd_SingleOrderInsertWidStpCredit.h"
#include "ui_SchedOrd_SingleOrderInsertWid.h"

#include "MaxOrderVolumeReq.h"
#include "SchedOrdCodes.h"
#include "WindowManager.h"

#include <QDebug>

namespace Velm_Space {

namespace {

constexpr char kShortSellChecked = '1';
constexpr char kShortSellUnchecked = '0';

} // namespace

SchedOrd_SingleOrderInsertWidStpCredit::SchedOrd_SingleOrderInsertWidStpCredit(int accountId, QWidget* parent)
    : SchedOrd_SingleOrderInsertWid(accountId, parent)
{
}

SchedOrd_SingleOrderInsertWidStpCredit::~SchedOrd_SingleOrderInsertWidStpCredit()
{
    qDebug() << "~SchedOrd_SingleOrderInsertWidStpCredit()";
}

void SchedOrd_SingleOrderInsertWidStpCredit::initTradeTypeWidgets()
{
    ui->widget_singleOI_CreditBuyType->hide();
    ui->widget_singleOI_CreditSellType->hide();

    QComboBox* buyType = ui->comboBox_singleOI_CreditBuyType;
    QComboBox* sellType = ui->comboBox_singleOI_CreditSellType;
    buyType->clear();
    buyType->addItem(tr("担保品买入"), CreditCollateralBuyId);
    buyType->addItem(tr("融资买入"), CreditFinancedBuyId);
    sellType->clear();
    sellType->addItem(tr("担保品卖出"), CreditCollateralSellId);
    sellType->addItem(tr("融券卖出"), CreditShortSellId);

    // The displayed maximum quantity follows the chosen trade kind.
    connect(buyType, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { inquiryMaxOrderVolume(); });
    connect(sellType, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this] { inquiryMaxOrderVolume(); });
}

void SchedOrd_SingleOrderInsertWidStpCredit::updateTradeTypeWidgets(int directionId)
{
    if (directionId == BuyDirectionId) {
        ui->widget_singleOI_CreditBuyType->show();
        ui->widget_singleOI_CreditSellType->hide();
    } else if (directionId == SellDirectionId) {
        ui->widget_singleOI_CreditBuyType->hide();
        ui->widget_singleOI_CreditSellType->show();
    }
}

char SchedOrd_SingleOrderInsertWidStpCredit::getBuyDirection()
{
    switch (ui->comboBox_singleOI_CreditBuyType->currentData().toInt()) {
    case CreditCollateralBuyId:
        return VELMSCHEDORDAPI::Direction::Buy;
    case CreditFinancedBuyId:
        return VELMSCHEDORDAPI::Direction::FinancedBuy;
    default:
        return 0;
    }
}

char SchedOrd_SingleOrderInsertWidStpCredit::getSellDirection()
{
    switch (ui->comboBox_singleOI_CreditSellType->currentData().toInt()) {
    case CreditCollateralSellId:
        return VELMSCHEDORDAPI::Direction::Sell;
    case CreditShortSellId:
        return VELMSCHEDORDAPI::Direction::ShortSell;
    default:
        return 0;
    }
}

void SchedOrd_SingleOrderInsertWidStpCredit::inquiryMaxOrderVolume()
{
    MaxOrderVolumeReq request;
    if (!prepareInquiryRequest(request))
        return;
    request.ShortSellFlag = kShortSellUnchecked;
    switch (checkedDirectionId()) {
    case BuyDirectionId:
        request.Direction = getBuyDirection();
        break;
    case SellDirectionId:
        request.Direction = getSellDirection();
        if (request.Direction == VELMSCHEDORDAPI::Direction::ShortSell && !gWM->creditShortSellOption)
            request.ShortSellFlag = kShortSellChecked;
        break;
    default:
        break;
    }
    sendInquiryRequest(request);
}

} // namespace Velm_Space
