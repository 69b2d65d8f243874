#include "FixSessionSettings.h"

#include <QDir>

#include <quickfix/SessionSettings.h>
#include <quickfix/Values.h>

namespace {

constexpr int kMaxPort = 65535;

std::string utf8(const QString& text)
{
    return text.toStdString();
}

} // namespace

QString FixSessionSettings::problem(Role role) const
{
    if (senderCompId.trimmed().isEmpty() || targetCompId.trimmed().isEmpty())
        return QStringLiteral("FIX会话缺少SenderCompID或TargetCompID");
    const int lowestPort = role == Role::Acceptor ? 0 : 1;
    if (port < lowestPort || port > kMaxPort)
        return QStringLiteral("FIX会话端口无效：%1").arg(port);
    if (heartbeatSeconds <= 0)
        return QStringLiteral("FIX会话心跳间隔必须大于0秒");
    if (dataFolder.isEmpty())
        return QStringLiteral("FIX会话未指定数据目录");
    return QString();
}

QString FixSessionSettings::storeFolder() const
{
    return QDir(dataFolder).filePath(QStringLiteral("fix/store"));
}

QString FixSessionSettings::logFolder() const
{
    return QDir(dataFolder).filePath(QStringLiteral("fix/log"));
}

FIX::SessionSettings FixSessionSettings::toQuickFix(Role role) const
{
    QDir().mkpath(storeFolder());
    QDir().mkpath(logFolder());

    FIX::Dictionary session;
    const bool initiator = role == Role::Initiator;
    session.setString(FIX::CONNECTION_TYPE, initiator ? "initiator" : "acceptor");
    // Always open: the exchanges' day is the trader's business, not the session's.
    session.setString(FIX::START_TIME, "00:00:00");
    session.setString(FIX::END_TIME, "00:00:00");
    session.setInt(FIX::HEARTBTINT, heartbeatSeconds);
    session.setBool(FIX::USE_DATA_DICTIONARY, false);
    session.setBool(FIX::SOCKET_NODELAY, true);
    session.setString(FIX::FILE_STORE_PATH, utf8(QDir::toNativeSeparators(storeFolder())));
    session.setString(FIX::FILE_LOG_PATH, utf8(QDir::toNativeSeparators(logFolder())));
    if (initiator) {
        session.setString(FIX::SOCKET_CONNECT_HOST, utf8(host));
        session.setInt(FIX::SOCKET_CONNECT_PORT, port);
        session.setInt(FIX::RECONNECT_INTERVAL, reconnectSeconds);
    } else {
        session.setInt(FIX::SOCKET_ACCEPT_PORT, port);
        session.setBool(FIX::SOCKET_REUSE_ADDRESS, true);
    }

    // QuickFIX's log factory reads its folder from the defaults, the session from its own part.
    FIX::SessionSettings settings;
    settings.set(session);
    const FIX::SessionID id(FIX::BeginString_FIX44, utf8(senderCompId), utf8(targetCompId));
    settings.set(id, FIX::Dictionary());
    return settings;
}
