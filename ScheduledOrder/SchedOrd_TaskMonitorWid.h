#pragma once

#include <QWidget>

namespace Ui {
class SchedOrd_TaskMonitorWid;
}

class OperationLogWid;
class ServiceScheduledOrder;
class UserData;

namespace Velm_Space {

class SchedOrd_TableMainTaskWid;
class SchedOrd_TableSubTaskWid;

// The task-execution page: the main-task table over tabs with the sub-task table, the host's
// order, trade and position windows and the operation log.
class SchedOrd_TaskMonitorWid : public QWidget
{
    Q_OBJECT
public:
    SchedOrd_TaskMonitorWid(int accountId, ServiceScheduledOrder* service, QWidget* parent);
    ~SchedOrd_TaskMonitorWid() override;

private:
    void placeHostWindows();

    Ui::SchedOrd_TaskMonitorWid* ui;
    int m_accountId;
    UserData* m_userData;
    ServiceScheduledOrder* m_service;
    SchedOrd_TableMainTaskWid* m_tableMainTask = nullptr;
    SchedOrd_TableSubTaskWid* m_tableSubTask = nullptr;
    OperationLogWid* m_operationLog = nullptr;
};

} // namespace Velm_Space
