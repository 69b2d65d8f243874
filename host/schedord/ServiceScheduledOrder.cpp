#include "ServiceScheduledOrder.h"

#include "MarketSimulator.h"
#include "SchedOrdEngine.h"
#include "SchedOrdClock.h"
#include "SimBroker.h"
#include "Util.h"
#include "WindowManager.h"

#include <QMetaType>
#include <QThread>

using namespace VELMSCHEDORDAPI;

namespace {

void raiseAtLeast(std::atomic<int>& next, int value)
{
    int current = next.load();
    while (current < value && !next.compare_exchange_weak(current, value)) {
    }
}

// Starting and pausing act alike: each listed main task that moves is logged and reported with
// the sub-tasks that moved with it.
bool switchMainTasks(SchedOrdEngine& engine, const std::vector<int>& mainTaskIds,
                     bool (SchedOrdStore::*move)(int, std::vector<int>&), const QString& logLine)
{
    if (mainTaskIds.empty())
        return false;
    return engine.change([&](SchedOrdStore& store, SchedOrdOutbox& outbox, int64_t now) {
        bool actedOn = false;
        for (const int id : mainTaskIds) {
            std::vector<int> changedSubTasks;
            if (!(store.*move)(id, changedSubTasks))
                continue;
            actedOn = true;
            outbox.log(now, logLine.arg(id));
            if (!changedSubTasks.empty())
                outbox.subTasksChanged(id, std::move(changedSubTasks));
            outbox.mainTaskChanged(id);
        }
        return actedOn;
    });
}

QString modifyRefusal(SchedOrdStore::ModifyResult result)
{
    switch (result) {
    case SchedOrdStore::ModifyResult::UnknownSubTask: return QStringLiteral("子任务不存在");
    case SchedOrdStore::ModifyResult::AlreadyFired: return QStringLiteral("子任务已触发");
    case SchedOrdStore::ModifyResult::InvalidParameters: return QStringLiteral("目标数量或价格类型无效");
    case SchedOrdStore::ModifyResult::Modified: break;
    }
    return QString();
}

} // namespace

ServiceScheduledOrder::ServiceScheduledOrder(int accountId, int apiType, const SecurityCatalogue& catalogue,
                                             MarketSimulator& market, SimBroker& broker, QObject* parent)
    : QObject(parent)
    , m_accountId(accountId)
    , m_apiType(apiType)
    , m_market(market)
    , m_broker(broker)
{
    // Receivers connect the sub-task signal queued; its argument type must be known by this name.
    static const int subTaskSetType = qRegisterMetaType<std::unordered_set<int>>("std::unordered_set<int>");
    Q_UNUSED(subTaskSetType)

    m_engine = std::make_unique<SchedOrdEngine>(accountId, catalogue, market, broker, [this](const SchedOrdOutbox::Notification& n) {
        switch (n.kind) {
        case SchedOrdOutbox::Kind::MainTaskAdded: emit signalRtnMainTaskAdded(n.mainTaskId); break;
        case SchedOrdOutbox::Kind::MainTaskChanged: emit signalRtnMainTaskChanged(n.mainTaskId); break;
        case SchedOrdOutbox::Kind::SubTasksChanged:
            emit signalRtnSubTaskChanged(n.mainTaskId, std::unordered_set<int>(n.subTaskIds.begin(), n.subTaskIds.end()));
            break;
        case SchedOrdOutbox::Kind::MainTaskDeleted: emit signalRtnMainTaskDeleted(); break;
        case SchedOrdOutbox::Kind::OperationLog: emit signalOperationLog(n.line); break;
        case SchedOrdOutbox::Kind::OperationLogRestored: emit signalOperationLogRestored(n.lines); break;
        case SchedOrdOutbox::Kind::BrokerChanged: m_broker.announceChanges(SimBroker::Changes(n.brokerChanges)); break;
        case SchedOrdOutbox::Kind::StorageFailed: showStorageMessage(n.line); break;
        }
    });
    m_engine->setAccount(apiType, {});
    m_engine->setStorageFailureHandler([this](const QString& message) { showStorageMessage(message); });
    // Direct: the engine only notes the key and wakes its own thread, never waiting for a burst.
    connect(&m_market, &MarketSimulator::quoteUpdated, this,
            [this](const QString& securityKey) { m_engine->quoteUpdated(securityKey); }, Qt::DirectConnection);
}

