#include "CountingRoute.h"

CountingRoute::CountingRoute(BrokerRoute& route)
    : m_route(route)
{
    m_route.setReportHandler([this](const BrokerExecutionReport& report) { note(report); });
}

CountingRoute::~CountingRoute()
{
    m_route.setReportHandler(nullptr);
}

QString CountingRoute::name() const
{
    return m_route.name();
}

bool CountingRoute::isConnected() const
{
    return m_route.isConnected();
}

bool CountingRoute::sendOrder(const BrokerOrderRequest& request, QString* whyNot)
{
    if (!m_route.sendOrder(request, whyNot))
        return false;
    const TimePoint now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> guard(m_mutex);
    m_lastSent = now;
    return true;
}

bool CountingRoute::requestStatus(const std::string& clientOrderRef)
{
    return m_route.requestStatus(clientOrderRef);
}

void CountingRoute::setReportHandler(ReportHandler handler)
{
    m_route.setReportHandler([this, handler](const BrokerExecutionReport& report) {
        note(report);
        if (handler)
            handler(report);
    });
}

void CountingRoute::setReconcileHandler(ReconcileHandler handler)
{
    m_route.setReconcileHandler(std::move(handler));
}

bool CountingRoute::answersAtOnce() const
{
    return m_route.answersAtOnce();
}

void CountingRoute::quoteMoved(const QString& securityKey, int64_t now)
{
    m_route.quoteMoved(securityKey, now);
}

bool CountingRoute::waitForFilled(size_t count, TimePoint deadline)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait_until(lock, deadline, [this, count] { return m_filled >= count || !m_problem.isEmpty(); });
    return m_filled >= count && m_problem.isEmpty();
}

size_t CountingRoute::filled() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_filled;
}

CountingRoute::TimePoint CountingRoute::lastSent() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lastSent;
}

CountingRoute::TimePoint CountingRoute::lastFilled() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lastFilled;
}

QString CountingRoute::problem() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_problem;
}

void CountingRoute::note(const BrokerExecutionReport& report)
{
    const TimePoint now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (report.state == BrokerExecutionReport::State::Filled) {
            ++m_filled;
            m_lastFilled = now;
        } else if (report.state == BrokerExecutionReport::State::Rejected && m_problem.isEmpty()) {
            m_problem = QStringLiteral("rejected %1: %2").arg(QString::fromStdString(report.clientOrderRef), report.text);
        }
    }
    m_changed.notify_all();
}
