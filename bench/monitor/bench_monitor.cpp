// The task monitor's sub-task table holding 100,000 sub-tasks (20 main tasks of 5,000) next to
// what a Qt developer would reach for: a QStandardItemModel holding the same texts (display text
// and user-role value per cell) behind a stock QSortFilterProxyModel in a QTableView. Both windows
// are shown (offscreen, 1400x700) and every figure includes processing the events that follow the
// operation, painting included. Sub-tasks change for real: the engine fires them when a hand-driven
// clock passes their set time. Memory is measured in one child process per window, so that each
// peak starts from the same heap.

#include "ProcessMemory.h"
#include "SchedOrdClock.h"
#include "SchedOrdTaskTime.h"
#include "SchedOrd_TableSubTaskWid.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "TableHeaderSchedOrdSubTask.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "Util.h"
#include "VelmTest.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <any>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

using namespace VELMSCHEDORDAPI;
using Velm_Space::SchedOrd_TableSubTaskWid;
using Velm_Space::TableHeaderSchedOrdSubTask;

namespace {

constexpr int kAccount = 7001;
constexpr int kMainTasks = 20;
constexpr int kSubTasksPerMainTask = 5000;
constexpr int kSubTasks = kMainTasks * kSubTasksPerMainTask;
// Every main task but the last fires all its sub-tasks at once; the last fires one per second.
constexpr int kBurstTasks = kMainTasks - 1;
constexpr int kSingleTask = kMainTasks - 1;
constexpr int kFilterTask = 10;
const QSize kWindowSize(1400, 700);
constexpr int kRowHeight = 23;
constexpr int kMainTaskColumn = 1;
constexpr int kSecurityColumn = 2;
constexpr int kTriggerColumn = 7;
constexpr int kKeyColumn = 15;
constexpr int kReloadRuns = 5;
constexpr int kFilterRuns = 7;
constexpr int kSortRuns = 3;
constexpr int kBurstRuns = 5;   // per order
constexpr int kSingleRuns = 9;
constexpr int kMaxSettlePasses = 500;
constexpr int kComparedRows = 30;

// One security per main task, Shanghai and Shenzhen alternating: typing "6" keeps every other
// main task, half of the rows, in ten runs.
const char* const kSecurities[kMainTasks] = {
    "600000.SH", "000001.SZ", "600036.SH", "000858.SZ", "600519.SH", "300750.SZ", "601318.SH",
    "002594.SZ", "601398.SH", "000333.SZ", "600030.SH", "000651.SZ", "600900.SH", "000002.SZ",
    "601988.SH", "000063.SZ", "600276.SH", "000568.SZ", "601166.SH", "000625.SZ",
};
constexpr int kShanghaiSubTasks = kSubTasks / 2;
static_assert(2 * kBurstRuns <= kBurstTasks, "every burst needs a main task of its own");

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "bench_monitor: %s\n", qPrintable(message));
    std::exit(1);
}

int64_t burstTime(int mainTaskIndex)
{
    return SchedOrdTaskTime::fromClockTime(11, mainTaskIndex, 0);
}

int64_t singleTime(int subTaskIndex)
{
    return SchedOrdTaskTime::fromClockTime(13, 0, 0) + subTaskIndex * SchedOrdTaskTime::TicksPerSecond;
}

// Runs everything the operation left behind (queued signals, deferred re-sorts and layouts, the
// repaint) until the event loop has nothing more to do.
void settle()
{
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    for (int pass = 0; pass < kMaxSettlePasses; ++pass) {
        if (!dispatcher->processEvents(QEventLoop::AllEvents))
            return;
    }
    // Something keeps posting events: every figure would include an arbitrary part of it.
    fail(QStringLiteral("the event loop never became idle"));
}

// ---- the account -------------------------------------------------------------------------------

struct Account
{
    UserData* userData = nullptr;
    ServiceScheduledOrder* service = nullptr;
    std::shared_ptr<ManualSchedOrdClock> clock;
    std::vector<int> mainTaskIds;
};

QString taskName(UserData& userData, const QString& securityKey)
{
    return securityKey.section(QLatin1Char('.'), 0, 0) + QLatin1Char('_') + userData.GetSecurityNameByKey(securityKey);
}

int addOneByOneMainTask(Account& account, const QString& securityKey)
{
    QList<VelmTest::OrderSpec> orders;
    for (int i = 0; i < kSubTasksPerMainTask; ++i)
        orders.append({securityKey, '0', singleTime(i), 100, 1});
    const SchedOrdTaskField task =
        VelmTest::makeMainTask(*account.service, taskName(*account.userData, securityKey), orders);
    account.service->AddMainTasks({task});
    return task.MainTaskID;
}

