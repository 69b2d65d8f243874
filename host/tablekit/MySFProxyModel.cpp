#include "MySFProxyModel.h"

#include "MyStandardTableModel.h"

#include <QDate>
#include <QDateTime>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace {

// Above this many rows whose filter result flipped, one full re-filter and re-sort is cheaper
// than Qt's row-by-row removal and insertion (each of which rebuilds the whole mapping).
constexpr int kMaxFlipsForIncrementalFilter = 8;
// Ranks are rebuilt once more than this share of the rows has none (changed or added since).
constexpr int kRankRebuildDivisor = 8;

template <typename T>
const T& stored(const QVariant& value)
{
    return *static_cast<const T*>(value.constData());
}

bool stringLessThan(const QString& left, const QString& right, Qt::CaseSensitivity cs, bool localeAware)
{
    return localeAware ? QString::localeAwareCompare(left, right) < 0 : QString::compare(left, right, cs) < 0;
}

// QSortFilterProxyModel's comparison of two values (switched on the left value's type, the right
// one converted to it), reading same-typed values in place instead of converting copies.
bool variantLessThan(const QVariant& left, const QVariant& right, Qt::CaseSensitivity cs, bool localeAware)
{
    const int leftType = left.userType();
    const int rightType = right.userType();
    if (leftType == QMetaType::UnknownType)
        return false;
    if (rightType == QMetaType::UnknownType)
        return true;
    if (leftType == rightType) {
        switch (leftType) {
        case QMetaType::Int: return stored<int>(left) < stored<int>(right);
        case QMetaType::LongLong: return stored<qlonglong>(left) < stored<qlonglong>(right);
        case QMetaType::Double: return stored<double>(left) < stored<double>(right);
        case QMetaType::QString: return stringLessThan(stored<QString>(left), stored<QString>(right), cs, localeAware);
        default: break;
        }
    }
    switch (leftType) {
    case QMetaType::Int: return left.toInt() < right.toInt();
    case QMetaType::UInt: return left.toUInt() < right.toUInt();
    case QMetaType::LongLong: return left.toLongLong() < right.toLongLong();
    case QMetaType::ULongLong: return left.toULongLong() < right.toULongLong();
    case QMetaType::Float: return left.toFloat() < right.toFloat();
    case QMetaType::Double: return left.toDouble() < right.toDouble();
    case QMetaType::QChar: return left.toChar() < right.toChar();
    case QMetaType::QDate: return left.toDate() < right.toDate();
    case QMetaType::QTime: return left.toTime() < right.toTime();
    case QMetaType::QDateTime: return left.toDateTime() < right.toDateTime();
    default: return stringLessThan(left.toString(), right.toString(), cs, localeAware);
    }
}

bool isNaN(const QVariant& value)
{
    switch (value.userType()) {
    case QMetaType::Double: return std::isnan(stored<double>(value));
    case QMetaType::Float: return std::isnan(stored<float>(value));
    default: return false;
    }
}

} // namespace

