#pragma once

#include "OrderRouteSettings.h"

#include <QDialog>

namespace Ui {
class SchedOrdSettingsDlg;
}

// The host's settings page for scheduled orders: shows the window manager's four settings and
// each account's order route, and saves them when the trader confirms. Routes with parameters
// that cannot make a session are refused with a message, and the page stays open.
class SchedOrdSettingsDlg final : public QDialog
{
    Q_OBJECT
public:
    explicit SchedOrdSettingsDlg(QWidget* parent = nullptr);
    ~SchedOrdSettingsDlg() override;

    void accept() override;

private:
    void showRoute(int accountId);
    void keepShownRoute();
    void enableSessionFields();

    Ui::SchedOrdSettingsDlg* ui;
    OrderRouteSettings m_routes;
    int m_shownAccountId = 0;
};
