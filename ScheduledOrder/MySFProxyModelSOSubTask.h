#pragma once

#include "MySFProxyModel.h"

namespace Velm_Space {

// The sub-task table's proxy: filters by main task and by security-code prefix.
class MySFProxyModelSOSubTask final : public MySFProxyModel
{
    Q_OBJECT
public:
    MySFProxyModelSOSubTask(QString name, QObject* parent);

    // -1 shows the sub-tasks of every main task.
    void setFilterMainTaskID(int id);
    int filterMainTaskId() const { return filterMainTaskID; }
    int mainTaskIdColumnIndex() const { return mainTaskIdColumn; }

protected:
    void locateColumns() override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    int mainTaskIdColumn = -1;
    int filterMainTaskID = -1;
};

} // namespace Velm_Space
