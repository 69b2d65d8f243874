#pragma once

#include "ISubModuleWid.h"

namespace Ui {
class ScheduledOrderWid;
}

class ServiceScheduledOrder;
class UserData;

namespace Velm_Space {

class SchedOrd_SingleOrderInsertWid;
class SchedOrd_TaskMonitorWid;

// The scheduled-order window of one account: the entry form on the left, the task monitor on
// the right. Built in two steps after the host has embedded it.
class ScheduledOrderWid : public ISubModuleWid
{
    Q_OBJECT
public:
    ScheduledOrderWid(int accountId, int reserved, QWidget* parent);
    ~ScheduledOrderWid() override;

    void initWid() override;
    void refreshWid() override;
    bool canClose() override;
    void setScalePercent(int percent) override;

    virtual SchedOrd_SingleOrderInsertWid* createSingleOrderInsertWid() = 0;

private slots:
    void slot_SingleOrderInsertBtnClicked();

protected:
    Ui::ScheduledOrderWid* ui;
    int m_accountId;
    UserData* m_userData;
    int m_apiType;
    bool m_fontScaled;
    ServiceScheduledOrder* m_service;
    SchedOrd_TaskMonitorWid* m_taskMonitor;
    SchedOrd_SingleOrderInsertWid* m_singleOrderInsertWid;

private:
    void buildContent();
    void applyFirstScaling();
    void scaleFonts(double factor);
};

} // namespace Velm_Space
