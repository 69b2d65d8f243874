#pragma once

#include <QProcess>
#include <QString>

// velm_fixsim as the demo's counterparty: started beside the client on a free loopback port with
// its own folder, stopped (SIGTERM, so that its session logs out) when the demo ends.
class DemoFixExchange final
{
public:
    DemoFixExchange() = default;
    ~DemoFixExchange();
    DemoFixExchange(const DemoFixExchange&) = delete;
    DemoFixExchange& operator=(const DemoFixExchange&) = delete;

    // Starts it and waits (a few seconds at most) until it listens. False, with the reason.
    bool start(const QString& dataFolder, QString* whyNot);
    int port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};
