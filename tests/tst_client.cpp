#include "ISubModuleWid.h"
#include "MyCompleterEdit.h"
#include "OrderRouteSettings.h"
#include "SchedOrdTaskTime.h"
#include "ServiceScheduledOrder.h"
#include "TaskBuilder.h"
#include "TestAccounts.h"
#include "UserData.h"
#include "UserDataManager.h"
#include "VelmClient.h"
#include "VelmDataFolder.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLibraryInfo>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The data folder the client is started on.
enum class Folder { Free, Held, NewerDatabase };
Q_DECLARE_METATYPE(Folder)

static QStringList popupTexts()
{
    QStringList texts;
    for (const PopupRecord& popup : gWM->popups())
        texts.append(popup.text);
    return texts;
}

// The host's main window with the built module, loaded by file name as the client does.
class ClientTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        QCoreApplication::setOrganizationName(QStringLiteral("VelmTest"));
        // Never the user's settings.
        QSettings::setDefaultFormat(QSettings::IniFormat);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, VelmTest::tempDir());
        QSettings().clear();
        QVERIFY(VelmClient::installChineseTranslations());
    }

    void init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(801);
        VelmTest::addCreditAccount(802);
        VelmTest::addAccount(803, 3);
        m_client = std::make_unique<VelmClient>();
        m_client->show();
        QString error;
        QVERIFY2(m_client->loadScheduledOrderModule(qEnvironmentVariable("VELM_MODULE_DIR"), &error), qPrintable(error));
    }

    // Windows first: they are connected to the accounts.
    void cleanup()
    {
        m_client.reset();
        VelmTest::removeAllAccounts();
    }

    void moduleLoadFailuresAreReported_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("message");
        QTest::newRow("no module") << QString() << "无法加载定时委托模块 ScheduledOrder（目录：%1）";
        QTest::newRow("library without factories")
            << QLibraryInfo::location(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms/libqoffscreen.so")
            << "定时委托模块 %1/libScheduledOrder.so 缺少入口函数 CreateISubModuleWid_ScheduledOrderWid";
    }
    void moduleLoadFailuresAreReported()
    {
        QFETCH(QString, source);
        QFETCH(QString, message);
        QTemporaryDir dir;
        QVERIFY(source.isEmpty() || QFile::copy(source, dir.filePath(QStringLiteral("libScheduledOrder.so"))));
        VelmClient client;
        QVERIFY(!client.loadScheduledOrderModule(dir.path()));
        QCOMPARE(client.openScheduledOrderWindow(801), nullptr);
        QCOMPARE(popupTexts(), (QStringList{message.arg(dir.path()), "定时委托模块未加载，无法打开定时委托窗口"}));
    }

    // `result`: the window's class or a refusal; `closeBy`: 0 the host, 1 the close button, 2 the main window.
    void windowOpensScalesAndClosesWhenAllowed_data()
    {
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("closeBy");
        QTest::newRow("stock, host closes") << 801 << "Velm_Space::ScheduledOrderWidStpStock" << 0;
        QTest::newRow("credit, close button") << 802 << "Velm_Space::ScheduledOrderWidStpCredit" << 1;
        QTest::newRow("stock, main window closes") << 801 << "Velm_Space::ScheduledOrderWidStpStock" << 2;
        QTest::newRow("unknown account") << 99999 << "账户 99999 未登录，无法打开定时委托窗口" << -1;
        QTest::newRow("account kind 3") << 803 << "账户 803 的账户类型不支持定时委托" << -1;
    }
    void windowOpensScalesAndClosesWhenAllowed()
    {
        QFETCH(int, accountId);
        QFETCH(QString, result);
        QFETCH(int, closeBy);
        QVERIFY(m_client->subModuleDlgFactory());
        m_client->setZoomPercent(125);
        QPointer<ISubModuleWid> window = m_client->openScheduledOrderWindow(accountId);
        if (!window) {
            QCOMPARE(popupTexts(), QStringList{result});
            return;
        }
        QCOMPARE(QString::fromLatin1(window->metaObject()->className()), result);
        QPointer<QWidget> subWindow = window->parentWidget();
        QCOMPARE(subWindow->windowTitle(), QStringLiteral("定时委托 - test %1（%1）").arg(accountId));
        QCOMPARE(m_client->statusBar()->currentMessage(), QStringLiteral("当前窗口：") + subWindow->windowTitle());
        // initWid() ran: the window builds its entry form from the event loop.
        QTRY_VERIFY(window->findChild<MyCompleterEdit*>());
        QCOMPARE(window->scalePercent, 125);
        m_client->findChild<QAction*>(QStringLiteral("action_zoom_80"))->trigger();
        QCOMPARE(window->scalePercent, 80);

        ServiceScheduledOrder* service = UserDataManager::instance()->getUserData(accountId)->getServiceScheduledOrder();
        const int64_t inAnHour = VELMSCHEDORDAPI::SchedOrdTaskTime::now() + 3600 * VELMSCHEDORDAPI::SchedOrdTaskTime::TicksPerSecond;
        const int taskId = VelmTest::addMainTask(*service, QStringLiteral("600000_浦发银行"), "600000.SH", 1, inAnHour);
        service->StartMainTasks({taskId});
        QTRY_VERIFY(service->isExistsRunningTask());
        const auto close = [&] { return closeBy == 0 ? m_client->closeModuleWindow(window)
                                        : closeBy == 1 ? subWindow->close() : m_client->close(); };
        QVERIFY(!close());
        QCOMPARE(popupTexts(), QStringList{"有定时委托任务仍处在运行中，本窗口无法关闭。请先停止所有运行中任务"});
        QVERIFY(window && subWindow && subWindow->isVisible() && m_client->isVisible());

        service->PauseMainTasks({taskId});
        QTRY_VERIFY(!service->isExistsRunningTask());
        QVERIFY(close());
        QTRY_VERIFY(closeBy == 2 ? !m_client->isVisible() : !window && !subWindow && m_client->moduleWindows().isEmpty());
    }

    // Each box in turn: it shows its own setting, and OK takes the change and saves all four.
    void settingsPageSavesTheFourSettings()
    {
        const QStringList names{"autoStartSingleTask", "autoStartImportedTask", "allowPastSetTime", "creditShortSellOption"};
        const QStringList labels{"单笔报单后自动启动任务", "导入任务后自动启动任务", "允许设定时间早于当前时间", "信用账户融券卖出选项"};
        bool* values[] = {&gWM->autoStartSingleTask, &gWM->autoStartImportedTask, &gWM->allowPastSetTime,
                          &gWM->creditShortSellOption};
        QSettings().remove(QStringLiteral("SchedOrd"));
        for (int i = 0; i < names.size(); ++i) {
            const bool before = *values[i];
            m_client->findChild<QAction*>(QStringLiteral("action_settings_schedOrd"))->trigger();
            QPointer<QDialog> dialog = m_client->settingsDialog();
            QVERIFY(dialog && dialog->isVisible());
            QCOMPARE(dialog->windowTitle(), QStringLiteral("定时委托设置"));
            auto* box = dialog->findChild<QCheckBox*>(QStringLiteral("checkBox_") + names[i]);
            QCOMPARE(box->text(), labels[i]);
            QCOMPARE(box->isChecked(), before);
            box->click();
            QPushButton* ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            QCOMPARE(ok->text(), QStringLiteral("确定")); // Qt's own Chinese translation
            ok->click();
            QTRY_VERIFY(!dialog);
            QVERIFY2(*values[i] == !before, qPrintable(names[i]));
            for (int j = 0; j < names.size(); ++j)
                QCOMPARE(QSettings().value(QStringLiteral("SchedOrd/") + names[j]).toBool(), *values[j]);
        }
    }

    void settingsPageSetsEachAccountsRoute_data()
    {
        QTest::addColumn<QString>("sender801");
        QTest::addColumn<QString>("sender802");
        QTest::addColumn<QString>("refusal");   // empty: saved
        QTest::newRow("both over FIX, own sessions") << "DESK801" << "DESK802" << "";
        QTest::newRow("no SenderCompID") << "" << "DESK802" << "委托路由设置无效：账户 801 的FIX会话缺少SenderCompID或TargetCompID";
        QTest::newRow("one session for two accounts")
            << "DESK" << "DESK" << "委托路由设置无效：两个账户使用同一FIX会话（DESK→VELMSIM），请为每个账户设置不同的SenderCompID";
    }
    // Given two accounts switched to FIX on the page, OK saves both routes, or refuses with the
    // reason, keeps the page open and saves nothing.
    void settingsPageSetsEachAccountsRoute()
    {
        QFETCH(QString, sender801);
        QFETCH(QString, sender802);
        QFETCH(QString, refusal);
        QSettings().remove(QStringLiteral("OrderRoute"));
        m_client->findChild<QAction*>(QStringLiteral("action_settings_schedOrd"))->trigger();
        QPointer<QDialog> dialog = m_client->settingsDialog();
        QVERIFY(dialog);
        auto* account = dialog->findChild<QComboBox*>(QStringLiteral("comboBox_routeAccount"));
        auto* kind = dialog->findChild<QComboBox*>(QStringLiteral("comboBox_routeKind"));
        auto* sender = dialog->findChild<QLineEdit*>(QStringLiteral("lineEdit_fixSender"));
        auto* port = dialog->findChild<QSpinBox*>(QStringLiteral("spinBox_fixPort"));
        QCOMPARE(kind->currentText(), QStringLiteral("模拟券商"));
        QVERIFY(!sender->isEnabled());
        const QStringList senders{sender801, sender802};
        for (int i = 0; i < senders.size(); ++i) {
            account->setCurrentIndex(account->findData(801 + i));
            kind->setCurrentIndex(1);
            QVERIFY(sender->isEnabled());
            sender->setText(senders[i]);
            port->setValue(9900 + i);
        }
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY(refusal.isEmpty() ? !dialog : dialog && dialog->isVisible());
        QCOMPARE(popupTexts(), refusal.isEmpty() ? QStringList() : QStringList{refusal});
        if (!refusal.isEmpty()) {
            QVERIFY(!QSettings().childGroups().contains(QStringLiteral("OrderRoute")));
            dialog->reject();
            return;
        }
        const OrderRouteSettings saved = OrderRouteSettings::load();
        QStringList routes;
        for (const int accountId : {801, 802, 803}) {
            const OrderRouteSettings::Account route = saved.account(accountId);
            routes << (route.kind == OrderRouteSettings::Kind::Simulated ? QStringLiteral("sim")
                       : QStringLiteral("%1→%2:%3").arg(route.session.senderCompId, route.session.targetCompId).arg(route.session.port));
        }
        QCOMPARE(routes, (QStringList{sender801 + "→VELMSIM:9900", sender802 + "→VELMSIM:9901", "sim"}));
    }

    // Tab walks the form in reading order (stock account, buying: hidden widgets are skipped).
    // `output`: a line the client prints, <folder> its data folder, <pid> the process holding it.
    void commandLine_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<Folder>("folder");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("output");
        QTest::newRow("help") << "--help" << Folder::Free << 0 << "--screenshots <dir>";
        QTest::newRow("version") << "--version" << Folder::Free << 0 << "velm_client 0.1";
        QTest::newRow("zoom refused") << "--zoom=33" << Folder::Free << 2 << "--zoom takes 80, 90, 100, 110, 125 or 150, not \"33\".";
        QTest::newRow("route refused") << "--route=10001=tcp" << Folder::Free << 2
                                       << "--route takes <account>=sim or <account>=fix, not \"10001=tcp\".";
        QTest::newRow("folder held by another client") << "--demo" << Folder::Held << 1
                                                       << "数据文件夹 <folder> 正被另一个客户端使用（进程 <pid>），本客户端不能启动。";
        QTest::newRow("database of a newer version") << "--demo" << Folder::NewerDatabase << 1
            << "数据文件 <folder>/velm.db 由较新版本的程序写入（数据版本 99，本程序支持 2），无法打开；文件未作任何改动。";
    }
    // Help, version and a refused option need no display; a refused data folder stops the client
    // before any account starts. Either way the folder is left as it was.
    void commandLine()
    {
        QFETCH(QString, option);
        QFETCH(Folder, folder);
        QFETCH(QString, output);
        QTemporaryDir dir(VelmTest::tempDir() + QStringLiteral("/data-XXXXXX"));
        VelmDataFolder other(dir.path());
        QString message;
        QVERIFY(folder != Folder::Held || other.acquire(&message));
        QVERIFY(folder != Folder::NewerDatabase || VelmTest::runSql(other.databasePath(), "PRAGMA user_version=99"));
        const QByteArray database = VelmTest::readFile(other.databasePath());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (folder == Folder::Free) // the folder is taken only once the windows can be shown
            for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                environment.remove(QLatin1String(name));
        QProcess client;
        client.setProcessEnvironment(environment);
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start(QCoreApplication::applicationDirPath() + QStringLiteral("/velm_client"), {option, QStringLiteral("--data-dir"), dir.path()});
        QVERIFY(client.waitForFinished(20000) && client.exitStatus() == QProcess::NormalExit);
        QTEST(client.exitCode(), "exitCode");
        const QString printed = QString::fromUtf8(client.readAll());
        output.replace(QLatin1String("<folder>"), dir.path()).replace(QLatin1String("<pid>"), QString::number(QCoreApplication::applicationPid()));
        QVERIFY2(printed.contains(output), qPrintable(printed));
        QCOMPARE(VelmTest::readFile(other.databasePath()), database);
    }

private:
    std::unique_ptr<VelmClient> m_client;
};

QTEST_MAIN(ClientTest)
#include "tst_client.moc"
