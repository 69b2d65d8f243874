#include "MarketSimulator.h"

#include "PriceTick.h"
#include "SecurityCatalogue.h"
#include "Util.h"

#include <QDateTime>
#include <QTimer>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kLevels = 5;
constexpr int kAskOffset = 5;           // PriceLevels: bids at 0..4, asks at 5..9
constexpr double kStepShare = 0.0005;   // one walk unit, as a share of the price
constexpr int kLotShares = 100;
constexpr int kMinLotsPerLevel = 10;
constexpr int kMaxLotsPerLevel = 500;

// A pinned quote may come without limits (0): then nothing bounds the price but zero.
bool belowUpperLimit(double price, const Lev1MarketData& quote, double tolerance)
{
    return quote.UpperLimitPrice <= 0.0 || price <= quote.UpperLimitPrice + tolerance;
}

bool aboveLowerLimit(double price, const Lev1MarketData& quote, double tolerance)
{
    return price > 0.0 && (quote.LowerLimitPrice <= 0.0 || price >= quote.LowerLimitPrice - tolerance);
}

double clampToLimits(double price, const Lev1MarketData& quote)
{
    if (quote.UpperLimitPrice > 0.0)
        price = std::min(price, quote.UpperLimitPrice);
    return quote.LowerLimitPrice > 0.0 ? std::max(price, quote.LowerLimitPrice) : price;
}

void stampTime(Lev1MarketData& quote, const QDateTime& now)
{
    quote.TradingDay = now.date().year() * 10000 + now.date().month() * 100 + now.date().day();
    quote.UpdateMillisec = now.time().msec();
    const QByteArray text = now.time().toString(QStringLiteral("hh:mm:ss")).toLatin1();
    std::memcpy(quote.UpdateTime, text.constData(), std::min<size_t>(sizeof quote.UpdateTime - 1, text.size()));
}

} // namespace

MarketSimulator::MarketSimulator(const SecurityCatalogue& catalogue, uint32_t seed, QObject* parent)
    : QObject(parent)
    , m_random(seed)
{
    const QDateTime now = QDateTime::currentDateTime();
    m_entries.reserve(static_cast<size_t>(catalogue.all().size()));
    for (const SecurityInfo& info : catalogue.all()) {
        Entry entry;
        entry.key = Util::GetSecurityKey(info.SecurityID, info.ExchangeID);
        entry.tick = info.PriceTick;
        Lev1MarketData& quote = entry.quote;
        quote.PreClosePrice = info.PreClosePrice;
        quote.UpperLimitPrice = PriceTick::round(info.PreClosePrice * (1.0 + info.LimitPercent / 100.0), info.PriceTick);
        quote.LowerLimitPrice = PriceTick::round(info.PreClosePrice * (1.0 - info.LimitPercent / 100.0), info.PriceTick);
        quote.OpenPrice = info.PreClosePrice;
        quote.HighestPrice = info.PreClosePrice;
        quote.LowestPrice = info.PreClosePrice;
        quote.AveragePrice = info.PreClosePrice;
        quote.LastPrice = info.PreClosePrice;
        stampTime(quote, now);
        rebuildLevels(entry);
        m_indexByKey.insert(entry.key, static_cast<int>(m_entries.size()));
        m_entries.push_back(std::move(entry));
    }
}

MarketSimulator::~MarketSimulator() = default;

void MarketSimulator::start(int intervalMs)
{
    if (!m_timer) {
        m_timer = new QTimer(this);
        connect(m_timer, &QTimer::timeout, this, &MarketSimulator::step);
    }
    m_timer->start(intervalMs);
}

void MarketSimulator::stop()
{
    if (m_timer)
        m_timer->stop();
}

void MarketSimulator::step()
{
    std::vector<QString> moved;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const QDateTime now = QDateTime::currentDateTime();
        for (Entry& entry : m_entries) {
            if (entry.pinned)
                continue;
            walk(entry);
            stampTime(entry.quote, now);
            moved.push_back(entry.key);
        }
    }
    for (const QString& key : moved)
        emit quoteUpdated(key);
}

