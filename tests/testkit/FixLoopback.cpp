#include "FixLoopback.h"

#include "BrokerRoute.h"
#include "SchedOrdClock.h"
#include "TestAccounts.h"

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

BrokerOrderRequest brokerOrder(const std::string& ref, char direction, double price, int volume, int apiType)
{
    BrokerOrderRequest request;
    request.clientOrderRef = ref;
    request.securityId = QStringLiteral("600000");
    request.exchangeId = '1';
    request.direction = direction;
    request.apiType = apiType;
    request.price = price;
    request.volume = volume;
    request.shareholderAccount = QString::fromLatin1(ShanghaiShareholder);
    request.transactTime = 1796607000LL * SchedOrdClock::TicksPerSecond + 1230000;
    return request;
}

QString reportLine(const BrokerExecutionReport& report)
{
    static const char* const states[] = {"New", "PartFilled", "Filled", "Rejected", "Canceled", "Unknown"};
    return QStringLiteral("%1 %2 %3/%4 %5")
        .arg(QString::fromStdString(report.clientOrderRef), QLatin1String(states[int(report.state)]))
        .arg(report.tradedVolume)
        .arg(report.orderVolume)
        .arg(report.text)
        .trimmed();
}

} // namespace VelmTest
