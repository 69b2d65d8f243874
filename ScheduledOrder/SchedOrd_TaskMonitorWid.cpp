#include "SchedOrd_TaskMonitorWid.h"
#include "ui_SchedOrd_TaskMonitorWid.h"

#include "ISubModuleWid.h"
#include "OperationLogWid.h"
#include "SchedOrd_TableMainTaskWid.h"
#include "SchedOrd_TableSubTaskWid.h"
#include "ServiceScheduledOrder.h"
#include "UserDataManager.h"
#include "WindowManager.h"

#include <QDebug>

namespace Velm_Space {

SchedOrd_TaskMonitorWid::SchedOrd_TaskMonitorWid(int accountId, ServiceScheduledOrder* service, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::SchedOrd_TaskMonitorWid)
    , m_accountId(accountId)
    , m_userData(UserDataManager::instance()->getUserData(accountId))
    , m_service(service)
{
    ui->setupUi(this);

    ui->label_somonitor_top_blank->hide();
    m_tableMainTask = new SchedOrd_TableMainTaskWid(m_accountId, m_service, this);
    ui->verticalLayout_ccmonitor_tablemaintask->addWidget(m_tableMainTask);

    ui->label_somonitor_taskdetail_blank->hide();
    m_tableSubTask = new SchedOrd_TableSubTaskWid(m_accountId, m_service, this);
    ui->verticalLayout_ccmonitor_tableSubTask->addWidget(m_tableSubTask);

    placeHostWindows();

    ui->label_somonitor_logs_blank->hide();
    m_operationLog = new OperationLogWid(m_accountId, Subwin_ScheduledOrder, this);
    ui->verticalLayout_strategymain_logs->addWidget(m_operationLog);
    m_service->RestoreOpLog();

    ui->tabWidget_somonitor_tables->setCurrentIndex(0);
}

SchedOrd_TaskMonitorWid::~SchedOrd_TaskMonitorWid()
{
    qDebug() << "~SchedOrd_TaskMonitorWid()";
    delete ui;
}

void SchedOrd_TaskMonitorWid::placeHostWindows()
{
    struct HostWindow {
        ISubModuleWid* (WindowManager::*create)(int, Subwin_Type, QWidget*);
        QLabel* placeholder;
        QVBoxLayout* layout;
    };
    const HostWindow windows[] = {
        {&WindowManager::createOrderWid, ui->label_somonitor_order_blank, ui->verticalLayout_ccmonitor_order},
        {&WindowManager::createTradeWid, ui->label_somonitor_trade_blank, ui->verticalLayout_ccmonitor_trade},
        {&WindowManager::createPositionWid, ui->label_somonitor_position_blank, ui->verticalLayout_ccmonitor_position},
    };
    for (const HostWindow& window : windows) {
        ISubModuleWid* widget = (gWM->*window.create)(m_accountId, Subwin_ScheduledOrder, this);
        widget->initWid();
        widget->refreshWid();
        window.placeholder->hide();
        window.layout->addWidget(widget);
    }
}

} // namespace Velm_Space
