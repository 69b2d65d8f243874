#include "ISubModuleWid.h"
#include "MyCompleterEdit.h"
#include "SchedOrdCodes.h"
#include "SchedOrdTaskTime.h"
#include "ServiceScheduledOrder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "Util.h"
#include "VelmClient.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLibraryInfo>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <memory>

using namespace VELMSCHEDORDAPI;

namespace {

constexpr int kStockAccount = 801;
constexpr int kCreditAccount = 802;
constexpr int kOtherKindAccount = 803;

QString moduleDir()
{
    const QString dir = qEnvironmentVariable("VELM_MODULE_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

QString lastPopupText()
{
    return gWM->popups().isEmpty() ? QString() : gWM->popups().last().text;
}

ServiceScheduledOrder* serviceOf(int accountId)
{
    return UserDataManager::instance()->getUserData(accountId)->getServiceScheduledOrder();
}

// A started task due in an hour: it keeps the service running for the whole test.
int startTaskDueInAnHour(ServiceScheduledOrder* service)
{
    const int64_t due = SchedOrdTaskTime::now() + 3600 * SchedOrdTaskTime::TicksPerSecond;
    SchedOrdTaskField task;
    task.MainTaskID = service->getNextMainTaskID();
    task.MainTaskName = Util::QStr2str(QStringLiteral("600000_浦发银行"));
    task.MainTaskStatus = MainTaskStatus::NotStarted;
    task.TriggerStatus = MainTriggerStatus::None;
    task.StartTime = task.EndTime = due;
    task.Direction = Direction::Buy;
    SchedOrdSubTaskField sub;
    sub.MainTaskID = task.MainTaskID;
    sub.SubTaskID = service->getNextSubTaskID();
    sub.SecurityKey = "600000.SH";
    sub.SecurityID = "600000";
    sub.ExchangeID = Exchange::Shanghai;
    sub.Direction = Direction::Buy;
    sub.TargetVolume = 100;
    sub.SubTaskStatus = SubTaskStatus::NotStarted;
    sub.TriggerStatus = SubTriggerStatus::NotTriggered;
    sub.PriceType = 1;
    sub.StartTime = sub.EndTime = due;
    task.VecSubTask.push_back(sub);
    service->AddMainTasks({task});
    service->StartMainTasks({task.MainTaskID});
    return task.MainTaskID;
}

} // namespace

// The host's main window with the built module, loaded by file name as the client does.
class ClientTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        QCoreApplication::setOrganizationName(QStringLiteral("VelmTest"));
    }

