#pragma once

#include "SchedOrdTaskFileReader.h"
#include "TableBtnInfo.h"

#include <QList>
#include <QModelIndex>
#include <QWidget>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class QTextStream;

namespace Ui {
class SchedOrd_TableMainTaskWid;
}

class MyHeaderViewWithCheckbox;
class ServiceScheduledOrder;
class UserData;
struct ColProperty;

namespace Velm_Space {

class MyItemDelegateSO;
class MySFProxyModelSOMainTask;
class MyTableModelSO;
class MyTableViewSO;
class SchedOrdTaskFileParser;
class TableHeaderSchedOrdMainTask;

// The upper half of the task monitor: one row per main task, with start, pause, delete, import,
// settings and refresh. Loads every main task once and then follows the service's signals.
class SchedOrd_TableMainTaskWid : public QWidget
{
    Q_OBJECT
public:
    SchedOrd_TableMainTaskWid(int accountId, ServiceScheduledOrder* service, QWidget* parent);
    ~SchedOrd_TableMainTaskWid() override;

private slots:
    void on_pushButton_schedord_maintask_start_clicked();
    void on_pushButton_schedord_maintask_pause_clicked();
    void on_pushButton_schedord_maintask_delete_clicked();
    void on_pushButton_schedord_maintask_import_clicked();
    void on_pushButton_schedord_maintask_refresh_clicked();
    void on_pushButton_schedord_maintask_setting_clicked();
    void slotMainTaskBtnClicked(QModelIndex index, Velm_Space::TableBtnType btntype);
    void slotTimerRefreshTimeOut();
    void slotHeaderCheckStateChanged(bool isChecked);
    void slotTableCheckStateChanged();
    void slotRtnMainTaskAdded(int maintaskID);
    void slotRtnMainTaskChanged(int maintaskID);
    void slotRtnSubTaskChanged(int maintaskID, std::unordered_set<int> allsubtaskID);
    void slotRtnMainTaskDeleted();

private:
    void initTable();
    void initTableModel();
    void initConnections();
    QList<int> getCheckedMainTaskIDs() const;
    void reloadAll();
    void deleteTaskRecords();
    VELMSCHEDORDAPI::SchedOrdTaskField* findTask(int mainTaskId) const;
    SchedOrdTaskFileReader::Result readTaskFile(QTextStream& stream);
    bool parseTaskFileLine(int lineNumber, const QString& line, std::string& message,
                           VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask);
    static bool isAllDigits(const std::string& text);
    // False when the service could not store it (and has told the trader why).
    bool addImportedMainTask(const QString& name, std::vector<VELMSCHEDORDAPI::SchedOrdSubTaskField> subTasks);
    void reportImport(int imported, int failed, const std::string& errorText);

    Ui::SchedOrd_TableMainTaskWid* ui;
    int m_accountId;
    UserData* m_userData;
    ServiceScheduledOrder* m_service;
    std::vector<VELMSCHEDORDAPI::SchedOrdTaskField*> m_taskList;
    QList<ColProperty*> m_columns;
    std::unique_ptr<TableHeaderSchedOrdMainTask> m_tableHeader;
    MyHeaderViewWithCheckbox* m_header = nullptr;
    MyTableViewSO* m_view = nullptr;
    MyItemDelegateSO* m_delegate = nullptr;
    MyTableModelSO* m_model = nullptr;
    MySFProxyModelSOMainTask* m_proxy = nullptr;
    // Lives only while a file is being imported: it takes the date of that import.
    std::unique_ptr<SchedOrdTaskFileParser> m_taskFileParser;
};

} // namespace Velm_Space
