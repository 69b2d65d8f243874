#pragma once

#include "BrokerRoute.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// Passes everything through to another route and notes on the way when the last order left and
// when the last Filled report came back, or the first rejection. Its own handler stays on the
// route whether or not an engine sets one.
class CountingRoute final : public BrokerRoute
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    explicit CountingRoute(BrokerRoute& route);
    ~CountingRoute() override;

    QString name() const override;
    bool isConnected() const override;
    bool sendOrder(const BrokerOrderRequest& request, QString* whyNot) override;
    bool requestStatus(const std::string& clientOrderRef) override;
    void setReportHandler(ReportHandler handler) override;
    void setReconcileHandler(ReconcileHandler handler) override;
    bool answersAtOnce() const override;
    void quoteMoved(const QString& securityKey, int64_t now) override;

    // False when `count` Filled reports (and no rejection) have not come by `deadline`.
    bool waitForFilled(size_t count, TimePoint deadline);
    size_t filled() const;
    TimePoint lastSent() const;
    TimePoint lastFilled() const;
    QString problem() const;

private:
    void note(const BrokerExecutionReport& report);

    BrokerRoute& m_route;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_filled = 0;
    TimePoint m_lastSent;
    TimePoint m_lastFilled;
    QString m_problem;
};
