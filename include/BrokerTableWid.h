#pragma once

#include "ISubModuleWid.h"
#include "SubwinType.h"
#include "VelmBaseExport.h"

#include <QPointer>

class QStandardItemModel;
class QTableView;
class SimBroker;
class UserData;

// The host's order, trade and position windows of one account: the simulated broker's records,
// refreshed as the broker reports changes.
class VELM_BASE_EXPORT BrokerTableWid : public ISubModuleWid
{
    Q_OBJECT
public:
    enum Kind { Orders, Trades, Positions };

    BrokerTableWid(Kind kind, int accountId, Subwin_Type subwinType, QWidget* parent);
    ~BrokerTableWid() override;

    void initWid() override;
    void refreshWid() override;

    Kind kind() const { return m_kind; }
    QStandardItemModel* model() const { return m_model; }

private:
    void buildTable();
    // Many changes in a row (the engine fires a burst of orders) cost one reload.
    void scheduleRefresh();
    void fillOrders();
    void fillTrades();
    void fillPositions();
    void appendRow(const QStringList& texts);
    SimBroker* broker() const;

    Kind m_kind;
    int m_accountId;
    QPointer<UserData> m_userData;
    QStandardItemModel* m_model = nullptr;
    QTableView* m_view = nullptr;
    bool m_refreshPosted = false;
};
