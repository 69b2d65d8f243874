#include "SchedOrd_SingleOrderInsertWidStpStock.h"
#include "ui_SchedOrd_SingleOrderInsertWid.h"

#include "MaxOrderVolumeReq.h"
#include "SchedOrdCodes.h"

#include <QDebug>

namespace Velm_Space {

SchedOrd_SingleOrderInsertWidStpStock::SchedOrd_SingleOrderInsertWidStpStock(int accountId, QWidget* parent)
    : SchedOrd_SingleOrderInsertWid(accountId, parent)
{
}

SchedOrd_SingleOrderInsertWidStpStock::~SchedOrd_SingleOrderInsertWidStpStock()
{
    qDebug() << "~SchedOrd_SingleOrderInsertWidStpStock()";
}

void SchedOrd_SingleOrderInsertWidStpStock::initTradeTypeWidgets()
{
    ui->widget_singleOI_CreditBuyType->hide();
    ui->widget_singleOI_CreditSellType->hide();
}

void SchedOrd_SingleOrderInsertWidStpStock::updateTradeTypeWidgets(int directionId)
{
    Q_UNUSED(directionId)
    ui->widget_singleOI_CreditBuyType->hide();
    ui->widget_singleOI_CreditSellType->hide();
}

char SchedOrd_SingleOrderInsertWidStpStock::getBuyDirection()
{
    return VELMSCHEDORDAPI::Direction::Buy;
}

char SchedOrd_SingleOrderInsertWidStpStock::getSellDirection()
{
    return VELMSCHEDORDAPI::Direction::Sell;
}

void SchedOrd_SingleOrderInsertWidStpStock::inquiryMaxOrderVolume()
{
    MaxOrderVolumeReq request;
    if (!prepareInquiryRequest(request))
        return;
    switch (checkedDirectionId()) {
    case BuyDirectionId:
        request.Direction = VELMSCHEDORDAPI::Direction::Buy;
        break;
    case SellDirectionId:
        request.Direction = VELMSCHEDORDAPI::Direction::Sell;
        break;
    default:
        break;
    }
    sendInquiryRequest(request);
}

} // namespace Velm_Space
