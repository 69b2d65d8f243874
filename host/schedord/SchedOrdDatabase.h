#pragma once

#include "SchedOrdTaskField.h"
#include "SimBroker.h"
#include "VelmBaseExport.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_file;

// The scheduled-order service's durable state in one SQLite file: main tasks and sub-tasks with
// every field of their records (text fields as the GBK bytes they hold), the id counters, the
// operation log, and the mark an order gets before it leaves for the broker. Every account shares
// the file; rows carry the account id.
//
// One connection, used by one thread at a time (the engine's lock serialises the service), so the
// statements are prepared once and kept. The caller brackets each operation or engine pass in
// begin()/commit(): a commit is on disk (WAL, synchronous=FULL) before the caller tells anyone.
class VELM_BASE_EXPORT SchedOrdDatabase final
{
public:
    static constexpr int SchemaVersion = 2;

    enum class OpenStatus {
        Opened,       // an existing database of this or an older, upgraded version
        Created,      // a new, empty database
        MovedAside,   // the file was corrupt: kept under movedAsidePath, a new one created
        NewerSchema,  // written by a newer version: refused, the file untouched
        NotWritable,  // the folder or the file cannot be written
        Failed,       // anything else; message says what
    };
    struct OpenResult {
        OpenStatus status = OpenStatus::Failed;
        int foundVersion = 0;
        QString movedAsidePath;
        QString message;
        bool usable() const;
    };

    // A sub-task marked as being sent: its order may have left, its result was not stored yet.
    struct SendingMark {
        int mainTaskId = 0;
        int subTaskId = 0;
        std::string clientOrderRef;
    };
    struct LogLine {
        int64_t sequence = 0;
        int64_t time = 0;
        QString text;
    };

    SchedOrdDatabase();
    ~SchedOrdDatabase();
    SchedOrdDatabase(const SchedOrdDatabase&) = delete;
    SchedOrdDatabase& operator=(const SchedOrdDatabase&) = delete;

    OpenResult open(const QString& filePath);
    void close();
    bool isOpen() const { return m_db != nullptr; }
    QString lastError() const { return m_lastError; }

    // How a transaction's commit reaches the disk. Durable: synced before commit() returns (what
    // precedes an order leaving, and the trader's own operations). Ordered: in the journal before
    // commit() returns, so a crash of the process loses nothing, and synced with the next durable
    // commit or checkpoint; only a power cut in between can lose it.
    enum class Sync { Durable, Ordered };
    bool begin(Sync sync = Sync::Durable);
    bool commit();
    // Copies the journal back into the file; the engine does it when it is idle rather than
    // inside the commit that happens to fill the journal.
    bool checkpoint();
    // Pages in the journal after the last commit (0 right after a checkpoint).
    int journalPages() const { return m_journalPages; }
    // Keeps zeroed, synced room in the journal file past its last page, so that the durable
    // commits that follow write over space the file already has: a sync that must also record a
    // longer file costs the file system a journal commit of its own. Only when less than
    // `leastRoomPages` are left, outside any transaction; never needed for correctness, so a
    // failure is not reported. Idle moments top the room up; commits only when it runs low.
    static constexpr int RoomPages = 128;
    static constexpr int LowRoomPages = 16;
    void reserveJournalRoom(int leastRoomPages = RoomPages);
    void rollback();

    // Inserts or replaces the main task and all of its sub-tasks (in VecSubTask order).
    bool saveMainTask(int accountId, const VELMSCHEDORDAPI::SchedOrdTaskField& task);
    // The main task's own fields only, after its status or trigger state moved.
    bool saveMainTaskState(int accountId, const VELMSCHEDORDAPI::SchedOrdTaskField& task);
    // One sub-task that changed in place (fired, filled, modified, paused).
    bool saveSubTask(int accountId, const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask);
    bool deleteMainTask(int accountId, int mainTaskId);
    std::vector<VELMSCHEDORDAPI::SchedOrdTaskField> loadMainTasks(int accountId);
    // One main task as last committed; false when it is not stored.
    bool loadMainTask(int accountId, int mainTaskId, VELMSCHEDORDAPI::SchedOrdTaskField& task);

    // The next ids to hand out; 1 and 1 for an account never stored.
    bool saveNextIds(int accountId, int nextMainTaskId, int nextSubTaskId);
    bool loadNextIds(int accountId, int& nextMainTaskId, int& nextSubTaskId);

    bool appendLog(int accountId, int64_t time, const QString& text);
    // Lines logged at or after `since` (ticks), oldest first.
    std::vector<LogLine> loadLog(int accountId, int64_t since);

    // At most once: a sub-task is marked before its order leaves and unmarked with its result.
    bool markSending(int accountId, int mainTaskId, int subTaskId, const std::string& clientOrderRef);
    bool clearSending(int accountId, int subTaskId);
    std::vector<SendingMark> loadSending(int accountId);

    // The simulated broker's state: what `state` holds is written over what is stored.
    bool saveBrokerState(int accountId, const SimBroker::State& state);
    // False when nothing is stored for the account (or on an error: lastError says).
    bool loadBrokerState(int accountId, SimBroker::State& state);

    // Caps the file's size in pages, so that tests can make the disk "full".
    bool limitPages(int maxPageCount);

private:
    class Statement;
    enum StatementId {
        InsertMainTask, UpdateMainTaskState, DeleteMainTask, DeleteSubTasksOf, InsertSubTask,
        UpdateSubTask, SelectMainTasks, SelectSubTasks, UpsertIds, SelectIds, InsertLog, SelectLog,
        UpsertSending, DeleteSending, SelectSending, SelectMainTask, SelectSubTasksOfMain,
        UpsertBrokerAccount, SelectBrokerAccount, DeleteBrokerPositions, InsertBrokerPosition,
        SelectBrokerPositions, DeleteBrokerQuotas, InsertBrokerQuota, SelectBrokerQuotas, UpsertBrokerOrder,
        SelectBrokerOrders, UpsertBrokerTrade, SelectBrokerTrades, StatementCount
    };

    OpenResult openFile(const QString& filePath);
    OpenResult moveAsideAndCreate(const QString& filePath, const QString& why);
    bool exec(const char* sql);
    bool prepareAll();
    bool upgradeFrom(int version);
    int userVersion();
    bool quickCheckOk();
    bool enableWal();
    sqlite3_file* journalFile();
    int64_t journalEnd(int pages) const;
    void zeroJournalUpTo(sqlite3_file* journal, int64_t end);
    Statement& statement(StatementId id);
    bool fail(const char* what);
    static VELMSCHEDORDAPI::SchedOrdTaskField mainTaskFrom(const Statement& row);
    static VELMSCHEDORDAPI::SchedOrdSubTaskField subTaskFrom(const Statement& row);

    sqlite3* m_db = nullptr;
    Sync m_sync = Sync::Durable;
    int m_journalPages = 0;
    int m_pageBytes = 0;    // 0 without a write-ahead journal: no room is kept then
    std::vector<std::unique_ptr<Statement>> m_statements;
    QString m_lastError;
};
