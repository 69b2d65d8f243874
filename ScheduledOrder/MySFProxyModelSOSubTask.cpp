#include "MySFProxyModelSOSubTask.h"

#include "TableHeaderSchedOrdSubTask.h"

namespace Velm_Space {

MySFProxyModelSOSubTask::MySFProxyModelSOSubTask(QString name, QObject* parent)
    : MySFProxyModel(std::move(name), parent)
{
}

void MySFProxyModelSOSubTask::setFilterMainTaskID(int id)
{
    filterMainTaskID = id;
    myValidate();
}

void MySFProxyModelSOSubTask::locateColumns()
{
    if (name() != QLatin1String("THSchedOrdSubTask"))
        return;
    const QList<ColProperty*>& columns = listColProperty();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i]->id == TableHeaderSchedOrdSubTask::ColMainTaskID)
            mainTaskIdColumn = columnOffset() + i;
        else if (columns[i]->id == TableHeaderSchedOrdSubTask::ColSecurityID)
            setSecurityIdColumn(columnOffset() + i);
    }
}

bool MySFProxyModelSOSubTask::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (!acceptsSecurityID(sourceRow))
        return false;
    if (filterMainTaskID == -1 || mainTaskIdColumn < 0)
        return true;
    const QModelIndex cell = sourceModel()->index(sourceRow, mainTaskIdColumn, sourceParent);
    return sourceModel()->data(cell, Qt::UserRole).toInt() == filterMainTaskID;
}

} // namespace Velm_Space
