#include "OrderRouteSettings.h"

#include <QSet>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("OrderRoute");

QString kindName(OrderRouteSettings::Kind kind)
{
    return kind == OrderRouteSettings::Kind::Fix ? QStringLiteral("fix") : QStringLiteral("sim");
}

} // namespace

FixSessionSettings OrderRouteSettings::defaultSession()
{
    FixSessionSettings session;
    session.senderCompId = QStringLiteral("VELMCLIENT");
    session.targetCompId = QStringLiteral("VELMSIM");
    session.host = QStringLiteral("127.0.0.1");
    session.port = 9878;
    return session;
}

OrderRouteSettings OrderRouteSettings::load()
{
    OrderRouteSettings loaded;
    QSettings settings;
    settings.beginGroup(kGroup);
    for (const QString& group : settings.childGroups()) {
        bool isNumber = false;
        const int accountId = group.toInt(&isNumber);
        if (!isNumber)
            continue;
        settings.beginGroup(group);
        Account account;
        account.kind = settings.value(QStringLiteral("kind")).toString() == kindName(Kind::Fix) ? Kind::Fix : Kind::Simulated;
        FixSessionSettings& session = account.session;
        session.host = settings.value(QStringLiteral("host"), session.host).toString();
        session.port = settings.value(QStringLiteral("port"), session.port).toInt();
        session.senderCompId = settings.value(QStringLiteral("senderCompId"), session.senderCompId).toString();
        session.targetCompId = settings.value(QStringLiteral("targetCompId"), session.targetCompId).toString();
        session.heartbeatSeconds = settings.value(QStringLiteral("heartbeatSeconds"), session.heartbeatSeconds).toInt();
        settings.endGroup();
        loaded.m_accounts.insert(accountId, account);
    }
    return loaded;
}

void OrderRouteSettings::save() const
{
    QSettings settings;
    settings.beginGroup(kGroup);
    for (auto it = m_accounts.cbegin(); it != m_accounts.cend(); ++it) {
        settings.beginGroup(QString::number(it.key()));
        const FixSessionSettings& session = it->session;
        settings.setValue(QStringLiteral("kind"), kindName(it->kind));
        settings.setValue(QStringLiteral("host"), session.host);
        settings.setValue(QStringLiteral("port"), session.port);
        settings.setValue(QStringLiteral("senderCompId"), session.senderCompId);
        settings.setValue(QStringLiteral("targetCompId"), session.targetCompId);
        settings.setValue(QStringLiteral("heartbeatSeconds"), session.heartbeatSeconds);
        settings.endGroup();
    }
}

QString OrderRouteSettings::problem() const
{
    QSet<QString> sessions;
    for (auto it = m_accounts.cbegin(); it != m_accounts.cend(); ++it) {
        if (it->kind != Kind::Fix)
            continue;
        FixSessionSettings session = it->session;
        session.dataFolder = QStringLiteral(".");
        const QString problem = session.problem(FixSessionSettings::Role::Initiator);
        if (!problem.isEmpty())
            return QStringLiteral("账户 %1 的%2").arg(it.key()).arg(problem);
        if (session.host.trimmed().isEmpty())
            return QStringLiteral("账户 %1 的FIX会话缺少对方地址").arg(it.key());
        const QString id = session.senderCompId.trimmed() + QLatin1Char('>') + session.targetCompId.trimmed();
        if (sessions.contains(id))
            return QStringLiteral("两个账户使用同一FIX会话（%1→%2），请为每个账户设置不同的SenderCompID")
                .arg(session.senderCompId, session.targetCompId);
        sessions.insert(id);
    }
    return QString();
}