// All main tasks running and waiting for their time, which the clock reaches only when told.
Account openAccount()
{
    Account account;
    account.userData = VelmTest::addStockAccount(kAccount);
    // Enough funds that orders go out rather than bounce.
    account.userData->broker().setAvailableFunds(1e12);
    account.userData->initScheduledOrderApi();
    account.service = account.userData->getServiceScheduledOrder();
    account.clock = VelmTest::driveClock(*account.service, SchedOrdTaskTime::fromClockTime(9, 0, 0));
    for (int i = 0; i < kBurstTasks; ++i) {
        const QString key = QString::fromLatin1(kSecurities[i]);
        account.mainTaskIds.push_back(VelmTest::addMainTask(*account.service, taskName(*account.userData, key), key,
                                                            kSubTasksPerMainTask, burstTime(i)));
    }
    account.mainTaskIds.push_back(addOneByOneMainTask(account, QString::fromLatin1(kSecurities[kSingleTask])));
    account.service->StartMainTasks(account.mainTaskIds);
    account.service->waitForEngineIdle();
    return account;
}

// Keeps what the service reports, so that the baseline can be handed the same change.
class ChangeRecorder
{
public:
    struct Change {
        int mainTaskId = 0;
        std::unordered_set<int> subTaskIds;
    };

    // Direct: runs on the engine's thread as the change is emitted, before anything is timed.
    explicit ChangeRecorder(ServiceScheduledOrder& service)
        : m_connection(QObject::connect(&service, &ServiceScheduledOrder::signalRtnSubTaskChanged, &service,
                                        [this](int mainTaskId, std::unordered_set<int> ids) {
                                            std::lock_guard<std::mutex> guard(m_mutex);
                                            m_changes.push_back({mainTaskId, std::move(ids)});
                                        }, Qt::DirectConnection))
    {
    }
    ~ChangeRecorder() { QObject::disconnect(m_connection); }

    std::vector<Change> take()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        std::vector<Change> changes;
        changes.swap(m_changes);
        return changes;
    }

private:
    std::mutex m_mutex;
    std::vector<Change> m_changes;
    QMetaObject::Connection m_connection;
};

// Moves the clock to `time` and returns what the engine reports for it as one change: a burst
// arrives in the engine's slices, each its own signal for the same main task.
ChangeRecorder::Change fireAt(Account& account, ChangeRecorder& recorder, int64_t time, size_t expectedIds)
{
    recorder.take();
    account.clock->setNow(time);
    account.service->waitForEngineIdle();
    std::vector<ChangeRecorder::Change> changes = recorder.take();
    if (changes.empty())
        fail(QStringLiteral("expected a change of %1 sub-tasks, got none").arg(expectedIds));
    ChangeRecorder::Change merged = std::move(changes.front());
    for (size_t i = 1; i < changes.size(); ++i) {
        if (changes[i].mainTaskId != merged.mainTaskId)
            fail(QStringLiteral("a burst changed main tasks %1 and %2").arg(merged.mainTaskId).arg(changes[i].mainTaskId));
        merged.subTaskIds.insert(changes[i].subTaskIds.begin(), changes[i].subTaskIds.end());
    }
    if (merged.subTaskIds.size() != expectedIds)
        fail(QStringLiteral("expected %1 changed sub-tasks, got %2").arg(expectedIds).arg(merged.subTaskIds.size()));
    return merged;
}

// ---- the baseline ------------------------------------------------------------------------------

// Prefix of the security code and one main task, as a small subclass of the stock proxy.
class BaselineProxy final : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setSecurityPrefix(const QString& prefix)
    {
        m_prefix = prefix;
        invalidateFilter();
    }
    void setMainTaskId(int id)
    {
        m_mainTaskId = id;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override
    {
        const QAbstractItemModel* source = sourceModel();
        if (!m_prefix.isEmpty()
            && !source->index(sourceRow, kSecurityColumn, sourceParent).data().toString().startsWith(m_prefix))
            return false;
        return m_mainTaskId == -1
            || source->index(sourceRow, kMainTaskColumn, sourceParent).data(Qt::UserRole).toInt() == m_mainTaskId;
    }

private:
    QString m_prefix;
    int m_mainTaskId = -1;
};

