#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

// The rows of a host broker window as display texts, formatted once when a record changes so
// that painting only hands out stored strings.
class BrokerTableModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    // `numericColumns` are right-aligned, the others left.
    BrokerTableModel(const QStringList& titles, const QVector<int>& numericColumns, QObject* parent);
    ~BrokerTableModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // Tells the views only when a text differs.
    void replaceRow(int row, const QStringList& texts);
    void appendRows(const QVector<QStringList>& rows);
    // Replaces every row: changed rows are updated in place, the count adjusted at the end.
    void setRows(const QVector<QStringList>& rows);

private:
    QStringList m_titles;
    QVector<int> m_alignments;
    QVector<QStringList> m_rows;
};
