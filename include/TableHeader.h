#pragma once

#include "ColProperty.h"
#include "VelmBaseExport.h"

#include <QList>
#include <QObject>
#include <QVariant>

#include <any>

class QWidget;
class UserData;

// The column set of one host table, under a key that names it in the user's settings. Subclasses
// declare their columns and turn one row record into cell texts and sort values.
class VELM_BASE_EXPORT TableHeader : public QObject
{
    Q_OBJECT
public:
    TableHeader(QString key, QWidget* parent);
    ~TableHeader() override;

    // The columns, their order and which are shown, as JSON (the form the user's choice is kept in).
    virtual QString toJson();
    // Display text of a cell; empty for an unknown column.
    virtual QString getColumnValue(int columnId, std::any record, UserData* userData);
    // Qt::UserRole value of a cell (sorting, filtering); invalid for an unknown column.
    virtual QVariant getColumnValueUserRole(int columnId, std::any record, UserData* userData);
    // A user-role value read at an offset into the record (tables of repeated groups).
    virtual QVariant getColumnValueUserRoleOffset(int columnId, int offset, std::any record, UserData* userData);
    // Value of the hidden key column that tables append after the shown columns.
    virtual QVariant getRowValue(int role, std::any record);

    // Declares a column; ids are unique within a header.
    void addColumn(int id, QString title, int width, Qt::Alignment alignment, bool shown);
    // Applies the user's saved choice of shown columns (QSettings, group "TableHeader", key =
    // the header key, a JSON array of column ids in display order). A missing, unreadable or
    // empty choice, or one naming no known column, falls back to the declared defaults.
    void initUserColumn();
    // Saves a choice of shown columns for initUserColumn (ids in display order; unknown ids dropped).
    void saveUserColumn(const QList<int>& shownIds);
    // The shown columns in display order (owned by the header).
    QList<ColProperty*> getShowColumns();
    const QList<ColProperty*>& allColumns() const { return m_columns; }
    const QString& key() const { return m_key; }

private:
    ColProperty* findColumn(int id) const;
    // The declared columns named by `ids`, in that order; unknown and repeated ids dropped.
    QList<ColProperty*> knownColumns(const QList<int>& ids) const;
    QList<ColProperty*> defaultColumns() const;

    QString m_key;
    QList<ColProperty*> m_columns;
    QList<ColProperty*> m_shown;
};
