#include "FixLoopback.h"

#include <QHostAddress>
#include <QTcpServer>

namespace VelmTest {

int freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

FixSessionSettings loopbackSession(const QString& sender, const QString& target, int port, const QString& folder)
{
    FixSessionSettings session;
    session.senderCompId = sender;
    session.targetCompId = target;
    session.port = port;
    session.heartbeatSeconds = 1;
    session.reconnectSeconds = 1;
    session.dataFolder = folder;
    return session;
}

} // namespace VelmTest
