#include "SimBroker.h"

#include "SchedOrdCodes.h"
#include "Util.h"

#include <algorithm>
#include <array>

using VELMSCHEDORDAPI::isBuyDirection;
namespace Direction = VELMSCHEDORDAPI::Direction;

namespace {

constexpr int kLevels = 5;
constexpr int kAskOffset = 5;
constexpr double kMoneyTolerance = 1e-6;
constexpr double kPriceTolerance = 1e-9;
constexpr int kCreditApiType = 2;

using LevelVolumes = std::array<double, 2 * kLevels>;

LevelVolumes levelVolumesOf(const Lev1MarketData& quote)
{
    LevelVolumes volumes{};
    for (size_t i = 0; i < volumes.size() && i < quote.PriceLevels.size(); ++i)
        volumes[i] = quote.PriceLevels[i].second;
    return volumes;
}

bool isResting(const SimOrder& order)
{
    return order.Status == SimOrderStatus::Accepted || order.Status == SimOrderStatus::PartFilled;
}

} // namespace

SimBroker::SimBroker(int apiType, QObject* parent)
    : QObject(parent)
    , m_apiType(apiType)
{
}

void SimBroker::setPlacedOrderObserver(PlacedOrderObserver observer)
{
    m_placedOrderObserver = std::move(observer);
}

double SimBroker::availableFunds() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_funds;
}

void SimBroker::setAvailableFunds(double funds)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_funds = funds;
        ++m_accountRevision;
    }
    emit signalAccountChanged();
}

double SimBroker::creditLine() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_creditLine;
}

void SimBroker::setCreditLine(double amount)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_creditLine = amount;
        ++m_accountRevision;
    }
    emit signalAccountChanged();
}

int SimBroker::positionAvailable(const QString& securityKey) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto it = m_positions.constFind(securityKey);
    return it == m_positions.constEnd() ? 0 : it->Available;
}

void SimBroker::setPosition(const QString& securityKey, int volume, double costPrice)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        SimPosition& position = m_positions[securityKey];
        position.SecurityKey = securityKey;
        position.Volume = volume;
        position.Available = volume;
        position.CostPrice = costPrice;
        ++m_accountRevision;
    }
    emit signalAccountChanged();
}

int SimBroker::shortQuota(const QString& securityKey) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_shortQuota.value(securityKey, 0);
}

void SimBroker::setShortQuota(const QString& securityKey, int volume)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_shortQuota.insert(securityKey, volume);
        ++m_accountRevision;
    }
    emit signalAccountChanged();
}

SimOrder SimBroker::placeOrder(const SimOrderRequest& request, const Lev1MarketData& quote, int64_t now)
{
    SimOrder order;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        order.OrderID = m_nextOrderId++;
        order.MainTaskID = request.MainTaskID;
        order.SubTaskID = request.SubTaskID;
        order.ClientOrderRef = request.ClientOrderRef;
        order.SecurityKey = request.SecurityKey;
        order.SecurityID = request.SecurityID;
        order.ExchangeID = request.ExchangeID;
        order.Direction = request.Direction;
        order.Price = request.Price;
        order.Volume = request.Volume;
        order.InsertTime = now;
        order.Revision = ++m_revision;

        const Resource resource = resourceOf(request.Direction);
        order.StatusMsg = rejectionReason(request, resource);
        if (!order.StatusMsg.isEmpty()) {
            order.Status = SimOrderStatus::Rejected;
        } else {
            reserve(order, resource);
            LevelVolumes volumes = levelVolumesOf(quote);
            trade(order, quote, volumes.data(), now);
            if (isResting(order))
                m_resting.push_back(m_orders.size());
        }
        if (!order.ClientOrderRef.isEmpty())
            m_orderByClientRef.insert(order.ClientOrderRef, m_orders.size());
        m_orders.push_back(order);
        m_changes |= OrdersChanged;
        if (order.Status != SimOrderStatus::Rejected) {
            m_changes |= AccountChanged;
            ++m_accountRevision;
        }
    }
    if (m_placedOrderObserver)
        m_placedOrderObserver(order);
    return order;
}

std::vector<SimOrder> SimBroker::matchResting(const QString& securityKey, const Lev1MarketData& quote, int64_t now)
{
    std::vector<SimOrder> changed;
    std::lock_guard<std::mutex> guard(m_mutex);
    // Orders of the same security share what the levels offer.
    LevelVolumes volumes = levelVolumesOf(quote);
    for (const size_t index : m_resting) {
        SimOrder& order = m_orders[index];
        if (order.SecurityKey == securityKey && trade(order, quote, volumes.data(), now)) {
            order.Revision = ++m_revision;
            changed.push_back(order);
        }
    }
    m_resting.erase(std::remove_if(m_resting.begin(), m_resting.end(),
                                   [this](size_t index) { return !isResting(m_orders[index]); }),
                    m_resting.end());
    if (!changed.empty()) {
        m_changes |= OrdersChanged | AccountChanged;
        ++m_accountRevision;
    }
    return changed;
}

