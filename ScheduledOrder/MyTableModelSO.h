#pragma once

#include "MyStandardTableModel.h"

namespace Velm_Space {

// The monitor tables' model: the host model under the module's own name.
class MyTableModelSO final : public MyStandardTableModel
{
    Q_OBJECT
public:
    MyTableModelSO(QString name, int accountId, QObject* parent);
};

} // namespace Velm_Space
