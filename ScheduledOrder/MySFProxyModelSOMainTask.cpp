#include "MySFProxyModelSOMainTask.h"

namespace Velm_Space {

MySFProxyModelSOMainTask::MySFProxyModelSOMainTask(QString name, QObject* parent)
    : MySFProxyModel(std::move(name), parent)
{
}

void MySFProxyModelSOMainTask::locateColumns()
{
    // No filter of this table reads a column.
}

} // namespace Velm_Space
