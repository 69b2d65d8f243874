#include "BrokerTableWid.h"

#include "SchedOrdClock.h"
#include "SimBroker.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QStringList titlesOf(BrokerTableWid::Kind kind)
{
    switch (kind) {
    case BrokerTableWid::Orders:
        return {QStringLiteral("委托编号"), QStringLiteral("证券代码"), QStringLiteral("方向"), QStringLiteral("价格"),
                QStringLiteral("数量"), QStringLiteral("成交数量"), QStringLiteral("状态"), QStringLiteral("说明"),
                QStringLiteral("时间")};
    case BrokerTableWid::Trades:
        return {QStringLiteral("成交编号"), QStringLiteral("委托编号"), QStringLiteral("证券代码"), QStringLiteral("方向"),
                QStringLiteral("成交价格"), QStringLiteral("成交数量"), QStringLiteral("成交时间")};
    case BrokerTableWid::Positions:
        return {QStringLiteral("证券代码"), QStringLiteral("证券名称"), QStringLiteral("持仓数量"),
                QStringLiteral("可用数量"), QStringLiteral("成本价")};
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

void BrokerTableWid::initWid()
{
    if (m_model)
        return;
    buildTable();
    // The broker reports from the engine thread while the engine holds its lock.
    if (SimBroker* simBroker = broker()) {
        connect(simBroker, &SimBroker::signalOrdersChanged, this, &BrokerTableWid::scheduleRefresh,
                Qt::QueuedConnection);
        connect(simBroker, &SimBroker::signalAccountChanged, this, &BrokerTableWid::scheduleRefresh,
                Qt::QueuedConnection);
    }
}

void BrokerTableWid::refreshWid()
{
    m_refreshPosted = false;
    if (!m_model)
        return;
    m_model->removeRows(0, m_model->rowCount());
    switch (m_kind) {
    case Orders: fillOrders(); break;
    case Trades: fillTrades(); break;
    case Positions: fillPositions(); break;
    }
}

void BrokerTableWid::scheduleRefresh()
{
    if (m_refreshPosted)
        return;
    m_refreshPosted = true;
    QTimer::singleShot(0, this, &BrokerTableWid::refreshWid);
}

void BrokerTableWid::buildTable()
{
    m_model = new QStandardItemModel(0, titlesOf(m_kind).size(), this);
    m_model->setHorizontalHeaderLabels(titlesOf(m_kind));
    m_view = new QTableView(this);
    m_view->setObjectName(objectNameOf(m_kind));
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(23);
    m_view->horizontalHeader()->setStretchLastSection(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

void BrokerTableWid::fillOrders()
{
    const SimBroker* simBroker = broker();
    if (!simBroker)
        return;
    const int apiType = m_userData->getApiType();
    for (const SimOrder& order : simBroker->orders()) {
        const int decimals = m_userData->GetPriceDecimalsByKey(order.SecurityKey);
        appendRow({QString::number(order.OrderID), order.SecurityID, Util::ParseDirection(apiType, order.Direction),
                   QString::number(order.Price, 'f', decimals), QString::number(order.Volume),
                   QString::number(order.TradedVolume), orderStatusText(order.Status), order.StatusMsg,
                   SchedOrdClock::timeOfDayText(order.InsertTime)});
    }
}

void BrokerTableWid::fillTrades()
{
    const SimBroker* simBroker = broker();
    if (!simBroker)
        return;
    const int apiType = m_userData->getApiType();
    for (const SimTrade& trade : simBroker->trades()) {
        const int decimals = m_userData->GetPriceDecimalsByKey(trade.SecurityKey);
        appendRow({QString::number(trade.TradeID), QString::number(trade.OrderID), codeOfKey(trade.SecurityKey),
                   Util::ParseDirection(apiType, trade.Direction), QString::number(trade.Price, 'f', decimals),
                   QString::number(trade.Volume), SchedOrdClock::timeOfDayText(trade.TradeTime)});
    }
}

void BrokerTableWid::fillPositions()
{
    const SimBroker* simBroker = broker();
    if (!simBroker)
        return;
    for (const SimPosition& position : simBroker->positions()) {
        const int decimals = m_userData->GetPriceDecimalsByKey(position.SecurityKey);
        appendRow({codeOfKey(position.SecurityKey), m_userData->GetSecurityNameByKey(position.SecurityKey),
                   QString::number(position.Volume), QString::number(position.Available),
                   QString::number(position.CostPrice, 'f', decimals)});
    }
}

void BrokerTableWid::appendRow(const QStringList& texts)
{
    QList<QStandardItem*> items;
    for (const QString& text : texts)
        items.append(new QStandardItem(text));
    m_model->appendRow(items);
}

SimBroker* BrokerTableWid::broker() const
{
    return m_userData ? &m_userData->broker() : nullptr;
}
