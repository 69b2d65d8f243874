#pragma once

#include "FixBrokerRoute.h"
#include "FixSimExchange.h"
#include "MarketSimulator.h"
#include "SimBroker.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

namespace VelmTest {

constexpr const char* FixClientId = "VELMCLIENT";
constexpr const char* FixExchangeId = "VELMSIM";

// The two ends of one loopback FIX session: a simulated exchange with a broker of its own (funds
// 1e8) over a still market, and a route, each with a folder of its own. The route's logons and
// logouts and the exchange's logons are counted on this object's thread, and so are the route's
// reports (until a service takes them over).
class FixLoopbackPair final : public QObject
{
public:
    explicit FixLoopbackPair(int apiType = 1, const QString& routeSender = QString::fromLatin1(FixClientId));
    // The exchange first: it runs on this thread and must answer the route's logout.
    ~FixLoopbackPair() override;

    // Empty, or why that end did not start.
    QString startExchange();
    QString startRoute();
    // Both ends started and the route logged on within `timeoutMs`: empty, or what went wrong.
    QString logOn(int timeoutMs);

    QTemporaryDir folder;
    const int port;
    MarketSimulator market;
    SimBroker broker;
    FixSimExchange exchange;
    FixBrokerRoute route;
    int routeLogons = 0;
    int routeLogouts = 0;
    int exchangeLogons = 0;
    QStringList reports;    // reportLine() of each
};

} // namespace VelmTest
