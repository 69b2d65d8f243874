#include "TableHeaderSchedOrdMainTask.h"

#include "SchedOrdCodes.h"
#include "SchedOrdStatusText.h"
#include "SchedOrdTaskField.h"
#include "SchedOrdTaskTime.h"
#include "UserData.h"
#include "Util.h"

#include <algorithm>

using namespace VELMSCHEDORDAPI;

namespace Velm_Space {

namespace {

constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignVCenter;

const SchedOrdTaskField* mainTaskOf(const std::any& record)
{
    return std::any_cast<SchedOrdTaskField*>(record);
}

QString startTimeText(const SchedOrdTaskField& task)
{
    QString text = SchedOrdTaskTime::toText(task.StartTime);
    if (!task.IsSameStartTime)
        text += QStringLiteral("起");
    return text;
}

QString triggerText(const SchedOrdTaskField& task)
{
    const auto triggered = std::count_if(task.VecSubTask.cbegin(), task.VecSubTask.cend(),
                                         [](const SchedOrdSubTaskField& sub) {
                                             return sub.TriggerStatus != SubTriggerStatus::NotTriggered;
                                         });
    return SchedOrdStatusText::mainTaskTrigger(task.TriggerStatus)
        + QStringLiteral("(%1/%2)").arg(triggered).arg(task.VecSubTask.size());
}

QString directionText(const SchedOrdTaskField& task, const UserData* userData)
{
    if (task.Direction == 0)
        return QStringLiteral("多方向");
    return userData ? Util::ParseDirection(userData->ApiType, task.Direction) : QString();
}

} // namespace

TableHeaderSchedOrdMainTask::TableHeaderSchedOrdMainTask()
    : TableHeader(QStringLiteral("THSchedOrdMainTask"), nullptr)
{
    addColumn(ColMainTaskID, TableHeader::tr("母任务号"), 70, kRight, true);
    addColumn(ColMainTaskName, TableHeader::tr("母任务名称"), 120, kRight, true);
    addColumn(ColDirection, TableHeader::tr("买卖方向"), 70, kCentre, true);
    addColumn(ColStartTime, TableHeader::tr("设定时间"), 80, kRight, true);
    addColumn(ColStatus, TableHeader::tr("母任务状态"), 75, kRight, true);
    addColumn(ColTrigger, TableHeader::tr("触发状态"), 100, kRight, true);
    addColumn(ColCreateTime, TableHeader::tr("创建时间"), 75, kRight, true);
    addColumn(ColOperation, TableHeader::tr("操作"), 75, kRight, true);
}

QString TableHeaderSchedOrdMainTask::getColumnValue(int columnId, std::any record, UserData* userData)
{
    const SchedOrdTaskField* task = mainTaskOf(record);
    if (!task)
        return QString();
    switch (columnId) {
    case ColMainTaskID: return QStringLiteral("#%1").arg(task->MainTaskID);
    case ColMainTaskName: return Util::Str2QStr(task->MainTaskName);
    case ColDirection: return directionText(*task, userData);
    case ColStartTime: return startTimeText(*task);
    case ColStatus: return SchedOrdStatusText::mainTaskStatus(task->MainTaskStatus);
    case ColTrigger: return triggerText(*task);
    case ColCreateTime: return SchedOrdTaskTime::toText(task->CreateTime);
    default: return QString();
    }
}

QVariant TableHeaderSchedOrdMainTask::getColumnValueUserRole(int columnId, std::any record, UserData* userData)
{
    Q_UNUSED(userData)
    const SchedOrdTaskField* task = mainTaskOf(record);
    if (!task)
        return QVariant();
    switch (columnId) {
    case ColMainTaskID: return task->MainTaskID;
    case ColMainTaskName: return Util::Str2QStr(task->MainTaskName);
    case ColDirection: return static_cast<int>(static_cast<signed char>(task->Direction));
    case ColStartTime: return startTimeText(*task);
    case ColStatus: return static_cast<int>(task->MainTaskStatus);
    case ColTrigger: return static_cast<int>(task->TriggerStatus);
    case ColCreateTime: return SchedOrdTaskTime::toText(task->CreateTime);
    default: return QVariant();
    }
}

QVariant TableHeaderSchedOrdMainTask::getRowValue(int role, std::any record)
{
    const SchedOrdTaskField* task = mainTaskOf(record);
    if (!task || (role != Qt::DisplayRole && role != Qt::UserRole))
        return QVariant();
    return task->MainTaskID;
}

} // namespace Velm_Space
