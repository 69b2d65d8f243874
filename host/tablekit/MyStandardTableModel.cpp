#include "MyStandardTableModel.h"

#include "TableHeader.h"
#include "UserData.h"
#include "UserDataManager.h"

#include <optional>
#include <utility>

struct MyStandardTableModel::ColumnCache
{
    int columnId = 0;
    bool isKeyColumn = false;
    std::vector<QString> texts;
    std::vector<bool> hasText;
    std::vector<QVariant> values;
    std::vector<bool> hasValue;
};

namespace {

// Check states arrive as the int of Qt::CheckState; a bool is taken as checked / unchecked.
std::optional<Qt::CheckState> checkStateFrom(const QVariant& value)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool() ? Qt::Checked : Qt::Unchecked;
    bool isInt = false;
    const int state = value.toInt(&isInt);
    if (!isInt || state < Qt::Unchecked || state > Qt::Checked)
        return std::nullopt;
    return static_cast<Qt::CheckState>(state);
}

// Index into the caches of a column: listed columns and the key column have one, leading
// columns -1. A free function so that the hot paths inline it.
int cacheSlotOf(int column, int columnOffset, int listedColumns)
{
    const int slot = column - columnOffset;
    return slot >= 0 && slot <= listedColumns ? slot : -1;
}

bool changesCachedRoles(const QVector<int>& roles)
{
    return roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::UserRole);
}

template <typename T>
void allocateOnFirstRead(std::vector<T>& values, std::vector<bool>& known, int rowCount)
{
    if (!known.empty())
        return;
    values.resize(static_cast<size_t>(rowCount));
    known.assign(static_cast<size_t>(rowCount), false);
}

template <typename T>
void growIfAllocated(std::vector<T>& values, std::vector<bool>& known, int rowCount)
{
    if (known.empty())
        return;
    values.resize(static_cast<size_t>(rowCount));
    known.resize(static_cast<size_t>(rowCount), false);
}

void forget(std::vector<bool>& known, int firstRow, int lastRow)
{
    if (known.empty())
        return;
    for (int row = firstRow; row <= lastRow; ++row)
        known[static_cast<size_t>(row)] = false;
}

} // namespace

MyStandardTableModel::MyStandardTableModel(QString name, int accountId, QObject* parent)
    : QAbstractTableModel(parent)
    , m_name(std::move(name))
    , m_accountId(accountId)
    , m_userData(UserDataManager::instance()->getUserData(accountId))
{
    // First receiver of our own signal: proxies and views connected later read fresh values.
    connect(this, &QAbstractItemModel::dataChanged, this, &MyStandardTableModel::dropRowCaches);
    rebuildCaches();
}

MyStandardTableModel::~MyStandardTableModel() = default;

void MyStandardTableModel::setColumnOffset(int offset)
{
    offset = qMax(0, offset);
    if (offset == m_columnOffset)
        return;
    beginResetModel();
    m_columnOffset = offset;
    endResetModel();
}

void MyStandardTableModel::setHorizontalHeaderList(QStringList titles)
{
    m_titles = std::move(titles);
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void MyStandardTableModel::setAlignment(QList<int> alignments)
{
    m_alignments = std::move(alignments);
    emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::TextAlignmentRole});
}

void MyStandardTableModel::setHeader(TableHeader* header, QList<ColProperty*>& columns)
{
    beginResetModel();
    m_header = header;
    m_columns = columns;
    rebuildCaches();
    endResetModel();
}

void MyStandardTableModel::setDataSource(QList<std::any> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    m_checkStates.fill(Qt::Unchecked, m_rows.size());
    m_headerCheckState = Qt::Unchecked;
    rebuildCaches();
    endResetModel();
}

void MyStandardTableModel::setInsertedDataSource(QList<std::any> rows)
{
    if (rows.isEmpty())
        return;
    const int first = m_rows.size();
    beginInsertRows(QModelIndex(), first, first + rows.size() - 1);
    m_rows.append(rows);
    m_checkStates.resize(m_rows.size());
    growCaches(m_rows.size());
    endInsertRows();
    // New rows come unchecked, so "all checked" no longer holds.
    if (m_headerCheckState == Qt::Checked) {
        m_headerCheckState = first > 0 ? Qt::PartiallyChecked : Qt::Unchecked;
        emit headerDataChanged(Qt::Horizontal, 0, 0);
    }
}

QModelIndex MyStandardTableModel::index(int row, int column, const QModelIndex& parent) const
{
    const int columns = m_columnOffset + m_columns.size() + 1;
    if (parent.isValid() || row < 0 || column < 0 || row >= m_rows.size() || column >= columns)
        return QModelIndex();
    return createIndex(row, column);
}

int MyStandardTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int MyStandardTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_columnOffset + m_columns.size() + 1;
}

QVariant MyStandardTableModel::data(const QModelIndex& index, int role) const
{
    if (!isCellOfThisModel(index))
        return QVariant();
    const int row = index.row();
    const int column = index.column();
    if (role == Qt::TextAlignmentRole && column < m_alignments.size())
        return m_alignments.at(column);
    const int slot = cacheSlotOf(column, m_columnOffset, m_columns.size());
    if (slot < 0) {
        if (role == Qt::CheckStateRole && isCheckColumn(column))
            return static_cast<int>(m_checkStates.at(row));
        return QVariant();
    }
    switch (role) {
    case Qt::DisplayRole: return cachedDisplayText(row, column);
    case Qt::UserRole: return cachedUserValue(row, column);
    default: break;
    }
    if (m_caches[static_cast<size_t>(slot)].isKeyColumn && m_header)
        return m_header->getRowValue(role, m_rows.at(row));
    return QVariant();
}

