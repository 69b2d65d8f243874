#include "FixLoopbackPair.h"

#include "FixLoopback.h"
#include "SecurityCatalogue.h"
#include "VelmTest.h"

#include <QtTest>

namespace VelmTest {

FixLoopbackPair::FixLoopbackPair(int apiType, const QString& routeSender)
    : folder(tempDir() + QStringLiteral("/fix-XXXXXX"))
    , port(freeLoopbackPort())
    , market(SecurityCatalogue::instance(), 7)
    , broker(apiType)
    , exchange(loopbackSession(QString::fromLatin1(FixExchangeId), QString::fromLatin1(FixClientId), port,
                               folder.filePath(QStringLiteral("exchange"))),
               broker, market, SecurityCatalogue::instance())
    , route(loopbackSession(routeSender, QString::fromLatin1(FixExchangeId), port,
                            folder.filePath(QStringLiteral("route"))))
{
    broker.setAvailableFunds(1e8);
    // The route's signals come from QuickFIX's thread.
    connect(&route, &FixBrokerRoute::signalLoggedOn, this, [this] { ++routeLogons; }, Qt::QueuedConnection);
    connect(&route, &FixBrokerRoute::signalLoggedOut, this, [this] { ++routeLogouts; }, Qt::QueuedConnection);
    connect(&exchange, &FixSimExchange::signalClientLoggedOn, this, [this] { ++exchangeLogons; }, Qt::QueuedConnection);
    route.setReportHandler([this](const BrokerExecutionReport& report) {
        QMetaObject::invokeMethod(this, [this, line = reportLine(report)] { reports << line; }, Qt::QueuedConnection);
    });
}

FixLoopbackPair::~FixLoopbackPair()
{
    exchange.stop();
    // A route stopped before it has seen the logout waits a second for it; past that it stops anyway.
    static_cast<void>(QTest::qWaitFor([this] { return !route.isConnected(); }, 1000));
    route.stop();
}

QString FixLoopbackPair::startExchange()
{
    QString whyNot;
    exchange.start(&whyNot);
    return whyNot;
}

QString FixLoopbackPair::startRoute()
{
    QString whyNot;
    route.start(&whyNot);
    return whyNot;
}

QString FixLoopbackPair::logOn(int timeoutMs)
{
    QString whyNot = startExchange();
    if (whyNot.isEmpty())
        whyNot = startRoute();
    if (whyNot.isEmpty() && !QTest::qWaitFor([this] { return routeLogons > 0; }, timeoutMs))
        whyNot = QStringLiteral("the route did not log on within %1 ms").arg(timeoutMs);
    return whyNot;
}

} // namespace VelmTest
