#pragma once

#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace FIX {
class Application;
class LogFactory;
class MessageStoreFactory;
class Session;
class SessionFactory;
class SessionSettings;
}

// QuickFIX's acceptor sessions over Qt sockets that listen on one address: QuickFIX's own
// socket acceptor listens on every interface, and the simulated exchange must stay on loopback
// unless told otherwise. Sessions, their callbacks and their timers run on this object's thread.
class FixSocketAcceptor final : public QObject
{
    Q_OBJECT
public:
    FixSocketAcceptor(FIX::Application& application, FIX::MessageStoreFactory& storeFactory,
                      FIX::LogFactory& logFactory, QObject* parent = nullptr);
    ~FixSocketAcceptor() override;

    // Creates the sessions of `settings` and listens on address:port (port 0: any free one).
    // False, with the reason, when either fails.
    bool start(const FIX::SessionSettings& settings, const QString& address, int port, QString* whyNot);
    // Logs every session out and closes every connection.
    void stop();
    int port() const;

private:
    class Connection;

    void accept();
    void read(QTcpSocket* socket);
    bool attach(Connection& connection, const std::string& firstMessage);
    void drop(QTcpSocket* socket);
    void tick();

    std::unique_ptr<FIX::SessionFactory> m_factory;
    std::vector<FIX::Session*> m_sessions;
    QTcpServer* m_server;
    QTimer* m_timer;
    std::map<QTcpSocket*, std::unique_ptr<Connection>> m_connections;
};
