#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

// One order as the engine hands it to a route.
struct BrokerOrderRequest {
    std::string clientOrderRef;   // "<accountId>-<mainTaskId>-<subTaskId>", unique for ever
    int mainTaskId = 0;
    int subTaskId = 0;
    QString securityKey;          // the host's key of the security
    QString securityId;           // six digits
    char exchangeId = 0;          // exchange code of SchedOrdCodes.h
    char direction = 0;           // the sub-task's Direction code (stock or credit account)
    int apiType = 1;              // 1 stock account, 2 credit account
    double price = 0.0;           // the limit price the engine computed
    int volume = 0;
    QString shareholderAccount;
    int64_t transactTime = 0;     // the engine clock's ticks (see host/schedord/SchedOrdClock.h)
};

// What the counterparty says about one order, cumulative.
struct BrokerExecutionReport {
    enum class State { New, PartFilled, Filled, Rejected, Canceled, Unknown };  // Unknown: no such order
    std::string clientOrderRef;
    State state = State::Unknown;
    int orderVolume = 0;
    int tradedVolume = 0;         // cumulative
    QString text;                 // reject or unknown reason
};

// Where the engine's orders go: the simulated broker in-process, or a FIX session.
class BrokerRoute {
public:
    using ReportHandler = std::function<void(const BrokerExecutionReport&)>;  // on the route's thread
    virtual ~BrokerRoute() = default;
    virtual QString name() const = 0;
    virtual bool isConnected() const = 0;
    // False (and *whyNot set) when the order cannot leave now; nothing is kept to send later.
    virtual bool sendOrder(const BrokerOrderRequest& request, QString* whyNot) = 0;
    virtual bool requestStatus(const std::string& clientOrderRef) = 0;
    virtual void setReportHandler(ReportHandler handler) = 0;
    // Called on the route's thread when orders may not be where the engine believes: each time its
    // session comes up (reports may have been lost while it was down), and when it kept back an
    // order the counterparty asked to have again. The engine then asks about its open orders.
    using ReconcileHandler = std::function<void()>;
    virtual void setReconcileHandler(ReconcileHandler handler) = 0;

    // True when every report of an order arrives within the call that caused it (sendOrder,
    // requestStatus, quoteMoved): such a route is asked about interrupted orders at once.
    virtual bool answersAtOnce() const { return false; }
    // The host's market moved: a route that matches in-process trades its resting orders now.
    virtual void quoteMoved(const QString& securityKey, int64_t now)
    {
        Q_UNUSED(securityKey)
        Q_UNUSED(now)
    }
};
