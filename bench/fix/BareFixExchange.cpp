#include "BareFixExchange.h"

#include "FixOrderMessages.h"
#include "FixSessionSettings.h"

#include <QDir>

#include <quickfix/Application.h>
#include <quickfix/FileLog.h>
#include <quickfix/FileStore.h>
#include <quickfix/Session.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/ThreadedSocketAcceptor.h>
#include <quickfix/SocketInitiator.h>
#include <quickfix/fix44/ExecutionReport.h>
#include <quickfix/fix44/NewOrderSingle.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace {

using SteadyClock = std::chrono::steady_clock;

const QString kClient = QStringLiteral("BARECLIENT");
const QString kVenue = QStringLiteral("BAREVENUE");
constexpr int kHeartbeatSeconds = 1;
constexpr int kMillisecondPrecision = 3;

FixSessionSettings sessionEnd(const QString& sender, const QString& target, int port, const QString& folder)
{
    FixSessionSettings end;
    end.senderCompId = sender;
    end.targetCompId = target;
    end.port = port;
    end.heartbeatSeconds = kHeartbeatSeconds;
    end.reconnectSeconds = 1;
    end.dataFolder = folder;
    return end;
}

// The acceptor's side: every NewOrderSingle is filled whole at its limit price, answered from
// QuickFIX's own thread.
class FillingVenue final : public FIX::NullApplication
{
public:
    explicit FillingVenue(bool acknowledgeFirst)
        : m_acknowledgeFirst(acknowledgeFirst)
    {
    }

private:
    void fromApp(const FIX::Message& message, const FIX::SessionID& id)
        throw(FIX::FieldNotFound, FIX::IncorrectDataFormat, FIX::IncorrectTagValue, FIX::UnsupportedMessageType) override
    {
        FIX::MsgType type;
        message.getHeader().getField(type);
        if (type.getValue() != FIX::MsgType_NewOrderSingle)
            throw FIX::UnsupportedMessageType();
        FIX::ClOrdID ref;
        FIX::Side side;
        FIX::Symbol symbol;
        FIX::SecurityExchange mic;
        FIX::OrderQty quantity;
        FIX::Price price;
        message.getField(ref);
        message.getField(side);
        message.getField(symbol);
        message.getField(mic);
        message.getField(quantity);
        message.getField(price);

        const std::string orderId = std::to_string(++m_lastOrderId);
        if (m_acknowledgeFirst) {
            FIX44::ExecutionReport accepted(FIX::OrderID{orderId}, FIX::ExecID{nextExecId()},
                                            FIX::ExecType(FIX::ExecType_NEW), FIX::OrdStatus(FIX::OrdStatus_NEW), side,
                                            FIX::LeavesQty(quantity.getValue()), FIX::CumQty(0), FIX::AvgPx(0));
            describe(accepted, ref, symbol, mic, quantity, price);
            FIX::Session::sendToTarget(accepted, id);
        }
        FIX44::ExecutionReport filled(FIX::OrderID{orderId}, FIX::ExecID{nextExecId()},
                                      FIX::ExecType(FIX::ExecType_TRADE), FIX::OrdStatus(FIX::OrdStatus_FILLED), side,
                                      FIX::LeavesQty(0), FIX::CumQty(quantity.getValue()), FIX::AvgPx(price.getValue()));
        describe(filled, ref, symbol, mic, quantity, price);
        filled.set(FIX::LastQty(quantity.getValue()));
        filled.set(FIX::LastPx(price.getValue()));
        FIX::Session::sendToTarget(filled, id);
    }

    static void describe(FIX44::ExecutionReport& report, const FIX::ClOrdID& ref, const FIX::Symbol& symbol,
                         const FIX::SecurityExchange& mic, const FIX::OrderQty& quantity, const FIX::Price& price)
    {
        report.set(ref);
        report.set(symbol);
        report.set(mic);
        report.set(quantity);
        report.set(price);
        report.set(FIX::TransactTime(FIX::UtcTimeStamp(), kMillisecondPrecision));
    }

    std::string nextExecId() { return std::to_string(++m_lastExecId); }

    const bool m_acknowledgeFirst;
    // One connection, so one QuickFIX thread touches them.
    long long m_lastOrderId = 0;
    long long m_lastExecId = 0;
};

// The initiator's side: notes the logon and counts the filled reports, for the bench's thread
// to wait on.
class CountingClient final : public FIX::NullApplication
{
public:
    bool waitForLogon(SteadyClock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_until(lock, deadline, [this] { return m_loggedOn; });
    }

