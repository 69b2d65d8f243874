#include "UserDataManager.h"

#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "UserData.h"

#include <QCoreApplication>

namespace {

constexpr uint32_t kMarketSeed = 20261205;
UserDataManager* gInstance = nullptr;

// Accounts own QObjects and engine threads: they go before the application object does.
void destroyAccounts()
{
    if (gInstance)
        gInstance->clear();
}

} // namespace

UserDataManager* UserDataManager::instance()
{
    if (!gInstance) {
        static UserDataManager manager;
        gInstance = &manager;
        qAddPostRoutine(destroyAccounts);
    }
    return gInstance;
}

UserDataManager::UserDataManager() = default;

UserDataManager::~UserDataManager()
{
    clear();
}

MarketSimulator& UserDataManager::market()
{
    if (!m_market)
        m_market = new MarketSimulator(SecurityCatalogue::instance(), kMarketSeed);
    return *m_market;
}

UserData* UserDataManager::addAccount(int accountId, int apiType, const QString& accountName)
{
    auto* data = new UserData(accountId, apiType, accountName, market());
    addUserData(data);
    return data;
}

void UserDataManager::addUserData(UserData* userData)
{
    removeAccount(userData->AccountID);
    m_mapUserData.insert(userData->AccountID, userData);
}

void UserDataManager::removeAccount(int accountId)
{
    delete m_mapUserData.take(accountId);
}

void UserDataManager::clear()
{
    qDeleteAll(m_mapUserData);
    m_mapUserData.clear();
    delete m_market;
    m_market = nullptr;
}

UserData* UserDataManager::getUserData(int accountId) const
{
    return m_mapUserData.value(accountId, nullptr);
}
