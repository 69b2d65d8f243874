#include "ScheduledOrderWid.h"
#include "ui_ScheduledOrderWid.h"

#include "SchedOrdCodes.h"
#include "SchedOrdPriceGear.h"
#include "SchedOrdTaskField.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_SingleOrderInsertWid.h"
#include "SchedOrd_TaskMonitorWid.h"
#include "ServiceScheduledOrder.h"
#include "SingleOrderEntry.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "WindowManager.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QPointer>
#include <QVector>
#include <QTimer>

using namespace VELMSCHEDORDAPI;

namespace Velm_Space {

namespace {

// Fixed width of the entry-form column.
constexpr int kInputRegionWidth = 250;
constexpr int kSecurityIdMinLength = 5;

int64_t taskTimeOf(const QTime& time)
{
    return SchedOrdTaskTime::fromQTime(time);
}

} // namespace

ScheduledOrderWid::ScheduledOrderWid(int accountId, int reserved, QWidget* parent)
    : ISubModuleWid(parent)
    , ui(new Ui::ScheduledOrderWid)
    , m_accountId(accountId)
    , m_userData(nullptr)
    , m_apiType(0)
    , m_fontScaled(false)
    , m_service(nullptr)
    , m_taskMonitor(nullptr)
    , m_singleOrderInsertWid(nullptr)
{
    Q_UNUSED(reserved)
    scalePercent = 100;
    gWM->initSpdLogSchedOrd();
    m_userData = UserDataManager::instance()->getUserData(m_accountId);
    m_apiType = m_userData->getApiType();
    m_userData->initScheduledOrderApi();
    ui->setupUi(this);
}

ScheduledOrderWid::~ScheduledOrderWid()
{
    qDebug() << "~ScheduledOrderWid()";
    delete ui;
}

void ScheduledOrderWid::initWid()
{
    m_service = m_userData->getServiceScheduledOrder();
    ui->label_scheduled_inputregion_single_blank->setText(QString());
    ui->label_scheduled_setting_blank->setText(QString());
    ui->label_scheduled_setting_security_blank->setText(QString());
    ui->label_scheduled_execution_blank->setText(QString());
    // The host finishes embedding the window before the content is built.
    QTimer::singleShot(0, this, [this] { buildContent(); });
}

void ScheduledOrderWid::buildContent()
{
    // The host may close the window while the event loop runs here; stop building then.
    const QPointer<ScheduledOrderWid> self(this);
    QCoreApplication::processEvents();
    if (!self)
        return;
    ui->widget_scheduled_singlebasket->hide();
    ui->label_scheduled_inputregion_single_blank->hide();

    m_singleOrderInsertWid = createSingleOrderInsertWid();
    ui->verticalLayout_scheduled_inputregion_single->addWidget(m_singleOrderInsertWid);
    ui->widget_scheduled_inputregion->setFixedWidth(kInputRegionWidth);
    connect(m_singleOrderInsertWid, &SchedOrd_SingleOrderInsertWid::signalSingleOrderInsertBtnClicked, this,
            &ScheduledOrderWid::slot_SingleOrderInsertBtnClicked);
    m_singleOrderInsertWid->initForm();
    QCoreApplication::processEvents();
    if (!self)
        return;

    ui->tabWidget_scheduled_setting_execution->removeTab(
        ui->tabWidget_scheduled_setting_execution->indexOf(ui->tabWidget_scheduled_setting));
    ui->tabWidget_scheduled_setting_execution->setTabBarAutoHide(true);

    if (!m_taskMonitor) {
        m_taskMonitor = new SchedOrd_TaskMonitorWid(m_accountId, m_service, this);
        ui->label_scheduled_execution_blank->hide();
        ui->verticalLayout_schedord_execution->addWidget(m_taskMonitor);
    }

    QCoreApplication::processEvents();
    if (!self)
        return;
    QTimer::singleShot(0, this, [this] { applyFirstScaling(); });
}

void ScheduledOrderWid::applyFirstScaling()
{
    scaleFonts(scalePercent / 100.0);
    m_fontScaled = true;
}

void ScheduledOrderWid::refreshWid()
{
}

bool ScheduledOrderWid::canClose()
{
    if (m_service && m_service->isExistsRunningTask()) {
        gWM->popupMsgBoxInfo(tr("有定时委托任务仍处在运行中，本窗口无法关闭。请先停止所有运行中任务"), this, QString());
        return false;
    }
    return true;
}

void ScheduledOrderWid::setScalePercent(int percent)
{
    if (m_fontScaled)
        scaleFonts(static_cast<double>(percent) / static_cast<double>(scalePercent));
    scalePercent = percent;
}

void ScheduledOrderWid::scaleFonts(double factor)
{
    // Every font is read before any is changed: a parent's new font reaches the children that
    // inherit it at once, and they would otherwise be scaled twice.
    const QList<QWidget*> widgets = findChildren<QWidget*>();
    QVector<QFont> fonts;
    fonts.reserve(widgets.size());
    for (const QWidget* widget : widgets)
        fonts.append(widget->font());
    for (int i = 0; i < widgets.size(); ++i) {
        QFont& font = fonts[i];
        // Pixel-sized fonts report -1 and are left as they are.
        if (font.pointSizeF() < 0)
            continue;
        font.setPointSizeF(font.pointSizeF() * factor);
        widgets[i]->setFont(font);
    }
}

void ScheduledOrderWid::slot_SingleOrderInsertBtnClicked()
{
    qDebug() << "Velm_Space::ScheduledOrderWid::slot_SingleOrderInsertBtnClicked";
    if (!m_singleOrderInsertWid)
        return;

    const SingleOrderEntry entry = m_singleOrderInsertWid->getSingleOrderEntry();
    if (entry.SecurityID.size() < kSecurityIdMinLength) {
        gWM->popupMsgBoxInfo(tr("证券代码(%1)无效，请检查。\n").arg(entry.SecurityID), this, QString());
        return;
    }

    const QTime now = SchedOrdTaskTime::currentDateTime().time();
    if (entry.StartTime <= now && !gWM->allowPastSetTime) {
        const QString text = tr("设定时间（%1）不能早于当前时间（%2），请重新输入。")
                                 .arg(entry.StartTime.toString(QStringLiteral("hh:mm:ss")),
                                      now.toString(QStringLiteral("hh:mm:ss")))
            + QStringLiteral("\n\n") + tr("注：可在设置中修改对应配置项。");
        gWM->popupMsgBoxInfo(text, this, QString());
        return;
    }

    const QString securityKey = Util::GetSecurityKey(entry.SecurityID, entry.ExchangeID);

    SchedOrdTaskField mainTask;
    mainTask.MainTaskID = m_service->getNextMainTaskID();
    mainTask.MainTaskName = Util::QStr2str(entry.SecurityID + QStringLiteral("_")
                                           + m_userData->GetSecurityNameByKey(securityKey));
    mainTask.MainTaskStatus = MainTaskStatus::NotStarted;
    mainTask.TriggerStatus = MainTriggerStatus::None;
    mainTask.CreateTime = SchedOrdTaskTime::currentSecond();
    mainTask.StartTime = taskTimeOf(entry.StartTime);
    mainTask.EndTime = taskTimeOf(entry.EndTime);
    mainTask.IsSameStartTime = true;
    mainTask.IsSameEndTime = true;
    mainTask.Direction = entry.Direction;

    SchedOrdSubTaskField subTask;
    subTask.MainTaskID = mainTask.MainTaskID;
    subTask.SubTaskID = m_service->getNextSubTaskID();
    subTask.SecurityID = entry.SecurityID.toStdString();
    subTask.ExchangeID = entry.ExchangeID;
    subTask.Direction = entry.Direction;
    subTask.SecurityKey = securityKey.toStdString();
    subTask.TriggerTime = taskTimeOf(QTime(0, 0, 0));
    subTask.TargetVolume = entry.Volume;
    subTask.TradeVolume = 0;
    subTask.SubTaskStatus = SubTaskStatus::NotStarted;
    subTask.TriggerStatus = SubTriggerStatus::NotTriggered;
    subTask.HostCode = 0;
    subTask.OrderVolume = 0;
    subTask.PriceType = SchedOrdPriceGear::toPriceType(entry.PriceGear);
    subTask.PriceFloatType = entry.PriceFloatType == 2 ? PriceFloatType::Percent : PriceFloatType::Tick;
    subTask.PriceFloatValue = entry.PriceFloatValue;
    subTask.OrderPrice = entry.CustomPrice;
    subTask.HostValue = 0;
    subTask.StartTime = taskTimeOf(entry.StartTime);
    subTask.EndTime = taskTimeOf(entry.EndTime);
    subTask.NoSellAtLimitUp = entry.NoSellAtLimitUp;
    subTask.NoBuyAtLimitDown = entry.NoBuyAtLimitDown;
    mainTask.VecSubTask.push_back(subTask);

    m_service->AddMainTasks({mainTask});
    if (gWM->autoStartSingleTask)
        m_service->StartMainTasks({mainTask.MainTaskID});

    ui->tabWidget_scheduled_setting_execution->setCurrentWidget(ui->tabWidget_scheduled_execution);
}

} // namespace Velm_Space
