#include "SchedOrd_TableSubTaskWid.h"
#include "ui_SchedOrd_TableSubTaskWid.h"

#include "FramelessFloatDlg.h"
#include "MyHeaderViewWithCheckbox.h"
#include "MyItemDelegateSO.h"
#include "MySFProxyModelSOSubTask.h"
#include "MyTableModelSO.h"
#include "MyTableViewSO.h"
#include "SchedOrdMonitorTable.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskField.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_ModifySubTaskParamWid.h"
#include "ServiceScheduledOrder.h"
#include "TableHeaderSchedOrdSubTask.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmClient.h"
#include "WindowManager.h"

#include <QDebug>
#include <QListView>
#include <QPointer>

#include <algorithm>
#include <any>
#include <cmath>
#include <unordered_map>

using namespace VELMSCHEDORDAPI;

namespace Velm_Space {

namespace {

constexpr double kFloatEpsilon = 0.000001;
constexpr int kDetailsSignificantDigits = 6;
const QSize kDetailsTooltipSize(300, 200);
const Qt::WindowFlags kModifyDialogFlags = Qt::Dialog | Qt::FramelessWindowHint;

bool hasBeenSent(const SchedOrdSubTaskField& subTask)
{
    return subTask.TriggerStatus == SubTriggerStatus::Sent || subTask.TriggerStatus == SubTriggerStatus::Filled;
}

QString priceFloatText(const SchedOrdSubTaskField& subTask)
{
    const double value = subTask.PriceFloatValue;
    if (std::fabs(value) < kFloatEpsilon)
        return SchedOrd_TableSubTaskWid::tr("无");
    QString unit;
    if (subTask.PriceFloatType == PriceFloatType::Tick)
        unit = QStringLiteral("tick");
    else if (subTask.PriceFloatType == PriceFloatType::Percent)
        unit = QStringLiteral("%");
    const QString sign = value > kFloatEpsilon ? QStringLiteral("+") : QString();
    return sign + QString::number(value, 'g', kDetailsSignificantDigits) + QLatin1Char(' ') + unit;
}

bool showsOrderPrice(int priceType)
{
    constexpr int kMarketPrice = 3;
    constexpr int kCustomPrice = 12;
    return priceType == kCustomPrice || priceType == kMarketPrice;
}

QString yesOrUnlimited(bool flag)
{
    return flag ? SchedOrd_TableSubTaskWid::tr("是") : SchedOrd_TableSubTaskWid::tr("不限制");
}

// Finds the first sub-task with an id; for the many ids of a burst it indexes the vector once
// instead of searching it for every id.
class SubTaskFinder
{
public:
    SubTaskFinder(const std::vector<SchedOrdSubTaskField>& subTasks, size_t lookups)
        : m_subTasks(subTasks)
    {
        if (lookups < 2)
            return;
        m_byId.reserve(subTasks.size());
        for (const SchedOrdSubTaskField& sub : subTasks)
            m_byId.try_emplace(sub.SubTaskID, &sub);
    }

