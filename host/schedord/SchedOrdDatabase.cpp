#include "SchedOrdDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <numeric>
#include <unordered_map>

using VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskField;

namespace {

// Version 1: tasks, ids, log and the sending marks. Codes are stored as the byte they are, text
// fields as BLOBs of their GBK bytes, so nothing is decoded on the way in or out.
constexpr const char* kSchemaV1 = R"sql(
CREATE TABLE main_task(
  account_id INTEGER NOT NULL, main_task_id INTEGER NOT NULL, name BLOB NOT NULL,
  status INTEGER NOT NULL, trigger_status INTEGER NOT NULL, create_time INTEGER NOT NULL,
  start_time INTEGER NOT NULL, end_time INTEGER NOT NULL, same_start INTEGER NOT NULL,
  same_end INTEGER NOT NULL, direction INTEGER NOT NULL,
  PRIMARY KEY(account_id, main_task_id)) WITHOUT ROWID;
CREATE TABLE sub_task(
  account_id INTEGER NOT NULL, sub_task_id INTEGER NOT NULL, main_task_id INTEGER NOT NULL,
  position INTEGER NOT NULL, security_key BLOB NOT NULL, security_id BLOB NOT NULL,
  exchange_id INTEGER NOT NULL, direction INTEGER NOT NULL, trigger_time INTEGER NOT NULL,
  target_volume INTEGER NOT NULL, trade_volume INTEGER NOT NULL, sub_task_status INTEGER NOT NULL,
  trigger_status INTEGER NOT NULL, host_code INTEGER NOT NULL, order_volume INTEGER NOT NULL,
  price_type INTEGER NOT NULL, price_float_type INTEGER NOT NULL, price_float_value REAL NOT NULL,
  order_price REAL NOT NULL, host_value INTEGER NOT NULL, start_time INTEGER NOT NULL,
  end_time INTEGER NOT NULL, no_sell_at_limit_up INTEGER NOT NULL,
  no_buy_at_limit_down INTEGER NOT NULL, error_msg BLOB NOT NULL,
  PRIMARY KEY(account_id, sub_task_id)) WITHOUT ROWID;
CREATE INDEX sub_task_by_main ON sub_task(account_id, main_task_id, position);
CREATE TABLE next_ids(
  account_id INTEGER PRIMARY KEY, next_main_task_id INTEGER NOT NULL,
  next_sub_task_id INTEGER NOT NULL);
CREATE TABLE op_log(
  sequence INTEGER PRIMARY KEY AUTOINCREMENT, account_id INTEGER NOT NULL,
  time INTEGER NOT NULL, text TEXT NOT NULL);
CREATE INDEX op_log_by_account ON op_log(account_id, time);
CREATE TABLE sending(
  account_id INTEGER NOT NULL, sub_task_id INTEGER NOT NULL, main_task_id INTEGER NOT NULL,
  client_order_ref BLOB NOT NULL,
  PRIMARY KEY(account_id, sub_task_id)) WITHOUT ROWID;
)sql";

// Version 2: the simulated broker's account, positions, short quotas, orders and trades, so that
// its windows agree with the tasks after a restart.
constexpr const char* kSchemaV2 = R"sql(
CREATE TABLE broker_account(
  account_id INTEGER PRIMARY KEY, funds REAL NOT NULL, credit_line REAL NOT NULL,
  next_order_id INTEGER NOT NULL, next_trade_id INTEGER NOT NULL);
CREATE TABLE broker_position(
  account_id INTEGER NOT NULL, security_key TEXT NOT NULL, volume INTEGER NOT NULL,
  available INTEGER NOT NULL, cost_price REAL NOT NULL, short_volume INTEGER NOT NULL,
  short_liability REAL NOT NULL, PRIMARY KEY(account_id, security_key)) WITHOUT ROWID;
CREATE TABLE broker_quota(
  account_id INTEGER NOT NULL, security_key TEXT NOT NULL, volume INTEGER NOT NULL,
  PRIMARY KEY(account_id, security_key)) WITHOUT ROWID;
CREATE TABLE broker_order(
  account_id INTEGER NOT NULL, order_id INTEGER NOT NULL, main_task_id INTEGER NOT NULL,
  sub_task_id INTEGER NOT NULL, client_order_ref TEXT NOT NULL, security_key TEXT NOT NULL,
  security_id TEXT NOT NULL, exchange_id INTEGER NOT NULL, direction INTEGER NOT NULL,
  price REAL NOT NULL, volume INTEGER NOT NULL, traded_volume INTEGER NOT NULL,
  status INTEGER NOT NULL, status_msg TEXT NOT NULL, insert_time INTEGER NOT NULL,
  PRIMARY KEY(account_id, order_id)) WITHOUT ROWID;
CREATE TABLE broker_trade(
  account_id INTEGER NOT NULL, trade_id INTEGER NOT NULL, order_id INTEGER NOT NULL,
  security_key TEXT NOT NULL, direction INTEGER NOT NULL, price REAL NOT NULL,
  volume INTEGER NOT NULL, trade_time INTEGER NOT NULL,
  PRIMARY KEY(account_id, trade_id)) WITHOUT ROWID;
)sql";

