#pragma once

#include "ColProperty.h"
#include "VelmBaseExport.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <any>
#include <vector>

class TableHeader;
class UserData;

// The host's table model. Each row is a std::any handed in by the table (typically a pointer to a
// record the table owns). Column 0 .. offset-1 are leading columns (column 0 holds a check state
// per row), then one column per listed ColProperty, then a hidden key column. Cell texts and
// user-role values come from the TableHeader and are cached per row; emitting dataChanged on the
// model for a row drops that row's cache, so a record changed in place shows its new values.
class VELM_BASE_EXPORT MyStandardTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    MyStandardTableModel(QString name, int accountId, QObject* parent);
    ~MyStandardTableModel() override;

    const QString& name() const { return m_name; }
    void setColumnOffset(int offset);
    int columnOffset() const { return m_columnOffset; }

    void setHorizontalHeaderList(QStringList titles);
    void setAlignment(QList<int> alignments);
    void setHeader(TableHeader* header, QList<ColProperty*>& columns);
    // Replaces every row (a model reset); check marks start unchecked.
    void setDataSource(QList<std::any> rows);
    // Appends rows after the existing ones (a real row insertion).
    void setInsertedDataSource(QList<std::any> rows);
    const QList<std::any>& dataSource() const { return m_rows; }

    // Cheap: sorting a large table creates millions of indexes.
    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Cached cell values without a QVariant copy (the proxy's sort and filter read these).
    const QString& cachedDisplayText(int row, int column) const;
    const QVariant& cachedUserValue(int row, int column) const;

private:
    // One listed column's (or the key column's) cached values, by row. Each vector is allocated
    // on the column's first read of that kind, so a 100,000-row table only pays for the columns
    // that are shown, sorted or filtered.
    struct ColumnCache;
    void dropRowCaches(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>& roles);
    void rebuildCaches();
    void growCaches(int rowCount);
    bool isCheckColumn(int column) const;
    bool isCellOfThisModel(const QModelIndex& index) const;
    QString computeText(int row, const ColumnCache& cache) const;
    QVariant computeValue(int row, const ColumnCache& cache) const;

    QString m_name;
    int m_accountId;
    QPointer<UserData> m_userData;
    int m_columnOffset = 0;
    QStringList m_titles;
    QList<int> m_alignments;
    QPointer<TableHeader> m_header;
    QList<ColProperty*> m_columns;
    QList<std::any> m_rows;
    QVector<Qt::CheckState> m_checkStates;
    Qt::CheckState m_headerCheckState = Qt::Unchecked;
    mutable std::vector<ColumnCache> m_caches;
};
