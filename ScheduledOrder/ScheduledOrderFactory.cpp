#include "ScheduledOrderFactory.h"

#include "SchedOrdLogging.h"
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

// The host only sees a null window; this says why.
void logRefusedAccount(const char* window, int accountId, int apiType)
{
    qCDebug(lcSchedOrd, "no %s for account %d of ApiType %d (0: not registered)", window, accountId, apiType);
}

} // namespace

ISubModuleWid* ScheduledOrderFactory::createScheduledOrderWid(int accountId, int reserved, QWidget* parent)
{
    const int apiType = apiTypeOf(accountId);
    switch (apiType) {
    case ApiTypes::Stock:
        return new ScheduledOrderWidStpStock(accountId, reserved, parent);
    case ApiTypes::Credit:
        return new ScheduledOrderWidStpCredit(accountId, reserved, parent);
    default:
        logRefusedAccount("scheduled-order window", accountId, apiType);
        return nullptr;
    }
}

ISubModuleDlg* ScheduledOrderFactory::createModifySubTaskParamDlg(int accountId, int reserved, QWidget* parent)
{
    Q_UNUSED(reserved)
    const int apiType = apiTypeOf(accountId);
    switch (apiType) {
    case ApiTypes::Stock:
        return new SchedOrd_ModifySubTaskParamWidStpStock(accountId, parent);
    case ApiTypes::Credit:
        return new SchedOrd_ModifySubTaskParamWidStpCredit(accountId, parent);
    default:
        logRefusedAccount("modify dialog", accountId, apiType);
        return nullptr;
    }
}

} // namespace Velm_Space
