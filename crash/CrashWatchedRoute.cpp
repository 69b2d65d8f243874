#include "CrashWatchedRoute.h"

#include "CrashReport.h"

#include <utility>

CrashWatchedRoute::CrashWatchedRoute(BrokerRoute& route, const CrashReport& report)
    : m_route(route)
    , m_report(report)
{
}

int CrashWatchedRoute::unansweredRequests() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return int(m_unanswered.size());
}

QString CrashWatchedRoute::name() const
{
    return m_route.name();
}

bool CrashWatchedRoute::isConnected() const
{
    return m_route.isConnected();
}

bool CrashWatchedRoute::sendOrder(const BrokerOrderRequest& request, QString* whyNot)
{
    if (m_route.isConnected())
        m_report.line("SEND " + QByteArray::fromStdString(request.clientOrderRef));
    return m_route.sendOrder(request, whyNot);
}

bool CrashWatchedRoute::requestStatus(const std::string& clientOrderRef)
{
    // Noted before asking: the answer may come before the call returns.
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_unanswered.insert(clientOrderRef);
    }
    const bool asked = m_route.requestStatus(clientOrderRef);
    if (!asked)
        answered(clientOrderRef);
    return asked;
}

void CrashWatchedRoute::setReportHandler(ReportHandler handler)
{
    if (!handler) {
        m_route.setReportHandler(nullptr);
        return;
    }
    // Answered only once the engine holds the report, so that a pass after it has applied it.
    m_route.setReportHandler([this, handler = std::move(handler)](const BrokerExecutionReport& report) {
        handler(report);
        answered(report.clientOrderRef);
    });
}

void CrashWatchedRoute::setReconcileHandler(ReconcileHandler handler)
{
    if (!handler) {
        m_route.setReconcileHandler(nullptr);
        return;
    }
    m_route.setReconcileHandler([this, handler = std::move(handler)] {
        handler();
        ++m_logons;
    });
}

bool CrashWatchedRoute::answersAtOnce() const
{
    return m_route.answersAtOnce();
}

void CrashWatchedRoute::quoteMoved(const QString& securityKey, int64_t now)
{
    m_route.quoteMoved(securityKey, now);
}

void CrashWatchedRoute::answered(const std::string& clientOrderRef)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_unanswered.erase(clientOrderRef);
}
