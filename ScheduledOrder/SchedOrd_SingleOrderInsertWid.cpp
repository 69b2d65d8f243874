#include "SchedOrd_SingleOrderInsertWid.h"
#include "ui_SchedOrd_SingleOrderInsertWid.h"

#include "MaxOrderVolumeReq.h"
#include "MyCompleterEdit.h"
#include "SchedOrdPriceGear.h"
#include "SingleOrderEntry.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "WindowManager.h"

#include <QButtonGroup>
#include <QDebug>
#include <QListView>
#include <QStyle>
#include <QTimer>

#include <cstring>

using VELMSCHEDORDAPI::SchedOrdPriceGear;

namespace Velm_Space {

namespace {

constexpr int kInquiryIntervalMs = 5000;
constexpr int kNotFoundLabelMs = 1000;
constexpr int kCompleterWidth = 90;
constexpr int kMinSecurityKeyLength = 3;
constexpr int kMinShareholderIdLength = 4;

// Copies at most capacity - 1 characters, so the field stays NUL-terminated.
void copyText(char* field, size_t capacity, const QByteArray& text)
{
    std::strncpy(field, text.constData(), capacity - 1);
    field[capacity - 1] = '\0';
}

QTime openingTime()
{
    return QTime(9, 30, 0);
}

} // namespace

SchedOrd_SingleOrderInsertWid::SchedOrd_SingleOrderInsertWid(int accountId, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::SchedOrd_SingleOrderInsertWid)
    , m_accountId(accountId)
    , m_userData(UserDataManager::instance()->getUserData(accountId))
    , m_apiType(m_userData ? m_userData->getApiType() : 0)
    , m_referencePrice(0.0)
    , m_inquiryRequestId(-1)
    , m_directionGroup(nullptr)
    , m_completer(nullptr)
    , m_inquiryTimer(nullptr)
    , m_inquiryArmed(false)
{
    ui->setupUi(this);
}

SchedOrd_SingleOrderInsertWid::~SchedOrd_SingleOrderInsertWid()
{
    qDebug() << "~SchedOrd_SingleOrderInsertWid()";
    if (m_inquiryTimer) {
        m_inquiryTimer->stop();
        delete m_inquiryTimer;
        m_inquiryTimer = nullptr;
    }
    if (!m_subscribedKey.isEmpty())
        m_userData->ReqUnsubLev1(m_subscribedKey);
    delete ui;
}

SchedOrdPriceSide SchedOrd_SingleOrderInsertWid::buySide() const
{
    return {ui->widget_singleOI_BuyPriceGear,       ui->comboBox_singleOI_BuyPriceGear,
            ui->widget_singleOI_BuyCustomPrice,     ui->doubleSpinBox_singleOI_BuyCustomPrice,
            ui->label_singleOI_BuyCustomPrice_Unit, ui->widget_singleOI_BuyFloat,
            ui->pushButton_singleOI_BuyFloat_PN,    ui->spinBox_singleOI_BuyFloat_Tick,
            ui->doubleSpinBox_singleOI_BuyFloat_Percentage, ui->pushButton_singleOI_BuyFloat_Unit};
}

SchedOrdPriceSide SchedOrd_SingleOrderInsertWid::sellSide() const
{
    return {ui->widget_singleOI_SellPriceGear,       ui->comboBox_singleOI_SellPriceGear,
            ui->widget_singleOI_SellCustomPrice,     ui->doubleSpinBox_singleOI_SellCustomPrice,
            ui->label_singleOI_SellCustomPrice_Unit, ui->widget_singleOI_SellFloat,
            ui->pushButton_singleOI_SellFloat_PN,    ui->spinBox_singleOI_SellFloat_Tick,
            ui->doubleSpinBox_singleOI_SellFloat_Percentage, ui->pushButton_singleOI_SellFloat_Unit};
}

void SchedOrd_SingleOrderInsertWid::initForm()
{
    setUpControls();
    connectUserDataSignals();
    startInquiryTimer();
}

void SchedOrd_SingleOrderInsertWid::connectUserDataSignals()
{
    connect(m_userData, &UserData::signal_RspInquiryMaxOrderVolumeFinished, this,
            &SchedOrd_SingleOrderInsertWid::slot_RspInquiryMaxOrderVolumeFinished);
    connect(m_userData, &UserData::signal_RtnLev1MarketData, this,
            &SchedOrd_SingleOrderInsertWid::slot_RtnLev1MarketData);
    connect(m_userData, &UserData::signal_updateTradingAccount, this,
            &SchedOrd_SingleOrderInsertWid::slot_UpdateTradingAccount);
    connect(m_userData, &UserData::signal_UpdateAllSecurity, this,
            &SchedOrd_SingleOrderInsertWid::slot_UpdateAllSecurity);
    connect(m_userData, &UserData::signal_PosQuotaTypeNormalChanged, this,
            &SchedOrd_SingleOrderInsertWid::slot_PosQuotaTypeNormalChanged);
}

void SchedOrd_SingleOrderInsertWid::startInquiryTimer()
{
    m_inquiryTimer = new QTimer(this);
    m_inquiryTimer->setInterval(kInquiryIntervalMs);
    m_inquiryTimer->start();
    connect(m_inquiryTimer, &QTimer::timeout, this,
            &SchedOrd_SingleOrderInsertWid::slot_timeout_reqinquirymaxordervolume);
}

// The completer is made after the generated form and so comes last in Tab order; the form's own
// order (from the direction buttons on) is moved behind it, unchanged.
void SchedOrd_SingleOrderInsertWid::placeCompleterFirstInTabOrder()
{
    QList<QWidget*> formOrder;
    for (QWidget* widget = ui->pushButton_singleOI_dir_buy; widget != m_completer; widget = widget->nextInFocusChain()) {
        if (widget->focusPolicy() != Qt::NoFocus)
            formOrder.append(widget);
    }
    QWidget* previous = m_completer;
    for (QWidget* widget : formOrder) {
        QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

void SchedOrd_SingleOrderInsertWid::setUpControls()
{
    ui->pushButton_singleOI_bottom_help->hide();
    ui->pushButton_singleOI_MaxVolume_All->hide();
    ui->label_singleOI_tips->hide();

    if (!m_completer) {
        m_completer = new MyCompleterEdit(this);
        ui->horizontalLayout_singleOI_SecurityIDName->insertWidget(0, m_completer);
        m_completer->installEventFilter(this);
        m_completer->setFixedWidth(kCompleterWidth);
        m_completer->setPlaceholderText(tr("输入代码/名称"));
        placeCompleterFirstInTabOrder();
    }
    ui->label_singleOI_SecurityName->clear();
    slot_UpdateAllSecurity();
    connect(m_completer, &MyCompleterEdit::signalTextComplete, this,
            &SchedOrd_SingleOrderInsertWid::slot_MyCompleterEdit_TextCompleted);

    buySide().fillGears(SchedOrdPriceGear::buyGearOrder());
    sellSide().fillGears(SchedOrdPriceGear::sellGearOrder());
    connect(ui->comboBox_singleOI_BuyPriceGear, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SchedOrd_SingleOrderInsertWid::slot_BuyPriceGearChanged);
    connect(ui->comboBox_singleOI_SellPriceGear, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SchedOrd_SingleOrderInsertWid::slot_SellPriceGearChanged);

    initTradeTypeWidgets();

    ui->checkBox_singleOI_UpperLimit->setChecked(true);
    ui->checkBox_singleOI_LowerLimit->setChecked(true);

    m_directionGroup = new QButtonGroup(this);
    m_directionGroup->addButton(ui->pushButton_singleOI_dir_buy, BuyDirectionId);
    m_directionGroup->addButton(ui->pushButton_singleOI_dir_sell, SellDirectionId);
    connect(m_directionGroup, &QButtonGroup::idClicked, this,
            &SchedOrd_SingleOrderInsertWid::slot_radiobtn_direction_idClicked);
    slot_radiobtn_direction_idClicked(BuyDirectionId);

    buySide().setSign(true);
    sellSide().setSign(false);

    for (const SchedOrdPriceSide& side : {buySide(), sellSide()})
        side.applyUnit(SchedOrdPriceSide::TickFloat);

    buySide().selectGear(SchedOrdPriceGear::Ask1);
    sellSide().selectGear(SchedOrdPriceGear::Bid1);

    ui->widget_singleOI_SellPriceGear->hide();
    ui->widget_singleOI_SellCustomPrice->hide();
    ui->widget_singleOI_SellFloat->hide();

    ui->timeEdit_singleOI_ScheduledTime->setTime(openingTime());

    const QList<QComboBox*> comboBoxes = findChildren<QComboBox*>();
    for (QComboBox* comboBox : comboBoxes) {
        comboBox->setView(new QListView());
        comboBox->installEventFilter(this);
    }
}

bool SchedOrd_SingleOrderInsertWid::eventFilter(QObject* watched, QEvent* event)
{
    if (qstrcmp(watched->metaObject()->className(), "QComboBox") == 0)
        Util::setCustomComboBoxStyleSheet(event->type(), static_cast<QComboBox*>(watched));
    return false;
}

int SchedOrd_SingleOrderInsertWid::checkedDirectionId() const
{
    return m_directionGroup ? m_directionGroup->checkedId() : -1;
}

void SchedOrd_SingleOrderInsertWid::slot_radiobtn_direction_idClicked(int id)
{
    if (QAbstractButton* button = m_directionGroup->button(id))
        button->setChecked(true);

    const bool buy = id == BuyDirectionId;
    QPushButton* insert = ui->pushButton_singleOI_bottom_Insert;
    insert->setText(tr("定时") + (buy ? tr("买入") : tr("卖出")));
    insert->setProperty("direction", QString::fromLatin1(buy ? DirectionBuy : DirectionSell));
    insert->style()->unpolish(insert);
    insert->style()->polish(insert);
    insert->setFont(insert->font());

    const SchedOrdPriceSide shown = buy ? buySide() : sellSide();
    const SchedOrdPriceSide hidden = buy ? sellSide() : buySide();
    shown.gearRow->show();
    shown.floatRow->show();
    hidden.gearRow->hide();
    hidden.floatRow->hide();
    hidden.customPriceRow->hide();
    showMaxVolumeLabel(id);
    ui->lineEdit_singleOI_MaxVolume->clear();
    shown.showRowsForGear();

    updateTradeTypeWidgets(id);
    inquiryMaxOrderVolume();
}

void SchedOrd_SingleOrderInsertWid::showMaxVolumeLabel(int directionId)
{
    ui->label_singleOI_MaxVolume->setText(directionId == BuyDirectionId ? tr("参考可买") : tr("参考可卖"));
}

void SchedOrd_SingleOrderInsertWid::slot_BuyPriceGearChanged(int index)
{
    Q_UNUSED(index)
    buySide().showRowsForGear();
}

void SchedOrd_SingleOrderInsertWid::slot_SellPriceGearChanged(int index)
{
    Q_UNUSED(index)
    sellSide().showRowsForGear();
}

void SchedOrd_SingleOrderInsertWid::on_pushButton_singleOI_BuyFloat_PN_clicked()
{
    buySide().toggleSign();
}

void SchedOrd_SingleOrderInsertWid::on_pushButton_singleOI_SellFloat_PN_clicked()
{
    sellSide().toggleSign();
}

void SchedOrd_SingleOrderInsertWid::on_pushButton_singleOI_BuyFloat_Unit_clicked()
{
    buySide().switchUnit();
}

void SchedOrd_SingleOrderInsertWid::on_pushButton_singleOI_SellFloat_Unit_clicked()
{
    sellSide().switchUnit();
}

void SchedOrd_SingleOrderInsertWid::on_pushButton_singleOI_bottom_help_clicked()
{
}

void SchedOrd_SingleOrderInsertWid::clearSelection()
{
    if (!m_subscribedKey.isEmpty()) {
        m_userData->ReqUnsubLev1(m_subscribedKey);
        m_subscribedKey.clear();
    }
    ui->label_singleOI_SecurityName->clear();
    ui->doubleSpinBox_singleOI_BuyCustomPrice->setValue(0.0);
    ui->doubleSpinBox_singleOI_SellCustomPrice->setValue(0.0);
    ui->label_singleOI_BuyCustomPrice_Unit->setText(QStringLiteral("-"));
    ui->label_singleOI_SellCustomPrice_Unit->setText(QStringLiteral("-"));
    m_securityKey.clear();
    m_security = SecurityInfo();
    m_quote = Lev1Quote();
    m_referencePrice = 0.0;
}

void SchedOrd_SingleOrderInsertWid::slot_MyCompleterEdit_TextCompleted(QString securityKey)
{
    if (securityKey.isEmpty())
        return;
    clearSelection();

    if (securityKey.size() < kMinSecurityKeyLength) {
        ui->label_singleOI_SecurityName->setText(tr("找不到该代码！"));
        QTimer::singleShot(kNotFoundLabelMs, this, [this] {
            if (m_securityKey.isEmpty())
                ui->label_singleOI_SecurityName->clear();
        });
        return;
    }
    if (!m_userData->GetSecurityInfoByKey(securityKey, m_security))
        return;

    m_securityKey = securityKey;
    ui->label_singleOI_SecurityName->setText(m_userData->GetSecurityNameByKey(m_securityKey));

    const QString unit = Util::ParseOrderUnit(m_apiType, m_security.SecurityType);
    ui->label_singleOI_MaxVolume_Unit->setText(unit);
    ui->label_singleOI_VolumeOriginal_Unit->setText(unit);

    const int decimals = m_userData->GetPriceDecimalsByKey(securityKey);
    const QString currency = m_security.IsHKD ? tr("港元") : tr("元");
    for (const SchedOrdPriceSide& side : {buySide(), sellSide()}) {
        side.customPrice->setDecimals(decimals);
        side.customPrice->setSingleStep(m_security.PriceTick);
        side.customPriceUnit->setText(currency);
    }

    ui->spinBox_singleOI_VolumeOriginal->setValue(qMax(m_security.VolumeStep, m_security.MinVolume));
    ui->spinBox_singleOI_VolumeOriginal->setSingleStep(m_security.VolumeStep > 1 ? m_security.VolumeStep : 1);

    ui->lineEdit_singleOI_MaxVolume->clear();
    ui->lineEdit_singleOI_MaxVolume->setToolTip(QString());

    takeMarketDataSnapshot();

    m_userData->ReqSubLev1(m_security.SecurityID, m_security.ExchangeID);
    m_subscribedKey = Util::GetSecurityKey(m_security.SecurityID, m_security.ExchangeID);
}

bool SchedOrd_SingleOrderInsertWid::findQuote(Lev1Quote& quote) const
{
    const QMap<QString, Lev1MarketData>& quotes = m_userData->GetLev1MarketDataMap();
    const auto it = quotes.constFind(m_securityKey);
    if (it == quotes.constEnd())
        return false;
    quote = Lev1Quote::fromHost(*it);
    return true;
}

void SchedOrd_SingleOrderInsertWid::takeMarketDataSnapshot()
{
    Lev1Quote quote;
    if (!findQuote(quote))
        return;
    m_quote = quote;
    const double reference = m_quote.referencePrice();
    if (!Util::JudgeEffectivePrice(reference)) {
        m_referencePrice = 0.0;
        return;
    }
    // The first valid price of a security is worth an inquiry at once.
    if (!Util::JudgeEffectivePrice(m_referencePrice)) {
        m_referencePrice = reference;
        inquiryMaxOrderVolume();
    }
}

void SchedOrd_SingleOrderInsertWid::slot_RtnLev1MarketData(QString securityKey)
{
    if (!m_securityKey.isEmpty() && m_securityKey == securityKey)
        takeMarketDataSnapshot();
}

void SchedOrd_SingleOrderInsertWid::slot_timeout_reqinquirymaxordervolume()
{
    if (m_inquiryArmed)
        inquiryMaxOrderVolume();
}

void SchedOrd_SingleOrderInsertWid::slot_UpdateTradingAccount()
{
    m_inquiryArmed = true;
}

void SchedOrd_SingleOrderInsertWid::slot_PosQuotaTypeNormalChanged()
{
    inquiryMaxOrderVolume();
}

void SchedOrd_SingleOrderInsertWid::slot_RspInquiryMaxOrderVolumeFinished(QString securitykey, int maxvolume,
                                                                          int error_id, QString error_msg,
                                                                          int requestID)
{
    Q_UNUSED(securitykey)
    if (requestID != m_inquiryRequestId)
        return;
    QLineEdit* display = ui->lineEdit_singleOI_MaxVolume;
    if (error_id != 0) {
        display->setText(error_msg);
        display->setToolTip(error_msg);
    } else {
        display->setText(QString::number(maxvolume));
        display->setToolTip(tr("正确"));
    }
}

void SchedOrd_SingleOrderInsertWid::slot_UpdateAllSecurity()
{
    m_completer->updateModel(m_userData->completerKeys(), m_userData->completerCodes(),
                             m_userData->completerNames(), m_userData->completerVersion());
}

void SchedOrd_SingleOrderInsertWid::on_pushButton_singleOI_bottom_Insert_clicked()
{
    if (m_securityKey.isEmpty()) {
        gWM->popupMsgBoxInfo(tr("无效的证券代码，请重新输入"), this, QString());
        return;
    }
    if (ui->spinBox_singleOI_VolumeOriginal->value() == 0) {
        gWM->popupMsgBoxInfo(tr("委托数量不能为0，请重新输入"), this, QString());
        return;
    }
    emit signalSingleOrderInsertBtnClicked();
}

void SchedOrd_SingleOrderInsertWid::fillPriceFields(const SchedOrdPriceSide& side, SingleOrderEntry& entry) const
{
    entry.PriceGear = side.gear->currentData().toInt();
    entry.CustomPrice = side.customPrice->value();
    entry.PriceFloatType = side.unitType();
    entry.PriceFloatValue = side.signedShift();
}

SingleOrderEntry SchedOrd_SingleOrderInsertWid::getSingleOrderEntry()
{
    SingleOrderEntry entry;
    entry.SecurityID = m_security.SecurityID;
    entry.ExchangeID = m_security.ExchangeID;
    switch (checkedDirectionId()) {
    case BuyDirectionId:
        entry.Direction = getBuyDirection();
        fillPriceFields(buySide(), entry);
        break;
    case SellDirectionId:
        entry.Direction = getSellDirection();
        fillPriceFields(sellSide(), entry);
        break;
    default:
        break;
    }
    entry.Volume = ui->spinBox_singleOI_VolumeOriginal->value();
    entry.StartTime = ui->timeEdit_singleOI_ScheduledTime->time();
    entry.EndTime = entry.StartTime;
    entry.NoSellAtLimitUp = ui->checkBox_singleOI_UpperLimit->isChecked();
    entry.NoBuyAtLimitDown = ui->checkBox_singleOI_LowerLimit->isChecked();
    return entry;
}

void SchedOrd_SingleOrderInsertWid::on_pushButton_singleOI_bottom_reset_clicked()
{
    clearSelection();
    m_completer->clear();

    for (QComboBox* creditType : {ui->comboBox_singleOI_CreditBuyType, ui->comboBox_singleOI_CreditSellType}) {
        if (creditType->count() > 0)
            creditType->setCurrentIndex(0);
    }

    buySide().reset(SchedOrdPriceGear::Ask1);
    // Unlike the fresh form, a reset leaves the sell side shifting up as well.
    sellSide().reset(SchedOrdPriceGear::Bid1);

    showMaxVolumeLabel(checkedDirectionId());
    ui->lineEdit_singleOI_MaxVolume->clear();
    ui->spinBox_singleOI_VolumeOriginal->setValue(0);
    ui->label_singleOI_MaxVolume_Unit->clear();
    ui->label_singleOI_VolumeOriginal_Unit->clear();
    ui->timeEdit_singleOI_ScheduledTime->setTime(openingTime());
}

bool SchedOrd_SingleOrderInsertWid::prepareInquiryRequest(MaxOrderVolumeReq& request)
{
    m_inquiryArmed = false;
    if (m_security.SecurityID.isEmpty())
        return false;
    std::memset(&request, 0, sizeof request);

    const QString shareholder = m_userData->MapShareholderID.value(m_security.ExchangeID);
    if (shareholder.size() < kMinShareholderIdLength)
        return false;
    copyText(request.ShareholderID, sizeof request.ShareholderID, shareholder.toLatin1());

    Lev1Quote quote;
    if (!findQuote(quote))
        return false;
    const double price = quote.referencePrice();
    if (!Util::JudgeEffectivePrice(price))
        return false;

    request.LimitPrice = price;
    Util::SetExchangeOrderPriceType(m_apiType, 0, request.OrderPriceType, request.TimeCondition,
                                    request.VolumeCondition);
    copyText(request.SecurityID, sizeof request.SecurityID, m_security.SecurityID.toLatin1());
    request.ExchangeID = m_security.ExchangeID;
    return true;
}

void SchedOrd_SingleOrderInsertWid::sendInquiryRequest(MaxOrderVolumeReq& request)
{
    m_inquiryRequestId = -1;
    m_userData->reqInquiryMaxOrderVolume(&request, m_inquiryRequestId);
}

} // namespace Velm_Space