// The same table built the plain way: every cell a QStandardItem with the table's text and
// user-role value, filled in a fresh model that the proxy takes over once it is complete.
class BaselineWindow final : public QWidget
{
public:
    BaselineWindow(ServiceScheduledOrder* service, UserData* userData)
        : m_service(service)
        , m_userData(userData)
    {
        m_header.initUserColumn();
        m_columns = m_header.getShowColumns();
        m_titles.append(QString());
        for (const ColProperty* column : qAsConst(m_columns))
            m_titles.append(column->title);
        m_titles.append(QStringLiteral("hiddenColumnm"));
        buildWidgets();
        reload();
        shapeView();
        fillMainTaskFilter();
        connect(securityFilter, &QLineEdit::textChanged, m_proxy, &BaselineProxy::setSecurityPrefix);
        connect(mainTaskFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this] { m_proxy->setMainTaskId(mainTaskFilter->currentData().toInt()); });
        connect(refresh, &QPushButton::clicked, this, &BaselineWindow::reload);
    }

    // What the table does on signalRtnSubTaskChanged, the plain way: one setItemData (text and
    // user value, one dataChanged) per cell whose text or value changed.
    void applySubTaskChanged(int mainTaskId, const std::unordered_set<int>& subTaskIds)
    {
        const SchedOrdTaskField task = m_service->getOneMainTask(mainTaskId);
        QHash<int, const SchedOrdSubTaskField*> byId;
        byId.reserve(static_cast<int>(task.VecSubTask.size()));
        for (const SchedOrdSubTaskField& sub : task.VecSubTask)
            byId.insert(sub.SubTaskID, &sub);
        for (const int id : subTaskIds) {
            const int row = m_rowOf.value(TableHeaderSchedOrdSubTask::rowKey(mainTaskId, id), -1);
            const SchedOrdSubTaskField* sub = byId.value(id);
            if (row >= 0 && sub)
                updateRow(row, *sub);
        }
    }

    QTableView* view = nullptr;
    QLineEdit* securityFilter = nullptr;
    QComboBox* mainTaskFilter = nullptr;
    QPushButton* refresh = nullptr;

private:
    void buildWidgets()
    {
        mainTaskFilter = new QComboBox(this);
        securityFilter = new QLineEdit(this);
        refresh = new QPushButton(QStringLiteral("刷新"), this);
        auto* filters = new QHBoxLayout;
        filters->addWidget(mainTaskFilter);
        filters->addWidget(securityFilter);
        filters->addStretch();
        filters->addWidget(refresh);
        view = new QTableView(this);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(filters);
        layout->addWidget(view);

        m_proxy = new BaselineProxy(this);
        m_proxy->setSortRole(Qt::UserRole);
        m_proxy->setDynamicSortFilter(true);
        view->setModel(m_proxy);
    }

    // The table's geometry, so that both paint the same cells.
    void shapeView()
    {
        view->setWordWrap(false);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::NoSelection);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->horizontalHeader()->setFixedHeight(kRowHeight);
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(kRowHeight);
        view->setColumnWidth(0, kRowHeight);
        for (int i = 0; i < m_columns.size(); ++i)
            view->setColumnWidth(i + 1, m_columns[i]->width);
        view->hideColumn(kKeyColumn);
        view->setSortingEnabled(true);
        view->sortByColumn(kKeyColumn, Qt::AscendingOrder);
    }

    void fillMainTaskFilter()
    {
        mainTaskFilter->addItem(QStringLiteral("全部"), -1);
        for (const SchedOrdTaskField& task : m_service->getVecMainTask()) {
            mainTaskFilter->addItem(QStringLiteral("[#%1] ").arg(task.MainTaskID) + Util::Str2QStr(task.MainTaskName),
                                    task.MainTaskID);
        }
    }

    void reload()
    {
        const std::vector<SchedOrdSubTaskField> subTasks = m_service->getVecAllSubTask();
        auto model = std::make_unique<QStandardItemModel>(0, m_titles.size());
        model->setHorizontalHeaderLabels(m_titles);
        m_rowOf.clear();
        m_rowOf.reserve(static_cast<int>(subTasks.size()));
        for (const SchedOrdSubTaskField& sub : subTasks) {
            m_rowOf.insert(TableHeaderSchedOrdSubTask::rowKey(sub.MainTaskID, sub.SubTaskID), model->rowCount());
            model->appendRow(makeRow(sub));
        }
        // Filled before the proxy sees it: a proxy over a growing model re-maps on every new row.
        m_proxy->setSourceModel(model.get());
        m_model = std::move(model);
    }

    static std::any recordOf(const SchedOrdSubTaskField& sub)
    {
        // The header reads through the pointer type the table stores; it never writes.
        return std::any(const_cast<SchedOrdSubTaskField*>(&sub));
    }

    static QStandardItem* cell(const QString& text, const QVariant& value)
    {
        auto* item = new QStandardItem(text);
        item->setData(value, Qt::UserRole);
        return item;
    }

    QList<QStandardItem*> makeRow(const SchedOrdSubTaskField& sub)
    {
        const std::any record = recordOf(sub);
        QList<QStandardItem*> row;
        row.reserve(m_titles.size());
        auto* check = new QStandardItem;
        check->setCheckable(true);
        check->setCheckState(Qt::Unchecked);
        row.append(check);
        for (const ColProperty* column : qAsConst(m_columns)) {
            row.append(cell(m_header.getColumnValue(column->id, record, m_userData),
                            m_header.getColumnValueUserRole(column->id, record, m_userData)));
        }
        row.append(cell(m_header.getRowValue(Qt::DisplayRole, record).toString(),
                        m_header.getRowValue(Qt::UserRole, record)));
        return row;
    }

    void updateRow(int row, const SchedOrdSubTaskField& sub)
    {
        const std::any record = recordOf(sub);
        for (int i = 0; i < m_columns.size(); ++i) {
            const int id = m_columns[i]->id;
            setCellIfChanged(row, i + 1, m_header.getColumnValue(id, record, m_userData),
                             m_header.getColumnValueUserRole(id, record, m_userData));
        }
    }

    void setCellIfChanged(int row, int column, const QString& text, const QVariant& value)
    {
        const QStandardItem* item = m_model->item(row, column);
        if (item->text() == text && item->data(Qt::UserRole) == value)
            return;
        m_model->setItemData(m_model->index(row, column), {{Qt::DisplayRole, text}, {Qt::UserRole, value}});
    }

    ServiceScheduledOrder* m_service;
    UserData* m_userData;
    TableHeaderSchedOrdSubTask m_header;
    QList<ColProperty*> m_columns;
    QStringList m_titles;
    BaselineProxy* m_proxy = nullptr;
    std::unique_ptr<QStandardItemModel> m_model;
    QHash<QString, int> m_rowOf;
};

