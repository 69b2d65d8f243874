#pragma once

#include "Lev1MarketData.h"
#include "SchedOrdSubTaskField.h"
#include "SimBroker.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class MarketSimulator;
class SecurityCatalogue;

// Turns one due sub-task into an order: reads the quote, applies the limit guards, prices the
// order and hands it to the broker, then writes the outcome into the sub-task. Used by the
// engine thread only; keeps its quote and key buffers from one order to the next.
class SchedOrdOrderSender final
{
public:
    SchedOrdOrderSender(int accountId, const SecurityCatalogue& catalogue, MarketSimulator& market, SimBroker& broker);

    // The name the order of a sub-task carries to the broker: ids are never reused, so neither is it.
    static std::string clientOrderRef(int accountId, int mainTaskId, int subTaskId);

    // Fires the sub-task at `now`. Returns the broker's order id when the order rests, else 0.
    int fire(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, int64_t now);
    // Trades the resting orders that the security's current quote crosses.
    std::vector<SimOrder> matchResting(const QString& securityKey, int64_t now);
    // Copies a broker order's traded volume and state into its sub-task.
    static void applyOrder(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, const SimOrder& order);
    // The sub-task fired at `now` but its order could not leave.
    static void failUnsent(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, int64_t now, const QString& reason);

private:
    static void fail(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, char triggerStatus, const QString& reason);

    const int m_accountId;
    const SecurityCatalogue& m_catalogue;
    MarketSimulator& m_market;
    SimBroker& m_broker;
    Lev1MarketData m_quote;
    QString m_key;
};
