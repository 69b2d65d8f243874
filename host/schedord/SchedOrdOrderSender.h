#pragma once

#include "BrokerRoute.h"
#include "Lev1MarketData.h"
#include "SchedOrdSubTaskField.h"

#include <QMap>
#include <QString>

#include <cstdint>
#include <string>

class MarketSimulator;
class SecurityCatalogue;

// Turns one due sub-task into an order: reads the quote, applies the limit guards, prices the
// order and hands it to the route; the route's reports are written into the sub-task later (or
// within the same call, for a route that answers at once). Used by the engine thread only;
// keeps its quote, key and request buffers from one order to the next.
class SchedOrdOrderSender final
{
public:
    SchedOrdOrderSender(int accountId, const SecurityCatalogue& catalogue, MarketSimulator& market, BrokerRoute& route);

    void setRoute(BrokerRoute& route) { m_route = &route; }
    BrokerRoute& route() const { return *m_route; }
    // The account's kind (1 stock, 2 credit) and its shareholder account per exchange code, which
    // every order names.
    void setAccount(int apiType, const QMap<char, QString>& shareholderAccounts)
    {
        m_apiType = apiType;
        m_shareholderAccounts = shareholderAccounts;
    }

    // The name the order of a sub-task carries to the broker: ids are never reused, so neither is it.
    static std::string clientOrderRef(int accountId, int mainTaskId, int subTaskId);
    // The ids back from a reference; false for one that is not of this form.
    static bool parseClientOrderRef(const std::string& ref, int* accountId, int* mainTaskId, int* subTaskId);

    // Fires the sub-task at `now`. True when its order left (the sub-task is then sent, or already
    // has the route's answer); false when it failed here, with the reason in the sub-task.
    bool fire(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, int64_t now);
    // Writes a report of the sub-task's order into it. True when the order is done with (filled,
    // rejected, canceled, unknown at the broker): no later report can change it.
    static bool applyReport(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, const BrokerExecutionReport& report);
    // The sub-task fired at `now` but its order could not leave.
    static void failUnsent(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, int64_t now, const QString& reason);

private:
    static void fail(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, char triggerStatus, const QString& reason);

    const int m_accountId;
    const SecurityCatalogue& m_catalogue;
    MarketSimulator& m_market;
    BrokerRoute* m_route;
    int m_apiType = 1;
    QMap<char, QString> m_shareholderAccounts;
    Lev1MarketData m_quote;
    QString m_key;
    BrokerOrderRequest m_request;
    QString m_whyNot;
};
