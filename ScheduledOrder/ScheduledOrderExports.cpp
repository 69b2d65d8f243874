#include "ScheduledOrderExports.h"

#include "ScheduledOrderFactory.h"

ISubModuleWid* CreateISubModuleWid_ScheduledOrderWid(int accountId, int reserved, QWidget* parent)
{
    return Velm_Space::ScheduledOrderFactory::createScheduledOrderWid(accountId, reserved, parent);
}

ISubModuleDlg* CreateISubModuleDlg_SOModifySubTaskParamWid(int accountId, int reserved, QWidget* parent)
{
    return Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg(accountId, reserved, parent);
}
