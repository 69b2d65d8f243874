#include "TestAccounts.h"

#include "SimBroker.h"
#include "UserData.h"
#include "UserDataManager.h"

#include <QString>

namespace VelmTest {

UserData* addAccount(int accountId, int apiType)
{
    UserData* data = UserDataManager::instance()->addAccount(accountId, apiType, QStringLiteral("test %1").arg(accountId));
    data->MapShareholderID.insert('1', QString::fromLatin1(ShanghaiShareholder));
    data->MapShareholderID.insert('2', QString::fromLatin1(ShenzhenShareholder));
    data->MapShareholderID.insert('4', QString::fromLatin1(BeijingShareholder));
    data->broker().setAvailableFunds(1000000.0);
    if (apiType == 2)
        data->broker().setCreditLine(1000000.0);
    return data;
}

UserData* addStockAccount(int accountId)
{
    return addAccount(accountId, 1);
}

UserData* addCreditAccount(int accountId)
{
    return addAccount(accountId, 2);
}

void removeAllAccounts()
{
    UserDataManager::instance()->clear();
}

} // namespace VelmTest
