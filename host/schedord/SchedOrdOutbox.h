#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// What the service and its broker have to announce, in the order it happened, plus the
// operation log. Filled under the engine's lock by the operations and the engine, emptied by the
// engine thread, which emits the signals once the lock is released.
class SchedOrdOutbox final
{
public:
    enum class Kind {
        MainTaskAdded,
        MainTaskChanged,
        SubTasksChanged,
        MainTaskDeleted,
        OperationLog,
        OperationLogRestored,
        BrokerChanged
    };
    struct Notification {
        Kind kind = Kind::OperationLog;
        int mainTaskId = 0;
        std::vector<int> subTaskIds;            // made a set when emitted, off the lock
        QString line;
        QStringList lines;
        int brokerChanges = 0;                  // SimBroker::Changes
    };

    void mainTaskAdded(int mainTaskId);
    void mainTaskChanged(int mainTaskId);
    void subTasksChanged(int mainTaskId, std::vector<int> subTaskIds);
    void mainTaskDeleted();
    void brokerChanged(int changes);
    // Keeps "hh:mm:ss <text>" (the time of `now`) in the log and announces it.
    void log(int64_t now, const QString& text);
    // Announces every kept line again, in one piece, after every line announced so far.
    void restoreLog();

    const QStringList& logLines() const { return m_log; }
    bool hasPending() const { return !m_pending.empty(); }
    // Moves the pending notifications into `out` (whose storage is handed back for reuse).
    void takePending(std::vector<Notification>& out);

private:
    Notification& push(Kind kind, int mainTaskId = 0);

    std::vector<Notification> m_pending;
    QStringList m_log;
};
