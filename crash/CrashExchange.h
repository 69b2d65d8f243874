#pragma once

#include "CrashChildProcess.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QFile>
#include <QString>

// The exchange of a crash run over FIX: velm_fixsim on 127.0.0.1, on a free port, with a folder of
// its own, running across the child's kills. An order counts as received once the exchange handled
// it, as the file it appends each handled ClOrdID to shows. Its FIX message log would not do: it
// also holds orders that arrived ahead of a sequence gap, which the session drops when the client
// fills the gap instead of resending them. A refused order counts too (a second one with a used
// ClOrdID is refused, and so shows up twice).
class CrashExchange final
{
public:
    CrashExchange(QString program, QByteArray clientCompId);

    // Starts it and waits (bounded) for the port it listens on. False, with the reason, when it
    // does not come up.
    bool start(const QString& folder, const QString& errorLogPath, QString* whyNot);
    int port() const { return m_port; }
    // The ClOrdIDs of the orders the exchange handled since the last call.
    QByteArrayList newOrders();
    // Waits until no order was handled for `quietMs`, `capMs` at most; the orders meanwhile.
    QByteArrayList settle(int quietMs, int capMs);
    // Kills and reaps it.
    void stop();

private:
    bool openOrders();

    const QString m_program;
    const QByteArray m_clientCompId;
    CrashChildProcess m_process;
    QString m_folder;
    QFile m_orders;
    qint64 m_ordersOffset = 0;
    QByteArray m_partial;
    int m_port = 0;
};
