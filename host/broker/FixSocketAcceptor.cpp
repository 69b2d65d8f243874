#include "FixSocketAcceptor.h"

#include "WindowManager.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <quickfix/Application.h>
#include <quickfix/Log.h>
#include <quickfix/MessageStore.h>
#include <quickfix/Parser.h>
#include <quickfix/Responder.h>
#include <quickfix/Session.h>
#include <quickfix/SessionFactory.h>
#include <quickfix/SessionSettings.h>

#include <algorithm>

namespace {

constexpr int kFixAcceptorLogType = 8;
constexpr int kTickMs = 250;                // heartbeats and timeouts are checked this often
constexpr int kFlushMs = 1000;              // what a logout may take to leave on stop
constexpr qint64 kMaxUnparsedBytes = 64 * 1024;   // far above any order message: past it, no FIX

void logAcceptor(const QString& text)
{
    WindowManager::LogStgy(text, kFixAcceptorLogType, spdlog::level::warn);
}

} // namespace

// One accepted socket: QuickFIX writes through it and asks it to close.
class FixSocketAcceptor::Connection final : public FIX::Responder
{
public:
    explicit Connection(QTcpSocket* socket)
        : socket(socket)
    {
    }

    bool send(const std::string& data) override
    {
        if (closing)
            return false;
        return socket->write(data.data(), static_cast<qint64>(data.size())) == static_cast<qint64>(data.size());
    }

    // Called from inside the session: the socket closes once control is back in the event loop.
    void disconnect() override
    {
        if (closing)
            return;
        closing = true;
        QTcpSocket* target = socket;
        QTimer::singleShot(0, socket, [target] { target->disconnectFromHost(); });
    }

    QTcpSocket* socket;
    FIX::Parser parser;
    qint64 unparsedBytes = 0;       // received since the last whole message
    FIX::Session* session = nullptr;
    bool closing = false;
};

FixSocketAcceptor::FixSocketAcceptor(FIX::Application& application, FIX::MessageStoreFactory& storeFactory,
                                     FIX::LogFactory& logFactory, QObject* parent)
    : QObject(parent)
    , m_factory(std::make_unique<FIX::SessionFactory>(application, storeFactory, &logFactory))
    , m_server(new QTcpServer(this))
    , m_timer(new QTimer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &FixSocketAcceptor::accept);
    connect(m_timer, &QTimer::timeout, this, &FixSocketAcceptor::tick);
}

FixSocketAcceptor::~FixSocketAcceptor()
{
    stop();
}

bool FixSocketAcceptor::start(const FIX::SessionSettings& settings, const QString& address, int port, QString* whyNot)
{
    const QHostAddress host(address);
    if (host.isNull()) {
        *whyNot = QStringLiteral("监听地址无效：%1").arg(address);
        return false;
    }
    try {
        for (const FIX::SessionID& id : settings.getSessions())
            m_sessions.push_back(m_factory->create(id, settings.get(id)));
    } catch (const FIX::ConfigError& error) {
        *whyNot = QString::fromStdString(error.detail);
        stop();
        return false;
    }
    if (!m_server->listen(host, static_cast<quint16>(port))) {
        *whyNot = QStringLiteral("无法监听 %1:%2：%3").arg(address).arg(port).arg(m_server->errorString());
        stop();
        return false;
    }
    m_timer->start(kTickMs);
    return true;
}

void FixSocketAcceptor::stop()
{
    m_timer->stop();
    m_server->close();
    for (auto& entry : m_connections) {
        Connection& connection = *entry.second;
        if (connection.session && connection.session->isLoggedOn()) {
            connection.session->logout();
            connection.session->next(FIX::UtcTimeStamp());
            connection.socket->waitForBytesWritten(kFlushMs);
        }
    }
    while (!m_connections.empty())
        drop(m_connections.begin()->first);
    for (FIX::Session* session : m_sessions)
        m_factory->destroy(session);
    m_sessions.clear();
}

int FixSocketAcceptor::port() const
{
    return m_server->serverPort();
}

void FixSocketAcceptor::accept()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_connections[socket] = std::make_unique<Connection>(socket);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
    }
}

void FixSocketAcceptor::read(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    Connection& connection = *it->second;
    const QByteArray data = socket->readAll();
    connection.parser.addToStream(data.constData(), static_cast<size_t>(data.size()));
    connection.unparsedBytes += data.size();
    try {
        std::string message;
        while (!connection.closing && connection.parser.readFixMessage(message)) {
            connection.unparsedBytes = 0;
            if (!connection.session && !attach(connection, message)) {
                connection.disconnect();
                return;
            }
            connection.session->next(message, FIX::UtcTimeStamp());
        }
        if (connection.unparsedBytes > kMaxUnparsedBytes)
            throw FIX::MessageParseError("no FIX message in what was received");
    } catch (const FIX::Exception& error) {
        logAcceptor(QStringLiteral("FIX连接收到无法解析的数据，已断开：%1").arg(QString::fromStdString(error.detail)));
        if (connection.session)
            connection.session->disconnect();
        connection.disconnect();
    }
}

// The first message names the session; only a configured one that nobody holds may have it.
bool FixSocketAcceptor::attach(Connection& connection, const std::string& firstMessage)
{
    FIX::Session* session = FIX::Session::lookupSession(firstMessage, true);
    const bool ours = session && std::find(m_sessions.begin(), m_sessions.end(), session) != m_sessions.end();
    if (!ours || FIX::Session::isSessionRegistered(session->getSessionID())) {
        logAcceptor(QStringLiteral("拒绝了未配置或已登录的FIX会话"));
        return false;
    }
    FIX::Session::registerSession(session->getSessionID());
    session->setResponder(&connection);
    connection.session = session;
    return true;
}

void FixSocketAcceptor::drop(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    std::unique_ptr<Connection> connection = std::move(it->second);
    m_connections.erase(it);
    connection->closing = true;
    if (connection->session) {
        FIX::Session::unregisterSession(connection->session->getSessionID());
        connection->session->disconnect();
    }
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void FixSocketAcceptor::tick()
{
    for (auto& entry : m_connections) {
        if (entry.second->session && !entry.second->closing)
            entry.second->session->next(FIX::UtcTimeStamp());
    }
}