bool SimBroker::hasResting(const QString& securityKey) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return std::any_of(m_resting.begin(), m_resting.end(),
                       [&](size_t index) { return m_orders[index].SecurityKey == securityKey; });
}

SimBroker::State SimBroker::state(Cursor* cursor) const
{
    Cursor seen;
    State whole;
    changesSince(seen, whole);
    whole.accountIncluded = true;
    if (cursor)
        *cursor = seen;
    return whole;
}

bool SimBroker::changesSince(Cursor& cursor, State& out) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    out.accountIncluded = m_accountRevision != cursor.accountRevision;
    if (out.accountIncluded) {
        out.funds = m_funds;
        out.creditLine = m_creditLine;
        out.nextOrderId = m_nextOrderId;
        out.nextTradeId = m_nextTradeId;
        out.positions.assign(m_positions.cbegin(), m_positions.cend());
        out.shortQuotas.clear();
        for (auto it = m_shortQuota.cbegin(); it != m_shortQuota.cend(); ++it)
            out.shortQuotas.emplace_back(it.key(), it.value());
        cursor.accountRevision = m_accountRevision;
    }
    out.orders.clear();
    if (m_revision != cursor.orderRevision) {
        for (const SimOrder& order : m_orders) {
            if (order.Revision > cursor.orderRevision)
                out.orders.push_back(order);
        }
        cursor.orderRevision = m_revision;
    }
    out.trades.assign(m_trades.cbegin() + static_cast<std::ptrdiff_t>(std::min(cursor.tradeCount, m_trades.size())),
                      m_trades.cend());
    cursor.tradeCount = m_trades.size();
    return out.accountIncluded || !out.orders.empty() || !out.trades.empty();
}

void SimBroker::restore(const State& state)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_funds = state.funds;
        m_creditLine = state.creditLine;
        m_nextOrderId = state.nextOrderId;
        m_nextTradeId = state.nextTradeId;
        m_positions.clear();
        for (const SimPosition& position : state.positions)
            m_positions.insert(position.SecurityKey, position);
        m_shortQuota.clear();
        for (const auto& quota : state.shortQuotas)
            m_shortQuota.insert(quota.first, quota.second);
        m_orders = state.orders;
        m_trades = state.trades;
        m_resting.clear();
        m_orderByClientRef.clear();
        m_revision = 0;
        for (size_t i = 0; i < m_orders.size(); ++i) {
            SimOrder& order = m_orders[i];
            order.Revision = ++m_revision;
            if (isResting(order))
                m_resting.push_back(i);
            if (!order.ClientOrderRef.isEmpty())
                m_orderByClientRef.insert(order.ClientOrderRef, i);
        }
        ++m_accountRevision;
        m_changes = OrdersChanged | AccountChanged;
    }
}

bool SimBroker::findOrderByClientRef(const QString& clientOrderRef, SimOrder* out) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto it = m_orderByClientRef.constFind(clientOrderRef);
    if (it == m_orderByClientRef.constEnd())
        return false;
    if (out)
        *out = m_orders[*it];
    return true;
}

SimBroker::Changes SimBroker::takeChanges()
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const Changes changes = m_changes;
    m_changes = {};
    return changes;
}

void SimBroker::announceChanges(Changes changes)
{
    if (changes & AccountChanged)
        emit signalAccountChanged();
    if (changes & OrdersChanged)
        emit signalOrdersChanged();
}

std::vector<SimOrder> SimBroker::orders() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_orders;
}

std::vector<SimOrder> SimBroker::ordersChangedSince(uint64_t revision, uint64_t* latest) const
{
    std::vector<SimOrder> changed;
    std::lock_guard<std::mutex> guard(m_mutex);
    for (const SimOrder& order : m_orders) {
        if (order.Revision > revision)
            changed.push_back(order);
    }
    if (latest)
        *latest = m_revision;
    return changed;
}

std::vector<SimTrade> SimBroker::trades() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_trades;
}

std::vector<SimTrade> SimBroker::tradesFrom(size_t first) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (first >= m_trades.size())
        return {};
    return std::vector<SimTrade>(m_trades.cbegin() + static_cast<std::ptrdiff_t>(first), m_trades.cend());
}

std::vector<SimPosition> SimBroker::positions() const
{
    std::vector<SimPosition> positions;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        positions.assign(m_positions.cbegin(), m_positions.cend());
    }
    std::sort(positions.begin(), positions.end(),
              [](const SimPosition& a, const SimPosition& b) { return a.SecurityKey < b.SecurityKey; });
    return positions;
}

SimBroker::Resource SimBroker::resourceOf(char direction) const
{
    switch (direction) {
    case Direction::Buy: return Resource::Funds;
    case Direction::Sell: return Resource::Position;
    default: break;
    }
    if (m_apiType != kCreditApiType)
        return Resource::None;
    switch (direction) {
    case Direction::CreditOtherBuy: return Resource::Funds;
    case Direction::CreditOtherSell: return Resource::Position;
    case Direction::FinancedBuy: return Resource::CreditLine;
    case Direction::ShortSell: return Resource::ShortQuota;
    default: return Resource::None;
    }
}