// ---- driving either window ---------------------------------------------------------------------

class PaintCounter final : public QObject
{
public:
    explicit PaintCounter(QWidget* viewport)
        : QObject(viewport)
    {
        viewport->installEventFilter(this);
    }
    int count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_count;
        return QObject::eventFilter(watched, event);
    }

private:
    int m_count = 0;
};

// The widgets of one window that the benchmark drives, found the same way for both.
struct Window
{
    QWidget* widget = nullptr;
    QTableView* view = nullptr;
    QLineEdit* securityFilter = nullptr;
    QComboBox* mainTaskFilter = nullptr;
    QPushButton* refresh = nullptr;
    PaintCounter* paints = nullptr;

    QSortFilterProxyModel* proxy() const { return qobject_cast<QSortFilterProxyModel*>(view->model()); }
    // The baseline replaces its model on every reload.
    QAbstractItemModel* model() const { return proxy()->sourceModel(); }
};

template <typename T>
T* childNamed(QWidget* parent, const char* name)
{
    T* child = parent->findChild<T*>(QLatin1String(name));
    if (!child)
        fail(QStringLiteral("no child %1").arg(QLatin1String(name)));
    return child;
}

void showWindow(Window& window)
{
    window.widget->resize(kWindowSize);
    window.widget->show();
    window.paints = new PaintCounter(window.view->viewport());
    settle();
}

Window tableWindow(SchedOrd_TableSubTaskWid* table)
{
    Window window;
    window.widget = table;
    window.view = childNamed<QTableView>(table, "tableview_SO_monitorSubTask");
    window.securityFilter = childNamed<QLineEdit>(table, "lineEdit_somonitor_subtask_filter_securityID");
    window.mainTaskFilter = childNamed<QComboBox>(table, "comboBox_subtask_maintaskname");
    window.refresh = childNamed<QPushButton>(table, "pushButton_somonitor_subtask_refresh");
    showWindow(window);
    return window;
}

Window baselineWindow(BaselineWindow* baseline)
{
    Window window;
    window.widget = baseline;
    window.view = baseline->view;
    window.securityFilter = baseline->securityFilter;
    window.mainTaskFilter = baseline->mainTaskFilter;
    window.refresh = baseline->refresh;
    showWindow(window);
    return window;
}

