#include "DemoRunner.h"

#include "ISubModuleWid.h"
#include "MyCompleterEdit.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "ServiceScheduledOrder.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmClient.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QSet>
#include <QSpinBox>
#include <QTime>
#include <QTimeEdit>
#include <QTimer>

#include <cstdio>

using VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskTime;

namespace {

constexpr int kBuyId = 1;
constexpr int kSellId = 2;
constexpr int kFormTimeoutMs = 10000;
constexpr int kStepTimeoutMs = 3000;
// After the last set time: the engine fires at once, this only bounds a broken run.
constexpr int kFiringGraceMs = 15000;
constexpr int kPollMs = 50;
// Time for the first quotes and quantity answers before the first picture.
constexpr int kSettleMs = 1500;
// Time for the monitor tables to apply the engine's queued notifications.
constexpr int kTablesSettleMs = 1000;

QString mainStatusText(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未启动");
    case '2': return QStringLiteral("运行中");
    case '3': return QStringLiteral("暂停");
    case '4': return QStringLiteral("全部触发");
    case '5': return QStringLiteral("停止");
    default: return QString();
    }
}

QString mainTriggerText(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未触发");
    case '2': return QStringLiteral("部分触发");
    case '3': return QStringLiteral("全部触发");
    default: return QString();
    }
}

QString subStatusText(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未启动");
    case '2': return QStringLiteral("运行中");
    case '3': return QStringLiteral("已触发");
    case '4': return QStringLiteral("已完成");
    case '5': return QStringLiteral("暂停");
    case '6': return QStringLiteral("停止");
    default: return QString();
    }
}

QString subTriggerText(char code)
{
    switch (code) {
    case '1': return QStringLiteral("未触发");
    case '2': return QStringLiteral("已触发(失败)");
    case '3': return QStringLiteral("已触发(已发送)");
    case '4': return QStringLiteral("已触发(废单)");
    case '5': return QStringLiteral("已触发(全成交)");
    default: return QString();
    }
}

// What a keyboard sends for one typed character; the line edit inserts the text.
void typeCharacter(QWidget* target, QChar ch)
{
    const int key = ch.unicode() < 0x80 ? int(ch.toUpper().unicode()) : int(Qt::Key_unknown);
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(target, &release);
}

QString subTaskLine(const SchedOrdSubTaskField& sub, int apiType)
{
    QString line = QStringLiteral("  子任务 %1 %2 %3：设定 %4，触发 %5")
                       .arg(sub.SubTaskID)
                       .arg(QString::fromStdString(sub.SecurityKey), Util::ParseDirection(apiType, sub.Direction),
                            SchedOrdTaskTime::toText(sub.StartTime), SchedOrdTaskTime::toText(sub.TriggerTime));
    line += QStringLiteral("，目标 %1，报单 %2，成交 %3").arg(sub.TargetVolume).arg(sub.OrderVolume).arg(sub.TradeVolume);
    line += QStringLiteral("，状态 %1，触发状态 %2").arg(subStatusText(sub.SubTaskStatus), subTriggerText(sub.TriggerStatus));
    if (!sub.ErrorMsg.empty())
        line += QStringLiteral("，错误：%1").arg(Util::Str2QStr(sub.ErrorMsg));
    return line;
}

void pressEnter(QWidget* target)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

QSet<int> mainTaskIdsOf(ServiceScheduledOrder* service)
{
    QSet<int> ids;
    for (const SchedOrdTaskField& task : service->getVecMainTask())
        ids.insert(task.MainTaskID);
    return ids;
}

} // namespace

DemoRunner::DemoRunner(VelmClient& client, int accountId, const QString& screenshotDir, QObject* parent)
    : QObject(parent)
    , m_client(client)
    , m_accountId(accountId)
    , m_screenshotDir(screenshotDir)
    , m_orders(demoOrders())
    , m_pollTimer(new QTimer(this))
{
    m_pollTimer->setInterval(kPollMs);
    connect(m_pollTimer, &QTimer::timeout, this, &DemoRunner::pollWait);
}

template <typename Widget>
Widget* DemoRunner::formChild(const char* objectName) const
{
    return m_window ? m_window->findChild<Widget*>(QLatin1String(objectName)) : nullptr;
}

