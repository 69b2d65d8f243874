#include "TableHeaderSchedOrdSubTask.h"

#include "SchedOrdStatusText.h"
#include "SchedOrdSubTaskField.h"
#include "SchedOrdTaskTime.h"
#include "UserData.h"
#include "Util.h"

using namespace VELMSCHEDORDAPI;

namespace Velm_Space {

namespace {

constexpr Qt::Alignment kRight = Qt::AlignRight | Qt::AlignVCenter;
constexpr Qt::Alignment kCentre = Qt::AlignHCenter | Qt::AlignVCenter;

const SchedOrdSubTaskField* subTaskOf(const std::any& record)
{
    return std::any_cast<SchedOrdSubTaskField*>(record);
}

// A sub-task that has not fired still holds today's midnight.
QString triggerTimeText(const SchedOrdSubTaskField& sub)
{
    const QString text = SchedOrdTaskTime::toText(sub.TriggerTime);
    return text == QLatin1String("00:00:00") ? QStringLiteral("-") : text;
}

QString displaySecurityID(const SchedOrdSubTaskField& sub, UserData* userData)
{
    return userData->GetDisplaySecurityID(QString::fromStdString(sub.SecurityID), sub.ExchangeID);
}

QString securityName(const SchedOrdSubTaskField& sub, UserData* userData)
{
    return userData->GetSecurityNameByKey(QString::fromStdString(sub.SecurityKey));
}

} // namespace

TableHeaderSchedOrdSubTask::TableHeaderSchedOrdSubTask()
    : TableHeader(QStringLiteral("THSchedOrdSubTask"), nullptr)
{
    addColumn(ColMainTaskID, TableHeader::tr("母任务号"), 60, kRight, true);
    addColumn(ColSecurityID, TableHeader::tr("证券代码"), 75, kRight, true);
    addColumn(ColSecurityName, TableHeader::tr("证券名称"), 75, kRight, true);
    addColumn(ColDirection, TableHeader::tr("买卖方向"), 60, kCentre, true);
    addColumn(ColStartTime, TableHeader::tr("设定时间"), 75, kRight, true);
    addColumn(ColStatus, TableHeader::tr("子任务状态"), 75, kRight, true);
    addColumn(ColTrigger, TableHeader::tr("触发状态"), 120, kRight, true);
    addColumn(ColTargetVolume, TableHeader::tr("目标数量"), 75, kRight, true);
    addColumn(ColOrderVolume, TableHeader::tr("报单数量"), 75, kRight, true);
    addColumn(ColTradeVolume, TableHeader::tr("成交数量"), 75, kRight, true);
    addColumn(ColTriggerTime, TableHeader::tr("触发时间"), 95, kRight, true);
    addColumn(ColErrorMsg, TableHeader::tr("详细错误信息"), 120, kRight, true);
    addColumn(ColOrderParams, TableHeader::tr("报单参数"), 75, kRight, true);
    addColumn(ColOperation, TableHeader::tr("操作"), 75, kRight, true);
}

QString TableHeaderSchedOrdSubTask::rowKey(int mainTaskId, int subTaskId)
{
    return QString::number(mainTaskId) + QLatin1Char('_') + QString::number(subTaskId);
}

QString TableHeaderSchedOrdSubTask::getColumnValue(int columnId, std::any record, UserData* userData)
{
    const SchedOrdSubTaskField* sub = subTaskOf(record);
    if (!sub || !userData)
        return QString();
    switch (columnId) {
    case ColMainTaskID: return QStringLiteral("#%1").arg(sub->MainTaskID);
    case ColSecurityID: return displaySecurityID(*sub, userData);
    case ColSecurityName: return securityName(*sub, userData);
    case ColDirection: return Util::ParseDirection(userData->ApiType, sub->Direction);
    case ColStartTime: return SchedOrdTaskTime::toText(sub->StartTime);
    case ColStatus: return SchedOrdStatusText::subTaskStatus(sub->SubTaskStatus);
    case ColTrigger: return SchedOrdStatusText::subTaskTrigger(sub->TriggerStatus);
    case ColTargetVolume: return QString::number(sub->TargetVolume);
    case ColOrderVolume: return QString::number(sub->OrderVolume);
    case ColTradeVolume: return QString::number(sub->TradeVolume);
    case ColTriggerTime: return triggerTimeText(*sub);
    case ColErrorMsg: return Util::Str2QStr(sub->ErrorMsg);
    default: return QString();
    }
}

QVariant TableHeaderSchedOrdSubTask::getColumnValueUserRole(int columnId, std::any record, UserData* userData)
{
    const SchedOrdSubTaskField* sub = subTaskOf(record);
    if (!sub)
        return QVariant();
    switch (columnId) {
    case ColMainTaskID: return sub->MainTaskID;
    case ColSecurityID: return userData ? QVariant(displaySecurityID(*sub, userData)) : QVariant();
    case ColSecurityName: return userData ? QVariant(securityName(*sub, userData)) : QVariant();
    case ColDirection: return static_cast<int>(static_cast<signed char>(sub->Direction));
    case ColStartTime: return SchedOrdTaskTime::toText(sub->StartTime);
    case ColStatus: return static_cast<int>(sub->SubTaskStatus);
    case ColTrigger: return static_cast<int>(sub->TriggerStatus);
    case ColTargetVolume: return sub->TargetVolume;
    case ColOrderVolume: return sub->OrderVolume;
    case ColTradeVolume: return sub->TradeVolume;
    case ColTriggerTime: return triggerTimeText(*sub);
    case ColErrorMsg: return Util::Str2QStr(sub->ErrorMsg);
    default: return QVariant();
    }
}

QVariant TableHeaderSchedOrdSubTask::getRowValue(int role, std::any record)
{
    const SchedOrdSubTaskField* sub = subTaskOf(record);
    if (!sub)
        return QVariant();
    if (role == Qt::DisplayRole)
        return rowKey(sub->MainTaskID, sub->SubTaskID);
    if (role == Qt::UserRole)
        return sub->MainTaskID;
    return QVariant();
}

} // namespace Velm_Space
