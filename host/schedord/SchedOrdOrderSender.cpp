#include "SchedOrdOrderSender.h"

#include "MarketSimulator.h"
#include "SchedOrdCodes.h"
#include "SchedOrdPricer.h"
#include "SecurityCatalogue.h"
#include "Util.h"

#include <algorithm>
#include <cstdio>

using namespace VELMSCHEDORDAPI;

SchedOrdOrderSender::SchedOrdOrderSender(int accountId, const SecurityCatalogue& catalogue, MarketSimulator& market,
                                         BrokerRoute& route)
    : m_accountId(accountId)
    , m_catalogue(catalogue)
    , m_market(market)
    , m_route(&route)
{
}

bool SchedOrdOrderSender::fire(SchedOrdSubTaskField& subTask, int64_t now)
{
    subTask.TriggerTime = now;
    // Security keys are ASCII; assigning into the kept buffer spares an allocation per order.
    m_key = QLatin1String(subTask.SecurityKey.data(), static_cast<int>(subTask.SecurityKey.size()));
    const SecurityInfo* security = m_catalogue.find(m_key);
    if (!security || !m_market.snapshot(m_key, m_quote)) {
        fail(subTask, SubTriggerStatus::Failed, QStringLiteral("无行情数据：%1").arg(m_key));
        return false;
    }
    QString reason = SchedOrdPricer::limitGuard(subTask, m_quote, *security);
    const double price = reason.isEmpty() ? SchedOrdPricer::orderPrice(subTask, m_quote, *security, reason) : 0.0;
    if (!reason.isEmpty()) {
        fail(subTask, SubTriggerStatus::Failed, reason);
        return false;
    }

    m_request.clientOrderRef = clientOrderRef(m_accountId, subTask.MainTaskID, subTask.SubTaskID);
    m_request.mainTaskId = subTask.MainTaskID;
    m_request.subTaskId = subTask.SubTaskID;
    m_request.securityKey = m_key;
    m_request.securityId = security->SecurityID;
    m_request.exchangeId = security->ExchangeID;
    m_request.direction = subTask.Direction;
    m_request.apiType = m_apiType;
    m_request.price = price;
    m_request.volume = subTask.TargetVolume;
    m_request.shareholderAccount = m_shareholderAccounts.value(security->ExchangeID);
    m_request.transactTime = now;
    // Sent before the call: a route that answers at once writes its answer over this.
    subTask.TriggerStatus = SubTriggerStatus::Sent;
    subTask.SubTaskStatus = SubTaskStatus::Triggered;
    subTask.OrderVolume = m_request.volume;
    subTask.ErrorMsg.clear();
    m_whyNot.clear();
    if (!m_route->sendOrder(m_request, &m_whyNot)) {
        fail(subTask, SubTriggerStatus::Failed, m_whyNot);
        return false;
    }
    return true;
}

bool SchedOrdOrderSender::applyReport(SchedOrdSubTaskField& subTask, const BrokerExecutionReport& report)
{
    using State = BrokerExecutionReport::State;
    switch (report.state) {
    case State::Unknown:
        fail(subTask, SubTriggerStatus::Failed,
             QStringLiteral("委托状态未知：券商处未找到参考号 %1 的委托，请核对").arg(QString::fromStdString(report.clientOrderRef)));
        return true;
    case State::Rejected:
        fail(subTask, SubTriggerStatus::Rejected, report.text.isEmpty() ? QStringLiteral("委托被拒绝") : report.text);
        return true;
    default:
        break;
    }
    if (report.orderVolume > 0)
        subTask.OrderVolume = report.orderVolume;
    // Reports are cumulative, and one resent after a reconnect may be older than the last seen.
    subTask.TradeVolume = std::max(subTask.TradeVolume, report.tradedVolume);
    subTask.ErrorMsg.clear();
    if (report.state == State::Filled) {
        subTask.TriggerStatus = SubTriggerStatus::Filled;
        subTask.SubTaskStatus = SubTaskStatus::Completed;
        return true;
    }
    subTask.TriggerStatus = SubTriggerStatus::Sent;
    if (report.state == State::Canceled) {
        subTask.SubTaskStatus = SubTaskStatus::Completed;
        subTask.ErrorMsg = Util::QStr2str(QStringLiteral("委托已撤销，成交%1股").arg(subTask.TradeVolume));
        return true;
    }
    subTask.SubTaskStatus = SubTaskStatus::Triggered;
    return false;
}

std::string SchedOrdOrderSender::clientOrderRef(int accountId, int mainTaskId, int subTaskId)
{
    return std::to_string(accountId) + '-' + std::to_string(mainTaskId) + '-' + std::to_string(subTaskId);
}

bool SchedOrdOrderSender::parseClientOrderRef(const std::string& ref, int* accountId, int* mainTaskId, int* subTaskId)
{
    int consumed = 0;
    return std::sscanf(ref.c_str(), "%d-%d-%d%n", accountId, mainTaskId, subTaskId, &consumed) == 3
        && static_cast<size_t>(consumed) == ref.size();
}

void SchedOrdOrderSender::failUnsent(SchedOrdSubTaskField& subTask, int64_t now, const QString& reason)
{
    subTask.TriggerTime = now;
    fail(subTask, SubTriggerStatus::Failed, reason);
}

void SchedOrdOrderSender::fail(SchedOrdSubTaskField& subTask, char triggerStatus, const QString& reason)
{
    // No order stands at the broker for it.
    subTask.OrderVolume = 0;
    subTask.TriggerStatus = triggerStatus;
    subTask.SubTaskStatus = SubTaskStatus::Completed;
    subTask.ErrorMsg = Util::QStr2str(reason);
}
