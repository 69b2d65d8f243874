#include "SchedOrd_ModifySubTaskParamWidStpCredit.h"
#include "ui_SchedOrd_ModifySubTaskParamWid.h"

#include "SchedOrdCodes.h"
#include "SchedOrdSubTaskField.h"

#include <QDebug>

namespace Velm_Space {

namespace Code = VELMSCHEDORDAPI::Direction;

SchedOrd_ModifySubTaskParamWidStpCredit::SchedOrd_ModifySubTaskParamWidStpCredit(int accountId, QWidget* parent)
    : SchedOrd_ModifySubTaskParamWid(accountId, parent)
{
}

SchedOrd_ModifySubTaskParamWidStpCredit::~SchedOrd_ModifySubTaskParamWidStpCredit()
{
    qDebug() << "~SchedOrd_ModifySubTaskParamWidStpCredit()";
}

void SchedOrd_ModifySubTaskParamWidStpCredit::initVariantWidgets()
{
    ui->widget_SO_MST_CreditBuyType->hide();
    ui->widget_SO_MST_CreditSellType->hide();

    QComboBox* buyKind = ui->comboBox_SO_MST_CreditBuyType;
    buyKind->clear();
    buyKind->addItem(tr("担保品买入"), CreditCollateralBuy);
    buyKind->addItem(tr("融资买入"), CreditFinancedBuy);

    QComboBox* sellKind = ui->comboBox_SO_MST_CreditSellType;
    sellKind->clear();
    sellKind->addItem(tr("担保品卖出"), CreditCollateralSell);
    sellKind->addItem(tr("融券卖出"), CreditShortSell);
}

void SchedOrd_ModifySubTaskParamWidStpCredit::selectCreditKind(QComboBox* comboBox, int kind)
{
    const int index = comboBox->findData(kind);
    if (index >= 0)
        comboBox->setCurrentIndex(index);
}

void SchedOrd_ModifySubTaskParamWidStpCredit::applyDirectionMode(int mode)
{
    // The third kinds ('l', 'k') have no item: the selection made by the reset stays.
    const char direction = m_storedSubTask ? m_storedSubTask->Direction : char(0);
    switch (mode) {
    case BuySide:
        ui->widget_SO_MST_CreditBuyType->show();
        ui->widget_SO_MST_CreditSellType->hide();
        if (direction == Code::Buy)
            selectCreditKind(ui->comboBox_SO_MST_CreditBuyType, CreditCollateralBuy);
        else if (direction == Code::FinancedBuy)
            selectCreditKind(ui->comboBox_SO_MST_CreditBuyType, CreditFinancedBuy);
        break;
    case SellSide:
        ui->widget_SO_MST_CreditBuyType->hide();
        ui->widget_SO_MST_CreditSellType->show();
        if (direction == Code::Sell)
            selectCreditKind(ui->comboBox_SO_MST_CreditSellType, CreditCollateralSell);
        else if (direction == Code::ShortSell)
            selectCreditKind(ui->comboBox_SO_MST_CreditSellType, CreditShortSell);
        break;
    case BothSides:
        ui->widget_SO_MST_CreditBuyType->show();
        ui->widget_SO_MST_CreditSellType->show();
        break;
    default:
        break;
    }
}

char SchedOrd_ModifySubTaskParamWidStpCredit::buyDirectionCode()
{
    switch (ui->comboBox_SO_MST_CreditBuyType->currentData().toInt()) {
    case CreditCollateralBuy:
        return Code::Buy;
    case CreditFinancedBuy:
        return Code::FinancedBuy;
    case CreditOtherBuy:
        return Code::CreditOtherBuy;
    default:
        return 0;
    }
}

char SchedOrd_ModifySubTaskParamWidStpCredit::sellDirectionCode()
{
    switch (ui->comboBox_SO_MST_CreditSellType->currentData().toInt()) {
    case CreditCollateralSell:
        return Code::Sell;
    case CreditShortSell:
        return Code::ShortSell;
    case CreditOtherSell:
        return Code::CreditOtherSell;
    default:
        return 0;
    }
}

} // namespace Velm_Space