QString SimBroker::rejectionReason(const SimOrderRequest& request, Resource resource) const
{
    if (resource == Resource::None)
        return QStringLiteral("账户不支持该委托方向");
    if (request.Volume <= 0)
        return QStringLiteral("委托数量必须大于0");
    if (!Util::JudgeEffectivePrice(request.Price))
        return QStringLiteral("委托价格无效");
    // Odd lots may be sold (what is left of a position), never bought.
    if (isBuyDirection(request.Direction)) {
        if (request.Volume < request.MinVolume)
            return QStringLiteral("委托数量低于最小申报数量");
        if (request.VolumeStep > 1 && request.Volume % request.VolumeStep != 0)
            return QStringLiteral("委托数量不是交易单位的整数倍");
    }
    const double amount = request.Price * request.Volume;
    switch (resource) {
    case Resource::Funds:
        return amount > m_funds + kMoneyTolerance ? QStringLiteral("可用资金不足") : QString();
    case Resource::CreditLine:
        return amount > m_creditLine + kMoneyTolerance ? QStringLiteral("可用融资额度不足") : QString();
    case Resource::Position: {
        const auto it = m_positions.constFind(request.SecurityKey);
        const int available = it == m_positions.constEnd() ? 0 : it->Available;
        return request.Volume > available ? QStringLiteral("可用持仓不足") : QString();
    }
    case Resource::ShortQuota:
        return request.Volume > m_shortQuota.value(request.SecurityKey, 0) ? QStringLiteral("可用融券额度不足")
                                                                          : QString();
    case Resource::None:
        break;
    }
    return QString();
}

void SimBroker::reserve(const SimOrder& order, Resource resource)
{
    switch (resource) {
    case Resource::Funds: m_funds -= order.Price * order.Volume; break;
    case Resource::CreditLine: m_creditLine -= order.Price * order.Volume; break;
    case Resource::Position: m_positions[order.SecurityKey].Available -= order.Volume; break;
    case Resource::ShortQuota: m_shortQuota[order.SecurityKey] -= order.Volume; break;
    case Resource::None: break;
    }
}

bool SimBroker::trade(SimOrder& order, const Lev1MarketData& quote, double* levelVolumes, int64_t now)
{
    const bool buy = isBuyDirection(order.Direction);
    const int before = order.TradedVolume;
    for (int level = 0; level < kLevels && order.TradedVolume < order.Volume; ++level) {
        const size_t index = static_cast<size_t>(buy ? kAskOffset + level : level);
        if (index >= quote.PriceLevels.size())
            break;
        const double price = quote.PriceLevels[index].first;
        const bool crosses = buy ? price <= order.Price + kPriceTolerance : price >= order.Price - kPriceTolerance;
        if (price <= 0.0 || !crosses)
            break;
        const int volume = std::min(order.Volume - order.TradedVolume, static_cast<int>(levelVolumes[index]));
        if (volume <= 0)
            continue;
        levelVolumes[index] -= volume;
        book(order, price, volume, now);
    }
    return order.TradedVolume != before;
}

void SimBroker::book(SimOrder& order, double price, int volume, int64_t now)
{
    SimTrade trade;
    trade.TradeID = m_nextTradeId++;
    trade.OrderID = order.OrderID;
    trade.SecurityKey = order.SecurityKey;
    trade.Direction = order.Direction;
    trade.Price = price;
    trade.Volume = volume;
    trade.TradeTime = now;
    m_trades.push_back(trade);

    const Resource resource = resourceOf(order.Direction);
    if (resource == Resource::Funds || resource == Resource::CreditLine) {
        // The order reserved its limit price; a better price gives the difference back.
        const double refund = (order.Price - price) * volume;
        (resource == Resource::Funds ? m_funds : m_creditLine) += refund;
        SimPosition& position = m_positions[order.SecurityKey];
        position.SecurityKey = order.SecurityKey;
        const double cost = position.CostPrice * position.Volume + price * volume;
        position.Volume += volume;
        position.Available += volume;
        position.CostPrice = cost / position.Volume;
    } else {
        m_funds += price * volume;
        if (resource == Resource::Position)
            m_positions[order.SecurityKey].Volume -= volume;
        if (resource == Resource::ShortQuota)
            recordShortSale(order.SecurityKey, price, volume);
    }

    order.TradedVolume += volume;
    order.Status = order.TradedVolume == order.Volume ? SimOrderStatus::Filled : SimOrderStatus::PartFilled;
}

void SimBroker::recordShortSale(const QString& securityKey, double price, int volume)
{
    SimPosition& position = m_positions[securityKey];
    position.SecurityKey = securityKey;
    position.ShortVolume += volume;
    position.ShortLiability += price * volume;
}
