#pragma once

class ISubModuleDlg;
class ISubModuleWid;
class QWidget;

namespace Velm_Space {

// Picks the account's variant of each window the module exports.
class ScheduledOrderFactory final
{
public:
    // Null for an account the host does not know or of another kind than stock (1) or credit (2).
    static ISubModuleWid* createScheduledOrderWid(int accountId, int reserved, QWidget* parent);
    static ISubModuleDlg* createModifySubTaskParamDlg(int accountId, int reserved, QWidget* parent);
};

} // namespace Velm_Space
