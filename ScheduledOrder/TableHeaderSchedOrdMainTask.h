#pragma once

#include "TableHeader.h"

namespace Velm_Space {

// The columns of the main-task table and the cell texts of one main task.
class TableHeaderSchedOrdMainTask final : public TableHeader
{
    Q_OBJECT
public:
    enum ColumnId {
        ColMainTaskID = 1,
        ColMainTaskName = 2,
        ColDirection = 3,
        ColStartTime = 4,
        ColStatus = 6,
        ColTrigger = 7,
        ColCreateTime = 8,
        ColOperation = 10,
    };

    TableHeaderSchedOrdMainTask();

    QString getColumnValue(int columnId, std::any record, UserData* userData) override;
    QVariant getColumnValueUserRole(int columnId, std::any record, UserData* userData) override;
    QVariant getRowValue(int role, std::any record) override;
};

} // namespace Velm_Space
