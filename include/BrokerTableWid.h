#pragma once

#include "ISubModuleWid.h"
#include "SubwinType.h"
#include "VelmBaseExport.h"

#include <QHash>
#include <QPointer>

#include <cstdint>
#include <vector>

class BrokerTableModel;
class MyTableView;
class QAbstractItemModel;
class SimBroker;
class UserData;
struct SimOrder;
struct SimTrade;

// The host's order, trade and position windows of one account: the simulated broker's records,
// following the broker's reports. Only changed orders and new trades are formatted again, a few
// hundred rows per turn of the event loop, so that a burst of thousands of orders never holds
// the window up.
class VELM_BASE_EXPORT BrokerTableWid : public ISubModuleWid
{
    Q_OBJECT
public:
    enum Kind { Orders, Trades, Positions };
    static constexpr int RowsPerTurn = 500;

    BrokerTableWid(Kind kind, int accountId, Subwin_Type subwinType, QWidget* parent);
    ~BrokerTableWid() override;

    void initWid() override;
    // Brings the whole table up to date at once.
    void refreshWid() override;

    Kind kind() const { return m_kind; }
    QAbstractItemModel* model() const;

private:
    void buildTable();
    // Many reports in a row (the engine fires a burst of orders) cost one catch-up.
    void scheduleCatchUp();
    void catchUp();
    // Shows at most `budget` changed records; true when none is left waiting.
    bool showChanges(int budget);
    bool showOrderChanges(int budget);
    bool showNewTrades(int budget);
    void showPositions();
    QStringList orderTexts(const SimOrder& order) const;
    QStringList tradeTexts(const SimTrade& trade) const;
    bool isCreditAccount() const;
    SimBroker* broker() const;

    Kind m_kind;
    int m_accountId;
    QPointer<UserData> m_userData;
    BrokerTableModel* m_model = nullptr;
    MyTableView* m_view = nullptr;
    bool m_catchUpPosted = false;
    // Fetched from the broker and not yet shown.
    std::vector<SimOrder> m_waitingOrders;
    std::vector<SimTrade> m_waitingTrades;
    size_t m_waitingShown = 0;
    uint64_t m_ordersRevision = 0;
    size_t m_tradesFetched = 0;
    QHash<int, int> m_orderRows;    // order id -> row
};
