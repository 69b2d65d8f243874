#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QSet>
#include <QStringList>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

// What the harness knows from every run of the crash child: the operations acknowledged (and the
// one in doubt when a kill came), every order that reached the broker and every log line that was
// announced. It checks each restart's state against them and the database's log after each kill.
//
// Orders come from the child's own simulated broker (ORDER lines), or, over FIX, from the exchange
// the harness runs: those arrive apart from the child's lines, so the state a restart reported is
// held against them only once the child is dead and the exchange has taken everything it sent.
class CrashLedger final
{
public:
    enum class OrderSource { ChildBroker, Exchange };
    CrashLedger(int accountId, OrderSource source);

    // `startTicks`: the wall clock when the run was started, in the service's 100-ns ticks.
    void beginRun(int run, int64_t startTicks);
    // One line the child wrote.
    void take(const QByteArray& line);
    // The exchange received a NewOrderSingle with this ClOrdID.
    void takeExchangeOrder(const QByteArray& ref);
    // The child is dead: an operation it began and did not acknowledge may or may not be stored.
    void endRun();
    // Over FIX, after endRun and once the exchange is quiet: each sub-task this run's restart
    // reported as sent (sent, filled, rejected by the exchange) was received exactly once, each
    // one that failed before it was sent never, and each still waiting not before this run.
    void verifyExchange();
    // Every announced log line must stand in the stored log at least as often.
    void checkStoredLog(const QHash<QByteArray, int>& stored);

    bool ready() const { return m_ready; }
    const QStringList& faults() const { return m_faults; }

    struct RunCounts {
        int orders = 0;         // placed by the child's broker, or over FIX handed to the route
        int received = 0;       // over FIX: received by the exchange
        int acknowledged = 0;
        int logLines = 0;
    };
    const RunCounts& thisRun() const { return m_thisRun; }
    QByteArray inDoubt() const { return m_pending; }
    int totalOrders() const { return m_orders.size(); }
    int totalAcknowledged() const { return m_totalAcknowledged; }
    int totalInDoubt() const { return m_totalInDoubt; }
    int missedSeen() const { return m_missed.size(); }
    int unknownSeen() const { return m_unknown.size(); }

private:
    enum class Presence { Present, Absent, Either };
    enum class Switch { NotRunning, Started, Unknown };
    struct Task {
        Presence presence = Presence::Present;
        int firstSubTaskId = 0;
        int subTaskCount = 0;
        Switch state = Switch::NotRunning;
    };
    struct Values {
        int volume = 0;
        int64_t startTime = 0;
        bool operator==(const Values& other) const { return volume == other.volume && startTime == other.startTime; }
    };
    struct StoredSubTask {
        int subTaskId = 0;
        char status = 0;
        char trigger = 0;
        char failure = 0;
        Values values;
        int traded = 0;
        int brokerTraded = -1;      // -1: the broker holds no order of it
    };
    struct StoredTask {
        char status = 0;
        int subTaskCount = 0;
        std::vector<StoredSubTask> subTasks;
    };
    struct Order {
        int firstRun = 0;
        int64_t sequence = 0;
    };

    void takeOperation(const QByteArray& operation, bool acknowledged, bool result);
    void applyAdd(const QByteArrayList& words, bool acknowledged);
    void applySwitch(const QByteArrayList& words, bool acknowledged, Switch to);
    void applyDelete(const QByteArrayList& words, bool acknowledged);
    void applyModify(const QByteArrayList& words, bool acknowledged, bool result);
    void takeStored(const QByteArrayList& words);
    void takeOrder(const QByteArray& ref);
    void verifyExchangeOrder(const QByteArray& ref, const StoredSubTask& subTask);
    void verifyRestart();
    void verifyTask(int id, Task& task, const StoredTask* stored);
    void verifySubTasks(int id, const Task& task, const StoredTask& stored);
    void verifySubTask(int mainTaskId, const StoredSubTask& subTask);
    void verifyModified(int mainTaskId, const StoredSubTask& subTask);
    void verifyBrokerOrder(const QByteArray& ref, const StoredSubTask& subTask);
    void verifyIds();
    QByteArray refOf(int mainTaskId, int subTaskId) const;
    void fail(const QString& what);

    const int m_accountId;
    const OrderSource m_orderSource;
    const QString m_counterparty;
    int m_run = 0;
    int64_t m_runStartSecond = 0;
    int64_t m_sequence = 0;
    int64_t m_snapshotSequence = -1;
    bool m_ready = false;
    RunCounts m_thisRun;
    int m_totalAcknowledged = 0;
    int m_totalInDoubt = 0;
    QByteArray m_pending;
    std::map<int, Task> m_tasks;
    std::map<std::pair<int, int>, std::vector<Values>> m_modified;    // the values a restart may show
    QHash<QByteArray, Order> m_orders;
    QHash<QByteArray, int> m_logLines;
    QSet<QByteArray> m_missed;
    QSet<QByteArray> m_unknown;
    QSet<QByteArray> m_sentThisRun;
    std::map<int, StoredTask> m_stored;
    int m_drawnMain = 0;
    int m_drawnSub = 0;
    int m_idFloorMain = 0;      // the highest ids acknowledged or seen stored so far
    int m_idFloorSub = 0;
    QStringList m_faults;
};
