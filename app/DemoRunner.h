#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

#include <functional>

class ISubModuleWid;
class QTableView;
class QTimer;
class ServiceScheduledOrder;
class VelmClient;

// The headless demo: enters a few scheduled orders through the real form of the scheduled-order
// window, waits until the engine has fired them, saves screenshots before and after, and prints
// every task's final state. Every step returns to the event loop at once and the waits poll on a
// timer: the module runs nested event loops while it builds itself, and a step that blocked
// inside one of them would hold that construction up.
class DemoRunner final : public QObject
{
    Q_OBJECT
public:
    DemoRunner(VelmClient& client, int accountId, const QString& screenshotDir, QObject* parent = nullptr);

    // Starts the script and returns; `finished` follows.
    void run();
    // The orders go over FIX: once they fired, the messages of the first one are printed from
    // the route's QuickFIX message log in `logFolder`.
    void showFixMessagesFrom(const QString& logFolder) { m_fixLogFolder = logFolder; }

signals:
    // 0 when every order fired.
    void finished(int exitCode);

private:
    struct DemoOrder {
        QString typed;          // what the trader types into the security input
        int directionId;        // 1 buy, 2 sell
        int volume;
        int secondsAhead;
        QString purpose;
        // When set, the order is changed in the modify dialog before it fires.
        int modifiedVolume = 0;
        int modifiedSecondsAhead = 0;
    };

    // What the modify dialog was told, to be found again in the sub-task table.
    struct Modification {
        int mainTaskId = 0;
        QString setTime;
        int volume = 0;
        bool confirmed = false;
    };

    static QVector<DemoOrder> demoOrders();
    bool formIsBuilt() const;
    void enterNextOrder();
    void chooseSecurity(const DemoOrder& order);
    void insertOrder(const DemoOrder& order);
    void importBasket();
    bool mainTableShowsImport() const;
    void modifyWaitingOrder();
    bool clickModifyButton(int mainTaskId, int subTaskId);
    void driveModifyDialog(QWidget* dialog);
    bool tableShowsModification() const;
    bool modificationFired() const;
    void waitForFiring();
    void finish(bool allFired);
    void finishWithTables(bool allFired);
    void restartService(int exitCode);
    void reopenService(int exitCode, const QStringList& rowsBefore, const QStringList& logBefore);
    QStringList tableRows() const;
    bool allTasksFired() const;
    QTableView* table(const char* objectName) const;
    bool tablesShowAllFired() const;
    void saveScreenshot(const QString& fileName);
    void saveBrokerTabScreenshot();
    void printSummary() const;
    void printFixMessagesOfFirstOrder() const;
    void fail(const QString& reason);

    // Calls `next` once `condition` holds, `onTimeout` when it has not held within `timeoutMs`.
    void waitThen(std::function<bool()> condition, int timeoutMs, std::function<void()> next,
                  std::function<void()> onTimeout);
    void pollWait();
    template <typename Widget>
    Widget* formChild(const char* objectName) const;

    static void print(const QString& line);

    VelmClient& m_client;
    int m_accountId;
    QString m_screenshotDir;
    QString m_fixLogFolder;
    QPointer<ISubModuleWid> m_window;
    ServiceScheduledOrder* m_service = nullptr;
    QVector<DemoOrder> m_orders;
    int m_nextOrder = 0;
    QSet<int> m_taskIdsBeforeInsert;
    QVector<int> m_mainTaskIds;
    Modification m_modification;
    QString m_importedTaskName;

    QTimer* m_pollTimer = nullptr;
    QDeadlineTimer m_waitDeadline;
    std::function<bool()> m_waitCondition;
    std::function<void()> m_waitNext;
    std::function<void()> m_waitTimeout;
};
