#include "SchedOrdOutbox.h"

#include "SchedOrdClock.h"

void SchedOrdOutbox::mainTaskAdded(int mainTaskId)
{
    push(Kind::MainTaskAdded, mainTaskId);
}

void SchedOrdOutbox::mainTaskChanged(int mainTaskId)
{
    push(Kind::MainTaskChanged, mainTaskId);
}

void SchedOrdOutbox::subTasksChanged(int mainTaskId, std::unordered_set<int> subTaskIds)
{
    push(Kind::SubTasksChanged, mainTaskId);
    m_pending.back().subTaskIds = std::move(subTaskIds);
}

void SchedOrdOutbox::mainTaskDeleted()
{
    push(Kind::MainTaskDeleted, 0);
}

void SchedOrdOutbox::log(int64_t now, const QString& text)
{
    QString line = SchedOrdClock::timeOfDayText(now) + QLatin1Char(' ') + text;
    m_log.append(line);
    push(Kind::OperationLog, 0, std::move(line));
}

void SchedOrdOutbox::replayLog()
{
    for (const QString& line : m_log)
        push(Kind::OperationLog, 0, line);
}

void SchedOrdOutbox::takePending(std::vector<Notification>& out)
{
    out.clear();
    out.swap(m_pending);
}

void SchedOrdOutbox::push(Kind kind, int mainTaskId, QString line)
{
    Notification notification;
    notification.kind = kind;
    notification.mainTaskId = mainTaskId;
    notification.line = std::move(line);
    m_pending.push_back(std::move(notification));
}
