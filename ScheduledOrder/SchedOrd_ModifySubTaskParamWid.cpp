#include "SchedOrd_ModifySubTaskParamWid.h"
#include "ui_SchedOrd_ModifySubTaskParamWid.h"

#include "SchedOrdCodes.h"
#include "SchedOrdPriceGear.h"
#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskTime.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "WindowManager.h"

#include <QDebug>
#include <QListView>
#include <QTimer>

#include <cmath>

using VELMSCHEDORDAPI::SchedOrdPriceGear;
using VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskTime;

namespace Velm_Space {

namespace {

constexpr int kNotFoundLabelMs = 1000;
constexpr int kMinSecurityKeyLength = 3;
constexpr double kFloatEpsilon = 0.000001;
const char* const kTimeFormat = "hh:mm:ss";

QTime openingTime()
{
    return QTime(9, 30, 0);
}

int sideModeOf(char direction)
{
    using namespace VELMSCHEDORDAPI::Direction;
    switch (direction) {
    case Sell:
    case ShortSell:
    case CreditOtherSell:
        return SchedOrd_ModifySubTaskParamWid::SellSide;
    default:
        return SchedOrd_ModifySubTaskParamWid::BuySide;
    }
}

} // namespace

SchedOrd_ModifySubTaskParamWid::SchedOrd_ModifySubTaskParamWid(int accountId, QWidget* parent)
    : ISubModuleDlg(parent)
    , ui(new Ui::SchedOrd_ModifySubTaskParamWid)
    , m_accountId(accountId)
    , m_userData(UserDataManager::instance()->getUserData(accountId))
    , m_apiType(m_userData ? m_userData->getApiType() : 0)
{
    ui->setupUi(this);
}

SchedOrd_ModifySubTaskParamWid::~SchedOrd_ModifySubTaskParamWid()
{
    qDebug() << "~SchedOrd_ModifySubTaskParamWid()";
    delete ui;
}

SchedOrdPriceSide SchedOrd_ModifySubTaskParamWid::buySide() const
{
    return {ui->widget_SO_MST_BuyPriceGear,       ui->comboBox_SO_MST_BuyPriceGear,
            ui->widget_SO_MST_BuyCustomPrice,     ui->doubleSpinBox_SO_MST_BuyCustomPrice,
            ui->label_SO_MST_BuyCustomPrice_Unit, ui->widget_SO_MST_BuyFloat,
            ui->pushButton_SO_MST_BuyFloat_PN,    ui->spinBox_SO_MST_BuyFloat_Tick,
            ui->doubleSpinBox_SO_MST_BuyFloat_Percentage, ui->pushButton_SO_MST_BuyFloat_Unit};
}

SchedOrdPriceSide SchedOrd_ModifySubTaskParamWid::sellSide() const
{
    return {ui->widget_SO_MST_SellPriceGear,       ui->comboBox_SO_MST_SellPriceGear,
            ui->widget_SO_MST_SellCustomPrice,     ui->doubleSpinBox_SO_MST_SellCustomPrice,
            ui->label_SO_MST_SellCustomPrice_Unit, ui->widget_SO_MST_SellFloat,
            ui->pushButton_SO_MST_SellFloat_PN,    ui->spinBox_SO_MST_SellFloat_Tick,
            ui->doubleSpinBox_SO_MST_SellFloat_Percentage, ui->pushButton_SO_MST_SellFloat_Unit};
}

SchedOrdPriceSide SchedOrd_ModifySubTaskParamWid::sideInUse() const
{
    return m_sideMode == SellSide ? sellSide() : buySide();
}

bool SchedOrd_ModifySubTaskParamWid::eventFilter(QObject* watched, QEvent* event)
{
    if (qstrcmp(watched->metaObject()->className(), "QComboBox") == 0)
        Util::setCustomComboBoxStyleSheet(event->type(), static_cast<QComboBox*>(watched));
    return false;
}

void SchedOrd_ModifySubTaskParamWid::customEvent(QEvent* event)
{
    Q_UNUSED(event)
}

void SchedOrd_ModifySubTaskParamWid::setOpenerWidget(QWidget* opener)
{
    Q_UNUSED(opener)
}

bool SchedOrd_ModifySubTaskParamWid::isModalContent()
{
    return true;
}

void SchedOrd_ModifySubTaskParamWid::initDialog()
{
    ui->widget_SO_MST_dir_top->hide();
    ui->widget_SO_MST_MaxVolume->hide();
    ui->pushButton_SO_MST_bottom_help->hide();
    ui->label_SO_MST_SecurityName->clear();

    buySide().fillGears(SchedOrdPriceGear::buyGearOrder());
    sellSide().fillGears(SchedOrdPriceGear::sellGearOrder());
    connect(ui->comboBox_SO_MST_BuyPriceGear, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SchedOrd_ModifySubTaskParamWid::slot_BuyPriceGearChanged);
    connect(ui->comboBox_SO_MST_SellPriceGear, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SchedOrd_ModifySubTaskParamWid::slot_SellPriceGearChanged);

    initVariantWidgets();

    ui->checkBox_SO_MST_UpperLimit->setChecked(true);
    ui->checkBox_SO_MST_LowerLimit->setChecked(true);
    buySide().setSign(true);
    sellSide().setSign(false);
    for (const SchedOrdPriceSide& side : {buySide(), sellSide()})
        side.applyUnit(SchedOrdPriceSide::TickFloat);

    buySide().selectGear(SchedOrdPriceGear::Ask1);
    sellSide().selectGear(SchedOrdPriceGear::Bid1);
    ui->timeEdit_SO_MST_ScheduledTime->setTime(openingTime());

    restyleComboBoxes();
}

void SchedOrd_ModifySubTaskParamWid::restyleComboBoxes()
{
    const QList<QComboBox*> comboBoxes = findChildren<QComboBox*>();
    for (QComboBox* comboBox : comboBoxes) {
        comboBox->setView(new QListView());
        comboBox->installEventFilter(this);
    }
}

void SchedOrd_ModifySubTaskParamWid::setSubTask(const SchedOrdSubTaskField* stored, SchedOrdSubTaskField* edited,
                                                bool* confirmed)
{
    m_storedSubTask = stored;
    m_editedSubTask = edited;
    m_confirmed = confirmed;
    resetForm();
}

void SchedOrd_ModifySubTaskParamWid::resetForm()
{
    ui->label_SO_MST_SecurityName->clear();
    m_securityKey.clear();
    m_security = SecurityInfo();

    for (QComboBox* creditKind : {ui->comboBox_SO_MST_CreditBuyType, ui->comboBox_SO_MST_CreditSellType}) {
        if (creditKind->count() > 0)
            creditKind->setCurrentIndex(0);
    }

    buySide().reset(SchedOrdPriceGear::Ask1);
    sellSide().reset(SchedOrdPriceGear::Bid1);

    ui->lineEdit_SO_MST_MaxVolume->clear();
    ui->label_SO_MST_MaxVolume_Unit->clear();
    ui->label_SO_MST_VolumeOriginal_Unit->clear();
    ui->spinBox_SO_MST_VolumeOriginal->setValue(0);
    ui->timeEdit_SO_MST_ScheduledTime->setTime(openingTime());

    loadSecurityKey(m_storedSubTask ? Util::Str2QStr(m_storedSubTask->SecurityKey) : QString());
}

void SchedOrd_ModifySubTaskParamWid::clearSecurity()
{
    ui->label_SO_MST_SecurityName->clear();
    for (const SchedOrdPriceSide& side : {buySide(), sellSide()}) {
        side.customPrice->setValue(0.0);
        side.customPriceUnit->setText(QStringLiteral("-"));
    }
    m_securityKey.clear();
    m_security = SecurityInfo();
}

void SchedOrd_ModifySubTaskParamWid::showNotFoundForAMoment()
{
    ui->label_SO_MST_SecurityName->setText(tr("找不到该代码！"));
    QTimer::singleShot(kNotFoundLabelMs, this, [this] {
        if (m_securityKey.isEmpty())
            ui->label_SO_MST_SecurityName->clear();
    });
}

void SchedOrd_ModifySubTaskParamWid::loadSecurityKey(const QString& securityKey)
{
    clearSecurity();
    if (securityKey.size() < kMinSecurityKeyLength) {
        showNotFoundForAMoment();
        return;
    }
    // An account the host does not know has no securities either: the form stays reset.
    SecurityInfo security;
    if (!m_storedSubTask || !m_userData || !m_userData->GetSecurityInfoByKey(securityKey, security))
        return;

    m_securityKey = securityKey;
    m_security = security;
    m_sideMode = sideModeOf(m_storedSubTask->Direction);
    applySideMode(m_sideMode);
    showSecurityDetails();
    loadOrderParameters(sideInUse());
}

void SchedOrd_ModifySubTaskParamWid::applySideMode(int mode)
{
    const bool buy = mode == BuySide;
    const SchedOrdPriceSide shown = buy ? buySide() : sellSide();
    const SchedOrdPriceSide hidden = buy ? sellSide() : buySide();
    shown.gearRow->show();
    shown.floatRow->show();
    hidden.gearRow->hide();
    hidden.customPriceRow->hide();
    hidden.floatRow->hide();
    ui->label_SO_MST_MaxVolume->setText(buy ? tr("参考可买") : tr("参考可卖"));
    ui->lineEdit_SO_MST_MaxVolume->clear();
    if (buy)
        slot_BuyPriceGearChanged(shown.gear->currentIndex());
    else
        slot_SellPriceGearChanged(shown.gear->currentIndex());
    applyDirectionMode(mode);
}

void SchedOrd_ModifySubTaskParamWid::showSecurityDetails()
{
    ui->label_SO_MST_SecurityName->setText(Util::Str2QStr(m_storedSubTask->SecurityID) + QLatin1Char(' ')
                                           + m_userData->GetSecurityNameByKey(m_securityKey) + QLatin1Char(' ')
                                           + Util::ParseDirection(m_apiType, m_storedSubTask->Direction));

    const QString unit = Util::ParseOrderUnit(m_apiType, m_security.SecurityType);
    ui->label_SO_MST_MaxVolume_Unit->setText(unit);
    ui->label_SO_MST_VolumeOriginal_Unit->setText(unit);

    const int decimals = m_userData->GetPriceDecimalsByKey(m_securityKey);
    const QString currency = m_security.IsHKD ? tr("港元") : tr("元");
    for (const SchedOrdPriceSide& side : {buySide(), sellSide()}) {
        side.customPrice->setDecimals(decimals);
        side.customPrice->setSingleStep(m_security.PriceTick);
        side.customPriceUnit->setText(currency);
    }

    QSpinBox* volume = ui->spinBox_SO_MST_VolumeOriginal;
    volume->setValue(qMax(m_security.VolumeStep, m_security.MinVolume));
    volume->setSingleStep(m_security.VolumeStep < 2 ? 1 : m_security.VolumeStep);
    ui->lineEdit_SO_MST_MaxVolume->clear();
    ui->lineEdit_SO_MST_MaxVolume->setToolTip(QString());
}

void SchedOrd_ModifySubTaskParamWid::loadOrderParameters(const SchedOrdPriceSide& side)
{
    const SchedOrdSubTaskField& stored = *m_storedSubTask;
    side.gear->setCurrentIndex(-1);
    const int gear = SchedOrdPriceGear::fromPriceType(stored.PriceType);
    if (gear >= 0)
        side.selectGear(gear);
    side.customPrice->setValue(stored.OrderPrice);
    side.setSign(stored.PriceFloatValue > -kFloatEpsilon);

    const double shift = std::fabs(stored.PriceFloatValue);
    if (stored.PriceFloatType == VELMSCHEDORDAPI::PriceFloatType::Tick) {
        if (side.unitType() == SchedOrdPriceSide::PercentFloat)
            side.switchUnit();
        // A fractional tick cannot be shown; it is cut, and confirming then counts as a change.
        side.tick->setValue(static_cast<int>(shift));
    } else if (stored.PriceFloatType == VELMSCHEDORDAPI::PriceFloatType::Percent) {
        if (side.unitType() == SchedOrdPriceSide::TickFloat)
            side.switchUnit();
        side.percentage->setValue(shift);
    }

    ui->spinBox_SO_MST_VolumeOriginal->setValue(stored.TargetVolume);
    ui->timeEdit_SO_MST_ScheduledTime->setTime(
        QTime::fromString(SchedOrdTaskTime::toText(stored.StartTime), QLatin1String(kTimeFormat)));
    ui->checkBox_SO_MST_UpperLimit->setChecked(stored.NoSellAtLimitUp);
    ui->checkBox_SO_MST_LowerLimit->setChecked(stored.NoBuyAtLimitDown);
}

void SchedOrd_ModifySubTaskParamWid::slot_BuyPriceGearChanged(int index)
{
    Q_UNUSED(index)
    buySide().showRowsForGear();
}

void SchedOrd_ModifySubTaskParamWid::slot_SellPriceGearChanged(int index)
{
    Q_UNUSED(index)
    sellSide().showRowsForGear();
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_BuyFloat_PN_clicked()
{
    buySide().toggleSign();
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_SellFloat_PN_clicked()
{
    sellSide().toggleSign();
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_BuyFloat_Unit_clicked()
{
    buySide().switchUnit();
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_SellFloat_Unit_clicked()
{
    sellSide().switchUnit();
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_bottom_help_clicked()
{
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_bottom_reset_clicked()
{
    resetForm();
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_bottom_OK_clicked()
{
    if (ui->spinBox_SO_MST_VolumeOriginal->value() == 0) {
        gWM->popupMsgBoxInfo(tr("委托数量不能为0，请重新输入"), this, QString());
        return;
    }
    if (m_editedSubTask) {
        writeFormInto(*m_editedSubTask);
        if (m_confirmed)
            *m_confirmed = differsFromStored(*m_editedSubTask);
    }
    emit signal_pushbutton_ok();
}

void SchedOrd_ModifySubTaskParamWid::writeFormInto(SchedOrdSubTaskField& subTask)
{
    const SchedOrdPriceSide side = sideInUse();
    subTask.Direction = m_sideMode == SellSide ? sellDirectionCode() : buyDirectionCode();
    subTask.PriceType = SchedOrdPriceGear::toPriceType(side.currentGear());
    subTask.OrderPrice = side.customPrice->value();

    const bool ticks = side.unitType() == SchedOrdPriceSide::TickFloat;
    subTask.PriceFloatType = ticks ? VELMSCHEDORDAPI::PriceFloatType::Tick : VELMSCHEDORDAPI::PriceFloatType::Percent;
    const double shift = ticks ? side.tick->value() : side.percentage->value();
    subTask.PriceFloatValue = side.isPositive() ? shift : -shift;

    subTask.TargetVolume = ui->spinBox_SO_MST_VolumeOriginal->value();
    subTask.OrderVolume = 0;
    subTask.TradeVolume = 0;
    subTask.StartTime = SchedOrdTaskTime::fromQTime(ui->timeEdit_SO_MST_ScheduledTime->time());
    subTask.NoSellAtLimitUp = ui->checkBox_SO_MST_UpperLimit->isChecked();
    subTask.NoBuyAtLimitDown = ui->checkBox_SO_MST_LowerLimit->isChecked();
}

bool SchedOrd_ModifySubTaskParamWid::differsFromStored(const SchedOrdSubTaskField& subTask) const
{
    // Without a stored sub-task everything in the copy is new.
    if (!m_storedSubTask)
        return true;
    const SchedOrdSubTaskField& stored = *m_storedSubTask;
    return stored.Direction != subTask.Direction || stored.PriceType != subTask.PriceType
        || stored.OrderPrice != subTask.OrderPrice || stored.PriceFloatType != subTask.PriceFloatType
        || std::fabs(stored.PriceFloatValue - subTask.PriceFloatValue) > kFloatEpsilon
        || stored.TargetVolume != subTask.TargetVolume || stored.StartTime != subTask.StartTime
        || stored.NoSellAtLimitUp != subTask.NoSellAtLimitUp || stored.NoBuyAtLimitDown != subTask.NoBuyAtLimitDown;
}

void SchedOrd_ModifySubTaskParamWid::on_pushButton_SO_MST_bottom_Cancel_clicked()
{
    emit signal_pushbutton_cancel();
}

void SchedOrd_ModifySubTaskParamWid::slot_UpdateAllSecurity()
{
}

} // namespace Velm_Space
