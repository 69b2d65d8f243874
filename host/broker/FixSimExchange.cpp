#include "FixSimExchange.h"

#include "FixOrderMessages.h"
#include "FixSocketAcceptor.h"
#include "MarketSimulator.h"
#include "SchedOrdClock.h"
#include "SecurityCatalogue.h"
#include "SimBroker.h"
#include "Util.h"
#include "WindowManager.h"

#include <quickfix/Application.h>
#include <quickfix/FileLog.h>
#include <quickfix/FileStore.h>
#include <quickfix/Session.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/fix44/ExecutionReport.h>

#include <map>

namespace {

constexpr int kFixSimLogType = 8;
const char kNoOrderId[] = "NONE";

char ordStatusOf(char simStatus)
{
    switch (simStatus) {
    case SimOrderStatus::PartFilled: return FIX::OrdStatus_PARTIALLY_FILLED;
    case SimOrderStatus::Filled: return FIX::OrdStatus_FILLED;
    case SimOrderStatus::Rejected: return FIX::OrdStatus_REJECTED;
    default: return FIX::OrdStatus_NEW;
    }
}

std::string fieldOf(const FIX::Message& message, int tag)
{
    return message.isSetField(tag) ? message.getField(tag) : std::string();
}

// A positive number from a field; 0 when missing or not a number.
double positiveOf(const FIX::Message& message, int tag)
{
    bool ok = false;
    const double value = QString::fromStdString(fieldOf(message, tag)).toDouble(&ok);
    return ok && value > 0.0 ? value : 0.0;
}

} // namespace

// The orders the exchange has seen, handled on the exchange object's thread only.
class FixSimExchange::Book
{
public:
    Book(SimBroker& broker, MarketSimulator& market, const SecurityCatalogue& catalogue)
        : m_broker(broker)
        , m_market(market)
        , m_catalogue(catalogue)
    {
    }

    void newOrder(const FIX::Message& message, const FIX::SessionID& session)
    {
        Entry entry;
        entry.clientOrderRef = fieldOf(message, FIX::FIELD::ClOrdID);
        entry.session = session;
        entry.symbol = fieldOf(message, FIX::FIELD::Symbol);
        entry.mic = fieldOf(message, FIX::FIELD::SecurityExchange);
        const std::string side = fieldOf(message, FIX::FIELD::Side);
        const std::string cashMargin = fieldOf(message, FIX::FIELD::CashMargin);
        entry.side = side.size() == 1 ? side[0] : FIX::Side_UNDISCLOSED;
        entry.cashMargin = cashMargin.size() == 1 ? cashMargin[0] : 0;

        int rejectReason = FIX::OrdRejReason_OTHER;
        SimOrderRequest request;
        const QString reason = orderProblem(message, entry, &request, &rejectReason);
        if (!reason.isEmpty()) {
            sendRefusal(entry, reason, rejectReason, FIX::ExecType_REJECTED);
            return;
        }
        Lev1MarketData quote;
        m_market.snapshot(request.SecurityKey, quote);
        const SimOrder order = m_broker.placeOrder(request, quote, SchedOrdClock::wallClockNow());
        entry.orderId = order.OrderID;
        m_entries[entry.clientOrderRef] = entry;
        m_refByOrderId[order.OrderID] = entry.clientOrderRef;

        if (order.Status == SimOrderStatus::Rejected) {
            send(entry, order, FIX::ExecType_REJECTED);
        } else {
            SimOrder accepted = order;
            accepted.Status = SimOrderStatus::Accepted;
            accepted.TradedVolume = 0;
            send(entry, accepted, FIX::ExecType_NEW);
            if (order.TradedVolume > 0)
                send(entry, order, FIX::ExecType_TRADE);
        }
        announce();
    }

    // Messages read from a session that has since stopped are lost, as in a crash: nothing is
    // booked or answered after stop(), and the client learns their fate by asking after logon.
    uint64_t sessionEpoch() const { return m_sessionEpoch; }
    void sessionsStopped() { ++m_sessionEpoch; }

