#pragma once

#include "ColProperty.h"
#include "VelmBaseExport.h"

#include <QList>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QVector>

#include <vector>

class MyStandardTableModel;

// The host's sort/filter proxy over a MyStandardTableModel. It knows the table's shown columns and
// column offset, filters by a security-code prefix, and keeps large tables cheap: sorting reads the
// model's cached values (compared exactly as Qt compares user-role values), and a burst of
// changed or inserted rows costs one re-sort at most, done once the burst is over. Qt's dynamic
// sorting stays off (it would re-sort once per changed row): the proxy keeps itself in order.
class VELM_BASE_EXPORT MySFProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    MySFProxyModel(QString name, QObject* parent);
    ~MySFProxyModel() override;

    const QString& name() const { return m_name; }
    void setColumnOffset(int offset) { m_columnOffset = offset; }
    int columnOffset() const { return m_columnOffset; }

    // Learns the shown columns, then lets the subclass locate the columns its filters read.
    void setListColProperty(QList<ColProperty*> columns);
    const QList<ColProperty*>& listColProperty() const { return m_columns; }

    // Rows whose security-code cell starts with `text` (case-sensitive); empty shows every row.
    void setFilterSecurityID(QString text);
    const QString& filterSecurityID() const { return m_filterSecurityID; }
    int securityIdColumn() const { return m_securityIdColumn; }

    // Re-reads the source model after it got a new data source (mapping, filter and sort).
    void resetModel();
    // Re-applies the filters after a filter value changed.
    void myValidate();

    void setSourceModel(QAbstractItemModel* sourceModel) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

protected:
    // Called after setListColProperty: subclasses find the columns their filters need.
    virtual void locateColumns();
    void setSecurityIdColumn(int column) { m_securityIdColumn = column; }
    // The security-code condition for one source row (true when no filter is set).
    bool acceptsSecurityID(int sourceRow) const;

    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    // Dense ranks of the source rows by the sort column's values, for the sort settings they were
    // built under: comparing two ranks gives lessThan's answer without reading the values, which
    // keeps the re-sort that follows every filter change cheap. Used only when the values are
    // strictly weakly ordered (one type, no NaN), where ranks answer exactly as the values do.
    // Rows changed or added since the build hold -1 and are compared by value.
    struct SortRanks {
        int column = -1;
        int role = -1;
        Qt::CaseSensitivity caseSensitivity = Qt::CaseSensitive;
        bool localeAware = false;
        bool usable = false;
        int unranked = 0;
        std::vector<int> ranks;
    };

    void connectSource(QAbstractItemModel* sourceModel);
    void onSourceReset();
    void onSourceDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QVector<int>& roles);
    // Checks rows the proxy just showed (inserted or let through the filter) and re-sorts later if
    // one of them is out of place.
    void onRowsShown(const QModelIndex& parent, int first, int last);
    bool filterMayChange(const QVector<int>& roles) const;
    bool sortMayChange(int firstColumn, int lastColumn, const QVector<int>& roles) const;
    bool isInSortedPlace(int proxyRow) const;
    void postPendingChanges();
    void applyPendingChanges();
    void forgetPendingChanges();
    // Re-sort and re-filter everything at once (one layout change), with ranks ready.
    void invalidateWithRanks();

    bool isCachedSortColumn(int column) const;
    bool cachedLessThan(int column, int leftRow, int rightRow) const;
    bool ranksMatchSettings(int column) const;
    void dropRanksOfOtherSettings();
    void ensureRanks(int column);
    void rebuildRanks(int column);
    // QMetaType::UnknownType when the column's values cannot be ranked once (mixed types, NaN);
    // otherwise the values' common type (QMetaType::QString for display texts).
    int rankableType(int column) const;
    void rankIntegers(int column);
    void rankByComparison(int column);
    void dropRanks(int firstRow, int lastRow);

    QString m_name;
    int m_columnOffset = 0;
    QList<ColProperty*> m_columns;
    QString m_filterSecurityID;
    int m_securityIdColumn = -1;
    QPointer<MyStandardTableModel> m_tableModel;
    QVector<QMetaObject::Connection> m_sourceConnections;
    // The source was reset since the last resetModel(): Qt rebuilds the mapping (filtered and
    // sorted) on its own, so resetModel() has nothing left to do.
    bool m_mappingFresh = false;
    // What a burst of changed rows left to do, done once the event loop turns.
    bool m_resortPending = false;
    int m_filterFlips = 0;
    bool m_changeApplyPosted = false;
    SortRanks m_sortRanks;
};
