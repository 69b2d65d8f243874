#include "BrokerTableWid.h"

#include "BrokerTableModel.h"
#include "MyTableView.h"
#include "SchedOrdClock.h"
#include "SimBroker.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"

#include <QHeaderView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

namespace {

constexpr int kCreditApiType = 2;
constexpr int kRowHeight = 23;

QStringList titlesOf(BrokerTableWid::Kind kind, bool credit)
{
    switch (kind) {
    case BrokerTableWid::Orders:
        return {QStringLiteral("委托编号"), QStringLiteral("证券代码"), QStringLiteral("证券名称"), QStringLiteral("方向"),
                QStringLiteral("价格"), QStringLiteral("数量"), QStringLiteral("成交数量"), QStringLiteral("状态"),
                QStringLiteral("说明"), QStringLiteral("时间")};
    case BrokerTableWid::Trades:
        return {QStringLiteral("成交编号"), QStringLiteral("委托编号"), QStringLiteral("证券代码"), QStringLiteral("证券名称"),
                QStringLiteral("方向"), QStringLiteral("成交价格"), QStringLiteral("成交数量"), QStringLiteral("成交时间")};
    case BrokerTableWid::Positions: {
        QStringList titles{QStringLiteral("证券代码"), QStringLiteral("证券名称"), QStringLiteral("持仓数量"),
                           QStringLiteral("可用数量"), QStringLiteral("成本价")};
        if (credit)
            titles << QStringLiteral("融券数量") << QStringLiteral("融券负债");
        return titles;
    }
    }
    return {};
}

QVector<int> numericColumnsOf(BrokerTableWid::Kind kind, bool credit)
{
    switch (kind) {
    case BrokerTableWid::Orders: return {0, 4, 5, 6};
    case BrokerTableWid::Trades: return {0, 1, 5, 6};
    case BrokerTableWid::Positions: return credit ? QVector<int>{2, 3, 4, 5, 6} : QVector<int>{2, 3, 4};
    }
    return {};
}

QString objectNameOf(BrokerTableWid::Kind kind)
{
    switch (kind) {
    case BrokerTableWid::Orders: return QStringLiteral("tableView_broker_orders");
    case BrokerTableWid::Trades: return QStringLiteral("tableView_broker_trades");
    case BrokerTableWid::Positions: return QStringLiteral("tableView_broker_positions");
    }
    return QString();
}

QString orderStatusText(char status)
{
    switch (status) {
    case SimOrderStatus::Accepted: return QStringLiteral("已报");
    case SimOrderStatus::PartFilled: return QStringLiteral("部分成交");
    case SimOrderStatus::Filled: return QStringLiteral("全部成交");
    case SimOrderStatus::Rejected: return QStringLiteral("废单");
    default: return QString();
    }
}

// "600000.SH" -> "600000".
QString codeOfKey(const QString& securityKey)
{
    return securityKey.section(QLatin1Char('.'), 0, 0);
}

} // namespace

BrokerTableWid::BrokerTableWid(Kind kind, int accountId, Subwin_Type subwinType, QWidget* parent)
    : ISubModuleWid(parent)
    , m_kind(kind)
    , m_accountId(accountId)
    , m_userData(UserDataManager::instance()->getUserData(accountId))
{
    Q_UNUSED(subwinType)
}

BrokerTableWid::~BrokerTableWid() = default;

QAbstractItemModel* BrokerTableWid::model() const
{
    return m_model;
}

void BrokerTableWid::initWid()
{
    if (m_model)
        return;
    buildTable();
    // The broker reports from the engine thread: queued, and caught up with once per turn.
    if (SimBroker* simBroker = broker()) {
        connect(simBroker, &SimBroker::signalOrdersChanged, this, &BrokerTableWid::scheduleCatchUp,
                Qt::QueuedConnection);
        connect(simBroker, &SimBroker::signalAccountChanged, this, &BrokerTableWid::scheduleCatchUp,
                Qt::QueuedConnection);
    }
}

void BrokerTableWid::refreshWid()
{
    if (m_model)
        showChanges(INT_MAX);
}

void BrokerTableWid::scheduleCatchUp()
{
    if (m_catchUpPosted)
        return;
    m_catchUpPosted = true;
    QTimer::singleShot(0, this, &BrokerTableWid::catchUp);
}

void BrokerTableWid::catchUp()
{
    m_catchUpPosted = false;
    if (!showChanges(RowsPerTurn))
        scheduleCatchUp();
}

bool BrokerTableWid::showChanges(int budget)
{
    if (!broker())
        return true;
    switch (m_kind) {
    case Orders: return showOrderChanges(budget);
    case Trades: return showNewTrades(budget);
    case Positions: showPositions(); return true;
    }
    return true;
}

