#include "ScheduledOrderFactory.h"

#include "ScheduledOrderWidStpCredit.h"
#include "ScheduledOrderWidStpStock.h"
#include "UserData.h"
#include "UserDataManager.h"

namespace Velm_Space {

namespace {

int apiTypeOf(int accountId)
{
    const UserData* userData = UserDataManager::instance()->getUserData(accountId);
    return userData ? userData->getApiType() : 0;
}

} // namespace

ISubModuleWid* ScheduledOrderFactory::createScheduledOrderWid(int accountId, int reserved, QWidget* parent)
{
    switch (apiTypeOf(accountId)) {
    case ApiTypes::Stock:
        return new ScheduledOrderWidStpStock(accountId, reserved, parent);
    case ApiTypes::Credit:
        return new ScheduledOrderWidStpCredit(accountId, reserved, parent);
    default:
        return nullptr;
    }
}

ISubModuleDlg* ScheduledOrderFactory::createModifySubTaskParamDlg(int accountId, int reserved, QWidget* parent)
{
    Q_UNUSED(accountId)
    Q_UNUSED(reserved)
    Q_UNUSED(parent)
    // The modify dialog is not part of this module yet; hosts get no dialog.
    return nullptr;
}

} // namespace Velm_Space
