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
        BrokerChanged,
        StorageFailed           // line: what the trader is told
    };
    struct Notification {
        Kind kind = Kind::OperationLog;
        int mainTaskId = 0;
        std::vector<int> subTaskIds;            // made a set when emitted, off the lock;
                                                // the deleted main tasks for MainTaskDeleted
        QString line;
        QStringList lines;
        int brokerChanges = 0;                  // SimBroker::Changes
    };

    void mainTaskAdded(int mainTaskId);
    void mainTaskChanged(int mainTaskId);
    void subTasksChanged(int mainTaskId, std::vector<int> subTaskIds);
    void mainTaskDeleted(std::vector<int> mainTaskIds);
    void brokerChanged(int changes);
    void storageFailed(const QString& message);
    // Keeps "hh:mm:ss <text>" (the time of `now`) in the log and announces it.
    void log(int64_t now, const QString& text);
    // Announces every kept line again, in one piece, after every line announced so far.
    void restoreLog();
    // The lines kept by an earlier run of the service, shown before any of this run's.
    void setEarlierLog(QStringList lines);

    // Where the outbox stood before an operation, to drop what a failed one added.
    struct Checkpoint {
        size_t pending = 0;
        int logLines = 0;
    };
    Checkpoint checkpoint() const { return Checkpoint{m_pending.size(), m_log.size()}; }
    void rollbackTo(const Checkpoint& checkpoint);
    const std::vector<Notification>& pending() const { return m_pending; }

    const QStringList& logLines() const { return m_log; }
    bool hasPending() const { return !m_pending.empty(); }
    // Moves the pending notifications into `out` (whose storage is handed back for reuse).
    void takePending(std::vector<Notification>& out);

private:
    Notification& push(Kind kind, int mainTaskId = 0);

    std::vector<Notification> m_pending;
    QStringList m_log;
};
