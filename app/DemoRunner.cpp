#include "DemoRunner.h"

#include "DemoFileDialogAnswer.h"

#include "ISubModuleWid.h"
#include "MyCompleterEdit.h"
#include "SchedOrdCodes.h"
#include "ServiceScheduledOrder.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "VelmClient.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QSet>
#include <QSpinBox>
#include <QTime>
#include <QTimeEdit>
#include <QTableView>
#include <QTabWidget>
#include <QRegularExpression>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <utility>

using VELMSCHEDORDAPI::SchedOrdSubTaskField;
using VELMSCHEDORDAPI::SchedOrdTaskField;

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
// Bounds the wait for the monitor tables to apply the engine's queued notifications.
constexpr int kTablesSettleMs = 3000;

// A sample task file: from the source tree when run from the build folder, else from the
// installed package's data folder.
QString samplePath(const QString& fileName)
{
    const QString executableDir = QCoreApplication::applicationDirPath();
    for (const QLatin1String relative : {QLatin1String("/../../samples/"), QLatin1String("/../share/velm-client/samples/")}) {
        const QString path = QDir::cleanPath(executableDir + relative + fileName);
        if (QFileInfo::exists(path))
            return path;
    }
    return QDir::cleanPath(executableDir + QStringLiteral("/../../samples/") + fileName);
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

// "title value" for every shown cell of a row that has text: what the trader reads in the table.
QString rowText(const QTableView* table, int row)
{
    const QAbstractItemModel* model = table->model();
    QStringList cells;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (table->isColumnHidden(column))
            continue;
        const QString text = model->index(row, column).data().toString();
        if (!text.isEmpty())
            cells.append(model->headerData(column, Qt::Horizontal).toString() + QLatin1Char(' ') + text);
    }
    return cells.join(QStringLiteral("，"));
}

int columnTitled(const QTableView* table, const QString& title)
{
    const QAbstractItemModel* model = table->model();
    for (int column = 0; column < model->columnCount(); ++column) {
        if (model->headerData(column, Qt::Horizontal).toString() == title)
            return column;
    }
    return -1;
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
        {QStringLiteral("zsyh"), kBuyId, 500, 60, QStringLiteral("招商银行买入，随后在修改对话框中改为 800 股、10 秒后触发"),
         800, 10},
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
            importBasket();
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

// Imports the sample basket through the 导入 button, answering the file dialog as a trader would.
void DemoRunner::importBasket()
{
    auto* import = m_window ? m_window->findChild<QAbstractButton*>(QStringLiteral("pushButton_schedord_maintask_import"))
                            : nullptr;
    const QString path = samplePath(QStringLiteral("basket_utf8.csv"));
    if (!import || !QFileInfo::exists(path)) {
        print(QStringLiteral("跳过导入：没有导入按钮或样例文件 %1").arg(path));
        modifyWaitingOrder();
        return;
    }
    m_importedTaskName = QFileInfo(path).baseName();
    print(QStringLiteral("导入：点击“导 入”，在文件对话框中选择 %1").arg(path));
    new DemoFileDialogAnswer(path, this);
    // The click returns only after the import; posted, so that this step returns at once.
    QTimer::singleShot(0, import, &QAbstractButton::click);
    waitThen([this] { return mainTableShowsImport(); }, kStepTimeoutMs * 2,
             [this] {
                 saveScreenshot(QStringLiteral("02a_basket_imported.png"));
                 modifyWaitingOrder();
             },
             [this] { fail(QStringLiteral("导入的任务没有出现在母任务表中")); });
}

bool DemoRunner::mainTableShowsImport() const
{
    const QTableView* mainTasks = table("tableview_SO_monitorMainTask");
    if (!mainTasks)
        return false;
    const int nameColumn = columnTitled(mainTasks, QStringLiteral("母任务名称"));
    const QAbstractItemModel* model = mainTasks->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, nameColumn).data().toString() == m_importedTaskName)
            return true;
    }
    return false;
}

