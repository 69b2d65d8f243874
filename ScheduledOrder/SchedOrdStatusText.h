#pragma once

#include <QString>

namespace Velm_Space {

// Display texts of the task records' status and trigger codes; empty for a code outside the tables.
class SchedOrdStatusText final
{
public:
    static QString mainTaskStatus(char code);
    static QString mainTaskTrigger(char code);
    static QString subTaskStatus(char code);
    static QString subTaskTrigger(char code);
};

} // namespace Velm_Space
