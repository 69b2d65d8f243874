#include "SimBrokerRoute.h"

#include "MarketSimulator.h"
#include "SecurityCatalogue.h"

SimBrokerRoute::SimBrokerRoute(SimBroker& broker, MarketSimulator& market, const SecurityCatalogue& catalogue)
    : m_broker(broker)
    , m_market(market)
    , m_catalogue(catalogue)
{
}

QString SimBrokerRoute::name() const
{
    return QStringLiteral("模拟券商");
}

bool SimBrokerRoute::sendOrder(const BrokerOrderRequest& request, QString* whyNot)
{
    const SecurityInfo* security = m_catalogue.find(request.securityKey);
    if (!security || !m_market.snapshot(request.securityKey, m_quote)) {
        *whyNot = QStringLiteral("无行情数据：%1").arg(request.securityKey);
        return false;
    }
    m_request.MainTaskID = request.mainTaskId;
    m_request.SubTaskID = request.subTaskId;
    m_request.ClientOrderRef = QString::fromStdString(request.clientOrderRef);
    m_request.SecurityKey = request.securityKey;
    m_request.SecurityID = request.securityId;
    m_request.ExchangeID = request.exchangeId;
    m_request.Direction = request.direction;
    m_request.Price = request.price;
    m_request.Volume = request.volume;
    m_request.MinVolume = security->MinVolume;
    m_request.VolumeStep = security->VolumeStep;
    deliver(m_broker.placeOrder(m_request, m_quote, request.transactTime));
    return true;
}

bool SimBrokerRoute::requestStatus(const std::string& clientOrderRef)
{
    SimOrder order;
    if (m_broker.findOrderByClientRef(QString::fromStdString(clientOrderRef), &order)) {
        deliver(order);
        return true;
    }
    m_report = BrokerExecutionReport();
    m_report.clientOrderRef = clientOrderRef;
    if (m_handler)
        m_handler(m_report);
    return true;
}

void SimBrokerRoute::quoteMoved(const QString& securityKey, int64_t now)
{
    if (!m_broker.hasResting(securityKey) || !m_market.snapshot(securityKey, m_quote))
        return;
    for (const SimOrder& order : m_broker.matchResting(securityKey, m_quote, now))
        deliver(order);
}

void SimBrokerRoute::reportOf(const SimOrder& order, BrokerExecutionReport& out)
{
    using State = BrokerExecutionReport::State;
    out.clientOrderRef = order.ClientOrderRef.toStdString();
    out.orderVolume = order.Volume;
    out.tradedVolume = order.TradedVolume;
    out.text.clear();
    switch (order.Status) {
    case SimOrderStatus::Rejected:
        out.state = State::Rejected;
        out.text = order.StatusMsg;
        break;
    case SimOrderStatus::Filled: out.state = State::Filled; break;
    case SimOrderStatus::PartFilled: out.state = State::PartFilled; break;
    default: out.state = State::New; break;
    }
}

void SimBrokerRoute::deliver(const SimOrder& order)
{
    if (!m_handler)
        return;
    reportOf(order, m_report);
    m_handler(m_report);
}
