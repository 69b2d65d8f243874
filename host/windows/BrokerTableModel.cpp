#include "BrokerTableModel.h"

BrokerTableModel::BrokerTableModel(const QStringList& titles, const QVector<int>& numericColumns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_titles(titles)
    , m_alignments(titles.size(), int(Qt::AlignLeft | Qt::AlignVCenter))
{
    for (const int column : numericColumns)
        m_alignments[column] = int(Qt::AlignRight | Qt::AlignVCenter);
}

BrokerTableModel::~BrokerTableModel() = default;

int BrokerTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.size();
}

int BrokerTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_titles.size();
}

QVariant BrokerTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return m_rows.at(index.row()).value(index.column());
    case Qt::TextAlignmentRole: return m_alignments.at(index.column());
    default: return QVariant();
    }
}

QVariant BrokerTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return m_titles.value(section);
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole)
        return m_alignments.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void BrokerTableModel::replaceRow(int row, const QStringList& texts)
{
    if (m_rows.at(row) == texts)
        return;
    m_rows[row] = texts;
    emit dataChanged(index(row, 0), index(row, m_titles.size() - 1));
}

void BrokerTableModel::appendRows(const QVector<QStringList>& rows)
{
    if (rows.isEmpty())
        return;
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + rows.size() - 1);
    m_rows += rows;
    endInsertRows();
}

void BrokerTableModel::setRows(const QVector<QStringList>& rows)
{
    const int kept = qMin(rows.size(), m_rows.size());
    for (int row = 0; row < kept; ++row)
        replaceRow(row, rows.at(row));
    if (rows.size() > kept) {
        appendRows(rows.mid(kept));
    } else if (m_rows.size() > kept) {
        beginRemoveRows(QModelIndex(), kept, m_rows.size() - 1);
        m_rows.resize(kept);
        endRemoveRows();
    }
}
