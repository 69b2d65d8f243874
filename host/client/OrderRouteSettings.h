#pragma once

#include "FixSessionSettings.h"
#include "VelmBaseExport.h"

#include <QMap>
#include <QString>

// Which route each account's scheduled orders take, kept in the client's settings: the simulated
// broker (the default) or a FIX 4.4 session with its parameters. Read when the client starts.
class VELM_BASE_EXPORT OrderRouteSettings
{
public:
    enum class Kind { Simulated, Fix };
    struct Account {
        Kind kind = Kind::Simulated;
        FixSessionSettings session = defaultSession();
    };

    // The parameters that reach velm_fixsim as it starts without options.
    static FixSessionSettings defaultSession();

    static OrderRouteSettings load();
    void save() const;

    Account account(int accountId) const { return m_accounts.value(accountId); }
    void setAccount(int accountId, const Account& account) { m_accounts.insert(accountId, account); }

    // Empty when every FIX account's session can be made (the data folder aside) and no two
    // share their CompIDs; else what is wrong, for the trader.
    QString problem() const;

private:
    QMap<int, Account> m_accounts;
};