// Step N takes a database of version N to N + 1; a new version appends its step here.
constexpr const char* kUpgradeSteps[] = {kSchemaV1, kSchemaV2};
static_assert(sizeof kUpgradeSteps / sizeof kUpgradeSteps[0] == SchedOrdDatabase::SchemaVersion,
              "one upgrade step per schema version");

constexpr const char* kSubTaskColumns =
    "main_task_id, sub_task_id, security_key, security_id, exchange_id, direction, trigger_time, "
    "target_volume, trade_volume, sub_task_status, trigger_status, host_code, order_volume, "
    "price_type, price_float_type, price_float_value, order_price, host_value, start_time, "
    "end_time, no_sell_at_limit_up, no_buy_at_limit_down, error_msg";

// Where SelectSubTasks puts the sub-task's place in its main task, after kSubTaskColumns.
constexpr int kSubTaskPositionColumn = 23;

// Orders `subTasks` by `positions` (theirs, one each); ids usually follow the places already.
void putInPlace(std::vector<SchedOrdSubTaskField>& subTasks, const std::vector<int>& positions)
{
    if (std::is_sorted(positions.begin(), positions.end()))
        return;
    std::vector<size_t> order(subTasks.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::sort(order.begin(), order.end(), [&positions](size_t a, size_t b) { return positions[a] < positions[b]; });
    std::vector<SchedOrdSubTaskField> placed;
    placed.reserve(subTasks.size());
    for (const size_t from : order)
        placed.push_back(std::move(subTasks[from]));
    subTasks.swap(placed);
}

QString sqliteText(sqlite3* db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
}

QString plainReason(int primaryCode)
{
    switch (primaryCode) {
    case SQLITE_FULL: return QStringLiteral("磁盘空间已满");
    case SQLITE_IOERR: return QStringLiteral("读写数据文件出错");
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN: return QStringLiteral("数据文件不可写");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return QStringLiteral("数据文件正被占用");
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return QStringLiteral("数据文件已损坏");
    default: return QString();
    }
}

int codeByte(char code)
{
    return static_cast<unsigned char>(code);
}

} // namespace

// A prepared statement, kept for the life of the connection and reset after each use.
class SchedOrdDatabase::Statement final
{
public:
    explicit Statement(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int64_t value)
    {
        sqlite3_bind_int64(m_stmt, ++m_bound, value);
        return *this;
    }
    Statement& bindReal(double value)
    {
        sqlite3_bind_double(m_stmt, ++m_bound, value);
        return *this;
    }
    Statement& bindBytes(const std::string& bytes)
    {
        sqlite3_bind_blob(m_stmt, ++m_bound, bytes.data(), static_cast<int>(bytes.size()), SQLITE_STATIC);
        return *this;
    }
    Statement& bindText(const QByteArray& utf8)
    {
        sqlite3_bind_text(m_stmt, ++m_bound, utf8.constData(), utf8.size(), SQLITE_STATIC);
        return *this;
    }

    // SQLITE_ROW while rows come, SQLITE_DONE at the end, an error code otherwise.
    int step() { return sqlite3_step(m_stmt); }
    // Runs a statement that returns no rows; resets it whatever happened.
    bool run()
    {
        const int rc = step();
        reset();
        return rc == SQLITE_DONE;
    }
    void reset()
    {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_bound = 0;
    }

    int64_t integer(int column) const { return sqlite3_column_int64(m_stmt, column); }
    char code(int column) const { return static_cast<char>(sqlite3_column_int(m_stmt, column)); }
    double real(int column) const { return sqlite3_column_double(m_stmt, column); }
    std::string bytes(int column) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, column));
        return data ? std::string(data, static_cast<size_t>(sqlite3_column_bytes(m_stmt, column))) : std::string();
    }
    QString text(int column) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }

private:
    sqlite3_stmt* m_stmt;
    int m_bound = 0;
};

bool SchedOrdDatabase::OpenResult::usable() const
{
    return status == OpenStatus::Opened || status == OpenStatus::Created || status == OpenStatus::MovedAside;
}

SchedOrdDatabase::SchedOrdDatabase() = default;

SchedOrdDatabase::~SchedOrdDatabase()
{
    close();
}

SchedOrdDatabase::OpenResult SchedOrdDatabase::open(const QString& filePath)
{
    close();
    const QFileInfo file(filePath);
    if (!QDir().mkpath(file.absolutePath())) {
        OpenResult result;
        result.status = OpenStatus::NotWritable;
        result.message = QStringLiteral("无法创建数据文件夹 %1，定时委托任务无法保存。").arg(file.absolutePath());
        return result;
    }
    return openFile(file.absoluteFilePath());
}

