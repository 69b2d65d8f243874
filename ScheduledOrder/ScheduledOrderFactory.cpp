#include "ScheduledOrderFactory.h"

#include "SchedOrd_ModifySubTaskParamWidStpCredit.h"
#include "SchedOrd_ModifySubTaskParamWidStpStock.h"
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
    Q_UNUSED(reserved)
    switch (apiTypeOf(accountId)) {
    case ApiTypes::Stock:
        return new SchedOrd_ModifySubTaskParamWidStpStock(accountId, parent);
    case ApiTypes::Credit:
        return new SchedOrd_ModifySubTaskParamWidStpCredit(accountId, parent);
    default:
        return nullptr;
    }
}

} // namespace Velm_Space
