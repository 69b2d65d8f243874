#include "CrashSendingRoute.h"

#include "CrashReport.h"

#include <utility>

CrashSendingRoute::CrashSendingRoute(BrokerRoute& route, const CrashReport& report)
    : m_route(route)
    , m_report(report)
{
}

QString CrashSendingRoute::name() const
{
    return m_route.name();
}

bool CrashSendingRoute::isConnected() const
{
    return m_route.isConnected();
}

bool CrashSendingRoute::sendOrder(const BrokerOrderRequest& request, QString* whyNot)
{
    if (m_route.isConnected())
        m_report.line("SEND " + QByteArray::fromStdString(request.clientOrderRef));
    return m_route.sendOrder(request, whyNot);
}

bool CrashSendingRoute::requestStatus(const std::string& clientOrderRef)
{
    return m_route.requestStatus(clientOrderRef);
}

void CrashSendingRoute::setReportHandler(ReportHandler handler)
{
    m_route.setReportHandler(std::move(handler));
}

void CrashSendingRoute::setConnectedHandler(ConnectedHandler handler)
{
    m_route.setConnectedHandler(std::move(handler));
}

bool CrashSendingRoute::answersAtOnce() const
{
    return m_route.answersAtOnce();
}

void CrashSendingRoute::quoteMoved(const QString& securityKey, int64_t now)
{
    m_route.quoteMoved(securityKey, now);
}
