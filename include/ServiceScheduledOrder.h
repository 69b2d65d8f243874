#pragma once

#include "SchedOrdTaskField.h"
#include "VelmBaseExport.h"

#include <QMap>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <memory>
#include <unordered_set>
#include <vector>

class BrokerRoute;
class MarketSimulator;
class SchedOrdClock;
class SchedOrdEngine;
class SecurityCatalogue;
class SimBroker;

// The scheduled-order service of one account: stores the tasks, draws their ids and runs the
// engine that sends each sub-task of a running main task at its set time. Copies go in and out;
// nobody holds a pointer into the store. The four task signals are emitted from the engine's
// worker thread, so receivers connect them queued; a receiver connected directly runs on that
// thread and may call back into the service (nothing is emitted while the store is locked).
class VELM_BASE_EXPORT ServiceScheduledOrder : public QObject
{
    Q_OBJECT
public:
    ServiceScheduledOrder(int accountId, int apiType, const SecurityCatalogue& catalogue,
                          MarketSimulator& market, SimBroker& broker, QObject* parent = nullptr);
    ~ServiceScheduledOrder() override;

    int getNextMainTaskID();
    int getNextSubTaskID();

    void AddMainTasks(const std::vector<VELMSCHEDORDAPI::SchedOrdTaskField>& tasks);
    bool StartMainTasks(const std::vector<int>& mainTaskIds);
    bool PauseMainTasks(const std::vector<int>& mainTaskIds);
    bool DeleteMainTasks(const std::vector<int>& mainTaskIds);

    std::vector<VELMSCHEDORDAPI::SchedOrdTaskField> getVecMainTask();
    // MainTaskID -1 and no sub-tasks when the id is unknown.
    VELMSCHEDORDAPI::SchedOrdTaskField getOneMainTask(int mainTaskId);
    std::vector<VELMSCHEDORDAPI::SchedOrdSubTaskField> getVecAllSubTask();

    // Replaces the order parameters of a sub-task that has not fired; false otherwise.
    bool ModifyOneSubTask(const VELMSCHEDORDAPI::SchedOrdSubTaskField& subTask);
    // What modules handed to ModifyOneSubTask, accepted or refused: how often, and the last copy.
    int modifyRequestCount() const;
    VELMSCHEDORDAPI::SchedOrdSubTaskField lastModifyRequest() const;
    bool isExistsRunningTask();

    // Emits the whole stored operation log through signalOperationLogRestored.
    void RestoreOpLog();
    QStringList operationLog() const;

    // Host side: the engine's time source (the wall clock unless replaced, e.g. by a test).
    void setClock(std::shared_ptr<SchedOrdClock> clock);
    // Host side: where orders go (null: the simulated broker, the default). Set before storage is
    // opened; the route must outlive the service or be replaced first.
    void setOrderRoute(BrokerRoute* route);
    // Host side: the shareholder account per exchange code that the account's orders name.
    void setShareholderAccounts(const QMap<char, QString>& accounts);
    // Host side: keeps the tasks, ids, log and the broker's state in the database file from now
    // on, after loading what it holds (set the clock first: it decides which set times were
    // missed). False, with the message the trader was shown, when the file cannot serve; the
    // service then keeps nothing and has no tasks from the file.
    bool openStorage(const QString& databasePath, QString* message = nullptr);
    // Host side: caps the database at `maxPages` pages from now on (how tests fill the disk).
    bool limitStorageSize(int maxPages);
    // Blocks until the engine has processed (and emitted) everything queued so far, including
    // what the clock has made due (tests and demos). Returns at once on the engine's own thread.
    void waitForEngineIdle();

signals:
    void signalRtnMainTaskAdded(int maintaskID);
    void signalRtnMainTaskChanged(int maintaskID);
    void signalRtnSubTaskChanged(int maintaskID, std::unordered_set<int> allsubtaskID);
    void signalRtnMainTaskDeleted();
    void signalOperationLog(const QString& line);
    // Every line logged so far. It follows the signalOperationLog of each of them and precedes
    // every later one: a view that takes it as its whole content shows each line once.
    void signalOperationLogRestored(const QStringList& lines);

private:
    void raiseNextMainTaskID(int usedId);
    void showStorageMessage(const QString& message);
    void raiseNextSubTaskID(int usedId);

    const int m_accountId;
    const int m_apiType;
    MarketSimulator& m_market;
    SimBroker& m_broker;
    std::atomic<int> m_nextMainTaskId{1};
    std::atomic<int> m_nextSubTaskId{1};
    // Guarded by the engine's lock, like the store.
    int m_modifyRequestCount = 0;
    VELMSCHEDORDAPI::SchedOrdSubTaskField m_lastModifyRequest;
    std::unique_ptr<SchedOrdEngine> m_engine;
};
