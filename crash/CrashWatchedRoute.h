#pragma once

#include "BrokerRoute.h"

#include <atomic>
#include <mutex>
#include <string>
#include <unordered_set>

class CrashReport;

// The crash child's route over FIX: the FIX route itself, watched. "SEND <ref>" is reported just
// before each order is handed to it: the exchange hears of an order later than the child sends it
// (and works a burst off long after), so kill points counted in sends land inside the burst. It
// also knows when the session has come up and which status requests still wait for their answer,
// so that a restart reports its state only once every open order has been asked about and answered.
class CrashWatchedRoute final : public BrokerRoute
{
public:
    CrashWatchedRoute(BrokerRoute& route, const CrashReport& report);

    // The session came up and the engine was told (it asks about its open orders next).
    bool hasLoggedOn() const { return m_logons.load() > 0; }
    int unansweredRequests() const;

    QString name() const override;
    bool isConnected() const override;
    bool sendOrder(const BrokerOrderRequest& request, QString* whyNot) override;
    bool requestStatus(const std::string& clientOrderRef) override;
    void setReportHandler(ReportHandler handler) override;
    void setReconcileHandler(ReconcileHandler handler) override;
    bool answersAtOnce() const override;
    void quoteMoved(const QString& securityKey, int64_t now) override;

private:
    void answered(const std::string& clientOrderRef);

    BrokerRoute& m_route;
    const CrashReport& m_report;
    std::atomic<int> m_logons{0};
    mutable std::mutex m_mutex;
    std::unordered_set<std::string> m_unanswered;
};