void pressKey(QWidget* widget, Qt::Key key, const QString& text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &release);
}

void clickHeaderSection(QHeaderView* header, int section)
{
    const QPoint centre(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(header->viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(header->viewport(), &release);
}

void chooseMainTask(Window& window, int id)
{
    window.mainTaskFilter->setCurrentIndex(window.mainTaskFilter->findData(id));
}

void scrollToSourceRow(Window& window, int sourceRow)
{
    const QModelIndex shown = window.proxy()->mapFromSource(window.model()->index(sourceRow, kMainTaskColumn));
    window.view->scrollTo(shown, QAbstractItemView::PositionAtTop);
}

void expectRows(const Window& window, int rows, const char* after)
{
    if (window.proxy()->rowCount() != rows)
        fail(QStringLiteral("%1 rows shown after %2, expected %3").arg(window.proxy()->rowCount()).arg(after).arg(rows));
}

QString cellText(const Window& window, int row, int column)
{
    return window.proxy()->index(row, column).data().toString();
}

// Both windows must show the same rows in the same order, or the figures compare different work.
void expectSameTopRows(const Window& table, const Window& baseline)
{
    expectRows(baseline, table.proxy()->rowCount(), "comparing the windows");
    const int rows = qMin(kComparedRows, table.proxy()->rowCount());
    for (int row = 0; row < rows; ++row) {
        for (int column = 1; column <= kKeyColumn; ++column) {
            if (cellText(table, row, column) != cellText(baseline, row, column)) {
                fail(QStringLiteral("row %1 column %2 differs: \"%3\" vs \"%4\"").arg(row).arg(column)
                         .arg(cellText(table, row, column), cellText(baseline, row, column)));
            }
        }
    }
}

// ---- timing ------------------------------------------------------------------------------------

struct Samples
{
    std::vector<double> ms;
    int painted = 0;

    double median() const
    {
        std::vector<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        const size_t middle = sorted.size() / 2;
        return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2.0;
    }
    double min() const { return *std::min_element(ms.begin(), ms.end()); }
};

struct Pair
{
    Samples table;
    Samples baseline;
};

// Times the operation plus everything the event loop does after it.
void timeOnce(Samples& samples, const Window& window, const std::function<void()>& operation)
{
    const int paintsBefore = window.paints->count();
    const auto start = std::chrono::steady_clock::now();
    operation();
    settle();
    samples.ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    if (window.paints->count() > paintsBefore)
        ++samples.painted;
}

struct Results
{
    Pair reload;
    Pair narrow;
    Pair widen;
    Pair toOneTask;
    Pair toAllTasks;
    Pair sortByTrigger;
    Pair burstDefault;
    Pair burstSorted;
    Pair single;
    int tableSignalsPerBurst = 0;
    int baselineSignalsPerBurst = 0;
};

struct Bench
{
    Account& account;
    ChangeRecorder& recorder;
    Window& table;
    Window& baseline;
    BaselineWindow& baselineWidget;
    Results& results;
};

// Each window's runs follow one another: interleaved, the baseline's large heap would push the
// table's data out of the caches before every table run.
enum class Side { Table, Baseline };
constexpr Side kSides[] = {Side::Table, Side::Baseline};

Window& windowOf(Bench& bench, Side side)
{
    return side == Side::Table ? bench.table : bench.baseline;
}

Samples& samplesOf(Pair& pair, Side side)
{
    return side == Side::Table ? pair.table : pair.baseline;
}

void measureReload(Bench& bench)
{
    for (const Side side : kSides) {
        Window& window = windowOf(bench, side);
        for (int run = 0; run < kReloadRuns; ++run)
            timeOnce(samplesOf(bench.results.reload, side), window, [&window] { window.refresh->click(); });
        expectRows(window, kSubTasks, "a reload");
    }
    expectSameTopRows(bench.table, bench.baseline);
}

void measureSecurityFilter(Bench& bench)
{
    for (const Side side : kSides) {
        Window& window = windowOf(bench, side);
        for (int run = 0; run < kFilterRuns; ++run) {
            timeOnce(samplesOf(bench.results.narrow, side), window,
                     [&window] { pressKey(window.securityFilter, Qt::Key_6, QStringLiteral("6")); });
            expectRows(window, kShanghaiSubTasks, "typing 6");
            timeOnce(samplesOf(bench.results.widen, side), window,
                     [&window] { pressKey(window.securityFilter, Qt::Key_Backspace, QString()); });
            expectRows(window, kSubTasks, "erasing the 6");
        }
    }
}

void measureMainTaskFilter(Bench& bench)
{
    const int id = bench.account.mainTaskIds[kFilterTask];
    for (const Side side : kSides) {
        Window& window = windowOf(bench, side);
        for (int run = 0; run < kFilterRuns; ++run) {
            timeOnce(samplesOf(bench.results.toOneTask, side), window, [&window, id] { chooseMainTask(window, id); });
            expectRows(window, kSubTasksPerMainTask, "choosing one main task");
            timeOnce(samplesOf(bench.results.toAllTasks, side), window, [&window] { chooseMainTask(window, -1); });
            expectRows(window, kSubTasks, "choosing all main tasks");
        }
    }
}

void sortByTrigger(Window& window)
{
    clickHeaderSection(window.view->horizontalHeader(), kTriggerColumn);
    if (window.proxy()->sortColumn() != kTriggerColumn)
        fail(QStringLiteral("the header click did not sort by trigger status"));
}

// The hidden key column cannot be clicked.
void sortByDefaultOrder(Window& window)
{
    window.view->sortByColumn(kKeyColumn, Qt::AscendingOrder);
    settle();
}

void measureSortByTrigger(Bench& bench)
{
    for (const Side side : kSides) {
        Window& window = windowOf(bench, side);
        for (int run = 0; run < kSortRuns; ++run) {
            timeOnce(samplesOf(bench.results.sortByTrigger, side), window, [&window] { sortByTrigger(window); });
            sortByDefaultOrder(window);
        }
    }
}

int countDataChanged(QAbstractItemModel* model, const std::function<void()>& work)
{
    int count = 0;
    const QMetaObject::Connection counter =
        QObject::connect(model, &QAbstractItemModel::dataChanged, model, [&count] { ++count; });
    work();
    QObject::disconnect(counter);
    return count;
}

void expectTriggered(const Window& window, int sourceRow)
{
    const QModelIndex cell = window.model()->index(sourceRow, kTriggerColumn);
    if (cell.data().toString() == QStringLiteral("未触发"))
        fail(QStringLiteral("row %1 did not change").arg(sourceRow));
}

// Sub-tasks the clock makes due at `time`, shown from `firstRow` to `lastRow` (source rows).
struct Firing
{
    int64_t time = 0;
    size_t subTasks = 0;
    int firstRow = 0;
    int lastRow = 0;
};

struct SignalCounts
{
    int table = 0;
    int baseline = 0;
};

// The table hears of each firing through its queued connection as it happens; the baseline is
// handed the same changes afterwards. Each window has the changed rows on top when it is timed.
SignalCounts measureChanges(Bench& bench, Pair& pair, const std::vector<Firing>& firings)
{
    SignalCounts counts;
    std::vector<ChangeRecorder::Change> changes;
    for (const Firing& firing : firings) {
        scrollToSourceRow(bench.table, firing.firstRow);
        settle();
        changes.push_back(fireAt(bench.account, bench.recorder, firing.time, firing.subTasks));
        counts.table = countDataChanged(bench.table.model(), [&] { timeOnce(pair.table, bench.table, [] {}); });
        expectTriggered(bench.table, firing.lastRow);
    }
    for (size_t i = 0; i < firings.size(); ++i) {
        scrollToSourceRow(bench.baseline, firings[i].firstRow);
        settle();
        const ChangeRecorder::Change& change = changes[i];
        counts.baseline = countDataChanged(bench.baseline.model(), [&] {
            timeOnce(pair.baseline, bench.baseline,
                     [&] { bench.baselineWidget.applySubTaskChanged(change.mainTaskId, change.subTaskIds); });
        });
        expectTriggered(bench.baseline, firings[i].lastRow);
    }
    expectSameTopRows(bench.table, bench.baseline);
    return counts;
}

void measureBursts(Bench& bench, Pair& pair, int firstTask)
{
    std::vector<Firing> firings;
    for (int task = firstTask; task < firstTask + kBurstRuns; ++task) {
        const int firstRow = task * kSubTasksPerMainTask;
        firings.push_back({burstTime(task), kSubTasksPerMainTask, firstRow, firstRow + kSubTasksPerMainTask - 1});
    }
    const SignalCounts counts = measureChanges(bench, pair, firings);
    if (counts.table != kSubTasksPerMainTask)
        fail(QStringLiteral("the table emitted %1 dataChanged for a burst").arg(counts.table));
    bench.results.tableSignalsPerBurst = counts.table;
    bench.results.baselineSignalsPerBurst = counts.baseline;
}

void measureSortedBursts(Bench& bench)
{
    sortByTrigger(bench.table);
    sortByTrigger(bench.baseline);
    settle();
    measureBursts(bench, bench.results.burstSorted, kBurstRuns);
    sortByDefaultOrder(bench.table);
    sortByDefaultOrder(bench.baseline);
}

// Fires what is still due before `time` (main tasks no burst used), the same change for both.
void fireRemainingBefore(Bench& bench, int64_t time)
{
    bench.recorder.take();
    bench.account.clock->setNow(time - 1);
    bench.account.service->waitForEngineIdle();
    for (const ChangeRecorder::Change& change : bench.recorder.take())
        bench.baselineWidget.applySubTaskChanged(change.mainTaskId, change.subTaskIds);
    settle();
}

void measureSingles(Bench& bench)
{
    fireRemainingBefore(bench, singleTime(0));
    std::vector<Firing> firings;
    for (int run = 0; run < kSingleRuns; ++run) {
        const int row = kSingleTask * kSubTasksPerMainTask + run;
        firings.push_back({singleTime(run), 1, row, row});
    }
    measureChanges(bench, bench.results.single, firings);
}

// ---- memory ------------------------------------------------------------------------------------

const char* const kMemoryOption = "--memory";

struct Memory
{
    long heldKb = 0;   // VmRSS after the window showed its rows
    long peakKb = 0;   // VmHWM over opening the window and one full reload, above VmRSS before
};

// Child process: one window over the same account, its memory printed as "held peak".
int reportMemory(const QString& which)
{
    Account account = openAccount();
    settle();
    const long before = ProcessMemory::statusKb("VmRSS");
    std::unique_ptr<QWidget> widget;
    Window window;
    if (which == QLatin1String("table")) {
        auto* table = new SchedOrd_TableSubTaskWid(kAccount, account.service, nullptr);
        widget.reset(table);
        window = tableWindow(table);
    } else {
        auto* baseline = new BaselineWindow(account.service, account.userData);
        widget.reset(baseline);
        window = baselineWindow(baseline);
    }
    expectRows(window, kSubTasks, "opening");
    const long held = ProcessMemory::statusKb("VmRSS") - before;
    window.refresh->click();
    settle();
    std::printf("%ld %ld\n", held, ProcessMemory::statusKb("VmHWM") - before);
    return 0;
}

Memory measureMemory(const QString& which)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(kMemoryOption), which});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        fail(QStringLiteral("the memory run of the %1 failed").arg(which));
    const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
    if (figures.size() != 2)
        fail(QStringLiteral("the memory run of the %1 printed no figures").arg(which));
    return {figures[0].toLong(), figures[1].toLong()};
}

