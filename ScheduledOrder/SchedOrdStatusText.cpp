#include "SchedOrdStatusText.h"

namespace Velm_Space {

QString SchedOrdStatusText::mainTaskStatus(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未启动");
    case '2': return QStringLiteral("运行中");
    case '3': return QStringLiteral("暂停");
    case '4': return QStringLiteral("全部触发");
    case '5': return QStringLiteral("停止");
    default: return QString();
    }
}

QString SchedOrdStatusText::mainTaskTrigger(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未触发");
    case '2': return QStringLiteral("部分触发");
    case '3': return QStringLiteral("全部触发");
    default: return QString();
    }
}

QString SchedOrdStatusText::subTaskStatus(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未启动");
    case '2': return QStringLiteral("运行中");
    case '3': return QStringLiteral("已触发");
    case '4': return QStringLiteral("已完成");
    case '5': return QStringLiteral("暂停");
    case '6': return QStringLiteral("停止");
    default: return QString();
    }
}

QString SchedOrdStatusText::subTaskTrigger(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未触发");
    case '2': return QStringLiteral("已触发(失败)");
    case '3': return QStringLiteral("已触发(已发送)");
    case '4': return QStringLiteral("已触发(废单)");
    case '5': return QStringLiteral("已触发(全成交)");
    default: return QString();
    }
}

} // namespace Velm_Space
