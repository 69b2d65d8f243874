#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

class CrashReport;
class CrashWatchedRoute;
class QByteArray;
class ServiceScheduledOrder;
class SimBroker;

namespace VELMSCHEDORDAPI {
struct SchedOrdSubTaskField;
struct SchedOrdTaskField;
}

// The crash child's seeded workload on one service. After opening the database it reports what it
// found (T and S lines, each sub-task with what the broker has traded on its order, the ids it
// draws next, READY), then runs one random operation after another
// on the event loop until it is killed. Each operation is reported as "DO ..." before the call and
// "ACK <result> ..." after it returned, so the harness knows what was acknowledged and what was in
// doubt when the kill came.
class CrashWorkload final : public QObject
{
    Q_OBJECT
public:
    CrashWorkload(int accountId, ServiceScheduledOrder& service, const SimBroker& broker, const CrashReport& report,
                  uint32_t seed);

    // Opens the database; false, reported as "OPEN-FAILED", when it cannot serve.
    bool open(const QString& databasePath);
    // Reports what the database holds, then starts the operations.
    void start();
    // For a route that answers later: start() once the route has logged on, every status request
    // the engine sent then has been answered and applied, and no sub-task left marked by a crash
    // is still being checked with the broker. When that takes longer than `timeoutMs`, reports
    // "STALLED" with what it waits for and ends the process with 3.
    void startWhenReconciled(const CrashWatchedRoute& route, int timeoutMs);

private:
    struct Known {
        int firstSubTaskId = 0;
        int subTaskCount = 0;
    };

    void reportState();
    void checkReconciled();
    int subTasksBeingChecked() const;
    void step();
    void runOneOperation();
    void importTasks();
    void singleOrder();
    void burst();
    void switchTasks(bool start);
    void deleteTasks(const std::vector<int>& ids);
    void modifyOne();
    void trimWhenLarge();
    void add(std::vector<VELMSCHEDORDAPI::SchedOrdTaskField> tasks, bool thenStart);
    VELMSCHEDORDAPI::SchedOrdTaskField makeTask(int subTasks, bool sameSecond);
    VELMSCHEDORDAPI::SchedOrdSubTaskField makeSubTask(int mainTaskId, int64_t startTime);
    std::vector<int> someKnownIds(int most);
    QString clientOrderRef(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask) const;
    int knownSubTasks() const;
    int64_t nowTicks() const;
    int64_t soon();
    int pick(int low, int high);
    void acknowledge(const QByteArray& operation, bool result);

    const int m_accountId;
    ServiceScheduledOrder& m_service;
    const SimBroker& m_broker;
    const CrashReport& m_report;
    std::mt19937 m_random;
    std::map<int, Known> m_known;
    const CrashWatchedRoute* m_route = nullptr;
    int m_reconcileTimeoutMs = 0;
    QElapsedTimer m_reconcileClock;
    bool m_passedSinceLogon = false;
};