// ---- report ------------------------------------------------------------------------------------

QString msText(const Samples& samples)
{
    return QStringLiteral("%1 (%2)").arg(samples.median(), 0, 'f', 2).arg(samples.min(), 0, 'f', 2);
}

QString verdict(double figure, double baseline, double goal)
{
    QStringList missed;
    if (goal > 0 && figure >= goal)
        missed.append(QStringLiteral("goal"));
    if (figure > baseline)
        missed.append(QStringLiteral("baseline"));
    return missed.isEmpty() ? QStringLiteral("met") : QStringLiteral("MISSED ") + missed.join(QLatin1Char('+'));
}

void printLine(const QString& row, const QString& table, const QString& baseline, const QString& ratio,
               const QString& goal, const QString& result, const QString& painted)
{
    std::printf("%-44s %-18s %-20s %-7s %-20s %-22s %s\n", qPrintable(row), qPrintable(table), qPrintable(baseline),
                qPrintable(ratio), qPrintable(goal), qPrintable(result), qPrintable(painted));
}

// goalMs 0: no goal of its own, only the baseline.
void printTimed(const char* row, const Pair& pair, double goalMs)
{
    const double figure = pair.table.median();
    const double baseline = pair.baseline.median();
    printLine(QLatin1String(row), msText(pair.table), msText(pair.baseline),
              QStringLiteral("%1").arg(figure / baseline, 0, 'f', 2),
              goalMs > 0 ? QStringLiteral("< %1 ms, <= baseline").arg(goalMs) : QStringLiteral("<= baseline"),
              verdict(figure, baseline, goalMs),
              QStringLiteral("%1/%2 %3/%4").arg(pair.table.painted).arg(pair.table.ms.size())
                  .arg(pair.baseline.painted).arg(pair.baseline.ms.size()));
}