QVector<DemoRunner::DemoOrder> DemoRunner::demoOrders()
{
    return {
        {QStringLiteral("pfyh"), kBuyId, 1000, 3, QStringLiteral("上海主板买入（拼音首字母输入）")},
        {QStringLiteral("000001"), kSellId, 2000, 4, QStringLiteral("深圳主板卖出持仓")},
        {QStringLiteral("688981"), kBuyId, 200, 5, QStringLiteral("科创板买入 200 股")},
        {QStringLiteral("601318"), kSellId, 1000, 6, QStringLiteral("卖出未持有的证券（券商废单）")},
    };
}

void DemoRunner::run()
{
    m_window = m_client.moduleWindows().value(0);
    if (!m_window) {
        fail(QStringLiteral("没有打开的定时委托窗口"));
        return;
    }
    UserData* account = UserDataManager::instance()->getUserData(m_accountId);
    m_service = account ? account->getServiceScheduledOrder() : nullptr;
    if (!m_service) {
        fail(QStringLiteral("账户 %1 没有定时委托服务").arg(m_accountId));
        return;
    }
    // The engine reports from its own thread.
    connect(m_service, &ServiceScheduledOrder::signalRtnMainTaskChanged, this, [](int mainTaskId) {
        print(QStringLiteral("[%1] 主任务 %2 状态更新")
                  .arg(QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")))
                  .arg(mainTaskId));
    }, Qt::QueuedConnection);

    waitThen([this] { return formIsBuilt(); }, kFormTimeoutMs,
             [this] {
                 QTimer::singleShot(kSettleMs, this, [this] {
                     saveScreenshot(QStringLiteral("01_window.png"));
                     enterNextOrder();
                 });
             },
             [this] {
                 fail(QStringLiteral("定时委托窗口在 %1 ms 内未建好报单表单").arg(kFormTimeoutMs));
             });
}

bool DemoRunner::formIsBuilt() const
{
    return m_window && m_window->findChild<MyCompleterEdit*>()
        && formChild<QAbstractButton>("pushButton_singleOI_bottom_Insert");
}

void DemoRunner::enterNextOrder()
{
    if (m_nextOrder == m_orders.size()) {
        QTimer::singleShot(500, this, [this] {
            saveScreenshot(QStringLiteral("02_orders_entered.png"));
            waitForFiring();
        });
        return;
    }
    chooseSecurity(m_orders[m_nextOrder]);
}

void DemoRunner::chooseSecurity(const DemoOrder& order)
{
    print(QStringLiteral("报单：%1，输入“%2”，数量 %3，%4 秒后触发")
              .arg(order.purpose, order.typed)
              .arg(order.volume)
              .arg(order.secondsAhead));
    auto* direction = formChild<QAbstractButton>(order.directionId == kBuyId ? "pushButton_singleOI_dir_buy"
                                                                             : "pushButton_singleOI_dir_sell");
    auto* completer = m_window ? m_window->findChild<MyCompleterEdit*>() : nullptr;
    auto* nameLabel = formChild<QLabel>("label_singleOI_SecurityName");
    if (!direction || !completer || !nameLabel) {
        fail(QStringLiteral("报单表单缺少方向按钮、证券输入框或证券名称"));
        return;
    }
    direction->click();
    completer->setFocus();
    completer->clear();
    for (const QChar ch : order.typed)
        typeCharacter(completer, ch);
    pressEnter(completer);
    waitThen([nameLabel] { return !nameLabel->text().isEmpty(); }, kStepTimeoutMs,
             [this, order, completer, nameLabel] {
                 print(QStringLiteral("  选中 %1 %2").arg(completer->text(), nameLabel->text()));
                 insertOrder(order);
             },
             [this, order] { fail(QStringLiteral("“%1”没有选出唯一的证券").arg(order.typed)); });
}

void DemoRunner::insertOrder(const DemoOrder& order)
{
    auto* volume = formChild<QSpinBox>("spinBox_singleOI_VolumeOriginal");
    auto* setTime = formChild<QTimeEdit>("timeEdit_singleOI_ScheduledTime");
    auto* insert = formChild<QAbstractButton>("pushButton_singleOI_bottom_Insert");
    if (!volume || !setTime || !insert) {
        fail(QStringLiteral("报单表单缺少数量、时间或报单按钮"));
        return;
    }
    volume->setValue(order.volume);
    const QTime due = QTime::currentTime().addSecs(order.secondsAhead);
    setTime->setTime(QTime(due.hour(), due.minute(), due.second()));

    m_taskIdsBeforeInsert = mainTaskIdsOf(m_service);
    insert->click();
    waitThen([this] { return (mainTaskIdsOf(m_service) - m_taskIdsBeforeInsert).size() == 1; }, kStepTimeoutMs,
             [this, setTime] {
                 const int mainTaskId = *(mainTaskIdsOf(m_service) - m_taskIdsBeforeInsert).begin();
                 m_mainTaskIds.append(mainTaskId);
                 print(QStringLiteral("  主任务 %1，设定时间 %2")
                           .arg(mainTaskId)
                           .arg(setTime->time().toString(QStringLiteral("hh:mm:ss"))));
                 ++m_nextOrder;
                 enterNextOrder();
             },
             [this, order] { fail(QStringLiteral("报单“%1”未生成定时委托任务").arg(order.purpose)); });
}

void DemoRunner::waitForFiring()
{
    int lastSecondsAhead = 0;
    for (const DemoOrder& order : qAsConst(m_orders))
        lastSecondsAhead = qMax(lastSecondsAhead, order.secondsAhead);
    waitThen([this] { return allTasksFired(); }, lastSecondsAhead * 1000 + kFiringGraceMs,
             [this] { finish(true); }, [this] { finish(false); });
}

void DemoRunner::finish(bool allFired)
{
    QTimer::singleShot(kTablesSettleMs, this, [this, allFired] {
        saveScreenshot(QStringLiteral("03_orders_fired.png"));
        printSummary();
        if (!allFired)
            print(QStringLiteral("演示失败：有定时委托未在设定时间触发"));
        emit finished(allFired ? 0 : 1);
    });
}

bool DemoRunner::allTasksFired() const
{
    for (const int mainTaskId : m_mainTaskIds) {
        const SchedOrdTaskField task = m_service->getOneMainTask(mainTaskId);
        if (task.MainTaskID != mainTaskId || task.VecSubTask.empty())
            return false;
        for (const SchedOrdSubTaskField& subTask : task.VecSubTask) {
            if (subTask.TriggerStatus == VELMSCHEDORDAPI::SubTriggerStatus::NotTriggered)
                return false;
        }
    }
    return true;
}

void DemoRunner::saveScreenshot(const QString& fileName)
{
    if (m_screenshotDir.isEmpty())
        return;
    const QDir dir(m_screenshotDir);
    QDir().mkpath(dir.absolutePath());
    const QString path = dir.absoluteFilePath(fileName);
    const bool saved = m_client.grab().save(path, "PNG");
    print(saved ? QStringLiteral("截图：%1").arg(path) : QStringLiteral("截图保存失败：%1").arg(path));
}

void DemoRunner::printSummary() const
{
    if (!m_service)
        return;
    const UserData* account = UserDataManager::instance()->getUserData(m_accountId);
    const int apiType = account ? account->ApiType : ApiTypes::Stock;
    print(QStringLiteral("==== 定时委托任务最终状态（账户 %1）====").arg(m_accountId));
    for (const int mainTaskId : m_mainTaskIds) {
        const SchedOrdTaskField task = m_service->getOneMainTask(mainTaskId);
        print(QStringLiteral("主任务 %1 %2：状态 %3，触发状态 %4")
                  .arg(task.MainTaskID)
                  .arg(Util::Str2QStr(task.MainTaskName), mainStatusText(task.MainTaskStatus),
                       mainTriggerText(task.TriggerStatus)));
        for (const SchedOrdSubTaskField& sub : task.VecSubTask)
            print(subTaskLine(sub, apiType));
    }
}

void DemoRunner::fail(const QString& reason)
{
    m_pollTimer->stop();
    print(QStringLiteral("演示失败：%1").arg(reason));
    printSummary();
    emit finished(1);
}

void DemoRunner::waitThen(std::function<bool()> condition, int timeoutMs, std::function<void()> next,
                          std::function<void()> onTimeout)
{
    m_waitCondition = std::move(condition);
    m_waitNext = std::move(next);
    m_waitTimeout = std::move(onTimeout);
    m_waitDeadline = QDeadlineTimer(timeoutMs);
    m_pollTimer->start();
}

void DemoRunner::pollWait()
{
    if (m_waitCondition()) {
        m_pollTimer->stop();
        // The next step may start another wait, which replaces these members.
        const std::function<void()> next = std::move(m_waitNext);
        next();
    } else if (m_waitDeadline.hasExpired()) {
        m_pollTimer->stop();
        const std::function<void()> onTimeout = std::move(m_waitTimeout);
        onTimeout();
    }
}

void DemoRunner::print(const QString& line)
{
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}