SchedOrdDatabase::OpenResult SchedOrdDatabase::openFile(const QString& filePath)
{
    OpenResult result;
    const bool existed = QFileInfo::exists(filePath);
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(QFile::encodeName(filePath).constData(), &m_db, flags, nullptr) != SQLITE_OK
        || sqlite3_db_readonly(m_db, "main") == 1) {
        result.status = OpenStatus::NotWritable;
        result.message = QStringLiteral("无法写入数据文件 %1（%2），定时委托任务无法保存。").arg(filePath, sqliteText(m_db));
        close();
        return result;
    }
    sqlite3_extended_result_codes(m_db, 1);
    // The engine copies the journal back when idle (checkpoint()); copying it inside whichever
    // commit happens to fill it is only the backstop for an engine that never idles. This hook
    // replaces SQLite's own automatic checkpoint.
    sqlite3_wal_hook(m_db, [](void* self, sqlite3* db, const char* name, int pages) {
        constexpr int kBackstopPages = 16384;
        static_cast<SchedOrdDatabase*>(self)->m_journalPages = pages;
        if (pages >= kBackstopPages)
            sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        return SQLITE_OK;
    }, this);
    // Each account's engine has its own connection to the file: a writer waits for another.
    sqlite3_busy_timeout(m_db, 5000);

    // The version is read before anything is written: a newer file must stay as it is.
    const int version = userVersion();
    if (version < 0 || (existed && !quickCheckOk()))
        return moveAsideAndCreate(filePath, m_lastError);
    result.foundVersion = version;
    if (version > SchemaVersion) {
        close();
        result.status = OpenStatus::NewerSchema;
        result.message = QStringLiteral("数据文件 %1 由较新版本的程序写入（数据版本 %2，本程序支持 %3），"
                                        "无法打开；文件未作任何改动。")
                             .arg(filePath)
                             .arg(version)
                             .arg(SchemaVersion);
        return result;
    }
    m_sync = Sync::Durable;
    m_journalPages = 0;
    if (!enableWal() || !exec("PRAGMA synchronous=FULL") || !upgradeFrom(version) || !prepareAll()) {
        result.status = OpenStatus::Failed;
        result.message = QStringLiteral("数据文件 %1 无法使用：%2").arg(filePath, m_lastError);
        close();
        return result;
    }
    reserveJournalRoom();
    result.status = version == 0 ? OpenStatus::Created : OpenStatus::Opened;
    return result;
}

SchedOrdDatabase::OpenResult SchedOrdDatabase::moveAsideAndCreate(const QString& filePath, const QString& why)
{
    close();
    const QString aside = filePath + QStringLiteral(".corrupt-")
                          + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    OpenResult result;
    if (!QFile::rename(filePath, aside)) {
        result.status = OpenStatus::Failed;
        result.message = QStringLiteral("数据文件 %1 已损坏（%2），且无法移开。").arg(filePath, why);
        return result;
    }
    // The journal files belong to the damaged file; kept beside it for whoever inspects it.
    for (const char* suffix : {"-wal", "-shm"}) {
        const QString journal = filePath + QLatin1String(suffix);
        if (QFile::exists(journal))
            QFile::rename(journal, aside + QLatin1String(suffix));
    }
    result = openFile(filePath);
    if (result.usable()) {
        result.status = OpenStatus::MovedAside;
        result.movedAsidePath = aside;
        result.message = QStringLiteral("数据文件已损坏（%1），已改名保存为 %2；定时委托任务从空白开始。").arg(why, aside);
    }
    return result;
}

void SchedOrdDatabase::close()
{
    m_statements.clear();
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

bool SchedOrdDatabase::exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) == SQLITE_OK)
        return true;
    const QString technical = QString::fromUtf8(error ? error : sqlite3_errmsg(m_db));
    sqlite3_free(error);
    const QString plain = plainReason(sqlite3_errcode(m_db) & 0xff);
    m_lastError = plain.isEmpty() ? technical : QStringLiteral("%1（%2）").arg(plain, technical);
    return false;
}