    void statusRequest(const FIX::Message& message, const FIX::SessionID& session)
    {
        const std::string ref = fieldOf(message, FIX::FIELD::ClOrdID);
        const auto it = m_entries.find(ref);
        SimOrder order;
        if (it != m_entries.end() && findOrder(it->second.orderId, &order)) {
            send(it->second, order, FIX::ExecType_ORDER_STATUS);
            return;
        }
        Entry unknown;
        unknown.clientOrderRef = ref;
        unknown.session = session;
        unknown.symbol = fieldOf(message, FIX::FIELD::Symbol);
        const std::string side = fieldOf(message, FIX::FIELD::Side);
        unknown.side = side.size() == 1 ? side[0] : FIX::Side_UNDISCLOSED;
        sendRefusal(unknown, QStringLiteral("未知委托：%1").arg(QString::fromStdString(ref)),
                    FIX::OrdRejReason_UNKNOWN_ORDER, FIX::ExecType_ORDER_STATUS);
    }

    void matchResting(const QString& securityKey)
    {
        Lev1MarketData quote;
        if (!m_market.snapshot(securityKey, quote))
            return;
        const std::vector<SimOrder> changed = m_broker.matchResting(securityKey, quote, SchedOrdClock::wallClockNow());
        for (const SimOrder& order : changed) {
            const auto ref = m_refByOrderId.find(order.OrderID);
            if (ref != m_refByOrderId.end())
                send(m_entries[ref->second], order, FIX::ExecType_TRADE);
        }
        if (!changed.empty())
            announce();
    }

private:
    struct Entry {
        std::string clientOrderRef;
        FIX::SessionID session;
        std::string symbol;
        std::string mic;
        char side = 0;
        char cashMargin = 0;
        int orderId = 0;
        int reportedTraded = 0;
    };

    struct Fill {
        double amount = 0.0;
        double volume = 0.0;
    };

    // What keeps the order from the broker, for the trader; fills `request` when nothing does.
    QString orderProblem(const FIX::Message& message, const Entry& entry, SimOrderRequest* request, int* rejectReason)
    {
        if (m_entries.count(entry.clientOrderRef)) {
            *rejectReason = FIX::OrdRejReason_DUPLICATE_ORDER;
            return QStringLiteral("重复的委托编号：%1").arg(QString::fromStdString(entry.clientOrderRef));
        }
        if (fieldOf(message, FIX::FIELD::OrdType) != std::string(1, FIX::OrdType_LIMIT)) {
            *rejectReason = FIX::OrdRejReason_UNSUPPORTED_ORDER_CHARACTERISTIC;
            return QStringLiteral("仅支持限价委托");
        }
        const char exchange = FixOrderMessages::exchangeOf(entry.mic);
        const SecurityInfo* security = m_catalogue.find(QString::fromStdString(entry.symbol), exchange);
        if (!security) {
            *rejectReason = FIX::OrdRejReason_UNKNOWN_SYMBOL;
            return QStringLiteral("未知证券：%1 %2").arg(QString::fromStdString(entry.symbol), QString::fromStdString(entry.mic));
        }
        const char direction = FixOrderMessages::directionOf(entry.side, entry.cashMargin);
        if (!direction)
            return QStringLiteral("不支持的买卖方向：54=%1 544=%2").arg(QLatin1Char(entry.side)).arg(QLatin1Char(entry.cashMargin ? entry.cashMargin : '-'));
        const double volume = positiveOf(message, FIX::FIELD::OrderQty);
        if (volume < 1.0) {
            *rejectReason = FIX::OrdRejReason_INCORRECT_QUANTITY;
            return QStringLiteral("委托数量无效");
        }
        const double price = positiveOf(message, FIX::FIELD::Price);
        if (price <= 0.0)
            return QStringLiteral("委托价格无效");

        request->ClientOrderRef = QString::fromStdString(entry.clientOrderRef);
        request->SecurityKey = Util::GetSecurityKey(security->SecurityID, security->ExchangeID);
        request->SecurityID = security->SecurityID;
        request->ExchangeID = security->ExchangeID;
        request->Direction = direction;
        request->Price = price;
        request->Volume = static_cast<int>(volume);
        request->MinVolume = security->MinVolume;
        request->VolumeStep = security->VolumeStep;
        return QString();
    }

    bool findOrder(int orderId, SimOrder* out) const
    {
        for (const SimOrder& order : m_broker.orders()) {
            if (order.OrderID == orderId) {
                *out = order;
                return true;
            }
        }
        return false;
    }

    // Only the trades added since the last report are read: reading every trade for every
    // report made a burst of orders quadratic.
    double averagePrice(int orderId)
    {
        for (const SimTrade& trade : m_broker.tradesFrom(m_tradesSeen)) {
            Fill& fill = m_fills[trade.OrderID];
            fill.amount += trade.Price * trade.Volume;
            fill.volume += trade.Volume;
            ++m_tradesSeen;
        }
        const auto it = m_fills.find(orderId);
        return it != m_fills.end() && it->second.volume > 0.0 ? it->second.amount / it->second.volume : 0.0;
    }

