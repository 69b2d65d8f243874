#pragma once

#include "OrderRouteSettings.h"

#include <QString>

#include <memory>
#include <vector>

class FixBrokerRoute;

// The FIX routes of the client's accounts, made from the settings before the accounts' services
// start, and kept until those services are closed.
class ClientRoutes final
{
public:
    ClientRoutes();
    ~ClientRoutes();
    ClientRoutes(const ClientRoutes&) = delete;
    ClientRoutes& operator=(const ClientRoutes&) = delete;

    // Gives every account that `settings` sends over FIX its route, its files under `dataFolder`,
    // and starts it connecting. A route that cannot start stays in place, so that the account's
    // orders fail with the route's message instead of leaving by the simulated broker; the
    // messages for the trader land in `problems`.
    void attach(const OrderRouteSettings& settings, const QString& dataFolder, QStringList* problems);
    // Stops every account's service, then the routes: no engine may send through a route gone.
    void closeAll();
    // The folder of the first route's QuickFIX message log, empty when no account uses FIX.
    QString firstLogFolder() const { return m_firstLogFolder; }

private:
    std::vector<std::unique_ptr<FixBrokerRoute>> m_routes;
    QString m_firstLogFolder;
};
