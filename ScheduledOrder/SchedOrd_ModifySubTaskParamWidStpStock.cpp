#include "SchedOrd_ModifySubTaskParamWidStpStock.h"
#include "ui_SchedOrd_ModifySubTaskParamWid.h"

#include "SchedOrdCodes.h"

#include <QDebug>

namespace Velm_Space {

SchedOrd_ModifySubTaskParamWidStpStock::SchedOrd_ModifySubTaskParamWidStpStock(int accountId, QWidget* parent)
    : SchedOrd_ModifySubTaskParamWid(accountId, parent)
{
}

SchedOrd_ModifySubTaskParamWidStpStock::~SchedOrd_ModifySubTaskParamWidStpStock()
{
    qDebug() << "~SchedOrd_ModifySubTaskParamWidStpStock()";
}

void SchedOrd_ModifySubTaskParamWidStpStock::initVariantWidgets()
{
    ui->widget_SO_MST_CreditBuyType->hide();
    ui->widget_SO_MST_CreditSellType->hide();
}

void SchedOrd_ModifySubTaskParamWidStpStock::applyDirectionMode(int mode)
{
    Q_UNUSED(mode)
    ui->widget_SO_MST_CreditBuyType->hide();
    ui->widget_SO_MST_CreditSellType->hide();
}

char SchedOrd_ModifySubTaskParamWidStpStock::buyDirectionCode()
{
    return VELMSCHEDORDAPI::Direction::Buy;
}

char SchedOrd_ModifySubTaskParamWidStpStock::sellDirectionCode()
{
    return VELMSCHEDORDAPI::Direction::Sell;
}

} // namespace Velm_Space