bool BrokerTableWid::showOrderChanges(int budget)
{
    if (m_waitingShown == m_waitingOrders.size()) {
        m_waitingOrders = broker()->ordersChangedSince(m_ordersRevision, &m_ordersRevision);
        m_waitingShown = 0;
    }
    // Orders new to the table come in order of placing and are appended together.
    QVector<QStringList> appended;
    const size_t end = m_waitingShown + std::min<size_t>(size_t(budget), m_waitingOrders.size() - m_waitingShown);
    for (; m_waitingShown < end; ++m_waitingShown) {
        const SimOrder& order = m_waitingOrders[m_waitingShown];
        const auto row = m_orderRows.constFind(order.OrderID);
        if (row != m_orderRows.constEnd()) {
            m_model->replaceRow(*row, orderTexts(order));
            continue;
        }
        m_orderRows.insert(order.OrderID, m_model->rowCount() + appended.size());
        appended.append(orderTexts(order));
    }
    m_model->appendRows(appended);
    if (m_waitingShown < m_waitingOrders.size())
        return false;
    m_waitingOrders.clear();
    m_waitingShown = 0;
    return true;
}

bool BrokerTableWid::showNewTrades(int budget)
{
    if (m_waitingShown == m_waitingTrades.size()) {
        m_waitingTrades = broker()->tradesFrom(m_tradesFetched);
        m_tradesFetched += m_waitingTrades.size();
        m_waitingShown = 0;
    }
    QVector<QStringList> appended;
    const size_t end = m_waitingShown + std::min<size_t>(size_t(budget), m_waitingTrades.size() - m_waitingShown);
    for (; m_waitingShown < end; ++m_waitingShown)
        appended.append(tradeTexts(m_waitingTrades[m_waitingShown]));
    m_model->appendRows(appended);
    if (m_waitingShown < m_waitingTrades.size())
        return false;
    m_waitingTrades.clear();
    m_waitingShown = 0;
    return true;
}

// A handful of securities: the whole list is compared each time.
void BrokerTableWid::showPositions()
{
    const bool credit = isCreditAccount();
    QVector<QStringList> rows;
    for (const SimPosition& position : broker()->positions()) {
        const int decimals = m_userData->GetPriceDecimalsByKey(position.SecurityKey);
        QStringList texts{codeOfKey(position.SecurityKey), m_userData->GetSecurityNameByKey(position.SecurityKey),
                          QString::number(position.Volume), QString::number(position.Available),
                          QString::number(position.CostPrice, 'f', decimals)};
        if (credit)
            texts << QString::number(position.ShortVolume) << QString::number(position.ShortLiability, 'f', 2);
        rows.append(texts);
    }
    m_model->setRows(rows);
}

QStringList BrokerTableWid::orderTexts(const SimOrder& order) const
{
    const int decimals = m_userData->GetPriceDecimalsByKey(order.SecurityKey);
    return {QString::number(order.OrderID), order.SecurityID, m_userData->GetSecurityNameByKey(order.SecurityKey),
            Util::ParseDirection(m_userData->getApiType(), order.Direction), QString::number(order.Price, 'f', decimals),
            QString::number(order.Volume), QString::number(order.TradedVolume), orderStatusText(order.Status),
            order.StatusMsg, SchedOrdClock::timeOfDayText(order.InsertTime)};
}

QStringList BrokerTableWid::tradeTexts(const SimTrade& trade) const
{
    const int decimals = m_userData->GetPriceDecimalsByKey(trade.SecurityKey);
    return {QString::number(trade.TradeID), QString::number(trade.OrderID), codeOfKey(trade.SecurityKey),
            m_userData->GetSecurityNameByKey(trade.SecurityKey),
            Util::ParseDirection(m_userData->getApiType(), trade.Direction),
            QString::number(trade.Price, 'f', decimals), QString::number(trade.Volume),
            SchedOrdClock::timeOfDayText(trade.TradeTime)};
}

void BrokerTableWid::buildTable()
{
    const bool credit = isCreditAccount();
    m_model = new BrokerTableModel(titlesOf(m_kind, credit), numericColumnsOf(m_kind, credit), this);
    m_view = new MyTableView(this);
    m_view->setObjectName(objectNameOf(m_kind));
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(kRowHeight);
    m_view->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

bool BrokerTableWid::isCreditAccount() const
{
    return m_userData && m_userData->getApiType() == kCreditApiType;
}

SimBroker* BrokerTableWid::broker() const
{
    return m_userData && m_model ? &m_userData->broker() : nullptr;
}
