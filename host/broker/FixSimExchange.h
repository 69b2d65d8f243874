#pragma once

#include "FixSessionSettings.h"
#include "VelmBaseExport.h"

#include <QObject>

#include <memory>

class MarketSimulator;
class SecurityCatalogue;
class SimBroker;

// A simulated exchange over FIX 4.4: a QuickFIX acceptor in front of a simulated broker and
// market. NewOrderSingle gets execution reports (new, trades as they happen, reject with its
// text); a resting order trades as later quotes cross it. OrderStatusRequest gets the order's
// state, or, for a ClOrdID it never saw, an ExecutionReport with ExecType I, OrdStatus 8 and
// OrdRejReason 5 (unknown order). Only the configured CompIDs may log on, and it listens on the
// settings' host only (127.0.0.1 unless configured).
//
// Everything runs on the thread of this object, the market's (the GUI thread), so reports of
// one order leave in the order they happened.
class VELM_BASE_EXPORT FixSimExchange final : public QObject
{
    Q_OBJECT
public:
    FixSimExchange(const FixSessionSettings& settings, SimBroker& broker, MarketSimulator& market,
                   const SecurityCatalogue& catalogue, QObject* parent = nullptr);
    ~FixSimExchange() override;

    // Listens on the settings' host and port (port 0: any free one). False, with the reason,
    // when it cannot.
    bool start(QString* whyNot);
    // Logs the client out. What it had sent that was not handled yet is lost, as in a crash.
    void stop();
    // The port listened on, 0 when stopped.
    int port() const;
    bool hasClient() const;

signals:
    // Each NewOrderSingle the exchange handled, booked or refused; a session that queued one and
    // then saw its sequence number gap-filled never hands it on, and it is not told here.
    void signalOrderTaken(const QString& clientOrderRef);
    void signalClientLoggedOn();
    void signalClientLoggedOut();

private:
    class Session;
    class Book;

    const FixSessionSettings m_settings;
    std::unique_ptr<Book> m_book;
    std::unique_ptr<Session> m_session;
};
