#include "SchedOrd_TableMainTaskWid.h"
#include "ui_SchedOrd_TableMainTaskWid.h"

#include "MyHeaderViewWithCheckbox.h"
#include "MyItemDelegateSO.h"
#include "MySFProxyModelSOMainTask.h"
#include "MyTableModelSO.h"
#include "MyTableViewSO.h"
#include "SchedOrdMonitorTable.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskField.h"
#include "SchedOrdTaskFileParser.h"
#include "SchedOrdTaskFileReader.h"
#include "ServiceScheduledOrder.h"
#include "TableHeaderSchedOrdMainTask.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmClient.h"
#include "WindowManager.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <any>

using namespace VELMSCHEDORDAPI;

namespace Velm_Space {

namespace {

// The strategy log's type for task-file imports.
constexpr int kImportLogType = 6;

// Paused, all triggered and stopped tasks are at rest; anything else counts as running when
// several tasks are deleted at once.
bool isAtRest(char status)
{
    return status == MainTaskStatus::Paused || status == MainTaskStatus::AllTriggered
        || status == MainTaskStatus::Stopped;
}

std::vector<int> toVector(const QList<int>& ids)
{
    return std::vector<int>(ids.cbegin(), ids.cend());
}

} // namespace

SchedOrd_TableMainTaskWid::SchedOrd_TableMainTaskWid(int accountId, ServiceScheduledOrder* service, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::SchedOrd_TableMainTaskWid)
    , m_accountId(accountId)
    , m_userData(UserDataManager::instance()->getUserData(accountId))
    , m_service(service)
{
    ui->setupUi(this);
    initTable();
    initTableModel();
    reloadAll();
    initConnections();
}

SchedOrd_TableMainTaskWid::~SchedOrd_TableMainTaskWid()
{
    qDebug() << "~SchedOrd_TableMainTaskWid()";
    // The view, proxy and model point into the column definitions and the task records, which
    // would otherwise go first (members die before the children): they go before both.
    delete m_view;
    delete m_proxy;
    delete m_model;
    deleteTaskRecords();
    delete ui;
}

void SchedOrd_TableMainTaskWid::initTable()
{
    ui->widget_schedord_maintask_title->hide();
    ui->pushButton_schedord_maintask_stop->hide();

    m_tableHeader = std::make_unique<TableHeaderSchedOrdMainTask>();
    m_tableHeader->initUserColumn();
    ui->label_schedord_maintask_blank->hide();

    m_view = new MyTableViewSO(this);
    m_view->setObjectName(QStringLiteral("tableview_SO_monitorMainTask"));

    m_header = new MyHeaderViewWithCheckbox(Qt::Horizontal, this);
    SchedOrdMonitorTable::configureHeaders(m_view, m_header, QStringLiteral("hHeader_SO_monitorMainTask"),
                                           QStringLiteral("vHeader_SO_monitorMainTask"));

    m_model = new MyTableModelSO(QStringLiteral("THSchedOrdMainTask"), m_accountId, this);
    m_model->setColumnOffset(1);
    m_proxy = new MySFProxyModelSOMainTask(QStringLiteral("THSchedOrdMainTask"), this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setColumnOffset(1);
    m_view->setModel(m_proxy);

    m_delegate = new MyItemDelegateSO(this);
    m_view->setItemDelegate(m_delegate);

    SchedOrdMonitorTable::configureBehaviour(m_view);

    connect(m_header, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged, this,
            &SchedOrd_TableMainTaskWid::slotHeaderCheckStateChanged);
    connect(m_delegate, &MyItemDelegateSO::signalBtnClicked, this, &SchedOrd_TableMainTaskWid::slotMainTaskBtnClicked);
    connect(m_delegate, &MyItemDelegateSO::signalItemDelegateMouseReleaseCheckStateChanged, this,
            &SchedOrd_TableMainTaskWid::slotTableCheckStateChanged);

    ui->verticalLayout_tablemaintask->addWidget(m_view);
}

void SchedOrd_TableMainTaskWid::initTableModel()
{
    m_columns = m_tableHeader->getShowColumns();

    SchedOrdMonitorTable::applyColumnSet(m_tableHeader.get(), m_columns, m_model, m_proxy, m_view, m_delegate);
    for (int i = 0; i < m_columns.size(); ++i) {
        const int column = i + 1;
        switch (m_columns[i]->id) {
        case TableHeaderSchedOrdMainTask::ColDirection:
            m_delegate->setColorColumn(column);
            break;
        case TableHeaderSchedOrdMainTask::ColOperation: {
            const QVector<TableBtnInfo> buttons{{Delete, tr("删除"), QString(), QSize(0, 0)}};
            m_view->setColumnButtons(column, buttons);
            m_delegate->setColumnButtons(column, buttons);
            break;
        }
        default:
            break;
        }
    }

    SchedOrdMonitorTable::layOutColumns(m_view, m_header, m_columns, m_model->columnCount());
}

void SchedOrd_TableMainTaskWid::initConnections()
{
    connect(m_service, &ServiceScheduledOrder::signalRtnMainTaskAdded, this,
            &SchedOrd_TableMainTaskWid::slotRtnMainTaskAdded, Qt::QueuedConnection);
    connect(m_service, &ServiceScheduledOrder::signalRtnMainTaskChanged, this,
            &SchedOrd_TableMainTaskWid::slotRtnMainTaskChanged, Qt::QueuedConnection);
    connect(m_service, &ServiceScheduledOrder::signalRtnSubTaskChanged, this,
            &SchedOrd_TableMainTaskWid::slotRtnSubTaskChanged, Qt::QueuedConnection);
    connect(m_service, &ServiceScheduledOrder::signalRtnMainTaskDeleted, this,
            &SchedOrd_TableMainTaskWid::slotRtnMainTaskDeleted, Qt::QueuedConnection);
}

void SchedOrd_TableMainTaskWid::deleteTaskRecords()
{
    for (SchedOrdTaskField* task : m_taskList)
        delete task;
    m_taskList.clear();
}

void SchedOrd_TableMainTaskWid::reloadAll()
{
    deleteTaskRecords();
    const std::vector<SchedOrdTaskField> tasks = m_service->getVecMainTask();
    QList<std::any> rows;
    rows.reserve(static_cast<int>(tasks.size()));
    m_taskList.reserve(tasks.size());
    for (const SchedOrdTaskField& task : tasks) {
        auto* copy = new SchedOrdTaskField(task);
        m_taskList.push_back(copy);
        rows.append(std::any(copy));
    }
    m_model->setDataSource(rows);
    m_proxy->resetModel();
}

SchedOrdTaskField* SchedOrd_TableMainTaskWid::findTask(int mainTaskId) const
{
    const auto found = std::find_if(m_taskList.cbegin(), m_taskList.cend(), [mainTaskId](const SchedOrdTaskField* task) {
        return task && task->MainTaskID == mainTaskId;
    });
    return found == m_taskList.cend() ? nullptr : *found;
}

QList<int> SchedOrd_TableMainTaskWid::getCheckedMainTaskIDs() const
{
    QList<int> ids;
    const int rows = m_proxy->rowCount();
    const int keyColumn = m_proxy->columnCount() - 1;
    for (int row = 0; row < rows; ++row) {
        if (m_proxy->index(row, 0).data(Qt::CheckStateRole).toBool())
            ids.append(m_proxy->index(row, keyColumn).data(Qt::DisplayRole).toInt());
    }
    return ids;
}

void SchedOrd_TableMainTaskWid::on_pushButton_schedord_maintask_start_clicked()
{
    m_service->StartMainTasks(toVector(getCheckedMainTaskIDs()));
}

void SchedOrd_TableMainTaskWid::on_pushButton_schedord_maintask_pause_clicked()
{
    m_service->PauseMainTasks(toVector(getCheckedMainTaskIDs()));
}

void SchedOrd_TableMainTaskWid::on_pushButton_schedord_maintask_delete_clicked()
{
    const QList<int> ids = getCheckedMainTaskIDs();
    const bool runningFound = std::any_of(m_taskList.cbegin(), m_taskList.cend(), [&ids](const SchedOrdTaskField* task) {
        return ids.contains(task->MainTaskID) && !isAtRest(task->MainTaskStatus);
    });
    const QString message = runningFound ? tr("有任务处于监控运行状态，\n是否确认立即停止并批量删除任务？")
                                         : tr("是否确认批量删除任务？\n ");
    if (gWM->popupMsgBoxConfirm(tr("删除任务"), message, this))
        m_service->DeleteMainTasks(toVector(ids));
}

void SchedOrd_TableMainTaskWid::on_pushButton_schedord_maintask_import_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("请选择定时单任务文件"),
                                                      QCoreApplication::applicationDirPath(),
                                                      QStringLiteral("CSV Files(*.csv)"));
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning().noquote() << QStringLiteral("Cannot open file for reading: ") + file.errorString();
        gWM->popupMsgBoxInfo(tr("文件打开错误，导入失败"), this, QString());
        return;
    }
    QTextStream stream(&file);
    stream.setCodec(SchedOrdTaskFileReader::codecFor(path));
    SchedOrdTaskFileReader::Result lines = readTaskFile(stream);
    file.close();

    const int imported = static_cast<int>(lines.subTasks.size());
    // A task the service could not store is not reported as imported: the service has said why.
    if (imported > 0 && !addImportedMainTask(QFileInfo(path).baseName(), std::move(lines.subTasks)))
        return;
    reportImport(imported, lines.failureCount, lines.errorText);
}