void DemoRunner::modifyWaitingOrder()
{
    int index = 0;
    while (index < m_orders.size() && m_orders[index].modifiedVolume == 0)
        ++index;
    if (index == m_orders.size() || index >= m_mainTaskIds.size()) {
        waitForFiring();
        return;
    }
    const DemoOrder& order = m_orders[index];
    const SchedOrdTaskField task = m_service->getOneMainTask(m_mainTaskIds[index]);
    if (task.VecSubTask.empty()) {
        fail(QStringLiteral("找不到要修改的主任务 %1").arg(m_mainTaskIds[index]));
        return;
    }
    const QTime due = QTime::currentTime().addSecs(order.modifiedSecondsAhead);
    m_modification.mainTaskId = task.MainTaskID;
    m_modification.setTime = QTime(due.hour(), due.minute(), due.second()).toString(QStringLiteral("hh:mm:ss"));
    m_modification.volume = order.modifiedVolume;
    print(QStringLiteral("修改：主任务 %1 的子任务改为 %2 股、设定时间 %3（经由子任务表的“修改”按钮）")
              .arg(task.MainTaskID)
              .arg(order.modifiedVolume)
              .arg(m_modification.setTime));
    if (!clickModifyButton(task.MainTaskID, task.VecSubTask.front().SubTaskID)) {
        fail(QStringLiteral("子任务表中找不到主任务 %1 的“修改”按钮").arg(task.MainTaskID));
        return;
    }
    if (!m_modification.confirmed) {
        fail(QStringLiteral("修改对话框未出现或未能确认"));
        return;
    }
    waitThen([this] { return tableShowsModification(); }, kStepTimeoutMs, [this] { waitForFiring(); },
             [this] { fail(QStringLiteral("子任务表未显示修改后的数量和时间")); });
}

// Clicks 修改 in the row of the sub-task. The click returns only when the dialog's modal run has
// ended, so the dialog is driven from a timer started before the click.
bool DemoRunner::clickModifyButton(int mainTaskId, int subTaskId)
{
    QTableView* subTasks = table("tableview_SO_monitorSubTask");
    if (!subTasks)
        return false;
    const QAbstractItemModel* model = subTasks->model();
    const QString key = QStringLiteral("%1_%2").arg(mainTaskId).arg(subTaskId);
    const int operationColumn = columnTitled(subTasks, QStringLiteral("操作"));
    int row = 0;
    while (row < model->rowCount() && model->index(row, model->columnCount() - 1).data().toString() != key)
        ++row;
    if (operationColumn < 0 || row == model->rowCount())
        return false;
    subTasks->scrollTo(model->index(row, operationColumn));
    // One button per cell, inset by its one-pixel margin.
    const QPoint button = subTasks->visualRect(model->index(row, operationColumn)).adjusted(1, 1, -1, -1).center();

    auto* driver = new QTimer(this);
    driver->setInterval(10);
    connect(driver, &QTimer::timeout, this, [this, driver] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && widget->inherits("FramelessFloatDlg")) {
                driver->stop();
                driver->deleteLater();
                driveModifyDialog(widget);
                return;
            }
        }
    });
    driver->start();
    QMouseEvent press(QEvent::MouseButtonPress, button, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(subTasks->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, button, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(subTasks->viewport(), &release);
    if (driver->isActive()) {
        driver->stop();
        driver->deleteLater();
    }
    return true;
}

void DemoRunner::driveModifyDialog(QWidget* dialog)
{
    auto* time = dialog->findChild<QTimeEdit*>(QStringLiteral("timeEdit_SO_MST_ScheduledTime"));
    auto* volume = dialog->findChild<QSpinBox*>(QStringLiteral("spinBox_SO_MST_VolumeOriginal"));
    auto* ok = dialog->findChild<QAbstractButton*>(QStringLiteral("pushButton_SO_MST_bottom_OK"));
    if (!time || !volume || !ok)
        return;
    time->setTime(QTime::fromString(m_modification.setTime, QStringLiteral("hh:mm:ss")));
    volume->setValue(m_modification.volume);
    if (!m_screenshotDir.isEmpty())
        dialog->grab().save(QDir(m_screenshotDir).absoluteFilePath(QStringLiteral("02b_modify_dialog.png")), "PNG");
    print(QStringLiteral("  修改对话框：设定时间 %1，委托数量 %2，确认").arg(time->time().toString(QStringLiteral("hh:mm:ss")))
              .arg(volume->value()));
    m_modification.confirmed = true;
    ok->click();
}

// The modified row shows the new time and volume once the service has reported the change.
bool DemoRunner::tableShowsModification() const
{
    const QTableView* subTasks = table("tableview_SO_monitorSubTask");
    if (!subTasks)
        return false;
    const QAbstractItemModel* model = subTasks->model();
    const int idColumn = columnTitled(subTasks, QStringLiteral("母任务号"));
    const int timeColumn = columnTitled(subTasks, QStringLiteral("设定时间"));
    const int volumeColumn = columnTitled(subTasks, QStringLiteral("目标数量"));
    const QString id = QStringLiteral("#%1").arg(m_modification.mainTaskId);
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, idColumn).data().toString() == id)
            return model->index(row, timeColumn).data().toString() == m_modification.setTime
                && model->index(row, volumeColumn).data().toInt() == m_modification.volume;
    }
    return false;
}