    void init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(kStockAccount);
        VelmTest::addCreditAccount(kCreditAccount);
        VelmTest::addAccount(kOtherKindAccount, 3);
        m_client = std::make_unique<VelmClient>();
        m_client->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_client.get()));
    }

    // Windows first: they are connected to the accounts.
    void cleanup()
    {
        m_client.reset();
        VelmTest::removeAllAccounts();
    }

    void registersAsTheCurrentMainWindow()
    {
        QCOMPARE(gWM->getCurrentMainWindow(), m_client.get());
        m_client.reset();
        QCOMPARE(gWM->getCurrentMainWindow(), nullptr);
    }

    void loadsTheModuleByFileName()
    {
        QString error;
        QVERIFY2(m_client->loadScheduledOrderModule(moduleDir(), &error), qPrintable(error));
        QVERIFY(m_client->isModuleLoaded());
        QVERIFY(error.isEmpty());
        QCOMPARE(QFileInfo(m_client->moduleFilePath()).absolutePath(), QDir(moduleDir()).absolutePath());
        QVERIFY(m_client->moduleFilePath().contains(QLatin1String("ScheduledOrder")));
        QVERIFY(m_client->subModuleDlgFactory());
        QVERIFY(gWM->popups().isEmpty());
    }

    void missingModuleIsReportedAndHarmless()
    {
        const QString emptyDir = VelmTest::tempDir() + QStringLiteral("/no_module");
        QDir().mkpath(emptyDir);
        QString error;
        QVERIFY(!m_client->loadScheduledOrderModule(emptyDir, &error));
        QVERIFY(!m_client->isModuleLoaded());
        const QString expected =
            QStringLiteral("无法加载定时委托模块 ScheduledOrder（目录：%1）").arg(QDir::toNativeSeparators(emptyDir));
        QCOMPARE(gWM->popups().size(), 1);
        QCOMPARE(gWM->popups().first().text, expected);
        QVERIFY(!gWM->popups().first().detail.isEmpty());
        QCOMPARE(gWM->popups().first().parent.data(), m_client.get());
        QVERIFY(error.startsWith(expected));

        QCOMPARE(m_client->openScheduledOrderWindow(kStockAccount), nullptr);
        QCOMPARE(lastPopupText(), QStringLiteral("定时委托模块未加载，无法打开定时委托窗口"));
        QVERIFY(m_client->moduleWindows().isEmpty());
    }

    void notAModuleIsReported_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expectedStart");
        // A text file under the module's name does not load at all.
        QTest::newRow("not a library") << QString() << QStringLiteral("无法加载定时委托模块 ScheduledOrder");
        // A real shared library without the factories loads, but is refused.
        QTest::newRow("library without factories")
            << QLibraryInfo::location(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqoffscreen.so")
            << QStringLiteral("定时委托模块 ");
    }
    void notAModuleIsReported()
    {
        QFETCH(QString, source);
        QFETCH(QString, expectedStart);
        const QString dir = VelmTest::tempDir() + QStringLiteral("/fake_module_") + QTest::currentDataTag();
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        const QString target = dir + QStringLiteral("/libScheduledOrder.so");
        if (source.isEmpty()) {
            QFile file(target);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a shared library\n");
        } else {
            QVERIFY2(QFile::copy(source, target), qPrintable(source));
        }
        QString error;
        QVERIFY(!m_client->loadScheduledOrderModule(dir, &error));
        QVERIFY(!m_client->isModuleLoaded());
        QVERIFY2(lastPopupText().startsWith(expectedStart), qPrintable(lastPopupText()));
        if (!source.isEmpty())
            QVERIFY(lastPopupText().endsWith(QStringLiteral("缺少入口函数 CreateISubModuleWid_ScheduledOrderWid")));
        QCOMPARE(m_client->openScheduledOrderWindow(kStockAccount), nullptr);
    }

    void opensAnEmbeddedWindowPerAccountKind_data()
    {
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QByteArray>("className");
        QTest::newRow("stock") << kStockAccount << QByteArray("Velm_Space::ScheduledOrderWidStpStock");
        QTest::newRow("credit") << kCreditAccount << QByteArray("Velm_Space::ScheduledOrderWidStpCredit");
    }
    void opensAnEmbeddedWindowPerAccountKind()
    {
        QFETCH(int, accountId);
        QFETCH(QByteArray, className);
        QVERIFY(loadModule());
        ISubModuleWid* window = m_client->openScheduledOrderWindow(accountId);
        QVERIFY(window);
        QCOMPARE(QByteArray(window->metaObject()->className()), className);
        auto* subWindow = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        QVERIFY(subWindow);
        QCOMPARE(subWindow->widget(), window);
        QCOMPARE(subWindow->windowTitle(), QStringLiteral("定时委托 - test %1（%1）").arg(accountId));
        QCOMPARE(m_client->moduleWindows(), QList<ISubModuleWid*>{window});
        // initWid() ran: the window builds its entry form from the event loop.
        QTRY_VERIFY(window->findChild<MyCompleterEdit*>());
        QVERIFY(gWM->popups().isEmpty());
    }

    void openingAgainBringsTheSameWindow()
    {
        QVERIFY(loadModule());
        ISubModuleWid* first = m_client->openScheduledOrderWindow(kStockAccount);
        QVERIFY(first);
        QCOMPARE(m_client->openScheduledOrderWindow(kStockAccount), first);
        ISubModuleWid* credit = m_client->openScheduledOrderWindow(kCreditAccount);
        QVERIFY(credit && credit != first);
        QCOMPARE(m_client->moduleWindows().size(), 2);
    }

    void accountsWithoutWindowAreRefused_data()
    {
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown account") << 99999 << QStringLiteral("账户 99999 未登录，无法打开定时委托窗口");
        QTest::newRow("account kind 3") << kOtherKindAccount << QStringLiteral("账户 803 的账户类型不支持定时委托");
    }
    void accountsWithoutWindowAreRefused()
    {
        QFETCH(int, accountId);
        QFETCH(QString, message);
        QVERIFY(loadModule());
        QCOMPARE(m_client->openScheduledOrderWindow(accountId), nullptr);
        QCOMPARE(gWM->popups().size(), 1);
        QCOMPARE(lastPopupText(), message);
        QVERIFY(m_client->moduleWindows().isEmpty());
    }

    void accountMenuOpensWindows()
    {
        QVERIFY(loadModule());
        auto* menu = m_client->findChild<QMenu*>(QStringLiteral("menu_account"));
        QVERIFY(menu);
        auto* open = m_client->findChild<QAction*>(QStringLiteral("action_openSchedOrd_%1").arg(kCreditAccount));
        QVERIFY(open);
        QCOMPARE(open->text(), QStringLiteral("test 802（802）定时委托"));
        open->trigger();
        QCOMPARE(m_client->moduleWindows().size(), 1);
        QCOMPARE(QByteArray(m_client->moduleWindows().first()->metaObject()->className()),
                 QByteArray("Velm_Space::ScheduledOrderWidStpCredit"));

        // Accounts registered later appear when the menu opens.
        VelmTest::addStockAccount(804);
        QVERIFY(!m_client->findChild<QAction*>(QStringLiteral("action_openSchedOrd_804")));
        QMetaObject::invokeMethod(menu, "aboutToShow");
        QVERIFY(m_client->findChild<QAction*>(QStringLiteral("action_openSchedOrd_804")));
        QCOMPARE(menu->actions().size(), 4);
    }

    void zoomReachesOpenWindows_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("applied");
        QTest::newRow("80") << 80 << 80;
        QTest::newRow("90") << 90 << 90;
        QTest::newRow("110") << 110 << 110;
        QTest::newRow("125") << 125 << 125;
        QTest::newRow("150") << 150 << 150;
        QTest::newRow("95 is not a step") << 95 << 100;
        QTest::newRow("zero") << 0 << 100;
        QTest::newRow("negative") << -125 << 100;
        QTest::newRow("too large") << 300 << 100;
    }
    void zoomReachesOpenWindows()
    {
        QFETCH(int, requested);
        QFETCH(int, applied);
        QVERIFY(loadModule());
        ISubModuleWid* window = m_client->openScheduledOrderWindow(kStockAccount);
        QVERIFY(window);
        QTRY_VERIFY(window->findChild<MyCompleterEdit*>());
        m_client->setZoomPercent(requested);
        QCOMPARE(m_client->zoomPercent(), applied);
        QCOMPARE(window->scalePercent, applied);
        for (const int step : VelmClient::zoomSteps()) {
            auto* action = m_client->findChild<QAction*>(QStringLiteral("action_zoom_%1").arg(step));
            QVERIFY(action);
            QCOMPARE(action->isChecked(), step == applied);
        }
    }

    void zoomMenuScalesTheModuleFonts()
    {
        QVERIFY(loadModule());
        ISubModuleWid* window = m_client->openScheduledOrderWindow(kStockAccount);
        QVERIFY(window);
        QTRY_VERIFY(window->findChild<MyCompleterEdit*>());
        QTest::qWait(50);   // the window applies its first scaling one event-loop turn later
        const MyCompleterEdit* edit = window->findChild<MyCompleterEdit*>();
        const qreal before = edit->font().pointSizeF();
        QVERIFY(before > 0);
        m_client->findChild<QAction*>(QStringLiteral("action_zoom_150"))->trigger();
        QCOMPARE(m_client->zoomPercent(), 150);
        QCOMPARE(edit->font().pointSizeF(), before * 1.5);
        m_client->findChild<QAction*>(QStringLiteral("action_zoom_100"))->trigger();
        QCOMPARE(edit->font().pointSizeF(), before);
    }

    void windowsOpenedAfterZoomGetIt()
    {
        QVERIFY(loadModule());
        m_client->setZoomPercent(125);
        ISubModuleWid* window = m_client->openScheduledOrderWindow(kStockAccount);
        QVERIFY(window);
        QCOMPARE(window->scalePercent, 125);
    }

    void closingAsksTheWindowFirst_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("host closes the window") << "closeModuleWindow";
        QTest::newRow("sub-window close button") << "subWindow";
        QTest::newRow("main window closes") << "mainWindow";
    }
    void closingAsksTheWindowFirst()
    {
        QFETCH(QString, how);
        QVERIFY(loadModule());
        QPointer<ISubModuleWid> window = m_client->openScheduledOrderWindow(kStockAccount);
        QVERIFY(window);
        QPointer<QMdiSubWindow> subWindow = qobject_cast<QMdiSubWindow*>(window->parentWidget());
        // Closed the way a trader can: once the window has built itself.
        QTRY_VERIFY(window->findChild<MyCompleterEdit*>());
        QTest::qWait(50);
        ServiceScheduledOrder* service = serviceOf(kStockAccount);
        const int taskId = startTaskDueInAnHour(service);
        QTRY_VERIFY(service->isExistsRunningTask());
        gWM->clearPopups();

        auto close = [&] {
            if (how == QLatin1String("closeModuleWindow"))
                return m_client->closeModuleWindow(window);
            if (how == QLatin1String("subWindow"))
                return subWindow->close();
            return m_client->close();
        };
        QVERIFY(!close());
        QCOMPARE(gWM->popups().size(), 1);
        QCOMPARE(lastPopupText(), QStringLiteral("有定时委托任务仍处在运行中，本窗口无法关闭。请先停止所有运行中任务"));
        QVERIFY(window && subWindow && subWindow->isVisible() && m_client->isVisible());
        QCOMPARE(m_client->moduleWindows(), QList<ISubModuleWid*>{window.data()});

        service->PauseMainTasks({taskId});
        QTRY_VERIFY(!service->isExistsRunningTask());
        QVERIFY(close());
        QCOMPARE(gWM->popups().size(), 1);
        if (how == QLatin1String("mainWindow")) {
            QVERIFY(!m_client->isVisible());
        } else {
            QVERIFY(m_client->moduleWindows().isEmpty());
            QTRY_VERIFY(!window);
            QVERIFY(!subWindow);
        }
    }

    void closeOfUnknownWindowIsRefused()
    {
        QVERIFY(!m_client->closeModuleWindow(nullptr));
    }

    void settingsPageShowsAndSavesTheFourSettings_data()
    {
        QTest::addColumn<QString>("checkBox");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("setting");
        QTest::newRow("auto start single") << "checkBox_autoStartSingleTask" << "单笔报单后自动启动任务" << 0;
        QTest::newRow("auto start imported") << "checkBox_autoStartImportedTask" << "导入任务后自动启动任务" << 1;
        QTest::newRow("past set time") << "checkBox_allowPastSetTime" << "允许设定时间早于当前时间" << 2;
        QTest::newRow("credit short sell") << "checkBox_creditShortSellOption" << "信用账户融券卖出选项" << 3;
    }
    void settingsPageShowsAndSavesTheFourSettings()
    {
        QFETCH(QString, checkBox);
        QFETCH(QString, label);
        QFETCH(int, setting);
        const QStringList keys{"autoStartSingleTask", "autoStartImportedTask", "allowPastSetTime", "creditShortSellOption"};
        bool* values[] = {&gWM->autoStartSingleTask, &gWM->autoStartImportedTask, &gWM->allowPastSetTime,
                          &gWM->creditShortSellOption};
        const bool before = *values[setting];
        QSettings().remove(QStringLiteral("SchedOrd"));

        m_client->findChild<QAction*>(QStringLiteral("action_settings_schedOrd"))->trigger();
        QPointer<QDialog> dialog = m_client->settingsDialog();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("定时委托设置"));
        auto* box = dialog->findChild<QCheckBox*>(checkBox);
        QVERIFY(box);
        QCOMPARE(box->text(), label);
        QCOMPARE(box->isChecked(), before);

        // Cancel keeps everything.
        box->click();
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(*values[setting], before);
        QVERIFY(!QSettings().contains(QStringLiteral("SchedOrd/") + keys[setting]));
        QTRY_VERIFY(!dialog);
        QVERIFY(!m_client->settingsDialog());

        // OK takes the change and saves all four.
        m_client->OpenSettingSystemPageSchedOrd();
        dialog = m_client->settingsDialog();
        QVERIFY(dialog);
        box = dialog->findChild<QCheckBox*>(checkBox);
        QCOMPARE(box->isChecked(), before);
        box->click();
        QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        QCOMPARE(ok->text(), QStringLiteral("确定"));
        ok->click();
        QCOMPARE(*values[setting], !before);
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(QSettings().value(QStringLiteral("SchedOrd/") + keys[i]).toBool(), *values[i]);
        QTRY_VERIFY(!dialog);
    }

    void settingsPageOpensOnce()
    {
        m_client->OpenSettingSystemPageSchedOrd();
        QDialog* first = m_client->settingsDialog();
        QVERIFY(first);
        QCOMPARE(first->windowModality(), Qt::WindowModal);
        m_client->OpenSettingSystemPageSchedOrd();
        QCOMPARE(m_client->settingsDialog(), first);
        QCOMPARE(m_client->findChildren<QDialog*>().size(), 1);
    }

    // The module runs its modify dialog modally and leaves it to the host.
    void modalDialogIsCentredAndFreedAfterItsRun()
    {
        auto* dialog = new QDialog(m_client.get());
        dialog->resize(300, 200);
        QPointer<QDialog> guard(dialog);
        m_client->addModalDlg(dialog);
        QVERIFY(dialog->testAttribute(Qt::WA_DeleteOnClose));
        const QPoint clientCentre = m_client->mapToGlobal(m_client->rect().center());
        const QPoint dialogCentre = dialog->pos() + dialog->rect().center();
        QVERIFY2((clientCentre - dialogCentre).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2 vs %3,%4").arg(clientCentre.x()).arg(clientCentre.y())
                                .arg(dialogCentre.x()).arg(dialogCentre.y())));
        QTimer::singleShot(0, dialog, &QDialog::accept);
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QTRY_VERIFY(!guard);
        m_client->addModalDlg(nullptr);
    }

private:
    bool loadModule()
    {
        QString error;
        const bool loaded = m_client->loadScheduledOrderModule(moduleDir(), &error);
        if (!loaded)
            qWarning("%s", qPrintable(error));
        return loaded;
    }

    std::unique_ptr<VelmClient> m_client;
};

QTEST_MAIN(ClientTest)
#include "tst_client.moc"
