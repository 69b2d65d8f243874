#pragma once

#include "MyItemDelegateSO.h"
#include "MyTableViewSO.h"
#include "SchedOrdClock.h"
#include "SchedOrdTaskTime.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QAbstractItemModelTester>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QtTest>

#include <memory>

// Base of the task-table tests: an account (stock unless set up otherwise) whose service runs on a
// hand-driven clock from 09:00, and the table under test shown over it.
class TaskTableTest : public QObject
{
    Q_OBJECT
protected:
    TaskTableTest(int accountId, const QString& viewName) : m_account(accountId), m_viewName(viewName) {}
    static int64_t at(int hour, int minute, int second)
    {
        return VELMSCHEDORDAPI::SchedOrdTaskTime::fromClockTime(hour, minute, second);
    }

    void setUpService(int apiType = 1) // from init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::removeAllAccounts();
        m_userData = VelmTest::addAccount(m_account, apiType);
        m_userData->initScheduledOrderApi();
        m_service = m_userData->getServiceScheduledOrder();
        m_clock = VelmTest::driveClock(*m_service, at(9, 0, 0));
        m_ids.clear();
    }

    // Shows a new table, with model testers on its model and proxy, once the engine has done its work.
    template <class Table> void openTable()
    {
        m_service->waitForEngineIdle();
        m_table = std::make_unique<Table>(m_account, m_service, nullptr);
        m_table->resize(928, 300);
        m_table->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_table.get()));
        new QAbstractItemModelTester(model(), QAbstractItemModelTester::FailureReportingMode::Fatal, m_table.get());
        new QAbstractItemModelTester(proxy(), QAbstractItemModelTester::FailureReportingMode::Fatal, m_table.get());
        settle(); // signals of the additions made before the table existed may still be on their way
    }

    void settle() const
    {
        m_service->waitForEngineIdle();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    Velm_Space::MyTableViewSO* view() const { return m_table->findChild<Velm_Space::MyTableViewSO*>(m_viewName); }
    QAbstractItemModel* proxy() const { return view()->model(); }
    QAbstractItemModel* model() const { return qobject_cast<QSortFilterProxyModel*>(proxy())->sourceModel(); }
    int headerCheck() const { return proxy()->headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt(); }

    QStringList column(int column) const // the texts of a shown column
    {
        QStringList texts;
        for (int row = 0; row < proxy()->rowCount(); ++row)
            texts.append(proxy()->index(row, column).data().toString());
        return texts;
    }

    QString checks() const // the shown rows' check states, e.g. "020"
    {
        QString states;
        for (int row = 0; row < proxy()->rowCount(); ++row)
            states.append(QString::number(proxy()->index(row, 0).data(Qt::CheckStateRole).toInt()));
        return states;
    }

    QStringList buttons(int column) const // the row buttons of a column, e.g. "2 删除" (type, text)
    {
        QStringList buttons;
        for (const auto& button : qobject_cast<Velm_Space::MyItemDelegateSO*>(view()->itemDelegate())->columnButtons(column))
            buttons.append(QStringLiteral("%1 %2").arg(button.type).arg(button.text));
        return buttons;
    }

    void clickButton(const QString& objectName) const
    {
        auto* button = m_table->findChild<QPushButton*>(objectName);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    const int m_account;
    const QString m_viewName;
    UserData* m_userData = nullptr;
    ServiceScheduledOrder* m_service = nullptr;
    std::shared_ptr<ManualSchedOrdClock> m_clock;
    std::unique_ptr<QWidget> m_table;
    QList<int> m_ids;

private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        qRegisterMetaType<Velm_Space::TableBtnType>();
    }

    void cleanup()
    {
        m_table.reset();
        VelmTest::removeAllAccounts();
    }
};
