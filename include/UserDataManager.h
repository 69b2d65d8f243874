#pragma once

#include "VelmBaseExport.h"

#include <QList>
#include <QMap>
#include <QString>

class MarketSimulator;
class UserData;

// The host's accounts, by account id. Owns the registered UserData objects and the market.
class VELM_BASE_EXPORT UserDataManager
{
public:
    static UserDataManager* instance();

    // Registers a new account; replaces (and deletes) one registered under the same id.
    UserData* addAccount(int accountId, int apiType, const QString& accountName);
    // Registers an account object made elsewhere (a host's own UserData subclass); takes ownership.
    void addUserData(UserData* userData);
    void removeAccount(int accountId);
    void clear();
    // Null for an id that is not registered.
    UserData* getUserData(int accountId) const;
    QList<int> accountIds() const { return m_mapUserData.keys(); }

    MarketSimulator& market();

    // The scheduled-order database the accounts' services keep their tasks in; empty (the
    // default): they keep nothing.
    void setDatabasePath(const QString& path) { m_databasePath = path; }
    QString databasePath() const { return m_databasePath; }

private:
    UserDataManager();
    ~UserDataManager();
    UserDataManager(const UserDataManager&) = delete;
    UserDataManager& operator=(const UserDataManager&) = delete;

    QMap<int, UserData*> m_mapUserData;
    MarketSimulator* m_market = nullptr;
    QString m_databasePath;
};