void DemoRunner::waitForFiring()
{
    int lastSecondsAhead = 0;
    for (const DemoOrder& order : qAsConst(m_orders))
        lastSecondsAhead = qMax(lastSecondsAhead, order.modifiedVolume > 0 ? order.modifiedSecondsAhead : order.secondsAhead);
    waitThen([this] { return allTasksFired(); }, lastSecondsAhead * 1000 + kFiringGraceMs,
             [this] { finish(true); }, [this] { finish(false); });
}

void DemoRunner::finish(bool allFired)
{
    // The tables learn of the fires through queued reports; what counts is what they show.
    waitThen([this] { return tablesShowAllFired(); }, kTablesSettleMs,
             [this, allFired] { finishWithTables(allFired); },
             [this] { finishWithTables(false); });
}

void DemoRunner::finishWithTables(bool allFired)
{
    saveScreenshot(QStringLiteral("03_orders_fired.png"));
    saveBrokerTabScreenshot();
    printSummary();
    if (!m_fixLogFolder.isEmpty())
        printFixMessagesOfFirstOrder();
    const bool modified = m_modification.mainTaskId == 0 || modificationFired();
    if (m_modification.mainTaskId != 0)
        print(modified ? QStringLiteral("修改已生效：主任务 %1 在 %2 以 %3 股触发").arg(m_modification.mainTaskId)
                             .arg(m_modification.setTime).arg(m_modification.volume)
                       : QStringLiteral("演示失败：修改后的子任务未按新时间、新数量触发"));
    if (!allFired)
        print(QStringLiteral("演示失败：有定时委托未在设定时间触发，或任务表未显示触发结果"));
    restartService(allFired && modified ? 0 : 1);
}

// The service is closed and opened again on the same data folder, as after a restart of the
// client: the window must show the same rows and the log must come back.
void DemoRunner::restartService(int exitCode)
{
    const QStringList rowsBefore = tableRows();
    const QStringList logBefore = m_service->operationLog();
    print(QStringLiteral("==== 关闭定时委托服务，并在同一数据文件夹上重新打开 ===="));
    if (!m_client.closeModuleWindow(m_window)) {
        fail(QStringLiteral("定时委托窗口未能关闭"));
        return;
    }
    // The window is deleted later; the service may go only after it.
    waitThen([this] { return m_window.isNull(); }, kTablesSettleMs,
             [this, exitCode, rowsBefore, logBefore] { reopenService(exitCode, rowsBefore, logBefore); },
             [this] { fail(QStringLiteral("定时委托窗口关闭后未被删除")); });
}

void DemoRunner::reopenService(int exitCode, const QStringList& rowsBefore, const QStringList& logBefore)
{
    UserData* account = UserDataManager::instance()->getUserData(m_accountId);
    account->closeScheduledOrderApi();
    account->initScheduledOrderApi();
    m_service = account->getServiceScheduledOrder();
    m_window = m_client.openScheduledOrderWindow(m_accountId);
    waitThen([this, rowsBefore] { return tableRows() == rowsBefore; }, kTablesSettleMs,
             [this, exitCode, logBefore] {
                 printSummary();
                 const QStringList log = m_service->operationLog();
                 // Reopening may add lines of its own (a route asking about open orders).
                 const bool restored = log.mid(0, logBefore.size()) == logBefore;
                 print(QStringLiteral("重新打开后两表与关闭前一致；操作日志恢复 %1 行%2")
                           .arg(logBefore.size())
                           .arg(restored ? QStringLiteral("，与关闭前相同") : QStringLiteral("，与关闭前不同")));
                 emit finished(restored ? exitCode : 1);
             },
             [this] { fail(QStringLiteral("重新打开后任务表与关闭前不一致")); });
}

QStringList DemoRunner::tableRows() const
{
    QStringList rows;
    for (const char* objectName : {"tableview_SO_monitorMainTask", "tableview_SO_monitorSubTask"}) {
        const QTableView* shown = table(objectName);
        if (!shown)
            return {};
        for (int row = 0; row < shown->model()->rowCount(); ++row)
            rows.append(rowText(shown, row));
    }
    return rows;
}