    // The time the `count`th filled report arrived; false when it did not by `deadline`.
    bool waitForFilled(size_t count, SteadyClock::time_point deadline, SteadyClock::time_point* last)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_changed.wait_until(lock, deadline, [this, count] { return m_filled >= count; }))
            return false;
        *last = m_lastFilled;
        return true;
    }

private:
    void onLogon(const FIX::SessionID&) override
    {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_loggedOn = true;
        }
        m_changed.notify_all();
    }

    void fromApp(const FIX::Message& message, const FIX::SessionID&)
        throw(FIX::FieldNotFound, FIX::IncorrectDataFormat, FIX::IncorrectTagValue, FIX::UnsupportedMessageType) override
    {
        FIX::OrdStatus status;
        message.getField(status);
        if (status.getValue() != FIX::OrdStatus_FILLED)
            return;
        const SteadyClock::time_point now = SteadyClock::now();
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++m_filled;
            m_lastFilled = now;
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_loggedOn = false;
    size_t m_filled = 0;
    SteadyClock::time_point m_lastFilled;
};

// Both ends, built and started together, stopped in their destructors (the initiator first,
// so that its logout is still answered).
struct Ends {
    Ends(FillingVenue& venue, CountingClient& client, const QString& folder, int port)
        : venueSettings(sessionEnd(kVenue, kClient, port, QDir(folder).filePath(QStringLiteral("venue")))
                            .toQuickFix(FixSessionSettings::Role::Acceptor))
        , clientSettings(sessionEnd(kClient, kVenue, port, QDir(folder).filePath(QStringLiteral("client")))
                             .toQuickFix(FixSessionSettings::Role::Initiator))
        , venueStore(venueSettings)
        , venueLog(venueSettings)
        , clientStore(clientSettings)
        , clientLog(clientSettings)
        , acceptor(venue, venueStore, venueSettings, venueLog)
        , initiator(client, clientStore, clientSettings, clientLog)
    {
    }

    ~Ends()
    {
        initiator.stop();
        acceptor.stop();
    }

    FIX::SessionSettings venueSettings;
    FIX::SessionSettings clientSettings;
    FIX::FileStoreFactory venueStore;
    FIX::FileLogFactory venueLog;
    FIX::FileStoreFactory clientStore;
    FIX::FileLogFactory clientLog;
    FIX::ThreadedSocketAcceptor acceptor;
    FIX::SocketInitiator initiator;
};

} // namespace

BareFixExchange::BareFixExchange(const QString& folder, int port, Answer answer)
    : m_folder(folder)
    , m_port(port)
    , m_answer(answer)
{
}

BareFixExchange::~BareFixExchange() = default;

BareFixExchange::Result BareFixExchange::exchange(const std::vector<BrokerOrderRequest>& orders, int timeoutMs)
{
    Result result;
    const SteadyClock::time_point deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
    FillingVenue venue(m_answer == Answer::NewThenFilled);
    CountingClient client;
    try {
        Ends ends(venue, client, m_folder, m_port);
        // QuickFIX's acceptor has no listening-address setting: it listens on every interface
        // for the few seconds of the run, and only the configured CompIDs may log on.
        ends.acceptor.start();
        ends.initiator.start();
        if (!client.waitForLogon(deadline)) {
            result.problem = QStringLiteral("no logon within %1 ms").arg(timeoutMs);
            return result;
        }
        const FIX::SessionID session(FIX::BeginString_FIX44, kClient.toStdString(), kVenue.toStdString());
        const SteadyClock::time_point first = SteadyClock::now();
        for (const BrokerOrderRequest& request : orders) {
            FIX44::NewOrderSingle order;
            if (!FixOrderMessages::newOrderSingle(request, &order, &result.problem))
                return result;
            if (!FIX::Session::sendToTarget(order, session)) {
                result.problem = QStringLiteral("QuickFIX refused to send %1").arg(QString::fromStdString(request.clientOrderRef));
                return result;
            }
        }
        SteadyClock::time_point last;
        if (!client.waitForFilled(orders.size(), deadline, &last)) {
            result.problem = QStringLiteral("not every order was filled within %1 ms").arg(timeoutMs);
            return result;
        }
        result.finished = true;
        result.elapsedMs = std::chrono::duration<double, std::milli>(last - first).count();
    } catch (const FIX::Exception& error) {
        result.problem = QString::fromStdString(error.what());
    }
    return result;
}