void printMemory(const char* row, long tableKb, long baselineKb)
{
    const auto mb = [](long kb) { return QStringLiteral("%1 MB").arg(kb / 1024.0, 0, 'f', 1); };
    printLine(QLatin1String(row), mb(tableKb), mb(baselineKb),
              QStringLiteral("%1").arg(static_cast<double>(tableKb) / static_cast<double>(baselineKb), 0, 'f', 2),
              QStringLiteral("<= baseline"), verdict(tableKb, baselineKb, 0), QStringLiteral("-"));
}

void printReport(const Results& results, const Memory& table, const Memory& baseline)
{
    std::printf("Sub-task table of the task monitor, %d sub-tasks (%d main tasks of %d), %dx%d offscreen, beside\n"
                "QStandardItemModel + QSortFilterProxyModel + QTableView holding the same texts, both in this\n"
                "process, each window's runs of a row one after another. Times in ms, median (min), each\n"
                "including the events processed afterwards; painted = runs in which the view repainted\n"
                "(table, baseline). Changed rows are on screen when timed. Memory: one child process per window.\n",
                kSubTasks, kMainTasks, kSubTasksPerMainTask, kWindowSize.width(), kWindowSize.height());
    printLine(QStringLiteral("row"), QStringLiteral("table"), QStringLiteral("baseline"), QStringLiteral("ratio"),
              QStringLiteral("goal"), QStringLiteral("result"), QStringLiteral("painted"));
    printTimed("full reload (refresh button)", results.reload, 150);
    printTimed("1 sub-task changed", results.single, 1);
    printTimed("5,000 sub-tasks changed, default order", results.burstDefault, 16);
    printTimed("5,000 sub-tasks changed, sorted by trigger", results.burstSorted, 100);
    printTimed("keystroke: \"\" -> \"6\" (100,000 -> 50,000)", results.narrow, 16);
    printTimed("keystroke: \"6\" -> \"\" (50,000 -> 100,000)", results.widen, 16);
    printTimed("main task: all -> one (100,000 -> 5,000)", results.toOneTask, 16);
    printTimed("main task: one -> all (5,000 -> 100,000)", results.toAllTasks, 16);
    printTimed("header click: sort by trigger status", results.sortByTrigger, 0);
    printMemory("memory: window held (VmRSS delta)", table.heldKb, baseline.heldKb);
    printMemory("memory: peak, open + 1 reload (VmHWM)", table.peakKb, baseline.peakKb);
    std::printf("dataChanged per 5,000 burst: table %d (one per row), baseline %d (one per changed cell).\n",
                results.tableSignalsPerBurst, results.baselineSignalsPerBurst);
}

