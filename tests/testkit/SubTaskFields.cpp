#include "SubTaskFields.h"

#include <QString>

#include <algorithm>

namespace VelmTest {

namespace {

template <typename T>
QString text(const T& value)
{
    return QString::number(value);
}

QString text(char value)
{
    return QStringLiteral("'%1'(%2)").arg(QLatin1Char(value)).arg(int(value));
}

QString text(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString text(const std::string& value)
{
    return QString::fromStdString(value);
}

QString text(double value)
{
    return QString::number(value, 'g', 17);
}

template <typename T>
void compare(QStringList& differences, const char* name, const T& actual, const T& expected)
{
    if (!(actual == expected))
        differences.append(QStringLiteral("%1: %2 != %3").arg(QLatin1String(name), text(actual), text(expected)));
}

} // namespace

QStringList subTaskDifferences(const VELMSCHEDORDAPI::SchedOrdSubTaskField& a,
                               const VELMSCHEDORDAPI::SchedOrdSubTaskField& b)
{
    QStringList d;
    compare(d, "MainTaskID", a.MainTaskID, b.MainTaskID);
    compare(d, "SubTaskID", a.SubTaskID, b.SubTaskID);
    compare(d, "SecurityKey", a.SecurityKey, b.SecurityKey);
    compare(d, "SecurityID", a.SecurityID, b.SecurityID);
    compare(d, "ExchangeID", a.ExchangeID, b.ExchangeID);
    compare(d, "Direction", a.Direction, b.Direction);
    compare(d, "TriggerTime", a.TriggerTime, b.TriggerTime);
    compare(d, "TargetVolume", a.TargetVolume, b.TargetVolume);
    compare(d, "TradeVolume", a.TradeVolume, b.TradeVolume);
    compare(d, "SubTaskStatus", a.SubTaskStatus, b.SubTaskStatus);
    compare(d, "TriggerStatus", a.TriggerStatus, b.TriggerStatus);
    compare(d, "HostCode", a.HostCode, b.HostCode);
    compare(d, "OrderVolume", a.OrderVolume, b.OrderVolume);
    compare(d, "PriceType", a.PriceType, b.PriceType);
    compare(d, "PriceFloatType", a.PriceFloatType, b.PriceFloatType);
    compare(d, "PriceFloatValue", a.PriceFloatValue, b.PriceFloatValue);
    compare(d, "OrderPrice", a.OrderPrice, b.OrderPrice);
    compare(d, "HostValue", a.HostValue, b.HostValue);
    compare(d, "StartTime", a.StartTime, b.StartTime);
    compare(d, "EndTime", a.EndTime, b.EndTime);
    compare(d, "NoSellAtLimitUp", a.NoSellAtLimitUp, b.NoSellAtLimitUp);
    compare(d, "NoBuyAtLimitDown", a.NoBuyAtLimitDown, b.NoBuyAtLimitDown);
    compare(d, "ErrorMsg", a.ErrorMsg, b.ErrorMsg);
    return d;
}

QStringList taskDifferences(const VELMSCHEDORDAPI::SchedOrdTaskField& a, const VELMSCHEDORDAPI::SchedOrdTaskField& b)
{
    QStringList d;
    compare(d, "MainTaskID", a.MainTaskID, b.MainTaskID);
    compare(d, "MainTaskName", a.MainTaskName, b.MainTaskName);
    compare(d, "MainTaskStatus", a.MainTaskStatus, b.MainTaskStatus);
    compare(d, "TriggerStatus", a.TriggerStatus, b.TriggerStatus);
    compare(d, "CreateTime", a.CreateTime, b.CreateTime);
    compare(d, "StartTime", a.StartTime, b.StartTime);
    compare(d, "EndTime", a.EndTime, b.EndTime);
    compare(d, "IsSameStartTime", a.IsSameStartTime, b.IsSameStartTime);
    compare(d, "IsSameEndTime", a.IsSameEndTime, b.IsSameEndTime);
    compare(d, "Direction", a.Direction, b.Direction);
    compare(d, "sub-tasks", a.VecSubTask.size(), b.VecSubTask.size());
    for (size_t i = 0; i < std::min(a.VecSubTask.size(), b.VecSubTask.size()); ++i) {
        for (const QString& field : subTaskDifferences(a.VecSubTask[i], b.VecSubTask[i]))
            d.append(QStringLiteral("sub-task %1 %2").arg(i).arg(field));
    }
    return d;
}

QStringList taskDifferences(const std::vector<VELMSCHEDORDAPI::SchedOrdTaskField>& a,
                            const std::vector<VELMSCHEDORDAPI::SchedOrdTaskField>& b)
{
    QStringList d;
    compare(d, "tasks", a.size(), b.size());
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        for (const QString& field : taskDifferences(a[i], b[i]))
            d.append(QStringLiteral("task %1 %2").arg(i).arg(field));
    }
    return d;
}

} // namespace VelmTest
