#include "MyTableModelSO.h"

namespace Velm_Space {

MyTableModelSO::MyTableModelSO(QString name, int accountId, QObject* parent)
    : MyStandardTableModel(std::move(name), accountId, parent)
{
}

} // namespace Velm_Space
