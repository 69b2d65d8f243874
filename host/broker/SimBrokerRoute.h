#pragma once

#include "BrokerRoute.h"
#include "Lev1MarketData.h"
#include "SimBroker.h"

class MarketSimulator;
class SecurityCatalogue;

// The simulated broker as a route: an order is booked (and trades against the quote) within
// sendOrder, and its report reaches the handler before sendOrder returns; resting orders trade
// when the engine says their quote moved. Used by the engine's thread only, so it keeps its
// buffers from one order to the next.
class VELM_BASE_EXPORT SimBrokerRoute final : public BrokerRoute
{
public:
    SimBrokerRoute(SimBroker& broker, MarketSimulator& market, const SecurityCatalogue& catalogue);

    QString name() const override;
    bool isConnected() const override { return true; }
    bool sendOrder(const BrokerOrderRequest& request, QString* whyNot) override;
    bool requestStatus(const std::string& clientOrderRef) override;
    void setReportHandler(ReportHandler handler) override { m_handler = std::move(handler); }
    void setReconcileHandler(ReconcileHandler handler) override { Q_UNUSED(handler) }
    bool answersAtOnce() const override { return true; }
    void quoteMoved(const QString& securityKey, int64_t now) override;

    // A broker order as the route reports it.
    static void reportOf(const SimOrder& order, BrokerExecutionReport& out);

private:
    void deliver(const SimOrder& order);

    SimBroker& m_broker;
    MarketSimulator& m_market;
    const SecurityCatalogue& m_catalogue;
    ReportHandler m_handler;
    Lev1MarketData m_quote;
    SimOrderRequest m_request;
    BrokerExecutionReport m_report;
};
