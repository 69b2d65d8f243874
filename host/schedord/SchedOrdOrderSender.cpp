#include "SchedOrdOrderSender.h"

#include "MarketSimulator.h"
#include "SchedOrdCodes.h"
#include "SchedOrdPricer.h"
#include "SecurityCatalogue.h"
#include "Util.h"

using namespace VELMSCHEDORDAPI;

SchedOrdOrderSender::SchedOrdOrderSender(int accountId, const SecurityCatalogue& catalogue, MarketSimulator& market,
                                         SimBroker& broker)
    : m_accountId(accountId)
    , m_catalogue(catalogue)
    , m_market(market)
    , m_broker(broker)
{
}

int SchedOrdOrderSender::fire(SchedOrdSubTaskField& subTask, int64_t now)
{
    subTask.TriggerTime = now;
    // Security keys are ASCII; assigning into the kept buffer spares an allocation per order.
    m_key = QLatin1String(subTask.SecurityKey.data(), static_cast<int>(subTask.SecurityKey.size()));
    const SecurityInfo* security = m_catalogue.find(m_key);
    if (!security || !m_market.snapshot(m_key, m_quote)) {
        fail(subTask, SubTriggerStatus::Failed, QStringLiteral("无行情数据：%1").arg(m_key));
        return 0;
    }
    QString reason = SchedOrdPricer::limitGuard(subTask, m_quote, *security);
    const double price = reason.isEmpty() ? SchedOrdPricer::orderPrice(subTask, m_quote, *security, reason) : 0.0;
    if (!reason.isEmpty()) {
        fail(subTask, SubTriggerStatus::Failed, reason);
        return 0;
    }

    SimOrderRequest request;
    request.MainTaskID = subTask.MainTaskID;
    request.SubTaskID = subTask.SubTaskID;
    request.ClientOrderRef = QString::fromStdString(clientOrderRef(m_accountId, subTask.MainTaskID, subTask.SubTaskID));
    request.SecurityKey = m_key;
    request.SecurityID = security->SecurityID;
    request.ExchangeID = security->ExchangeID;
    request.Direction = subTask.Direction;
    request.Price = price;
    request.Volume = subTask.TargetVolume;
    request.MinVolume = security->MinVolume;
    request.VolumeStep = security->VolumeStep;
    const SimOrder order = m_broker.placeOrder(request, m_quote, now);
    if (order.Status == SimOrderStatus::Rejected) {
        fail(subTask, SubTriggerStatus::Rejected, order.StatusMsg);
        return 0;
    }
    subTask.OrderVolume = order.Volume;
    subTask.ErrorMsg.clear();
    applyOrder(subTask, order);
    return order.Status == SimOrderStatus::Filled ? 0 : order.OrderID;
}

std::vector<SimOrder> SchedOrdOrderSender::matchResting(const QString& securityKey, int64_t now)
{
    if (!m_market.snapshot(securityKey, m_quote))
        return {};
    return m_broker.matchResting(securityKey, m_quote, now);
}

void SchedOrdOrderSender::applyOrder(SchedOrdSubTaskField& subTask, const SimOrder& order)
{
    subTask.TradeVolume = order.TradedVolume;
    const bool filled = order.Status == SimOrderStatus::Filled;
    subTask.TriggerStatus = filled ? SubTriggerStatus::Filled : SubTriggerStatus::Sent;
    subTask.SubTaskStatus = filled ? SubTaskStatus::Completed : SubTaskStatus::Triggered;
}

std::string SchedOrdOrderSender::clientOrderRef(int accountId, int mainTaskId, int subTaskId)
{
    return std::to_string(accountId) + '-' + std::to_string(mainTaskId) + '-' + std::to_string(subTaskId);
}

void SchedOrdOrderSender::failUnsent(SchedOrdSubTaskField& subTask, int64_t now, const QString& reason)
{
    subTask.TriggerTime = now;
    fail(subTask, SubTriggerStatus::Failed, reason);
}

void SchedOrdOrderSender::fail(SchedOrdSubTaskField& subTask, char triggerStatus, const QString& reason)
{
    subTask.TriggerStatus = triggerStatus;
    subTask.SubTaskStatus = SubTaskStatus::Completed;
    subTask.ErrorMsg = Util::QStr2str(reason);
}
