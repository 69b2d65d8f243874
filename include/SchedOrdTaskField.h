#pragma once

#include "SchedOrdSubTaskField.h"

#include <vector>

namespace VELMSCHEDORDAPI {

// A main task: the unit that is started, paused and deleted; owns its sub-tasks by value.
struct SchedOrdTaskField
{
    int32_t MainTaskID = 0;
    std::string MainTaskName;
    char MainTaskStatus = 0;
    char TriggerStatus = 0;
    int64_t CreateTime = 0;
    int64_t StartTime = 0;
    int64_t EndTime = 0;
    bool IsSameStartTime = true;
    bool IsSameEndTime = true;
    char Direction = 0;
    std::vector<SchedOrdSubTaskField> VecSubTask;
};

} // namespace VELMSCHEDORDAPI