SchedOrdTaskFileReader::Result SchedOrd_TableMainTaskWid::readTaskFile(QTextStream& stream)
{
    m_taskFileParser = std::make_unique<SchedOrdTaskFileParser>(
        m_userData ? m_userData->getApiType() : 0, [this] { return m_service->getNextSubTaskID(); });
    SchedOrdTaskFileReader::Result lines = SchedOrdTaskFileReader::readLines(
        stream, [this](int lineNumber, const QString& line, std::string& message, SchedOrdSubTaskField& subTask) {
            return parseTaskFileLine(lineNumber, line, message, subTask);
        });
    m_taskFileParser.reset();
    return lines;
}

bool SchedOrd_TableMainTaskWid::parseTaskFileLine(int lineNumber, const QString& line, std::string& message,
                                                  SchedOrdSubTaskField& subTask)
{
    return m_taskFileParser->parseLine(lineNumber, line, message, subTask);
}

bool SchedOrd_TableMainTaskWid::isAllDigits(const std::string& text)
{
    return SchedOrdTaskFileParser::isAllDigits(text);
}

bool SchedOrd_TableMainTaskWid::addImportedMainTask(const QString& name, std::vector<SchedOrdSubTaskField> subTasks)
{
    std::vector<SchedOrdTaskField> tasks;
    tasks.push_back(SchedOrdTaskFileReader::buildMainTask(m_service->getNextMainTaskID(), name, std::move(subTasks)));
    const int mainTaskId = tasks.front().MainTaskID;
    m_service->AddMainTasks(tasks);
    if (m_service->getOneMainTask(mainTaskId).MainTaskID != mainTaskId)
        return false;
    if (gWM->autoStartImportedTask)
        m_service->StartMainTasks({mainTaskId});
    return true;
}

