#pragma once

#include "CrashChildProcess.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QFile>
#include <QString>

// The exchange of a crash run over FIX: velm_fixsim on 127.0.0.1, on a free port, with a folder of
// its own, running across the child's kills. What it received is read from its own FIX message
// log, which records every message as it arrives: a NewOrderSingle counts even when the exchange
// refuses it (a duplicate ClOrdID is refused before it reaches the book).
class CrashExchange final
{
public:
    CrashExchange(QString program, QByteArray clientCompId);

    // Starts it and waits (bounded) for the port it listens on. False, with the reason, when it
    // does not come up.
    bool start(const QString& folder, const QString& errorLogPath, QString* whyNot);
    int port() const { return m_port; }
    // The ClOrdIDs of the NewOrderSingles from the client logged since the last call.
    QByteArrayList newOrders();
    // Waits until nothing new was logged for `quietMs`, `capMs` at most; the orders meanwhile.
    QByteArrayList settle(int quietMs, int capMs);
    // Kills and reaps it.
    void stop();

    // The ClOrdID of one line of a QuickFIX message log when it holds a NewOrderSingle sent by
    // `clientCompId`; empty otherwise.
    static QByteArray newOrderRef(const QByteArray& logLine, const QByteArray& clientCompId);

private:
    bool openLog();

    const QString m_program;
    const QByteArray m_clientCompId;
    CrashChildProcess m_process;
    QString m_folder;
    QFile m_log;
    qint64 m_logOffset = 0;
    QByteArray m_partial;
    int m_port = 0;
};
