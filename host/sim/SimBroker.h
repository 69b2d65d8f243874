#pragma once

#include "Lev1MarketData.h"
#include "VelmBaseExport.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

// An order as the engine sends it.
struct SimOrderRequest
{
    int MainTaskID = 0;
    int SubTaskID = 0;
    QString SecurityKey;
    QString SecurityID;
    char ExchangeID = 0;
    char Direction = 0;
    double Price = 0.0;
    int Volume = 0;
    int MinVolume = 1;
    int VolumeStep = 1;
    QString ClientOrderRef;     // the sender's own name for the order, kept on it
};

namespace SimOrderStatus {
constexpr char Accepted = '0';   // resting in the book
constexpr char PartFilled = '1';
constexpr char Filled = '2';
constexpr char Rejected = '3';
}

struct SimOrder
{
    int OrderID = 0;
    int MainTaskID = 0;
    int SubTaskID = 0;
    QString ClientOrderRef;
    QString SecurityKey;
    QString SecurityID;
    char ExchangeID = 0;
    char Direction = 0;
    double Price = 0.0;
    int Volume = 0;
    int TradedVolume = 0;
    char Status = SimOrderStatus::Accepted;
    QString StatusMsg;
    int64_t InsertTime = 0;
    uint64_t Revision = 0;      // the broker's change count when the order last changed
};

struct SimTrade
{
    int TradeID = 0;
    int OrderID = 0;
    QString SecurityKey;
    char Direction = 0;
    double Price = 0.0;
    int Volume = 0;
    int64_t TradeTime = 0;
};

struct SimPosition
{
    QString SecurityKey;
    int Volume = 0;
    int Available = 0;
    double CostPrice = 0.0;
    int ShortVolume = 0;        // sold short and not yet returned (credit accounts)
    double ShortLiability = 0.0;    // what the short sales are owed at their trade prices
};

// The simulated broker of one account: funds, positions, credit quotas, orders and trades.
// Called from the engine thread and the GUI thread alike; every member is guarded.
//
// placeOrder and matchResting do not emit: their caller (the engine) holds its own lock, so it
// takes what they changed with takeChanges() and announces it once that lock is released.
//
// An accepted order reserves what it needs at once (funds or credit line at its limit price,
// position or short quota by volume); a trade at a better price gives the difference back.
// A buy at or above ask 1 (a sell at or below bid 1) trades at once against the quote's five
// opposite levels, as far as their volumes reach; what is left rests and trades when a later
// quote crosses it. Bought shares are sellable at once (no T+1), short-sale proceeds go to the
// funds, fees are ignored, and a sell may be an odd lot (only buys are held to lots and minimums).
class VELM_BASE_EXPORT SimBroker : public QObject
{
    Q_OBJECT
public:
    enum Change { OrdersChanged = 0x1, AccountChanged = 0x2 };
    Q_DECLARE_FLAGS(Changes, Change)

    // What the broker holds, to store it and to restore it after a restart.
    struct State {
        bool accountIncluded = true;            // funds, ids, positions and quotas below
        double funds = 0.0;
        double creditLine = 0.0;
        int nextOrderId = 1;
        int nextTradeId = 1;
        std::vector<SimPosition> positions;
        std::vector<std::pair<QString, int>> shortQuotas;
        std::vector<SimOrder> orders;
        std::vector<SimTrade> trades;
    };
    // A reader's place in the broker's history, so that it takes only what changed.
    struct Cursor {
        uint64_t orderRevision = 0;
        size_t tradeCount = 0;
        uint64_t accountRevision = 0;
    };

    explicit SimBroker(int apiType, QObject* parent = nullptr);

    // Hears of every order placeOrder books or rejects, at once, on the placing thread and outside
    // the broker's lock, once the order is booked (a crash test counts what reached the broker even
    // when the engine slice that placed it is never stored). Set it before any order is placed.
    using PlacedOrderObserver = std::function<void(const SimOrder&)>;
    void setPlacedOrderObserver(PlacedOrderObserver observer);

    double availableFunds() const;
    void setAvailableFunds(double funds);
    double creditLine() const;                  // financed-buy line of a credit account
    void setCreditLine(double amount);
    int positionAvailable(const QString& securityKey) const;
    void setPosition(const QString& securityKey, int volume, double costPrice);
    int shortQuota(const QString& securityKey) const;   // securities that may be sold short
    void setShortQuota(const QString& securityKey, int volume);

    // Checks and books an order; a marketable order trades at once against the quote's levels.
    // The returned order says what happened (Status, TradedVolume, StatusMsg).
    SimOrder placeOrder(const SimOrderRequest& request, const Lev1MarketData& quote, int64_t now);
    // Trades resting orders of the security that the quote now crosses; returns those that changed.
    std::vector<SimOrder> matchResting(const QString& securityKey, const Lev1MarketData& quote, int64_t now);
    bool hasResting(const QString& securityKey) const;

    // Everything, and the cursor that has seen it.
    State state(Cursor* cursor = nullptr) const;
    // What changed after `cursor` (the account part only if it changed); false when nothing did.
    bool changesSince(Cursor& cursor, State& out) const;
    // Replaces everything held; resting orders rest again.
    void restore(const State& state);
    bool findOrderByClientRef(const QString& clientOrderRef, SimOrder* out) const;

    // What placeOrder and matchResting changed since the last call.
    Changes takeChanges();
    // Emits the signals of `changes` on the calling thread.
    void announceChanges(Changes changes);

    std::vector<SimOrder> orders() const;
    // The orders that changed after `revision`, in order of placing; `latest` gets the revision
    // they bring the caller up to.
    std::vector<SimOrder> ordersChangedSince(uint64_t revision, uint64_t* latest) const;
    std::vector<SimTrade> trades() const;
    // Trades are only ever appended: those from the `first`-th on.
    std::vector<SimTrade> tradesFrom(size_t first) const;
    // Ordered by security key.
    std::vector<SimPosition> positions() const;

signals:
    // Funds or positions changed. Emitted on the calling thread by the setters and by
    // announceChanges() (the engine's thread for its orders): connect these queued.
    void signalAccountChanged();
    void signalOrdersChanged();

private:
    enum class Resource { Funds, CreditLine, Position, ShortQuota, None };
    Resource resourceOf(char direction) const;
    QString rejectionReason(const SimOrderRequest& request, Resource resource) const;
    void reserve(const SimOrder& order, Resource resource);
    // Trades `order` against the opposite levels whose volumes are left in `levelVolumes`.
    bool trade(SimOrder& order, const Lev1MarketData& quote, double* levelVolumes, int64_t now);
    void book(SimOrder& order, double price, int volume, int64_t now);
    void recordShortSale(const QString& securityKey, double price, int volume);

    int m_apiType;
    PlacedOrderObserver m_placedOrderObserver;
    mutable std::mutex m_mutex;
    double m_funds = 0.0;
    double m_creditLine = 0.0;
    QHash<QString, SimPosition> m_positions;
    QHash<QString, int> m_shortQuota;
    std::vector<SimOrder> m_orders;
    std::vector<size_t> m_resting;              // indices into m_orders
    std::vector<SimTrade> m_trades;
    int m_nextOrderId = 1;
    int m_nextTradeId = 1;
    Changes m_changes;
    uint64_t m_revision = 0;
    uint64_t m_accountRevision = 1;             // funds, positions, quotas; 1: never stored yet
    QHash<QString, size_t> m_orderByClientRef;  // indices into m_orders
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SimBroker::Changes)