ServiceScheduledOrder::~ServiceScheduledOrder()
{
    disconnect(&m_market, nullptr, this, nullptr);
    m_engine->stop();
}

int ServiceScheduledOrder::getNextMainTaskID()
{
    return m_nextMainTaskId.fetch_add(1);
}

int ServiceScheduledOrder::getNextSubTaskID()
{
    return m_nextSubTaskId.fetch_add(1);
}

void ServiceScheduledOrder::AddMainTasks(const std::vector<SchedOrdTaskField>& tasks)
{
    m_engine->change([&](SchedOrdStore& store, SchedOrdOutbox& outbox, int64_t now) {
        for (const SchedOrdTaskField& task : tasks) {
            if (!store.add(task)) {
                outbox.log(now, QStringLiteral("新增任务 #%1 被拒绝：任务编号无效或已存在").arg(task.MainTaskID));
                continue;
            }
            // Ids drawn later must not collide with ids chosen by the caller.
            raiseNextMainTaskID(task.MainTaskID);
            for (const SchedOrdSubTaskField& subTask : task.VecSubTask)
                raiseNextSubTaskID(subTask.SubTaskID);
            m_engine->noteNextIds(m_nextMainTaskId.load(), m_nextSubTaskId.load());
            outbox.log(now, QStringLiteral("新增任务 #%1 %2，共%3个子任务")
                                .arg(task.MainTaskID)
                                .arg(Util::Str2QStr(task.MainTaskName))
                                .arg(task.VecSubTask.size()));
            outbox.mainTaskAdded(task.MainTaskID);
        }
        return true;
    });
}

bool ServiceScheduledOrder::StartMainTasks(const std::vector<int>& mainTaskIds)
{
    return switchMainTasks(*m_engine, mainTaskIds, &SchedOrdStore::start, QStringLiteral("启动任务 #%1"));
}

bool ServiceScheduledOrder::PauseMainTasks(const std::vector<int>& mainTaskIds)
{
    return switchMainTasks(*m_engine, mainTaskIds, &SchedOrdStore::pause, QStringLiteral("暂停任务 #%1"));
}

bool ServiceScheduledOrder::DeleteMainTasks(const std::vector<int>& mainTaskIds)
{
    if (mainTaskIds.empty())
        return false;
    return m_engine->change([&](SchedOrdStore& store, SchedOrdOutbox& outbox, int64_t now) {
        std::vector<int> removed;
        for (const int id : mainTaskIds) {
            if (!store.remove(id))
                continue;
            removed.push_back(id);
            outbox.log(now, QStringLiteral("删除任务 #%1").arg(id));
        }
        if (removed.empty())
            return false;
        outbox.mainTaskDeleted(std::move(removed));
        return true;
    });
}

std::vector<SchedOrdTaskField> ServiceScheduledOrder::getVecMainTask()
{
    return m_engine->read([](const SchedOrdStore& store, const SchedOrdOutbox&) { return store.mainTasks(); });
}

SchedOrdTaskField ServiceScheduledOrder::getOneMainTask(int mainTaskId)
{
    return m_engine->read([mainTaskId](const SchedOrdStore& store, const SchedOrdOutbox&) {
        const SchedOrdTaskField* task = store.find(mainTaskId);
        if (task)
            return *task;
        SchedOrdTaskField unknown;
        unknown.MainTaskID = -1;
        return unknown;
    });
}

std::vector<SchedOrdSubTaskField> ServiceScheduledOrder::getVecAllSubTask()
{
    return m_engine->read([](const SchedOrdStore& store, const SchedOrdOutbox&) { return store.allSubTasks(); });
}