MySFProxyModel::MySFProxyModel(QString name, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_name(std::move(name))
{
    // Qt's dynamic sorting re-sorts once per changed row. This proxy keeps its rows sorted and
    // filtered itself: it checks changed and inserted rows and re-sorts at most once per burst.
    // Without dynamic sorting Qt still forwards the changes of shown rows and filters inserted ones.
    setDynamicSortFilter(false);
    // Rows shown by an insertion or a re-filter land where the source has them, not where they sort.
    connect(this, &QAbstractItemModel::rowsInserted, this, &MySFProxyModel::onRowsShown);
    // lessThan trusts the ranks without asking for the sort settings on every comparison, so the
    // ranks are checked whenever a setting may have changed: Qt announces every re-sort with
    // layoutAboutToBeChanged before comparing, and every changed setting with its signal.
    connect(this, &QAbstractItemModel::layoutAboutToBeChanged, this, &MySFProxyModel::dropRanksOfOtherSettings);
    connect(this, &QSortFilterProxyModel::sortRoleChanged, this, &MySFProxyModel::dropRanksOfOtherSettings);
    connect(this, &QSortFilterProxyModel::sortCaseSensitivityChanged, this,
            &MySFProxyModel::dropRanksOfOtherSettings);
    connect(this, &QSortFilterProxyModel::sortLocaleAwareChanged, this, &MySFProxyModel::dropRanksOfOtherSettings);
}

MySFProxyModel::~MySFProxyModel() = default;

void MySFProxyModel::setListColProperty(QList<ColProperty*> columns)
{
    m_columns = std::move(columns);
    locateColumns();
}

void MySFProxyModel::setFilterSecurityID(QString text)
{
    if (text == m_filterSecurityID)
        return;
    m_filterSecurityID = std::move(text);
    myValidate();
}

void MySFProxyModel::resetModel()
{
    if (m_mappingFresh) {
        m_mappingFresh = false;
        forgetPendingChanges();
        return;
    }
    invalidateWithRanks();
}

void MySFProxyModel::myValidate()
{
    // Not invalidateFilter(): on a large table it removes and inserts the rows one interval at
    // a time, each rebuilding the whole mapping; one layout change with a ranked re-sort is far
    // cheaper.
    invalidateWithRanks();
}

void MySFProxyModel::setSourceModel(QAbstractItemModel* sourceModel)
{
    if (sourceModel == this->sourceModel())
        return;
    for (const QMetaObject::Connection& connection : qAsConst(m_sourceConnections))
        disconnect(connection);
    m_sourceConnections.clear();
    m_tableModel = qobject_cast<MyStandardTableModel*>(sourceModel);
    m_sortRanks = SortRanks();
    forgetPendingChanges();
    // Connected before Qt's own handlers, so that the ranks are right whenever Qt compares rows.
    if (sourceModel)
        connectSource(sourceModel);
    QSortFilterProxyModel::setSourceModel(sourceModel);
    m_mappingFresh = true;
}

void MySFProxyModel::sort(int column, Qt::SortOrder order)
{
    ensureRanks(column);
    QSortFilterProxyModel::sort(column, order);
}

void MySFProxyModel::locateColumns()
{
    // The base proxy reads no column beyond the one a subclass names as the security code.
}

bool MySFProxyModel::acceptsSecurityID(int sourceRow) const
{
    const QAbstractItemModel* source = sourceModel();
    if (m_filterSecurityID.isEmpty() || m_securityIdColumn < 0 || !source
        || m_securityIdColumn >= source->columnCount())
        return true;
    if (const MyStandardTableModel* model = m_tableModel.data())
        return model->cachedDisplayText(sourceRow, m_securityIdColumn).startsWith(m_filterSecurityID);
    return source->index(sourceRow, m_securityIdColumn).data().toString().startsWith(m_filterSecurityID);
}

bool MySFProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    Q_UNUSED(sourceParent)
    return acceptsSecurityID(sourceRow);
}

bool MySFProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    const int column = left.column();
    const bool cellsOfTable = left.model() && left.model() == m_tableModel.data() && right.model() == left.model()
        && right.column() == column;
    if (cellsOfTable && m_sortRanks.usable && m_sortRanks.column == column) {
        const std::vector<int>& ranks = m_sortRanks.ranks;
        const auto leftRow = static_cast<size_t>(left.row());
        const auto rightRow = static_cast<size_t>(right.row());
        if (leftRow < ranks.size() && rightRow < ranks.size() && ranks[leftRow] >= 0 && ranks[rightRow] >= 0)
            return ranks[leftRow] < ranks[rightRow];
    }
    if (cellsOfTable && isCachedSortColumn(column))
        return cachedLessThan(column, left.row(), right.row());
    return QSortFilterProxyModel::lessThan(left, right);
}

void MySFProxyModel::connectSource(QAbstractItemModel* sourceModel)
{
    m_sourceConnections.append(
        connect(sourceModel, &QAbstractItemModel::modelReset, this, &MySFProxyModel::onSourceReset));
    m_sourceConnections.append(
        connect(sourceModel, &QAbstractItemModel::dataChanged, this, &MySFProxyModel::onSourceDataChanged));
    // Row numbers move: the ranks no longer name the right rows.
    const auto forgetRanks = [this] { m_sortRanks = SortRanks(); };
    m_sourceConnections.append(connect(sourceModel, &QAbstractItemModel::rowsAboutToBeInserted, this,
                                       [this](const QModelIndex&, int first) {
                                           // Appended rows simply have no rank yet.
                                           if (static_cast<size_t>(first) < m_sortRanks.ranks.size())
                                               m_sortRanks = SortRanks();
                                       }));
    m_sourceConnections.append(connect(sourceModel, &QAbstractItemModel::rowsAboutToBeRemoved, this, forgetRanks));
    m_sourceConnections.append(connect(sourceModel, &QAbstractItemModel::rowsAboutToBeMoved, this, forgetRanks));
    m_sourceConnections.append(connect(sourceModel, &QAbstractItemModel::layoutAboutToBeChanged, this, forgetRanks));
    m_sourceConnections.append(connect(sourceModel, &QAbstractItemModel::columnsAboutToBeRemoved, this, forgetRanks));
    m_sourceConnections.append(connect(sourceModel, &QAbstractItemModel::columnsAboutToBeInserted, this, forgetRanks));
}

void MySFProxyModel::onSourceReset()
{
    forgetPendingChanges();
    m_mappingFresh = true;
    m_sortRanks = SortRanks();
    ensureRanks(sortColumn());
}

