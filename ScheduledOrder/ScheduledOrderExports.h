#pragma once

#include <QtGlobal>

class ISubModuleDlg;
class ISubModuleWid;
class QWidget;

// The two entry points a host resolves by name.
extern "C" {
Q_DECL_EXPORT ISubModuleWid* CreateISubModuleWid_ScheduledOrderWid(int accountId, int reserved, QWidget* parent);
Q_DECL_EXPORT ISubModuleDlg* CreateISubModuleDlg_SOModifySubTaskParamWid(int accountId, int reserved, QWidget* parent);
}