bool ServiceScheduledOrder::ModifyOneSubTask(const SchedOrdSubTaskField& subTask)
{
    return m_engine->change([&](SchedOrdStore& store, SchedOrdOutbox& outbox, int64_t now) {
        ++m_modifyRequestCount;
        m_lastModifyRequest = subTask;
        const QString name = QStringLiteral("子任务 #%1_%2").arg(subTask.MainTaskID).arg(subTask.SubTaskID);
        const SchedOrdStore::ModifyResult result = store.modify(subTask);
        if (result != SchedOrdStore::ModifyResult::Modified) {
            outbox.log(now, QStringLiteral("修改%1 被拒绝：%2").arg(name, modifyRefusal(result)));
            return false;
        }
        outbox.log(now, QStringLiteral("修改%1：%2 %3 %4股 设定时间%5")
                            .arg(name, Util::ParseDirection(m_apiType, subTask.Direction),
                                 Util::ParsePriceTypeName(subTask.PriceType))
                            .arg(subTask.TargetVolume)
                            .arg(SchedOrdClock::timeOfDayText(subTask.StartTime)));
        outbox.subTasksChanged(subTask.MainTaskID, {subTask.SubTaskID});
        outbox.mainTaskChanged(subTask.MainTaskID);
        return true;
    });
}

int ServiceScheduledOrder::modifyRequestCount() const
{
    return m_engine->read([this](const SchedOrdStore&, const SchedOrdOutbox&) { return m_modifyRequestCount; });
}

SchedOrdSubTaskField ServiceScheduledOrder::lastModifyRequest() const
{
    return m_engine->read([this](const SchedOrdStore&, const SchedOrdOutbox&) { return m_lastModifyRequest; });
}

bool ServiceScheduledOrder::isExistsRunningTask()
{
    return m_engine->read([](const SchedOrdStore& store, const SchedOrdOutbox&) { return store.anyRunning(); });
}

void ServiceScheduledOrder::RestoreOpLog()
{
    m_engine->change([](SchedOrdStore&, SchedOrdOutbox& outbox, int64_t) {
        outbox.restoreLog();
        return true;
    });
}

QStringList ServiceScheduledOrder::operationLog() const
{
    return m_engine->read([](const SchedOrdStore&, const SchedOrdOutbox& outbox) { return outbox.logLines(); });
}

void ServiceScheduledOrder::setClock(std::shared_ptr<SchedOrdClock> clock)
{
    m_engine->setClock(std::move(clock));
}

bool ServiceScheduledOrder::openStorage(const QString& databasePath, QString* message)
{
    auto storage = std::make_unique<SchedOrdStorage>(m_accountId, m_broker);
    const SchedOrdDatabase::OpenResult opened = storage->open(databasePath);
    QString text = opened.message;
    bool attached = false;
    if (opened.usable()) {
        int nextMainTaskId = 1;
        int nextSubTaskId = 1;
        QString error;
        attached = m_engine->attachStorage(std::move(storage), nextMainTaskId, nextSubTaskId, &error);
        if (attached) {
            raiseNextMainTaskID(nextMainTaskId - 1);
            raiseNextSubTaskID(nextSubTaskId - 1);
        } else {
            text = QStringLiteral("数据文件 %1 无法读取（%2），定时委托任务无法保存。").arg(databasePath, error);
        }
    }
    if (!text.isEmpty())
        showStorageMessage(text);
    if (message)
        *message = text;
    return attached;
}

bool ServiceScheduledOrder::limitStorageSize(int maxPages)
{
    return m_engine->limitStoragePages(maxPages);
}

void ServiceScheduledOrder::showStorageMessage(const QString& message)
{
    qWarning("%s", qUtf8Printable(message));
    // The engine's thread tells the GUI's, where the window manager lives.
    QMetaObject::invokeMethod(this, [message] {
        if (gWM)
            gWM->popupMsgBoxInfo(message, nullptr, QString());
    }, QThread::currentThread() == thread() ? Qt::DirectConnection : Qt::QueuedConnection);
}

void ServiceScheduledOrder::setOrderRoute(BrokerRoute* route)
{
    m_engine->setRoute(route);
}

void ServiceScheduledOrder::setShareholderAccounts(const QMap<char, QString>& accounts)
{
    m_engine->setAccount(m_apiType, accounts);
}

void ServiceScheduledOrder::waitForEngineIdle()
{
    m_engine->waitForIdle();
}

void ServiceScheduledOrder::raiseNextMainTaskID(int usedId)
{
    raiseAtLeast(m_nextMainTaskId, usedId + 1);
}

void ServiceScheduledOrder::raiseNextSubTaskID(int usedId)
{
    raiseAtLeast(m_nextSubTaskId, usedId + 1);
}
