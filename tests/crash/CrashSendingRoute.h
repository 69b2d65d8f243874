#pragma once

#include "BrokerRoute.h"

class CrashReport;

// The crash child's route over FIX: the FIX route itself, with "SEND <ref>" reported just before
// each order is handed to it. The exchange hears of an order later than the child sends it (and
// works a burst off long after), so kill points counted in sends land inside the child's burst.
class CrashSendingRoute final : public BrokerRoute
{
public:
    CrashSendingRoute(BrokerRoute& route, const CrashReport& report);

    QString name() const override;
    bool isConnected() const override;
    bool sendOrder(const BrokerOrderRequest& request, QString* whyNot) override;
    bool requestStatus(const std::string& clientOrderRef) override;
    void setReportHandler(ReportHandler handler) override;
    void setConnectedHandler(ConnectedHandler handler) override;
    bool answersAtOnce() const override;
    void quoteMoved(const QString& securityKey, int64_t now) override;

private:
    BrokerRoute& m_route;
    const CrashReport& m_report;
};
