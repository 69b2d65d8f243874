#pragma once

#include "TableBtnInfo.h"

#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QWidget>

#include <memory>
#include <unordered_set>
#include <vector>

namespace Ui {
class SchedOrd_TableSubTaskWid;
}
namespace VELMSCHEDORDAPI {
struct SchedOrdSubTaskField;
}

class FramelessFloatDlg;
class MyHeaderViewWithCheckbox;
class ServiceScheduledOrder;
class UserData;
class VelmClient;
struct ColProperty;

namespace Velm_Space {

class MyItemDelegateSO;
class MySFProxyModelSOSubTask;
class MyTableModelSO;
class MyTableViewSO;
class TableHeaderSchedOrdSubTask;

// The sub-task tab of the task monitor: one row per sub-task of every main task, filtered by main
// task and security-code prefix, updated in place as the service reports changed sub-tasks.
class SchedOrd_TableSubTaskWid : public QWidget
{
    Q_OBJECT
public:
    SchedOrd_TableSubTaskWid(int accountId, ServiceScheduledOrder* service, QWidget* parent);
    ~SchedOrd_TableSubTaskWid() override;

    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void on_pushButton_somonitor_subtask_start_clicked();
    void on_pushButton_somonitor_subtask_pause_clicked();
    void on_pushButton_somonitor_subtask_delete_clicked();
    void on_pushButton_somonitor_subtask_refresh_clicked();
    void slotSubTaskBtnClicked(QModelIndex index, Velm_Space::TableBtnType btntype);
    void slotTimerRefreshTimeOut();
    void slotHeaderCheckStateChanged(bool isChecked);
    void slotTableCheckStateChanged();
    void slot_comboBox_filter_maintaskID_currentIndexChanged(int index);
    void slot_lineEdit_filter_securityID_textChanged(QString text);
    void slotRtnMainTaskAdded(int maintaskID);
    void slotRtnSubTaskChanged(int maintaskID, std::unordered_set<int> allsubtaskID);
    void slotRtnMainTaskDeleted();

private:
    void initTable();
    void initTableModel();
    void initConnections();
    void fillMainTaskFilter();
    void reloadAll();
    void deleteSubTaskRecords();
    const VELMSCHEDORDAPI::SchedOrdSubTaskField* findSubTaskOfRow(const QModelIndex& index) const;
    bool isModifiable(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask);
    FramelessFloatDlg* createModifyDialog(VelmClient* mainWindow);
    void modifySubTask(const VELMSCHEDORDAPI::SchedOrdSubTaskField& storedSubTask);
    void showSubTaskDetails(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask);
    QString subTaskDetailsText(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;

    Ui::SchedOrd_TableSubTaskWid* ui;
    int m_accountId;
    UserData* m_userData;
    ServiceScheduledOrder* m_service;
    const int m_allTasksId = -1;
    std::vector<VELMSCHEDORDAPI::SchedOrdSubTaskField*> m_subTaskList;
    QHash<QString, int> m_rowIndex;
    QList<ColProperty*> m_columns;
    std::unique_ptr<TableHeaderSchedOrdSubTask> m_tableHeader;
    MyHeaderViewWithCheckbox* m_header = nullptr;
    MyTableViewSO* m_view = nullptr;
    MyItemDelegateSO* m_delegate = nullptr;
    MyTableModelSO* m_model = nullptr;
    MySFProxyModelSOSubTask* m_proxy = nullptr;
};

} // namespace Velm_Space