int runTimings()
{
    Account account = openAccount();
    ChangeRecorder recorder(*account.service);
    auto table = std::make_unique<SchedOrd_TableSubTaskWid>(kAccount, account.service, nullptr);
    auto baselineWidget = std::make_unique<BaselineWindow>(account.service, account.userData);
    Window tableView = tableWindow(table.get());
    Window baselineView = baselineWindow(baselineWidget.get());
    expectRows(tableView, kSubTasks, "opening");
    expectSameTopRows(tableView, baselineView);

    Results results;
    Bench bench{account, recorder, tableView, baselineView, *baselineWidget, results};
    measureReload(bench);
    measureSecurityFilter(bench);
    measureMainTaskFilter(bench);
    measureSortByTrigger(bench);
    measureBursts(bench, results.burstDefault, 0);
    measureSortedBursts(bench);
    measureSingles(bench);
    // The single changes are the last to use the table; the memory runs start clean processes.
    table.reset();
    baselineWidget.reset();
    const Memory tableMemory = measureMemory(QStringLiteral("table"));
    const Memory baselineMemory = measureMemory(QStringLiteral("baseline"));
    printReport(results, tableMemory, baselineMemory);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    VelmTest::setUpWindowManager();
    const QStringList arguments = QCoreApplication::arguments();
    const int memoryOption = arguments.indexOf(QLatin1String(kMemoryOption));
    if (memoryOption >= 0 && memoryOption + 1 < arguments.size())
        return reportMemory(arguments.at(memoryOption + 1));
    return runTimings();
}
