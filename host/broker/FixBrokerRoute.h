#pragma once

#include "BrokerRoute.h"
#include "FixSessionSettings.h"
#include "VelmBaseExport.h"

#include <QObject>

#include <memory>
#include <mutex>

// The order route over a FIX 4.4 session: QuickFIX's socket initiator on a thread of its own,
// which queues what is sent and writes it when the socket can take it (a counterparty that
// stops reading never blocks a sender), its file store and file log in the session's data
// folder, so sequence numbers survive a restart. Reports reach the handler on QuickFIX's
// thread. Logon, logout and rejects go to the strategy log, never an account or a whole message.
class VELM_BASE_EXPORT FixBrokerRoute final : public QObject, public BrokerRoute
{
    Q_OBJECT
public:
    explicit FixBrokerRoute(const FixSessionSettings& settings, QObject* parent = nullptr);
    ~FixBrokerRoute() override;

    // Starts connecting, and keeps reconnecting until stop(). False, with the reason for the
    // trader, when the settings or the data folder cannot make a session.
    bool start(QString* whyNot);
    void stop();

    QString name() const override;
    bool isConnected() const override;
    bool sendOrder(const BrokerOrderRequest& request, QString* whyNot) override;
    bool requestStatus(const std::string& clientOrderRef) override;
    void setReportHandler(ReportHandler handler) override;
    void setReconcileHandler(ReconcileHandler handler) override;

signals:
    // Emitted on QuickFIX's thread: connect them queued.
    void signalLoggedOn();
    void signalLoggedOut();
    // A report that could not be read, or a reject of the counterparty, with what was wrong.
    void signalProblem(const QString& text);

private:
    class Session;
    void deliver(const BrokerExecutionReport& report);
    void askForReconcile();

    const FixSessionSettings m_settings;
    std::unique_ptr<Session> m_session;
    mutable std::mutex m_handlerMutex;
    ReportHandler m_handler;
    ReconcileHandler m_reconcileHandler;
};
