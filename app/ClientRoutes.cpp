#include "ClientRoutes.h"

#include "FixBrokerRoute.h"
#include "UserData.h"
#include "UserDataManager.h"

ClientRoutes::ClientRoutes() = default;

ClientRoutes::~ClientRoutes()
{
    closeAll();
}

void ClientRoutes::attach(const OrderRouteSettings& settings, const QString& dataFolder, QStringList* problems)
{
    for (const int accountId : UserDataManager::instance()->accountIds()) {
        const OrderRouteSettings::Account route = settings.account(accountId);
        if (route.kind != OrderRouteSettings::Kind::Fix)
            continue;
        FixSessionSettings session = route.session;
        session.dataFolder = dataFolder;
        auto fix = std::make_unique<FixBrokerRoute>(session);
        QString whyNot;
        if (!fix->start(&whyNot))
            problems->append(QStringLiteral("账户 %1 的%2，定时委托将无法发出").arg(accountId).arg(whyNot));
        if (m_firstLogFolder.isEmpty())
            m_firstLogFolder = session.logFolder();
        UserDataManager::instance()->getUserData(accountId)->setOrderRoute(fix.get());
        m_routes.push_back(std::move(fix));
    }
}

void ClientRoutes::closeAll()
{
    if (m_routes.empty())
        return;
    for (const int accountId : UserDataManager::instance()->accountIds()) {
        UserData* account = UserDataManager::instance()->getUserData(accountId);
        account->closeScheduledOrderApi();
        account->setOrderRoute(nullptr);
    }
    m_routes.clear();
}