// The modified order's row shows it fired at its new time with its new volume.
bool DemoRunner::modificationFired() const
{
    const QTableView* subTasks = table("tableview_SO_monitorSubTask");
    if (!subTasks || !tableShowsModification())
        return false;
    const QAbstractItemModel* model = subTasks->model();
    const int idColumn = columnTitled(subTasks, QStringLiteral("母任务号"));
    const int triggerTimeColumn = columnTitled(subTasks, QStringLiteral("触发时间"));
    const int orderVolumeColumn = columnTitled(subTasks, QStringLiteral("报单数量"));
    const QString id = QStringLiteral("#%1").arg(m_modification.mainTaskId);
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, idColumn).data().toString() == id)
            return model->index(row, triggerTimeColumn).data().toString() == m_modification.setTime
                && model->index(row, orderVolumeColumn).data().toInt() == m_modification.volume;
    }
    return false;
}

QTableView* DemoRunner::table(const char* objectName) const
{
    return m_window ? m_window->findChild<QTableView*>(QLatin1String(objectName)) : nullptr;
}

// The sub-task table shows every entered order as fired once the engine's reports reached it.
bool DemoRunner::tablesShowAllFired() const
{
    const QTableView* subTasks = table("tableview_SO_monitorSubTask");
    if (!subTasks)
        return false;
    const int idColumn = columnTitled(subTasks, QStringLiteral("母任务号"));
    const int triggerColumn = columnTitled(subTasks, QStringLiteral("触发状态"));
    const QAbstractItemModel* model = subTasks->model();
    if (idColumn < 0 || triggerColumn < 0)
        return false;
    int shown = 0;
    for (int row = 0; row < model->rowCount(); ++row) {
        const int mainTaskId = model->index(row, idColumn).data().toString().mid(1).toInt();
        if (!m_mainTaskIds.contains(mainTaskId))
            continue;
        const QString trigger = model->index(row, triggerColumn).data().toString();
        if (trigger.isEmpty() || trigger == QLatin1String("未触发"))
            return false;
        ++shown;
    }
    return shown == m_orders.size();
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

// The host's order window, as the trader opens the monitor's 任务委托 tab.
void DemoRunner::saveBrokerTabScreenshot()
{
    auto* tabs = m_window ? m_window->findChild<QTabWidget*>(QStringLiteral("tabWidget_somonitor_tables")) : nullptr;
    QWidget* orders = m_window ? m_window->findChild<QWidget*>(QStringLiteral("tab_somonitor_order")) : nullptr;
    if (!tabs || !orders)
        return;
    const int shown = tabs->currentIndex();
    tabs->setCurrentWidget(orders);
    saveScreenshot(QStringLiteral("04_broker_orders.png"));
    tabs->setCurrentIndex(shown);
}

void DemoRunner::printSummary() const
{
    print(QStringLiteral("==== 定时委托任务最终状态（账户 %1，读自任务监控表格）====").arg(m_accountId));
    const std::pair<const char*, QString> tables[] = {
        {"tableview_SO_monitorMainTask", QStringLiteral("母任务")},
        {"tableview_SO_monitorSubTask", QStringLiteral("子任务")},
    };
    for (const auto& [objectName, caption] : tables) {
        const QTableView* shown = table(objectName);
        if (!shown) {
            print(QStringLiteral("（没有%1表）").arg(caption));
            continue;
        }
        print(QStringLiteral("-- %1表：%2 行").arg(caption).arg(shown->model()->rowCount()));
        for (int row = 0; row < shown->model()->rowCount(); ++row)
            print(QStringLiteral("  ") + rowText(shown, row));
    }
}

// The NewOrderSingle of the first order and every message since that names its ClOrdID, with
// the field separator shown as '|'.
void DemoRunner::printFixMessagesOfFirstOrder() const
{
    const QDir logs(m_fixLogFolder);
    const QStringList files = logs.entryList({QStringLiteral("*.messages.current.log")}, QDir::Files);
    QFile file(files.isEmpty() ? QString() : logs.filePath(files.first()));
    if (!file.open(QIODevice::ReadOnly)) {
        print(QStringLiteral("（没有FIX消息日志：%1）").arg(m_fixLogFolder));
        return;
    }
    static const QRegularExpression clOrdId(QStringLiteral("\\x0111=([^\\x01]+)\\x01"));
    static const QRegularExpression newOrder(QStringLiteral("\\x0135=D\\x01"));
    QString firstOrder;
    QStringList lines;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const QString id = clOrdId.match(line).captured(1);
        if (firstOrder.isEmpty() && newOrder.match(line).hasMatch())
            firstOrder = id;
        if (!firstOrder.isEmpty() && id == firstOrder)
            lines.append(QString(line).replace(QChar(1), QLatin1Char('|')));
    }
    print(QStringLiteral("==== FIX 4.4 消息：委托 %1（发出的 35=D 与收到的 35=8）====").arg(firstOrder));
    for (const QString& line : qAsConst(lines))
        print(QStringLiteral("  ") + line);
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
