#include "SchedOrdOutbox.h"

#include "SchedOrdClock.h"

#include <algorithm>

void SchedOrdOutbox::mainTaskAdded(int mainTaskId)
{
    push(Kind::MainTaskAdded, mainTaskId);
}

void SchedOrdOutbox::mainTaskChanged(int mainTaskId)
{
    push(Kind::MainTaskChanged, mainTaskId);
}

void SchedOrdOutbox::subTasksChanged(int mainTaskId, std::vector<int> subTaskIds)
{
    push(Kind::SubTasksChanged, mainTaskId).subTaskIds = std::move(subTaskIds);
}

void SchedOrdOutbox::mainTaskDeleted(std::vector<int> mainTaskIds)
{
    push(Kind::MainTaskDeleted).subTaskIds = std::move(mainTaskIds);
}

void SchedOrdOutbox::brokerChanged(int changes)
{
    push(Kind::BrokerChanged).brokerChanges = changes;
}

void SchedOrdOutbox::storageFailed(const QString& message)
{
    push(Kind::StorageFailed).line = message;
}

void SchedOrdOutbox::log(int64_t now, const QString& text)
{
    QString line = SchedOrdClock::timeOfDayText(now) + QLatin1Char(' ') + text;
    m_log.append(line);
    push(Kind::OperationLog).line = std::move(line);
}

void SchedOrdOutbox::restoreLog()
{
    push(Kind::OperationLogRestored).lines = m_log;
}

void SchedOrdOutbox::setEarlierLog(QStringList lines)
{
    m_log = std::move(lines);
}

void SchedOrdOutbox::rollbackTo(const Checkpoint& checkpoint)
{
    m_pending.resize(std::min(m_pending.size(), checkpoint.pending));
    while (m_log.size() > checkpoint.logLines)
        m_log.removeLast();
}

void SchedOrdOutbox::takePending(std::vector<Notification>& out)
{
    out.clear();
    out.swap(m_pending);
}

SchedOrdOutbox::Notification& SchedOrdOutbox::push(Kind kind, int mainTaskId)
{
    m_pending.emplace_back();
    Notification& notification = m_pending.back();
    notification.kind = kind;
    notification.mainTaskId = mainTaskId;
    return notification;
}
