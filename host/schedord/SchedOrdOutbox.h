#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <unordered_set>
#include <vector>

// What the service has to announce, in the order it happened, plus the operation log. Filled
// under the engine's lock by the operations and the engine, emptied by the engine thread, which
// emits the signals once the lock is released.
class SchedOrdOutbox final
{
public:
    enum class Kind { MainTaskAdded, MainTaskChanged, SubTasksChanged, MainTaskDeleted, OperationLog };
    struct Notification {
        Kind kind = Kind::OperationLog;
        int mainTaskId = 0;
        std::unordered_set<int> subTaskIds;
        QString line;
    };

    void mainTaskAdded(int mainTaskId);
    void mainTaskChanged(int mainTaskId);
    void subTasksChanged(int mainTaskId, std::unordered_set<int> subTaskIds);
    void mainTaskDeleted();
    // Keeps "hh:mm:ss <text>" (the time of `now`) in the log and announces it.
    void log(int64_t now, const QString& text);
    // Announces every kept line again, in order.
    void replayLog();

    const QStringList& logLines() const { return m_log; }
    bool hasPending() const { return !m_pending.empty(); }
    // Moves the pending notifications into `out` (whose storage is handed back for reuse).
    void takePending(std::vector<Notification>& out);

private:
    void push(Kind kind, int mainTaskId, QString line = QString());

    std::vector<Notification> m_pending;
    QStringList m_log;
};