bool MarketSimulator::snapshot(const QString& securityKey, Lev1MarketData& out) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    const auto it = m_indexByKey.constFind(securityKey);
    if (it == m_indexByKey.constEnd())
        return false;
    out = m_entries[static_cast<size_t>(*it)].quote;
    return true;
}

void MarketSimulator::setQuote(const QString& securityKey, const Lev1MarketData& quote)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        Entry* entry = findEntry(securityKey);
        if (!entry)
            return;
        entry->quote = quote;
        entry->quote.PriceLevels.resize(2 * kLevels);
        entry->pinned = true;
    }
    emit quoteUpdated(securityKey);
}

void MarketSimulator::setLastPrice(const QString& securityKey, double lastPrice)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        Entry* entry = findEntry(securityKey);
        if (!entry)
            return;
        entry->pinned = true;
        moveLastPrice(*entry, lastPrice);
        stampTime(entry->quote, QDateTime::currentDateTime());
    }
    emit quoteUpdated(securityKey);
}

void MarketSimulator::unpin(const QString& securityKey)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    if (Entry* entry = findEntry(securityKey))
        entry->pinned = false;
}

MarketSimulator::Entry* MarketSimulator::findEntry(const QString& securityKey)
{
    const auto it = m_indexByKey.constFind(securityKey);
    return it == m_indexByKey.constEnd() ? nullptr : &m_entries[static_cast<size_t>(*it)];
}

void MarketSimulator::walk(Entry& entry)
{
    const double unit = std::max(1.0, PriceTick::round(entry.quote.LastPrice * kStepShare / entry.tick, 1.0));
    const int steps = std::uniform_int_distribution<int>(-2, 2)(m_random);
    moveLastPrice(entry, entry.quote.LastPrice + steps * unit * entry.tick);

    Lev1MarketData& quote = entry.quote;
    const double traded = PriceTick::floor(randomLevelVolume() / 10.0, kLotShares);
    quote.Volume += traded;
    quote.Turnover += traded * quote.LastPrice;
    if (quote.Volume > 0.0)
        quote.AveragePrice = quote.Turnover / quote.Volume;
}

void MarketSimulator::moveLastPrice(Entry& entry, double lastPrice)
{
    Lev1MarketData& quote = entry.quote;
    quote.LastPrice = clampToLimits(PriceTick::round(lastPrice, entry.tick), quote);
    quote.HighestPrice = std::max(quote.HighestPrice, quote.LastPrice);
    quote.LowestPrice = quote.LowestPrice > 0.0 ? std::min(quote.LowestPrice, quote.LastPrice) : quote.LastPrice;
    rebuildLevels(entry);
}

void MarketSimulator::rebuildLevels(Entry& entry)
{
    Lev1MarketData& quote = entry.quote;
    quote.PriceLevels.resize(2 * kLevels);
    for (int level = 1; level <= kLevels; ++level) {
        const double bid = PriceTick::round(quote.LastPrice - level * entry.tick, entry.tick);
        const double ask = PriceTick::round(quote.LastPrice + level * entry.tick, entry.tick);
        const bool bidInside = aboveLowerLimit(bid, quote, entry.tick / 2);
        const bool askInside = belowUpperLimit(ask, quote, entry.tick / 2);
        quote.PriceLevels[static_cast<size_t>(level - 1)] = bidInside ? std::make_pair(bid, randomLevelVolume())
                                                                      : std::make_pair(0.0, 0.0);
        quote.PriceLevels[static_cast<size_t>(kAskOffset + level - 1)] =
            askInside ? std::make_pair(ask, randomLevelVolume()) : std::make_pair(0.0, 0.0);
    }
}

double MarketSimulator::randomLevelVolume()
{
    return kLotShares * std::uniform_int_distribution<int>(kMinLotsPerLevel, kMaxLotsPerLevel)(m_random);
}
