#pragma once

#include "SchedOrdDatabase.h"
#include "SchedOrdOutbox.h"
#include "SchedOrdStore.h"
#include "SimBroker.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

// One account's share of the database as the engine uses it, always under the engine's lock:
// what an operation or an engine slice announced is written in one transaction before anyone is
// told; a sub-task is marked before its order leaves; and when the service starts, its tasks,
// ids, log and broker come back, sub-tasks left marked are reconciled with the broker and
// sub-tasks whose set time passed while the client was not running fail instead of leaving late.
class SchedOrdStorage final
{
public:
    // What opening found, for the log.
    struct Recovery {
        int reconciledFound = 0;
        int reconciledMissing = 0;
        int missed = 0;
        int awaitingRoute = 0;
    };

    SchedOrdStorage(int accountId, SimBroker& broker);

    SchedOrdDatabase::OpenResult open(const QString& filePath);
    // For a route that answers later (over a network): sub-tasks left marked are not looked up at
    // load but shown as sent and being checked, and the engine asks the route about them.
    void setReconcileLater(bool later) { m_reconcileLater = later; }
    // Fills the store, the next ids and the outbox's log; the broker gets its stored state, or its
    // current one is stored. False (lastError says why) when the database cannot be read.
    bool load(SchedOrdStore& store, SchedOrdOutbox& outbox, int64_t now, int& nextMainTaskId, int& nextSubTaskId);

    // The ids the next commit stores.
    void setNextIds(int nextMainTaskId, int nextSubTaskId);
    // Marks the sub-tasks as being sent, durably. False: none is marked.
    bool markSending(const std::vector<SchedOrdStore::SubTaskRef>& refs);
    // The marked sub-task has its result (or will not be sent after all): its mark goes with the
    // next commit.
    void settle(int subTaskId) { m_marked.push_back(subTaskId); }
    // One transaction: what pending[from..] announces, the broker's changes, the ids, and the
    // marks of this slice cleared. False: rolled back.
    bool commit(const std::vector<SchedOrdOutbox::Notification>& pending, size_t from, const SchedOrdStore& store,
                int64_t now, SchedOrdDatabase::Sync sync = SchedOrdDatabase::Sync::Durable);
    // Copies the journal back into the file once it holds more than a few megabytes.
    void checkpointIfGrown();
    // Tops up the zeroed room past the journal's end that the marks write into (when idle).
    void reserveJournalRoom();
    // After a failed commit: the tasks that pending[from..] names, as last committed.
    void restoreCommitted(const std::vector<SchedOrdOutbox::Notification>& pending, size_t from, SchedOrdStore& store);

    QString lastError() const { return m_db.lastError(); }
    SchedOrdDatabase& database() { return m_db; }

private:
    bool writeNotification(const SchedOrdOutbox::Notification& notification, const SchedOrdStore& store, int64_t now);
    bool writeSubTasks(const VELMSCHEDORDAPI::SchedOrdTaskField& task, const std::vector<int>& subTaskIds);
    bool loadBroker();
    Recovery recover(std::vector<VELMSCHEDORDAPI::SchedOrdTaskField>& tasks, int64_t now,
                     std::vector<const VELMSCHEDORDAPI::SchedOrdTaskField*>& changed);
    void reconcile(VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask, const std::string& clientOrderRef, Recovery& recovery);
    bool storeRecovery(const std::vector<const VELMSCHEDORDAPI::SchedOrdTaskField*>& changed,
                       const QStringList& logLines, int64_t now);

    const int m_accountId;
    SimBroker& m_broker;
    SchedOrdDatabase m_db;
    SimBroker::Cursor m_brokerCursor;
    SimBroker::State m_brokerChanges;
    std::vector<int> m_marked;
    int m_nextMainTaskId = 0;
    int m_nextSubTaskId = 0;
    bool m_idsChanged = false;
    bool m_reconcileLater = false;
};