    void send(Entry& entry, const SimOrder& order, char execType)
    {
        const bool rejected = order.Status == SimOrderStatus::Rejected;
        FIX44::ExecutionReport report(FIX::OrderID(std::to_string(order.OrderID)), FIX::ExecID(nextExecId()),
                                      FIX::ExecType(execType), FIX::OrdStatus(ordStatusOf(order.Status)),
                                      FIX::Side(entry.side),
                                      FIX::LeavesQty(rejected ? 0 : order.Volume - order.TradedVolume),
                                      FIX::CumQty(order.TradedVolume), FIX::AvgPx(averagePrice(order.OrderID)));
        describe(report, entry);
        report.set(FIX::OrderQty(order.Volume));
        report.set(FIX::Price(order.Price));
        if (rejected) {
            report.set(FIX::OrdRejReason(FIX::OrdRejReason_OTHER));
            report.set(FIX::Text(order.StatusMsg.toStdString()));
        }
        if (execType == FIX::ExecType_TRADE) {
            report.set(FIX::LastQty(order.TradedVolume - entry.reportedTraded));
            entry.reportedTraded = order.TradedVolume;
        }
        deliver(report, entry.session);
    }

    // A report for an order the broker never booked.
    void sendRefusal(const Entry& entry, const QString& text, int rejectReason, char execType)
    {
        FIX44::ExecutionReport report(FIX::OrderID(kNoOrderId), FIX::ExecID(nextExecId()), FIX::ExecType(execType),
                                      FIX::OrdStatus(FIX::OrdStatus_REJECTED), FIX::Side(entry.side),
                                      FIX::LeavesQty(0), FIX::CumQty(0), FIX::AvgPx(0));
        describe(report, entry);
        report.set(FIX::OrdRejReason(rejectReason));
        report.set(FIX::Text(text.toStdString()));
        deliver(report, entry.session);
    }

    static void describe(FIX44::ExecutionReport& report, const Entry& entry)
    {
        report.set(FIX::ClOrdID(entry.clientOrderRef));
        report.set(FIX::Symbol(entry.symbol.empty() ? std::string("[N/A]") : entry.symbol));
        if (!entry.mic.empty())
            report.set(FIX::SecurityExchange(entry.mic));
        if (entry.cashMargin)
            report.set(FIX::CashMargin(entry.cashMargin));
        report.set(FIX::TransactTime(FIX::UtcTimeStamp(), 3));
    }

    void deliver(FIX::Message& report, const FIX::SessionID& session)
    {
        try {
            if (FIX::Session::sendToTarget(report, session))
                return;
        } catch (const FIX::SessionNotFound&) {
        }
        WindowManager::LogStgy(QStringLiteral("模拟交易所：执行报告未能发出（%1）")
                                   .arg(QString::fromStdString(fieldOf(report, FIX::FIELD::ClOrdID))),
                               kFixSimLogType, spdlog::level::warn);
    }

    void announce()
    {
        m_broker.announceChanges(m_broker.takeChanges());
    }

    std::string nextExecId() { return std::to_string(++m_lastExecId); }

    SimBroker& m_broker;
    MarketSimulator& m_market;
    const SecurityCatalogue& m_catalogue;
    std::map<std::string, Entry> m_entries;         // by ClOrdID
    std::map<int, std::string> m_refByOrderId;
    std::map<int, Fill> m_fills;                    // by OrderID
    size_t m_tradesSeen = 0;
    long long m_lastExecId = 0;
    uint64_t m_sessionEpoch = 0;
};

// QuickFIX's side. Its callbacks hand the orders on through the event loop, so that a report
// never leaves from inside another order's handling.
class FixSimExchange::Session final : public FIX::Application
{
public:
    Session(FixSimExchange& owner, Book& book, const FixSessionSettings& settings)
        : m_owner(owner)
        , m_book(book)
        , m_settings(settings.toQuickFix(FixSessionSettings::Role::Acceptor))
        , m_storeFactory(m_settings)
        , m_logFactory(m_settings)
        , m_acceptor(*this, m_storeFactory, m_logFactory)
    {
    }

    bool start(const QString& address, int port, QString* whyNot)
    {
        return m_acceptor.start(m_settings, address, port, whyNot);
    }
    void stop() { m_acceptor.stop(); }
    int port() const { return m_acceptor.port(); }
    bool hasClient() const { return m_loggedOn > 0; }

