#include "SchedOrdSettingsDlg.h"

#include "WindowManager.h"

#include "ui_SchedOrdSettingsDlg.h"

#include <QPushButton>

SchedOrdSettingsDlg::SchedOrdSettingsDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SchedOrdSettingsDlg)
{
    ui->setupUi(this);
    // Standard buttons read "OK"/"Cancel" unless Qt's own translations are installed.
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    if (!gWM)
        return;
    ui->checkBox_autoStartSingleTask->setChecked(gWM->autoStartSingleTask);
    ui->checkBox_autoStartImportedTask->setChecked(gWM->autoStartImportedTask);
    ui->checkBox_allowPastSetTime->setChecked(gWM->allowPastSetTime);
    ui->checkBox_creditShortSellOption->setChecked(gWM->creditShortSellOption);
}

SchedOrdSettingsDlg::~SchedOrdSettingsDlg()
{
    delete ui;
}

void SchedOrdSettingsDlg::accept()
{
    if (gWM) {
        gWM->autoStartSingleTask = ui->checkBox_autoStartSingleTask->isChecked();
        gWM->autoStartImportedTask = ui->checkBox_autoStartImportedTask->isChecked();
        gWM->allowPastSetTime = ui->checkBox_allowPastSetTime->isChecked();
        gWM->creditShortSellOption = ui->checkBox_creditShortSellOption->isChecked();
        gWM->saveSettings();
    }
    QDialog::accept();
}