bool MyStandardTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !isCellOfThisModel(index) || !isCheckColumn(index.column()))
        return false;
    const std::optional<Qt::CheckState> state = checkStateFrom(value);
    if (!state)
        return false;
    Qt::CheckState& stored = m_checkStates[index.row()];
    if (stored != *state) {
        stored = *state;
        emit dataChanged(index, index, {Qt::CheckStateRole});
    }
    return true;
}

QVariant MyStandardTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section < 0 || section >= columnCount())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return section < m_titles.size() ? QVariant(m_titles.at(section)) : QVariant();
    case Qt::TextAlignmentRole:
        return section < m_alignments.size() ? QVariant(m_alignments.at(section)) : QVariant();
    case Qt::CheckStateRole:
        return isCheckColumn(section) ? QVariant(static_cast<int>(m_headerCheckState)) : QVariant();
    default: return QVariant();
    }
}

bool MyStandardTableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || role != Qt::CheckStateRole || !isCheckColumn(section))
        return false;
    const std::optional<Qt::CheckState> state = checkStateFrom(value);
    if (!state)
        return false;
    if (m_headerCheckState != *state) {
        m_headerCheckState = *state;
        emit headerDataChanged(Qt::Horizontal, section, section);
    }
    return true;
}

Qt::ItemFlags MyStandardTableModel::flags(const QModelIndex& index) const
{
    if (!isCellOfThisModel(index))
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (isCheckColumn(index.column()))
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

const QString& MyStandardTableModel::cachedDisplayText(int row, int column) const
{
    static const QString none;
    const int slot = cacheSlotOf(column, m_columnOffset, m_columns.size());
    if (slot < 0 || row < 0 || row >= m_rows.size())
        return none;
    ColumnCache& cache = m_caches[static_cast<size_t>(slot)];
    const auto at = static_cast<size_t>(row);
    if (at < cache.hasText.size() && cache.hasText[at])
        return cache.texts[at];
    allocateOnFirstRead(cache.texts, cache.hasText, m_rows.size());
    if (!cache.hasText[at]) {
        cache.texts[at] = computeText(row, cache);
        cache.hasText[at] = true;
    }
    return cache.texts[at];
}

const QVariant& MyStandardTableModel::cachedUserValue(int row, int column) const
{
    static const QVariant none;
    const int slot = cacheSlotOf(column, m_columnOffset, m_columns.size());
    if (slot < 0 || row < 0 || row >= m_rows.size())
        return none;
    ColumnCache& cache = m_caches[static_cast<size_t>(slot)];
    const auto at = static_cast<size_t>(row);
    if (at < cache.hasValue.size() && cache.hasValue[at])
        return cache.values[at];
    allocateOnFirstRead(cache.values, cache.hasValue, m_rows.size());
    if (!cache.hasValue[at]) {
        cache.values[at] = computeValue(row, cache);
        cache.hasValue[at] = true;
    }
    return cache.values[at];
}

void MyStandardTableModel::dropRowCaches(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                         const QVector<int>& roles)
{
    if (!changesCachedRoles(roles) || !isCellOfThisModel(topLeft) || !isCellOfThisModel(bottomRight))
        return;
    for (ColumnCache& cache : m_caches) {
        forget(cache.hasText, topLeft.row(), bottomRight.row());
        forget(cache.hasValue, topLeft.row(), bottomRight.row());
    }
}

void MyStandardTableModel::rebuildCaches()
{
    std::vector<ColumnCache> caches(static_cast<size_t>(m_columns.size()) + 1);
    for (int i = 0; i < m_columns.size(); ++i)
        caches[static_cast<size_t>(i)].columnId = m_columns.at(i)->id;
    caches.back().isKeyColumn = true;
    m_caches.swap(caches);
}

void MyStandardTableModel::growCaches(int rowCount)
{
    for (ColumnCache& cache : m_caches) {
        growIfAllocated(cache.texts, cache.hasText, rowCount);
        growIfAllocated(cache.values, cache.hasValue, rowCount);
    }
}

bool MyStandardTableModel::isCheckColumn(int column) const
{
    return column == 0 && m_columnOffset > 0;
}

bool MyStandardTableModel::isCellOfThisModel(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < m_rows.size() && index.column() < columnCount();
}

QString MyStandardTableModel::computeText(int row, const ColumnCache& cache) const
{
    if (!m_header)
        return QString();
    const std::any& record = m_rows.at(row);
    if (cache.isKeyColumn)
        return m_header->getRowValue(Qt::DisplayRole, record).toString();
    return m_header->getColumnValue(cache.columnId, record, m_userData.data());
}

QVariant MyStandardTableModel::computeValue(int row, const ColumnCache& cache) const
{
    if (!m_header)
        return QVariant();
    const std::any& record = m_rows.at(row);
    if (cache.isKeyColumn)
        return m_header->getRowValue(Qt::UserRole, record);
    return m_header->getColumnValueUserRole(cache.columnId, record, m_userData.data());
}
