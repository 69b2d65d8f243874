#pragma once

#include <QDialog>

namespace Ui {
class SchedOrdSettingsDlg;
}

// The host's settings page for scheduled orders: shows the window manager's four settings and
// saves them when the trader confirms.
class SchedOrdSettingsDlg final : public QDialog
{
    Q_OBJECT
public:
    explicit SchedOrdSettingsDlg(QWidget* parent = nullptr);
    ~SchedOrdSettingsDlg() override;

    void accept() override;

private:
    Ui::SchedOrdSettingsDlg* ui;
};