void SchedOrd_TableMainTaskWid::reportImport(int imported, int failed, const std::string& errorText)
{
    const QString summary = tr("文件批量导入定时单任务。成功") + QString::number(imported) + tr("条，失败")
        + QString::number(failed) + tr("条。");
    gWM->popupMsgBoxInfo(summary, this, Util::Str2QStr(errorText));
    WindowManager::LogStgy(summary, kImportLogType, spdlog::level::info);
}

void SchedOrd_TableMainTaskWid::on_pushButton_schedord_maintask_refresh_clicked()
{
    reloadAll();
}

void SchedOrd_TableMainTaskWid::on_pushButton_schedord_maintask_setting_clicked()
{
    if (VelmClient* mainWindow = gWM->getCurrentMainWindow())
        mainWindow->OpenSettingSystemPageSchedOrd();
}

void SchedOrd_TableMainTaskWid::slotMainTaskBtnClicked(QModelIndex index, TableBtnType btntype)
{
    const int id = m_proxy->index(index.row(), m_proxy->columnCount() - 1).data(Qt::DisplayRole).toInt();
    if (id < 0)
        return;
    const SchedOrdTaskField* task = findTask(id);
    if (!task || btntype != Delete)
        return;
    const QString name = QStringLiteral("#") + QString::number(id) + QStringLiteral("_") + Util::Str2QStr(task->MainTaskName);
    const QString message = task->MainTaskStatus == MainTaskStatus::Running
        ? tr("当前任务（") + name + tr("）处于运行状态，\n是否确认立即停止并删除该任务？")
        : tr("是否确认删除该任务（") + name + tr("）？\n ");
    if (gWM->popupMsgBoxConfirm(tr("删除任务"), message, this))
        m_service->DeleteMainTasks({id});
}

void SchedOrd_TableMainTaskWid::slotTimerRefreshTimeOut()
{
}

void SchedOrd_TableMainTaskWid::slotHeaderCheckStateChanged(bool isChecked)
{
    SchedOrdMonitorTable::setVisibleRowsChecked(m_proxy, isChecked);
}

void SchedOrd_TableMainTaskWid::slotTableCheckStateChanged()
{
    if (!m_proxy)
        return;
    m_proxy->setHeaderData(0, Qt::Horizontal, SchedOrdMonitorTable::visibleRowsCheckState(m_proxy), Qt::CheckStateRole);
}

void SchedOrd_TableMainTaskWid::slotRtnMainTaskAdded(int maintaskID)
{
    const SchedOrdTaskField task = m_service->getOneMainTask(maintaskID);
    if (task.MainTaskID < 0)
        return;
    auto* copy = new SchedOrdTaskField(task);
    m_taskList.push_back(copy);
    m_model->setInsertedDataSource({std::any(copy)});
}

void SchedOrd_TableMainTaskWid::slotRtnMainTaskChanged(int maintaskID)
{
    const SchedOrdTaskField task = m_service->getOneMainTask(maintaskID);
    const auto found = std::find_if(m_taskList.cbegin(), m_taskList.cend(), [maintaskID](const SchedOrdTaskField* stored) {
        return stored->MainTaskID == maintaskID;
    });
    if (found == m_taskList.cend())
        return;
    **found = task;
    const int row = static_cast<int>(found - m_taskList.cbegin());
    emit m_model->dataChanged(m_model->index(row, 0), m_model->index(row, m_model->columnCount() - 1));
}

void SchedOrd_TableMainTaskWid::slotRtnSubTaskChanged(int maintaskID, std::unordered_set<int> allsubtaskID)
{
    Q_UNUSED(maintaskID)
    Q_UNUSED(allsubtaskID)
}

void SchedOrd_TableMainTaskWid::slotRtnMainTaskDeleted()
{
    reloadAll();
}

} // namespace Velm_Space