void MySFProxyModel::onSourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                         const QVector<int>& roles)
{
    if (!topLeft.isValid() || !bottomRight.isValid() || topLeft.parent().isValid())
        return;
    if (m_sortRanks.column >= topLeft.column() && m_sortRanks.column <= bottomRight.column()
        && (roles.isEmpty() || roles.contains(m_sortRanks.role)))
        dropRanks(topLeft.row(), bottomRight.row());
    if (dynamicSortFilter())
        return;   // switched back on by a user of the class: Qt places the rows itself
    const bool checkFilter = filterMayChange(roles);
    const bool checkOrder = sortMayChange(topLeft.column(), bottomRight.column(), roles);
    if (!checkFilter && !checkOrder)
        return;
    const QAbstractItemModel* source = sourceModel();
    for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
        const int proxyRow = mapFromSource(source->index(row, 0)).row();
        const bool shown = proxyRow >= 0;
        if (checkFilter && shown != filterAcceptsRow(row, QModelIndex()))
            ++m_filterFlips;
        else if (shown && checkOrder && !isInSortedPlace(proxyRow))
            m_resortPending = true;
    }
    postPendingChanges();
}

void MySFProxyModel::onRowsShown(const QModelIndex& parent, int first, int last)
{
    if (parent.isValid() || dynamicSortFilter() || sortColumn() < 0 || m_resortPending)
        return;
    for (int row = first; row <= last && !m_resortPending; ++row)
        m_resortPending = !isInSortedPlace(row);
    postPendingChanges();
}

bool MySFProxyModel::filterMayChange(const QVector<int>& roles) const
{
    return roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::UserRole)
        || roles.contains(filterRole());
}

bool MySFProxyModel::sortMayChange(int firstColumn, int lastColumn, const QVector<int>& roles) const
{
    const int column = sortColumn();
    if (column < firstColumn || column > lastColumn)
        return false;
    if (!roles.isEmpty() && !roles.contains(sortRole()))
        return false;
    // The key column names the row: its value never changes.
    const bool isKeyColumn = m_tableModel && column == m_tableModel->columnCount() - 1
        && (sortRole() == Qt::UserRole || sortRole() == Qt::DisplayRole);
    return !isKeyColumn;
}

bool MySFProxyModel::isInSortedPlace(int proxyRow) const
{
    const int column = sortColumn();
    const bool ascending = sortOrder() == Qt::AscendingOrder;
    const QModelIndex current = mapToSource(index(proxyRow, column));
    if (proxyRow > 0) {
        const QModelIndex previous = mapToSource(index(proxyRow - 1, column));
        if (ascending ? lessThan(current, previous) : lessThan(previous, current))
            return false;
    }
    if (proxyRow + 1 < rowCount()) {
        const QModelIndex next = mapToSource(index(proxyRow + 1, column));
        if (ascending ? lessThan(next, current) : lessThan(current, next))
            return false;
    }
    return true;
}

void MySFProxyModel::postPendingChanges()
{
    if (m_changeApplyPosted || (!m_resortPending && m_filterFlips == 0))
        return;
    m_changeApplyPosted = true;
    QTimer::singleShot(0, this, &MySFProxyModel::applyPendingChanges);
}

void MySFProxyModel::applyPendingChanges()
{
    const bool resort = m_resortPending;
    const int flips = m_filterFlips;
    forgetPendingChanges();
    if (resort || flips > kMaxFlipsForIncrementalFilter) {
        invalidateWithRanks();
    } else if (flips > 0) {
        invalidateFilter();
        if (m_resortPending)   // a row let through landed out of place
            invalidateWithRanks();
    }
    // Cleared last: rows shown by the re-filter above are handled here, not by another posting.
    m_changeApplyPosted = false;
}

void MySFProxyModel::forgetPendingChanges()
{
    m_resortPending = false;
    m_filterFlips = 0;
}

void MySFProxyModel::invalidateWithRanks()
{
    forgetPendingChanges();
    ensureRanks(sortColumn());
    invalidate();
}

bool MySFProxyModel::isCachedSortColumn(int column) const
{
    const MyStandardTableModel* model = m_tableModel.data();
    const int role = sortRole();
    return model && column >= model->columnOffset() && column < model->columnCount()
        && (role == Qt::UserRole || role == Qt::DisplayRole);
}

bool MySFProxyModel::cachedLessThan(int column, int leftRow, int rightRow) const
{
    const MyStandardTableModel* model = m_tableModel.data();
    if (sortRole() == Qt::DisplayRole) {
        return stringLessThan(model->cachedDisplayText(leftRow, column), model->cachedDisplayText(rightRow, column),
                              sortCaseSensitivity(), isSortLocaleAware());
    }
    return variantLessThan(model->cachedUserValue(leftRow, column), model->cachedUserValue(rightRow, column),
                           sortCaseSensitivity(), isSortLocaleAware());
}

