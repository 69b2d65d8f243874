#pragma once

#include "VelmBaseExport.h"

#include <QString>

namespace FIX {
class SessionSettings;
}

// The parameters of one FIX 4.4 session, for either end. The file store (sequence numbers, sent
// messages) and QuickFIX's own message log live under dataFolder, so they survive restarts.
class VELM_BASE_EXPORT FixSessionSettings
{
public:
    enum class Role { Initiator, Acceptor };

    QString senderCompId;
    QString targetCompId;
    QString host = QStringLiteral("127.0.0.1");   // the initiator connects there, the acceptor listens there
    int port = 0;
    int heartbeatSeconds = 30;
    int reconnectSeconds = 5;                    // the initiator's wait between connection attempts
    QString dataFolder;

    // Empty when the parameters can make a session, else what is wrong, for the trader. Port 0
    // is for an acceptor that takes any free port.
    QString problem(Role role) const;
    // QuickFIX's settings for this session; creates the store and log folders.
    FIX::SessionSettings toQuickFix(Role role) const;
    QString storeFolder() const;
    QString logFolder() const;
};
