#pragma once

#include "MySFProxyModel.h"

namespace Velm_Space {

// The main-task table's proxy: sorts, and shows every row.
class MySFProxyModelSOMainTask final : public MySFProxyModel
{
    Q_OBJECT
public:
    MySFProxyModelSOMainTask(QString name, QObject* parent);

protected:
    void locateColumns() override;
};

} // namespace Velm_Space