// A file system without shared memory keeps the rollback journal: the pragma answers with the
// mode in force, and the journal room is only kept for a write-ahead log.
bool SchedOrdDatabase::enableWal()
{
    m_pageBytes = 0;
    sqlite3_stmt* stmt = nullptr;
    bool wal = false;
    const bool ran = sqlite3_prepare_v2(m_db, "PRAGMA journal_mode=WAL", -1, &stmt, nullptr) == SQLITE_OK
                     && sqlite3_step(stmt) == SQLITE_ROW;
    if (ran)
        wal = qstricmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal") == 0;
    else
        fail("journal mode");
    sqlite3_finalize(stmt);
    if (wal && sqlite3_prepare_v2(m_db, "PRAGMA page_size", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        m_pageBytes = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return ran;
}

int SchedOrdDatabase::userVersion()
{
    sqlite3_stmt* stmt = nullptr;
    int version = -1;
    if (sqlite3_prepare_v2(m_db, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW)
        version = sqlite3_column_int(stmt, 0);
    else
        m_lastError = sqliteText(m_db);
    sqlite3_finalize(stmt);
    return version;
}

bool SchedOrdDatabase::quickCheckOk()
{
    sqlite3_stmt* stmt = nullptr;
    bool ok = false;
    if (sqlite3_prepare_v2(m_db, "PRAGMA quick_check", -1, &stmt, nullptr) == SQLITE_OK
        && sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* verdict = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        ok = verdict && qstrcmp(verdict, "ok") == 0;
        if (!ok)
            m_lastError = QString::fromUtf8(verdict ? verdict : "quick_check");
    } else {
        m_lastError = sqliteText(m_db);
    }
    sqlite3_finalize(stmt);
    return ok;
}

bool SchedOrdDatabase::upgradeFrom(int version)
{
    for (int step = version; step < SchemaVersion; ++step) {
        const QByteArray setVersion = "PRAGMA user_version=" + QByteArray::number(step + 1);
        if (!exec("BEGIN IMMEDIATE"))
            return false;
        if (!exec(kUpgradeSteps[step]) || !exec(setVersion.constData()) || !exec("COMMIT")) {
            exec("ROLLBACK");
            return false;
        }
    }
    return true;
}

bool SchedOrdDatabase::prepareAll()
{
    const QByteArray subColumns(kSubTaskColumns);
    const QByteArray sql[StatementCount] = {
        "INSERT OR REPLACE INTO main_task VALUES(?,?,?,?,?,?,?,?,?,?,?)",
        "UPDATE main_task SET status=?, trigger_status=?, start_time=?, end_time=?, same_start=?, "
        "same_end=?, direction=? WHERE account_id=? AND main_task_id=?",
        "DELETE FROM main_task WHERE account_id=? AND main_task_id=?",
        "DELETE FROM sub_task WHERE account_id=? AND main_task_id=?",
        "INSERT OR REPLACE INTO sub_task(account_id, position, " + subColumns
            + ") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        "UPDATE sub_task SET security_key=?, security_id=?, exchange_id=?, direction=?, "
        "trigger_time=?, target_volume=?, trade_volume=?, sub_task_status=?, trigger_status=?, "
        "host_code=?, order_volume=?, price_type=?, price_float_type=?, price_float_value=?, "
        "order_price=?, host_value=?, start_time=?, end_time=?, no_sell_at_limit_up=?, "
        "no_buy_at_limit_down=?, error_msg=? WHERE account_id=? AND main_task_id=? AND sub_task_id=?",
        "SELECT main_task_id, name, status, trigger_status, create_time, start_time, end_time, "
        "same_start, same_end, direction FROM main_task WHERE account_id=? ORDER BY main_task_id",
        // In the table's own order: through the index by main task, every row would cost a look-up.
        "SELECT " + subColumns + ", position FROM sub_task WHERE account_id=?",
        "INSERT OR REPLACE INTO next_ids VALUES(?,?,?)",
        "SELECT next_main_task_id, next_sub_task_id FROM next_ids WHERE account_id=?",
        "INSERT INTO op_log(account_id, time, text) VALUES(?,?,?)",
        "SELECT sequence, time, text FROM op_log WHERE account_id=? AND time>=? ORDER BY sequence",
        "INSERT OR REPLACE INTO sending VALUES(?,?,?,?)",
        "DELETE FROM sending WHERE account_id=? AND sub_task_id=?",
        "SELECT main_task_id, sub_task_id, client_order_ref FROM sending WHERE account_id=? "
        "ORDER BY sub_task_id",
        "SELECT main_task_id, name, status, trigger_status, create_time, start_time, end_time, "
        "same_start, same_end, direction FROM main_task WHERE account_id=? AND main_task_id=?",
        "SELECT " + subColumns + " FROM sub_task WHERE account_id=? AND main_task_id=? ORDER BY position",
        "INSERT OR REPLACE INTO broker_account VALUES(?,?,?,?,?)",
        "SELECT funds, credit_line, next_order_id, next_trade_id FROM broker_account WHERE account_id=?",
        "DELETE FROM broker_position WHERE account_id=?",
        "INSERT INTO broker_position VALUES(?,?,?,?,?,?,?)",
        "SELECT security_key, volume, available, cost_price, short_volume, short_liability "
        "FROM broker_position WHERE account_id=? ORDER BY security_key",
        "DELETE FROM broker_quota WHERE account_id=?",
        "INSERT INTO broker_quota VALUES(?,?,?)",
        "SELECT security_key, volume FROM broker_quota WHERE account_id=? ORDER BY security_key",
        "INSERT OR REPLACE INTO broker_order VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        "SELECT order_id, main_task_id, sub_task_id, client_order_ref, security_key, security_id, "
        "exchange_id, direction, price, volume, traded_volume, status, status_msg, insert_time "
        "FROM broker_order WHERE account_id=? ORDER BY order_id",
        "INSERT OR REPLACE INTO broker_trade VALUES(?,?,?,?,?,?,?,?)",
        "SELECT trade_id, order_id, security_key, direction, price, volume, trade_time "
        "FROM broker_trade WHERE account_id=? ORDER BY trade_id",
    };
    m_statements.clear();
    for (const QByteArray& text : sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v3(m_db, text.constData(), text.size() + 1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr)
            != SQLITE_OK)
            return fail("prepare");
        m_statements.push_back(std::make_unique<Statement>(stmt));
    }
    return true;
}

SchedOrdDatabase::Statement& SchedOrdDatabase::statement(StatementId id)
{
    return *m_statements[static_cast<size_t>(id)];
}

bool SchedOrdDatabase::fail(const char* what)
{
    // The trader reads the first part; the technical one in brackets is for whoever helps them.
    const QString technical = QString::fromLatin1(what) + QStringLiteral(": ") + sqliteText(m_db);
    const QString plain = plainReason(m_db ? sqlite3_errcode(m_db) & 0xff : SQLITE_NOMEM);
    m_lastError = plain.isEmpty() ? technical : QStringLiteral("%1（%2）").arg(plain, technical);
    return false;
}

bool SchedOrdDatabase::begin(Sync sync)
{
    if (sync != m_sync) {
        if (!exec(sync == Sync::Durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL"))
            return false;
        m_sync = sync;
    }
    return exec("BEGIN IMMEDIATE");
}

bool SchedOrdDatabase::checkpoint()
{
    int journal = 0;
    int copied = 0;
    if (sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &journal, &copied) != SQLITE_OK)
        return fail("checkpoint");
    // The journal restarts from its beginning once everything in it was copied.
    m_journalPages = copied == journal ? 0 : journal;
    return true;
}

void SchedOrdDatabase::reserveJournalRoom(int leastRoomPages)
{
    // About half a megabyte at most: its sync delays whatever is due next, so it is kept to
    // about what one appending commit costs, paid every few triggers instead of each.
    sqlite3_file* journal = journalFile();
    sqlite3_int64 size = 0;
    if (!journal || journal->pMethods->xFileSize(journal, &size) != SQLITE_OK
        || size >= journalEnd(m_journalPages + leastRoomPages))
        return;
    // The writers' lock: no other connection appends pages while the room past the end is zeroed.
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return;
    zeroJournalUpTo(journal, journalEnd(m_journalPages + RoomPages));
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

// In WAL mode the connection's journal is its write-ahead log, open since the first read.
sqlite3_file* SchedOrdDatabase::journalFile()
{
    sqlite3_file* file = nullptr;
    if (!m_db || m_pageBytes <= 0 || !sqlite3_get_autocommit(m_db)
        || sqlite3_file_control(m_db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &file) != SQLITE_OK)
        return nullptr;
    return file && file->pMethods ? file : nullptr;
}

// Where the log's header and `pages` pages, each after its frame header, end.
int64_t SchedOrdDatabase::journalEnd(int pages) const
{
    constexpr int64_t kLogHeaderBytes = 32;
    constexpr int64_t kFrameHeaderBytes = 24;
    return kLogHeaderBytes + static_cast<int64_t>(pages) * (kFrameHeaderBytes + m_pageBytes);
}

// Zeros past the last page are no frame (a frame names its page and carries the log's salt), so
// recovery after a crash stops at them as at the end of the file.
void SchedOrdDatabase::zeroJournalUpTo(sqlite3_file* journal, int64_t end)
{
    static const std::vector<char> zeros(64 * 1024);
    const auto chunk = static_cast<int64_t>(zeros.size());
    sqlite3_int64 size = 0;
    if (journal->pMethods->xFileSize(journal, &size) != SQLITE_OK || size >= end)
        return;
    for (int64_t at = size; at < end; at += chunk) {
        const int bytes = static_cast<int>(std::min(chunk, end - at));
        if (journal->pMethods->xWrite(journal, zeros.data(), bytes, at) != SQLITE_OK)
            return;
    }
    journal->pMethods->xSync(journal, SQLITE_SYNC_NORMAL);
}

bool SchedOrdDatabase::commit()
{
    if (exec("COMMIT"))
        return true;
    rollback();
    return false;
}

void SchedOrdDatabase::rollback()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool SchedOrdDatabase::saveMainTask(int accountId, const SchedOrdTaskField& task)
{
    Statement& main = statement(InsertMainTask);
    main.bind(accountId).bind(task.MainTaskID).bindBytes(task.MainTaskName).bind(codeByte(task.MainTaskStatus))
        .bind(codeByte(task.TriggerStatus)).bind(task.CreateTime).bind(task.StartTime).bind(task.EndTime)
        .bind(task.IsSameStartTime).bind(task.IsSameEndTime).bind(codeByte(task.Direction));
    if (!main.run())
        return fail("save main task");
    Statement& dropSubs = statement(DeleteSubTasksOf);
    if (!dropSubs.bind(accountId).bind(task.MainTaskID).run())
        return fail("replace sub-tasks");
    Statement& sub = statement(InsertSubTask);
    int position = 0;
    for (const SchedOrdSubTaskField& s : task.VecSubTask) {
        sub.bind(accountId).bind(position++).bind(s.MainTaskID).bind(s.SubTaskID).bindBytes(s.SecurityKey)
            .bindBytes(s.SecurityID).bind(codeByte(s.ExchangeID)).bind(codeByte(s.Direction)).bind(s.TriggerTime)
            .bind(s.TargetVolume).bind(s.TradeVolume).bind(codeByte(s.SubTaskStatus)).bind(codeByte(s.TriggerStatus))
            .bind(codeByte(s.HostCode)).bind(s.OrderVolume).bind(s.PriceType).bind(codeByte(s.PriceFloatType))
            .bindReal(s.PriceFloatValue).bindReal(s.OrderPrice).bind(s.HostValue).bind(s.StartTime).bind(s.EndTime)
            .bind(s.NoSellAtLimitUp).bind(s.NoBuyAtLimitDown).bindBytes(s.ErrorMsg);
        if (!sub.run())
            return fail("save sub-task");
    }
    return true;
}

bool SchedOrdDatabase::saveMainTaskState(int accountId, const SchedOrdTaskField& task)
{
    Statement& update = statement(UpdateMainTaskState);
    update.bind(codeByte(task.MainTaskStatus)).bind(codeByte(task.TriggerStatus)).bind(task.StartTime)
        .bind(task.EndTime).bind(task.IsSameStartTime).bind(task.IsSameEndTime).bind(codeByte(task.Direction))
        .bind(accountId).bind(task.MainTaskID);
    return update.run() || fail("save main task state");
}

bool SchedOrdDatabase::saveSubTask(int accountId, const SchedOrdSubTaskField& s)
{
    Statement& update = statement(UpdateSubTask);
    update.bindBytes(s.SecurityKey).bindBytes(s.SecurityID).bind(codeByte(s.ExchangeID)).bind(codeByte(s.Direction))
        .bind(s.TriggerTime).bind(s.TargetVolume).bind(s.TradeVolume).bind(codeByte(s.SubTaskStatus))
        .bind(codeByte(s.TriggerStatus)).bind(codeByte(s.HostCode)).bind(s.OrderVolume).bind(s.PriceType)
        .bind(codeByte(s.PriceFloatType)).bindReal(s.PriceFloatValue).bindReal(s.OrderPrice).bind(s.HostValue)
        .bind(s.StartTime).bind(s.EndTime).bind(s.NoSellAtLimitUp).bind(s.NoBuyAtLimitDown).bindBytes(s.ErrorMsg)
        .bind(accountId).bind(s.MainTaskID).bind(s.SubTaskID);
    if (!update.run())
        return fail("save sub-task");
    if (sqlite3_changes(m_db) != 1) {
        m_lastError = QStringLiteral("save sub-task: no sub-task %1 of main task %2").arg(s.SubTaskID).arg(s.MainTaskID);
        return false;
    }
    return true;
}

bool SchedOrdDatabase::deleteMainTask(int accountId, int mainTaskId)
{
    return (statement(DeleteSubTasksOf).bind(accountId).bind(mainTaskId).run()
            && statement(DeleteMainTask).bind(accountId).bind(mainTaskId).run())
           || fail("delete main task");
}

SchedOrdTaskField SchedOrdDatabase::mainTaskFrom(const Statement& row)
{
    SchedOrdTaskField task;
    task.MainTaskID = static_cast<int32_t>(row.integer(0));
    task.MainTaskName = row.bytes(1);
    task.MainTaskStatus = row.code(2);
    task.TriggerStatus = row.code(3);
    task.CreateTime = row.integer(4);
    task.StartTime = row.integer(5);
    task.EndTime = row.integer(6);
    task.IsSameStartTime = row.integer(7) != 0;
    task.IsSameEndTime = row.integer(8) != 0;
    task.Direction = row.code(9);
    return task;
}

SchedOrdSubTaskField SchedOrdDatabase::subTaskFrom(const Statement& row)
{
    SchedOrdSubTaskField s;
    s.MainTaskID = static_cast<int32_t>(row.integer(0));
    s.SubTaskID = static_cast<int32_t>(row.integer(1));
    s.SecurityKey = row.bytes(2);
    s.SecurityID = row.bytes(3);
    s.ExchangeID = row.code(4);
    s.Direction = row.code(5);
    s.TriggerTime = row.integer(6);
    s.TargetVolume = static_cast<int32_t>(row.integer(7));
    s.TradeVolume = static_cast<int32_t>(row.integer(8));
    s.SubTaskStatus = row.code(9);
    s.TriggerStatus = row.code(10);
    s.HostCode = row.code(11);
    s.OrderVolume = static_cast<int32_t>(row.integer(12));
    s.PriceType = static_cast<int32_t>(row.integer(13));
    s.PriceFloatType = row.code(14);
    s.PriceFloatValue = row.real(15);
    s.OrderPrice = row.real(16);
    s.HostValue = row.integer(17);
    s.StartTime = row.integer(18);
    s.EndTime = row.integer(19);
    s.NoSellAtLimitUp = row.integer(20) != 0;
    s.NoBuyAtLimitDown = row.integer(21) != 0;
    s.ErrorMsg = row.bytes(22);
    return s;
}

std::vector<SchedOrdTaskField> SchedOrdDatabase::loadMainTasks(int accountId)
{
    std::vector<SchedOrdTaskField> tasks;
    std::unordered_map<int, size_t> indexOf;
    Statement& mains = statement(SelectMainTasks);
    mains.bind(accountId);
    while (mains.step() == SQLITE_ROW) {
        indexOf.emplace(static_cast<int>(mains.integer(0)), tasks.size());
        tasks.push_back(mainTaskFrom(mains));
    }
    mains.reset();

    // The sub-tasks come in id order; each goes to its main task with its place there.
    std::vector<std::vector<int>> positions(tasks.size());
    Statement& subs = statement(SelectSubTasks);
    subs.bind(accountId);
    while (subs.step() == SQLITE_ROW) {
        const auto owner = indexOf.find(static_cast<int>(subs.integer(0)));
        if (owner == indexOf.end())
            continue;
        tasks[owner->second].VecSubTask.push_back(subTaskFrom(subs));
        positions[owner->second].push_back(static_cast<int>(subs.integer(kSubTaskPositionColumn)));
    }
    subs.reset();
    for (size_t i = 0; i < tasks.size(); ++i)
        putInPlace(tasks[i].VecSubTask, positions[i]);
    return tasks;
}

bool SchedOrdDatabase::loadMainTask(int accountId, int mainTaskId, SchedOrdTaskField& task)
{
    Statement& main = statement(SelectMainTask);
    main.bind(accountId).bind(mainTaskId);
    const bool found = main.step() == SQLITE_ROW;
    if (found)
        task = mainTaskFrom(main);
    main.reset();
    if (!found)
        return false;
    Statement& subs = statement(SelectSubTasksOfMain);
    subs.bind(accountId).bind(mainTaskId);
    while (subs.step() == SQLITE_ROW)
        task.VecSubTask.push_back(subTaskFrom(subs));
    subs.reset();
    return true;
}

bool SchedOrdDatabase::saveNextIds(int accountId, int nextMainTaskId, int nextSubTaskId)
{
    return statement(UpsertIds).bind(accountId).bind(nextMainTaskId).bind(nextSubTaskId).run() || fail("save ids");
}

bool SchedOrdDatabase::loadNextIds(int accountId, int& nextMainTaskId, int& nextSubTaskId)
{
    Statement& select = statement(SelectIds);
    select.bind(accountId);
    const int rc = select.step();
    if (rc == SQLITE_ROW) {
        nextMainTaskId = static_cast<int>(select.integer(0));
        nextSubTaskId = static_cast<int>(select.integer(1));
    } else {
        nextMainTaskId = 1;
        nextSubTaskId = 1;
    }
    select.reset();
    return rc == SQLITE_ROW || rc == SQLITE_DONE || fail("load ids");
}

bool SchedOrdDatabase::appendLog(int accountId, int64_t time, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    return statement(InsertLog).bind(accountId).bind(time).bindText(utf8).run() || fail("append log");
}

std::vector<SchedOrdDatabase::LogLine> SchedOrdDatabase::loadLog(int accountId, int64_t since)
{
    std::vector<LogLine> lines;
    Statement& select = statement(SelectLog);
    select.bind(accountId).bind(since);
    while (select.step() == SQLITE_ROW)
        lines.push_back(LogLine{select.integer(0), select.integer(1), select.text(2)});
    select.reset();
    return lines;
}

bool SchedOrdDatabase::markSending(int accountId, int mainTaskId, int subTaskId, const std::string& clientOrderRef)
{
    return statement(UpsertSending).bind(accountId).bind(subTaskId).bind(mainTaskId).bindBytes(clientOrderRef).run()
           || fail("mark sending");
}

bool SchedOrdDatabase::clearSending(int accountId, int subTaskId)
{
    return statement(DeleteSending).bind(accountId).bind(subTaskId).run() || fail("clear sending");
}

std::vector<SchedOrdDatabase::SendingMark> SchedOrdDatabase::loadSending(int accountId)
{
    std::vector<SendingMark> marks;
    Statement& select = statement(SelectSending);
    select.bind(accountId);
    while (select.step() == SQLITE_ROW)
        marks.push_back(SendingMark{static_cast<int>(select.integer(0)), static_cast<int>(select.integer(1)),
                                    select.bytes(2)});
    select.reset();
    return marks;
}

bool SchedOrdDatabase::saveBrokerState(int accountId, const SimBroker::State& state)
{
    if (state.accountIncluded) {
        if (!statement(UpsertBrokerAccount).bind(accountId).bindReal(state.funds).bindReal(state.creditLine)
                 .bind(state.nextOrderId).bind(state.nextTradeId).run()
            || !statement(DeleteBrokerPositions).bind(accountId).run()
            || !statement(DeleteBrokerQuotas).bind(accountId).run())
            return fail("save broker account");
        for (const SimPosition& p : state.positions) {
            const QByteArray key = p.SecurityKey.toUtf8();
            if (!statement(InsertBrokerPosition).bind(accountId).bindText(key).bind(p.Volume).bind(p.Available)
                     .bindReal(p.CostPrice).bind(p.ShortVolume).bindReal(p.ShortLiability).run())
                return fail("save broker position");
        }
        for (const auto& quota : state.shortQuotas) {
            const QByteArray key = quota.first.toUtf8();
            if (!statement(InsertBrokerQuota).bind(accountId).bindText(key).bind(quota.second).run())
                return fail("save broker quota");
        }
    }
    for (const SimOrder& o : state.orders) {
        const QByteArray ref = o.ClientOrderRef.toUtf8();
        const QByteArray key = o.SecurityKey.toUtf8();
        const QByteArray code = o.SecurityID.toUtf8();
        const QByteArray message = o.StatusMsg.toUtf8();
        if (!statement(UpsertBrokerOrder).bind(accountId).bind(o.OrderID).bind(o.MainTaskID).bind(o.SubTaskID)
                 .bindText(ref).bindText(key).bindText(code).bind(codeByte(o.ExchangeID)).bind(codeByte(o.Direction))
                 .bindReal(o.Price).bind(o.Volume).bind(o.TradedVolume).bind(codeByte(o.Status)).bindText(message)
                 .bind(o.InsertTime).run())
            return fail("save broker order");
    }
    for (const SimTrade& t : state.trades) {
        const QByteArray key = t.SecurityKey.toUtf8();
        if (!statement(UpsertBrokerTrade).bind(accountId).bind(t.TradeID).bind(t.OrderID).bindText(key)
                 .bind(codeByte(t.Direction)).bindReal(t.Price).bind(t.Volume).bind(t.TradeTime).run())
            return fail("save broker trade");
    }
    return true;
}

bool SchedOrdDatabase::loadBrokerState(int accountId, SimBroker::State& state)
{
    Statement& account = statement(SelectBrokerAccount);
    account.bind(accountId);
    const bool found = account.step() == SQLITE_ROW;
    if (found) {
        state.funds = account.real(0);
        state.creditLine = account.real(1);
        state.nextOrderId = static_cast<int>(account.integer(2));
        state.nextTradeId = static_cast<int>(account.integer(3));
    }
    account.reset();
    if (!found)
        return false;
    state.accountIncluded = true;
    Statement& positions = statement(SelectBrokerPositions);
    positions.bind(accountId);
    while (positions.step() == SQLITE_ROW) {
        SimPosition p;
        p.SecurityKey = positions.text(0);
        p.Volume = static_cast<int>(positions.integer(1));
        p.Available = static_cast<int>(positions.integer(2));
        p.CostPrice = positions.real(3);
        p.ShortVolume = static_cast<int>(positions.integer(4));
        p.ShortLiability = positions.real(5);
        state.positions.push_back(p);
    }
    positions.reset();
    Statement& quotas = statement(SelectBrokerQuotas);
    quotas.bind(accountId);
    while (quotas.step() == SQLITE_ROW)
        state.shortQuotas.emplace_back(quotas.text(0), static_cast<int>(quotas.integer(1)));
    quotas.reset();
    Statement& orders = statement(SelectBrokerOrders);
    orders.bind(accountId);
    while (orders.step() == SQLITE_ROW) {
        SimOrder o;
        o.OrderID = static_cast<int>(orders.integer(0));
        o.MainTaskID = static_cast<int>(orders.integer(1));
        o.SubTaskID = static_cast<int>(orders.integer(2));
        o.ClientOrderRef = orders.text(3);
        o.SecurityKey = orders.text(4);
        o.SecurityID = orders.text(5);
        o.ExchangeID = orders.code(6);
        o.Direction = orders.code(7);
        o.Price = orders.real(8);
        o.Volume = static_cast<int>(orders.integer(9));
        o.TradedVolume = static_cast<int>(orders.integer(10));
        o.Status = orders.code(11);
        o.StatusMsg = orders.text(12);
        o.InsertTime = orders.integer(13);
        state.orders.push_back(std::move(o));
    }
    orders.reset();
    Statement& trades = statement(SelectBrokerTrades);
    trades.bind(accountId);
    while (trades.step() == SQLITE_ROW) {
        SimTrade t;
        t.TradeID = static_cast<int>(trades.integer(0));
        t.OrderID = static_cast<int>(trades.integer(1));
        t.SecurityKey = trades.text(2);
        t.Direction = trades.code(3);
        t.Price = trades.real(4);
        t.Volume = static_cast<int>(trades.integer(5));
        t.TradeTime = trades.integer(6);
        state.trades.push_back(std::move(t));
    }
    trades.reset();
    return true;
}

bool SchedOrdDatabase::limitPages(int maxPageCount)
{
    const QByteArray sql = "PRAGMA max_page_count=" + QByteArray::number(maxPageCount);
    return exec(sql.constData());
}