bool MySFProxyModel::ranksMatchSettings(int column) const
{
    return m_sortRanks.column == column && m_sortRanks.role == sortRole()
        && m_sortRanks.caseSensitivity == sortCaseSensitivity() && m_sortRanks.localeAware == isSortLocaleAware();
}

void MySFProxyModel::dropRanksOfOtherSettings()
{
    if (!ranksMatchSettings(m_sortRanks.column))
        m_sortRanks = SortRanks();
}

void MySFProxyModel::ensureRanks(int column)
{
    const bool sameSettings = ranksMatchSettings(column);
    if (sameSettings && !m_sortRanks.usable)
        return;   // already found unrankable
    if (sameSettings && m_tableModel) {
        const int rows = m_tableModel->rowCount();
        const int added = qMax(0, rows - static_cast<int>(m_sortRanks.ranks.size()));
        if ((m_sortRanks.unranked + added) * kRankRebuildDivisor <= rows)
            return;
    }
    rebuildRanks(column);
}

void MySFProxyModel::rebuildRanks(int column)
{
    m_sortRanks = SortRanks();
    m_sortRanks.column = column;
    m_sortRanks.role = sortRole();
    m_sortRanks.caseSensitivity = sortCaseSensitivity();
    m_sortRanks.localeAware = isSortLocaleAware();
    if (!isCachedSortColumn(column))
        return;
    const int type = rankableType(column);
    if (type == QMetaType::Int)
        rankIntegers(column);
    else if (type != QMetaType::UnknownType)
        rankByComparison(column);
}

// Ids, codes and volumes: ranked from plain integers instead of through QVariant comparisons.
void MySFProxyModel::rankIntegers(int column)
{
    const MyStandardTableModel* model = m_tableModel.data();
    const int rows = model->rowCount();
    // Rows without a value sort after every value, as Qt's comparison puts them.
    constexpr qint64 kNoValue = std::numeric_limits<qint64>::max();
    std::vector<std::pair<qint64, int>> keyed;
    keyed.reserve(static_cast<size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        const QVariant& value = model->cachedUserValue(row, column);
        keyed.emplace_back(value.isValid() ? qint64(value.toInt()) : kNoValue, row);
    }
    // Ties fall back to the row, which is what a stable sort by value gives.
    std::sort(keyed.begin(), keyed.end());
    std::vector<int>& ranks = m_sortRanks.ranks;
    ranks.assign(static_cast<size_t>(rows), 0);
    int rank = 0;
    for (size_t i = 1; i < keyed.size(); ++i) {
        if (keyed[i - 1].first != keyed[i].first)
            ++rank;
        ranks[static_cast<size_t>(keyed[i].second)] = rank;
    }
    m_sortRanks.usable = true;
}

void MySFProxyModel::rankByComparison(int column)
{
    const int rows = m_tableModel->rowCount();
    std::vector<int> order(static_cast<size_t>(rows));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this, column](int left, int right) { return cachedLessThan(column, left, right); });
    std::vector<int>& ranks = m_sortRanks.ranks;
    ranks.assign(static_cast<size_t>(rows), 0);
    int rank = 0;
    for (size_t i = 1; i < order.size(); ++i) {
        if (cachedLessThan(column, order[i - 1], order[i]))
            ++rank;
        ranks[static_cast<size_t>(order[i])] = rank;
    }
    m_sortRanks.usable = true;
}

int MySFProxyModel::rankableType(int column) const
{
    // Texts always rank; user values only when they share one type (mixed types are compared by
    // the left one's type, which is not a strict weak order) and hold no NaN.
    if (sortRole() == Qt::DisplayRole)
        return QMetaType::QString;
    const MyStandardTableModel* model = m_tableModel.data();
    int type = QMetaType::UnknownType;
    for (int row = 0; row < model->rowCount(); ++row) {
        const QVariant& value = model->cachedUserValue(row, column);
        const int valueType = value.userType();
        if (valueType == QMetaType::UnknownType)
            continue;
        if (type == QMetaType::UnknownType)
            type = valueType;
        if (valueType != type || isNaN(value))
            return QMetaType::UnknownType;
    }
    // A column without any value ranks every row equal.
    return type == QMetaType::UnknownType ? QMetaType::Int : type;
}

void MySFProxyModel::dropRanks(int firstRow, int lastRow)
{
    std::vector<int>& ranks = m_sortRanks.ranks;
    const int last = qMin(lastRow, static_cast<int>(ranks.size()) - 1);
    for (int row = qMax(0, firstRow); row <= last; ++row) {
        int& rank = ranks[static_cast<size_t>(row)];
        if (rank >= 0) {
            rank = -1;
            ++m_sortRanks.unranked;
        }
    }
}
