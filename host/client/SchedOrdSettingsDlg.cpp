#include "SchedOrdSettingsDlg.h"

#include "UserData.h"
#include "UserDataManager.h"
#include "WindowManager.h"

#include "ui_SchedOrdSettingsDlg.h"

#include <QPushButton>

SchedOrdSettingsDlg::SchedOrdSettingsDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SchedOrdSettingsDlg)
    , m_routes(OrderRouteSettings::load())
{
    ui->setupUi(this);
    // Standard buttons read "OK"/"Cancel" unless Qt's own translations are installed.
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    for (const int accountId : UserDataManager::instance()->accountIds()) {
        const UserData* account = UserDataManager::instance()->getUserData(accountId);
        ui->comboBox_routeAccount->addItem(QStringLiteral("%1 %2").arg(accountId).arg(account->AccountName), accountId);
    }
    ui->groupBox_orderRoute->setEnabled(ui->comboBox_routeAccount->count() > 0);
    if (ui->comboBox_routeAccount->count() > 0)
        showRoute(ui->comboBox_routeAccount->itemData(0).toInt());
    connect(ui->comboBox_routeAccount, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        keepShownRoute();
        showRoute(ui->comboBox_routeAccount->itemData(index).toInt());
    });
    connect(ui->comboBox_routeKind, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] { enableSessionFields(); });
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
    keepShownRoute();
    const QString routeProblem = m_routes.problem();
    if (!routeProblem.isEmpty()) {
        if (gWM)
            gWM->popupMsgBoxInfo(QStringLiteral("委托路由设置无效：%1").arg(routeProblem), this, QString());
        return;
    }
    m_routes.save();
    if (gWM) {
        gWM->autoStartSingleTask = ui->checkBox_autoStartSingleTask->isChecked();
        gWM->autoStartImportedTask = ui->checkBox_autoStartImportedTask->isChecked();
        gWM->allowPastSetTime = ui->checkBox_allowPastSetTime->isChecked();
        gWM->creditShortSellOption = ui->checkBox_creditShortSellOption->isChecked();
        gWM->saveSettings();
    }
    QDialog::accept();
}

void SchedOrdSettingsDlg::showRoute(int accountId)
{
    m_shownAccountId = accountId;
    const OrderRouteSettings::Account route = m_routes.account(accountId);
    ui->comboBox_routeKind->setCurrentIndex(route.kind == OrderRouteSettings::Kind::Fix ? 1 : 0);
    ui->lineEdit_fixHost->setText(route.session.host);
    ui->spinBox_fixPort->setValue(route.session.port);
    ui->lineEdit_fixSender->setText(route.session.senderCompId);
    ui->lineEdit_fixTarget->setText(route.session.targetCompId);
    ui->spinBox_fixHeartbeat->setValue(route.session.heartbeatSeconds);
    enableSessionFields();
}

void SchedOrdSettingsDlg::keepShownRoute()
{
    if (m_shownAccountId == 0)
        return;
    OrderRouteSettings::Account route;
    route.kind = ui->comboBox_routeKind->currentIndex() == 1 ? OrderRouteSettings::Kind::Fix : OrderRouteSettings::Kind::Simulated;
    route.session.host = ui->lineEdit_fixHost->text().trimmed();
    route.session.port = ui->spinBox_fixPort->value();
    route.session.senderCompId = ui->lineEdit_fixSender->text().trimmed();
    route.session.targetCompId = ui->lineEdit_fixTarget->text().trimmed();
    route.session.heartbeatSeconds = ui->spinBox_fixHeartbeat->value();
    m_routes.setAccount(m_shownAccountId, route);
}

void SchedOrdSettingsDlg::enableSessionFields()
{
    const bool fix = ui->comboBox_routeKind->currentIndex() == 1;
    for (QWidget* field : {static_cast<QWidget*>(ui->lineEdit_fixHost), static_cast<QWidget*>(ui->spinBox_fixPort),
                           static_cast<QWidget*>(ui->lineEdit_fixSender), static_cast<QWidget*>(ui->lineEdit_fixTarget),
                           static_cast<QWidget*>(ui->spinBox_fixHeartbeat)})
        field->setEnabled(fix);
}
