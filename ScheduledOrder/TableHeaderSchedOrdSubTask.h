#pragma once

#include "TableHeader.h"

namespace Velm_Space {

// The columns of the sub-task table and the cell texts of one sub-task.
class TableHeaderSchedOrdSubTask final : public TableHeader
{
    Q_OBJECT
public:
    enum ColumnId {
        ColMainTaskID = 1,
        ColSecurityID = 2,
        ColSecurityName = 3,
        ColDirection = 4,
        ColStartTime = 5,
        ColStatus = 7,
        ColTrigger = 8,
        ColTargetVolume = 9,
        ColOrderVolume = 10,
        ColTradeVolume = 11,
        ColTriggerTime = 12,
        ColErrorMsg = 13,
        ColOrderParams = 14,
        ColOperation = 16,
    };

    TableHeaderSchedOrdSubTask();

    QString getColumnValue(int columnId, std::any record, UserData* userData) override;
    QVariant getColumnValueUserRole(int columnId, std::any record, UserData* userData) override;
    QVariant getRowValue(int role, std::any record) override;

    // "<MainTaskID>_<SubTaskID>": how the sub-task table names a row.
    static QString rowKey(int mainTaskId, int subTaskId);
};

} // namespace Velm_Space
