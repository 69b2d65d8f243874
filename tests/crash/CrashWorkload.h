#pragma once

#include <QObject>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

class CrashReport;
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

    // Opens the database and reports what it holds; false, reported as "OPEN-FAILED", when it cannot serve.
    bool open(const QString& databasePath);
    void start();

private:
    struct Known {
        int firstSubTaskId = 0;
        int subTaskCount = 0;
    };

    void reportState();
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
};