    void onCreate(const FIX::SessionID&) override {}

    void onLogon(const FIX::SessionID& id) override
    {
        ++m_loggedOn;
        log(QStringLiteral("模拟交易所：%1 已登录").arg(QString::fromStdString(id.getTargetCompID().getValue())));
        emit m_owner.signalClientLoggedOn();
    }

    void onLogout(const FIX::SessionID& id) override
    {
        if (m_loggedOn > 0)
            --m_loggedOn;
        log(QStringLiteral("模拟交易所：%1 已断开").arg(QString::fromStdString(id.getTargetCompID().getValue())));
        emit m_owner.signalClientLoggedOut();
    }

    void toAdmin(FIX::Message&, const FIX::SessionID&) override {}
    void toApp(FIX::Message&, const FIX::SessionID&) throw(FIX::DoNotSend) override {}
    void fromAdmin(const FIX::Message&, const FIX::SessionID&)
        throw(FIX::FieldNotFound, FIX::IncorrectDataFormat, FIX::IncorrectTagValue, FIX::RejectLogon) override
    {
    }

    // A message without ClOrdID throws FieldNotFound here, and QuickFIX rejects it.
    void fromApp(const FIX::Message& message, const FIX::SessionID& id)
        throw(FIX::FieldNotFound, FIX::IncorrectDataFormat, FIX::IncorrectTagValue, FIX::UnsupportedMessageType) override
    {
        FIX::MsgType type;
        message.getHeader().getField(type);
        const bool newOrder = type.getValue() == FIX::MsgType_NewOrderSingle;
        if (!newOrder && type.getValue() != FIX::MsgType_OrderStatusRequest)
            throw FIX::UnsupportedMessageType();
        message.getField(FIX::FIELD::ClOrdID);
        Book* book = &m_book;
        FixSimExchange* owner = &m_owner;
        const uint64_t epoch = book->sessionEpoch();
        QMetaObject::invokeMethod(owner, [owner, book, message, id, newOrder, epoch] {
            const QString ref = QString::fromStdString(fieldOf(message, FIX::FIELD::ClOrdID));
            if (book->sessionEpoch() != epoch) {
                log(QStringLiteral("模拟交易所已停止，未处理的消息已丢弃：%1").arg(ref));
                return;
            }
            if (!newOrder) {
                book->statusRequest(message, id);
                return;
            }
            book->newOrder(message, id);
            emit owner->signalOrderTaken(ref);
        }, Qt::QueuedConnection);
    }

private:
    static void log(const QString& text) { WindowManager::LogStgy(text, kFixSimLogType, spdlog::level::info); }

    FixSimExchange& m_owner;
    Book& m_book;
    FIX::SessionSettings m_settings;
    FIX::FileStoreFactory m_storeFactory;
    FIX::FileLogFactory m_logFactory;
    FixSocketAcceptor m_acceptor;
    int m_loggedOn = 0;
};

FixSimExchange::FixSimExchange(const FixSessionSettings& settings, SimBroker& broker, MarketSimulator& market,
                               const SecurityCatalogue& catalogue, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_book(std::make_unique<Book>(broker, market, catalogue))
{
    connect(&market, &MarketSimulator::quoteUpdated, this,
            [this](const QString& securityKey) { m_book->matchResting(securityKey); });
}

FixSimExchange::~FixSimExchange()
{
    stop();
}

bool FixSimExchange::start(QString* whyNot)
{
    if (m_session)
        return true;
    *whyNot = m_settings.problem(FixSessionSettings::Role::Acceptor);
    if (!whyNot->isEmpty())
        return false;
    QString problem;
    try {
        m_session = std::make_unique<Session>(*this, *m_book, m_settings);
        if (m_session->start(m_settings.host, m_settings.port, &problem))
            return true;
    } catch (const FIX::ConfigError& error) {
        problem = QString::fromStdString(error.detail);
    }
    *whyNot = QStringLiteral("模拟交易所无法启动：%1").arg(problem);
    m_session.reset();
    return false;
}

int FixSimExchange::port() const
{
    return m_session ? m_session->port() : 0;
}

void FixSimExchange::stop()
{
    if (!m_session)
        return;
    m_session->stop();
    m_session.reset();
    // After the sockets closed: waiting for the logout to leave may still have read messages.
    m_book->sessionsStopped();
}

bool FixSimExchange::hasClient() const
{
    return m_session && m_session->hasClient();
}