    const SchedOrdSubTaskField* operator()(int subTaskId) const
    {
        if (!m_byId.empty()) {
            const auto found = m_byId.find(subTaskId);
            return found == m_byId.end() ? nullptr : found->second;
        }
        const auto found = std::find_if(m_subTasks.cbegin(), m_subTasks.cend(),
                                        [subTaskId](const SchedOrdSubTaskField& sub) { return sub.SubTaskID == subTaskId; });
        return found == m_subTasks.cend() ? nullptr : &*found;
    }

private:
    const std::vector<SchedOrdSubTaskField>& m_subTasks;
    std::unordered_map<int, const SchedOrdSubTaskField*> m_byId;
};

} // namespace

SchedOrd_TableSubTaskWid::SchedOrd_TableSubTaskWid(int accountId, ServiceScheduledOrder* service, QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::SchedOrd_TableSubTaskWid)
    , m_accountId(accountId)
    , m_userData(UserDataManager::instance()->getUserData(accountId))
    , m_service(service)
{
    ui->setupUi(this);
    ui->widget_somonitor_subtask_toolbox_btns->hide();
    initTable();
    initTableModel();
    reloadAll();
    ui->lineEdit_somonitor_subtask_filter_securityID->clear();
    fillMainTaskFilter();
    connect(ui->comboBox_subtask_maintaskname, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SchedOrd_TableSubTaskWid::slot_comboBox_filter_maintaskID_currentIndexChanged);
    ui->comboBox_subtask_maintaskname->setView(new QListView());
    ui->comboBox_subtask_maintaskname->installEventFilter(this);
    initConnections();
}

SchedOrd_TableSubTaskWid::~SchedOrd_TableSubTaskWid()
{
    qDebug() << "~SchedOrd_TableSubTaskWid()";
    // The view, proxy and model point into the column definitions and the task records, which
    // would otherwise go first (members die before the children): they go before both.
    delete m_view;
    delete m_proxy;
    delete m_model;
    deleteSubTaskRecords();
    delete ui;
}

bool SchedOrd_TableSubTaskWid::eventFilter(QObject* watched, QEvent* event)
{
    if (qstrcmp(watched->metaObject()->className(), "QComboBox") == 0)
        Util::setCustomComboBoxStyleSheet(event->type(), static_cast<QComboBox*>(watched));
    return false;
}

void SchedOrd_TableSubTaskWid::initTable()
{
    m_tableHeader = std::make_unique<TableHeaderSchedOrdSubTask>();
    m_tableHeader->initUserColumn();
    ui->label_subtask_blank->hide();

    m_view = new MyTableViewSO(this);
    m_view->setObjectName(QStringLiteral("tableview_SO_monitorSubTask"));

    m_header = new MyHeaderViewWithCheckbox(Qt::Horizontal, this);
    SchedOrdMonitorTable::configureHeaders(m_view, m_header, QStringLiteral("hHeader_SO_monitorSubTask"),
                                           QStringLiteral("vHeader_SO_monitorSubTask"));

    m_model = new MyTableModelSO(QStringLiteral("THSchedOrdSubTask"), m_accountId, this);
    m_model->setColumnOffset(1);
    m_proxy = new MySFProxyModelSOSubTask(QStringLiteral("THSchedOrdSubTask"), this);
    m_proxy->setSourceModel(m_model);
    m_proxy->setColumnOffset(1);
    m_view->setModel(m_proxy);

    m_delegate = new MyItemDelegateSO(this);
    m_view->setItemDelegate(m_delegate);

    SchedOrdMonitorTable::configureBehaviour(m_view);

    connect(m_header, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged, this,
            &SchedOrd_TableSubTaskWid::slotHeaderCheckStateChanged);
    connect(m_delegate, &MyItemDelegateSO::signalBtnClicked, this, &SchedOrd_TableSubTaskWid::slotSubTaskBtnClicked);
    connect(m_delegate, &MyItemDelegateSO::signalItemDelegateMouseReleaseCheckStateChanged, this,
            &SchedOrd_TableSubTaskWid::slotTableCheckStateChanged);

    ui->verticalLayout_tablesubtask->addWidget(m_view);
}

void SchedOrd_TableSubTaskWid::initTableModel()
{
    m_columns = m_tableHeader->getShowColumns();

    SchedOrdMonitorTable::applyColumnSet(m_tableHeader.get(), m_columns, m_model, m_proxy, m_view, m_delegate);
    for (int i = 0; i < m_columns.size(); ++i) {
        const int column = i + 1;
        QVector<TableBtnInfo> buttons;
        switch (m_columns[i]->id) {
        case TableHeaderSchedOrdSubTask::ColDirection:
            m_delegate->setColorColumn(column);
            break;
        case TableHeaderSchedOrdSubTask::ColOrderParams:
            buttons.append({ViewDetail, tr("点击查看"), QString(), QSize(0, 0)});
            break;
        case TableHeaderSchedOrdSubTask::ColOperation:
            buttons.append({Modify, tr("修改"), QString(), QSize(0, 0)});
            break;
        default:
            break;
        }
        if (!buttons.isEmpty()) {
            m_view->setColumnButtons(column, buttons);
            m_delegate->setColumnButtons(column, buttons);
        }
    }

    SchedOrdMonitorTable::layOutColumns(m_view, m_header, m_columns, m_model->columnCount());
}

void SchedOrd_TableSubTaskWid::initConnections()
{
    connect(m_service, &ServiceScheduledOrder::signalRtnMainTaskAdded, this,
            &SchedOrd_TableSubTaskWid::slotRtnMainTaskAdded, Qt::QueuedConnection);
    connect(m_service, &ServiceScheduledOrder::signalRtnSubTaskChanged, this,
            &SchedOrd_TableSubTaskWid::slotRtnSubTaskChanged, Qt::QueuedConnection);
    connect(m_service, &ServiceScheduledOrder::signalRtnMainTaskDeleted, this,
            &SchedOrd_TableSubTaskWid::slotRtnMainTaskDeleted, Qt::QueuedConnection);
    connect(ui->lineEdit_somonitor_subtask_filter_securityID, &QLineEdit::textChanged, this,
            &SchedOrd_TableSubTaskWid::slot_lineEdit_filter_securityID_textChanged);
}

void SchedOrd_TableSubTaskWid::deleteSubTaskRecords()
{
    for (SchedOrdSubTaskField* subTask : m_subTaskList)
        delete subTask;
    m_subTaskList.clear();
    m_rowIndex.clear();
}

void SchedOrd_TableSubTaskWid::reloadAll()
{
    deleteSubTaskRecords();
    const std::vector<SchedOrdSubTaskField> subTasks = m_service->getVecAllSubTask();
    QList<std::any> rows;
    rows.reserve(static_cast<int>(subTasks.size()));
    m_subTaskList.reserve(subTasks.size());
    m_rowIndex.reserve(static_cast<int>(subTasks.size()));
    int row = 0;
    for (const SchedOrdSubTaskField& subTask : subTasks) {
        auto* copy = new SchedOrdSubTaskField(subTask);
        m_subTaskList.push_back(copy);
        m_rowIndex.insert(TableHeaderSchedOrdSubTask::rowKey(copy->MainTaskID, copy->SubTaskID), row++);
        rows.append(std::any(copy));
    }
    m_model->setDataSource(rows);
    m_proxy->resetModel();
}

void SchedOrd_TableSubTaskWid::fillMainTaskFilter()
{
    QComboBox* combo = ui->comboBox_subtask_maintaskname;
    const QSignalBlocker blocker(combo);
    const int keep = combo->count() > 0 ? combo->currentData(Qt::UserRole).toInt() : m_allTasksId;
    combo->clear();
    combo->addItem(tr("全部"), m_allTasksId);
    int selected = 0;
    for (const SchedOrdTaskField& task : m_service->getVecMainTask()) {
        combo->addItem(QStringLiteral("[#%1] ").arg(task.MainTaskID) + Util::Str2QStr(task.MainTaskName), task.MainTaskID);
        if (task.MainTaskID == keep)
            selected = combo->count() - 1;
    }
    combo->setCurrentIndex(selected);
    m_proxy->setFilterMainTaskID(combo->currentData(Qt::UserRole).toInt());
}

void SchedOrd_TableSubTaskWid::on_pushButton_somonitor_subtask_start_clicked()
{
}

void SchedOrd_TableSubTaskWid::on_pushButton_somonitor_subtask_pause_clicked()
{
}

void SchedOrd_TableSubTaskWid::on_pushButton_somonitor_subtask_delete_clicked()
{
}

void SchedOrd_TableSubTaskWid::on_pushButton_somonitor_subtask_refresh_clicked()
{
    reloadAll();
}

void SchedOrd_TableSubTaskWid::slotSubTaskBtnClicked(QModelIndex index, TableBtnType btntype)
{
    if (btntype != Modify && btntype != ViewDetail)
        return;
    const SchedOrdSubTaskField* subTask = findSubTaskOfRow(index);
    if (!subTask)
        return;
    if (btntype == Modify)
        modifySubTask(*subTask);
    else
        showSubTaskDetails(*subTask);
}

const SchedOrdSubTaskField* SchedOrd_TableSubTaskWid::findSubTaskOfRow(const QModelIndex& index) const
{
    const QString key = m_proxy->index(index.row(), m_proxy->columnCount() - 1).data().toString();
    const QStringList ids = key.split(QLatin1Char('_'), Qt::KeepEmptyParts);
    if (ids.size() != 2)
        return nullptr;
    const int mainTaskId = ids[0].toInt();
    const int subTaskId = ids[1].toInt();
    const auto found = std::find_if(m_subTaskList.cbegin(), m_subTaskList.cend(), [&](const SchedOrdSubTaskField* sub) {
        return sub->MainTaskID == mainTaskId && sub->SubTaskID == subTaskId;
    });
    return found == m_subTaskList.cend() ? nullptr : *found;
}

bool SchedOrd_TableSubTaskWid::isModifiable(const SchedOrdSubTaskField& subTask)
{
    if (hasBeenSent(subTask)) {
        gWM->popupMsgBoxInfo(tr("该子任务已触发过，无法修改参数"), this, QString());
        return false;
    }
    SecurityInfo security;
    if (!m_userData || !m_userData->GetSecurityInfoByKey(Util::Str2QStr(subTask.SecurityKey), security)) {
        gWM->popupMsgBoxInfo(tr("该子任务的证券信息获取失败，无法修改参数"), this, QString());
        return false;
    }
    return true;
}

FramelessFloatDlg* SchedOrd_TableSubTaskWid::createModifyDialog(VelmClient* mainWindow)
{
    auto* dialog = new FramelessFloatDlg(m_accountId, Subwin_FramelessFloatDlg, kModifyDialogFlags, mainWindow);
    auto* content = qobject_cast<SchedOrd_ModifySubTaskParamWid*>(dialog->content());
    if (!content) {
        delete dialog;
        gWM->popupMsgBoxInfo(tr("修改对话框加载失败，无法修改参数"), this, QString());
        return nullptr;
    }
    content->setOpenerWidget(this);
    content->initDialog();
    return dialog;
}

// The dialog reads the stored sub-task during its whole modal run, while the service's
// notifications reload the table and free its records. So the dialog gets a snapshot owned by
// this call, never the table's record; the table stays free to follow the service.
void SchedOrd_TableSubTaskWid::modifySubTask(const SchedOrdSubTaskField& storedSubTask)
{
    const SchedOrdSubTaskField stored = storedSubTask;
    if (!isModifiable(stored))
        return;
    VelmClient* mainWindow = qobject_cast<VelmClient*>(window());
    FramelessFloatDlg* dialog = createModifyDialog(mainWindow);
    if (!dialog)
        return;

    SchedOrdSubTaskField edited = stored;
    bool confirmed = false;
    qobject_cast<SchedOrd_ModifySubTaskParamWid*>(dialog->content())->setSubTask(&stored, &edited, &confirmed);

    // The host frees the dialog once its run is over; without a host it frees itself the same way.
    if (mainWindow)
        mainWindow->addModalDlg(dialog);
    else
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Only locals are used after the run: whatever the run did to this table, they are intact.
    const QPointer<ServiceScheduledOrder> service(m_service);
    dialog->exec();

    if (confirmed && service)
        service->ModifyOneSubTask(edited);
}

void SchedOrd_TableSubTaskWid::showSubTaskDetails(const SchedOrdSubTaskField& subTask)
{
    gWM->popupTooltip(subTaskDetailsText(subTask), kDetailsTooltipSize);
}

QString SchedOrd_TableSubTaskWid::subTaskDetailsText(const SchedOrdSubTaskField& subTask) const
{
    const QString securityId = Util::Str2QStr(subTask.SecurityID);
    const int apiType = m_userData ? m_userData->getApiType() : 0;
    QStringList lines;
    lines << tr("证券代码：") + securityId
          << tr("证券名称：") + (m_userData ? m_userData->Translate2SecurityName(securityId, subTask.ExchangeID) : QString())
          << tr("设定时间：") + SchedOrdTaskTime::toText(subTask.StartTime)
          << tr("买卖方向：") + Util::ParseDirection(apiType, subTask.Direction)
          << tr("目标数量：") + QString::number(subTask.TargetVolume)
          << tr("价格类型：") + Util::ParsePriceTypeName(subTask.PriceType)
          << tr("价格浮动：") + priceFloatText(subTask);
    if (showsOrderPrice(subTask.PriceType))
        lines << tr("指定价格：") + QString::number(subTask.OrderPrice, 'g', kDetailsSignificantDigits);
    lines << tr("涨停不卖：") + yesOrUnlimited(subTask.NoSellAtLimitUp)
          << tr("跌停不买：") + yesOrUnlimited(subTask.NoBuyAtLimitDown);

    QString text;
    for (const QString& line : qAsConst(lines))
        text += line + QLatin1Char('\n');
    return text;
}

void SchedOrd_TableSubTaskWid::slotTimerRefreshTimeOut()
{
}

void SchedOrd_TableSubTaskWid::slotHeaderCheckStateChanged(bool isChecked)
{
    SchedOrdMonitorTable::setVisibleRowsChecked(m_proxy, isChecked);
}

void SchedOrd_TableSubTaskWid::slotTableCheckStateChanged()
{
    if (!m_proxy)
        return;
    m_proxy->setHeaderData(0, Qt::Horizontal, SchedOrdMonitorTable::visibleRowsCheckState(m_proxy), Qt::CheckStateRole);
}

void SchedOrd_TableSubTaskWid::slot_comboBox_filter_maintaskID_currentIndexChanged(int index)
{
    Q_UNUSED(index)
    m_proxy->setFilterMainTaskID(ui->comboBox_subtask_maintaskname->currentData(Qt::UserRole).toInt());
}

void SchedOrd_TableSubTaskWid::slot_lineEdit_filter_securityID_textChanged(QString text)
{
    m_proxy->setFilterSecurityID(text);
}

void SchedOrd_TableSubTaskWid::slotRtnMainTaskAdded(int maintaskID)
{
    Q_UNUSED(maintaskID)
    reloadAll();
    fillMainTaskFilter();
}

void SchedOrd_TableSubTaskWid::slotRtnSubTaskChanged(int maintaskID, std::unordered_set<int> allsubtaskID)
{
    const SchedOrdTaskField task = m_service->getOneMainTask(maintaskID);
    const SubTaskFinder findSubTask(task.VecSubTask, allsubtaskID.size());
    const int rowCount = m_model->rowCount();
    const int lastColumn = m_model->columnCount() - 1;
    for (const int subTaskId : allsubtaskID) {
        const auto key = m_rowIndex.constFind(TableHeaderSchedOrdSubTask::rowKey(maintaskID, subTaskId));
        if (key == m_rowIndex.constEnd())
            continue;
        const int row = *key;
        if (row < 0 || row >= rowCount)
            continue;
        const SchedOrdSubTaskField* found = findSubTask(subTaskId);
        if (!found)
            continue;
        *m_subTaskList[static_cast<size_t>(row)] = *found;
        emit m_model->dataChanged(m_model->index(row, 0), m_model->index(row, lastColumn));
    }
}

void SchedOrd_TableSubTaskWid::slotRtnMainTaskDeleted()
{
    reloadAll();
    fillMainTaskFilter();
}

} // namespace Velm_Space
