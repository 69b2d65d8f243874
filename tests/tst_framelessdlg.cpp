#include "FramelessFloatDlg.h"
#include "ISubModuleDlg.h"
#include "ScheduledOrderFactory.h"
#include "TestAccounts.h"
#include "VelmClient.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QToolTip>
#include <QtTest>

static constexpr int kStockAccount = 1801;
static const Qt::WindowFlags kFrameless = Qt::Dialog | Qt::FramelessWindowHint;

class FramelessDlgTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(kStockAccount);
        FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, &Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg);
    }
    void cleanup() { FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, nullptr); VelmTest::removeAllAccounts(); }

    void contentFromTheRegisteredFactory_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QByteArray>("className");
        QTest::newRow("module content") << 34 << kStockAccount << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock");
        QTest::newRow("factory makes nothing") << 34 << 4242 << QByteArray();
        QTest::newRow("type without a factory") << 33 << kStockAccount << QByteArray();
    }
    void contentFromTheRegisteredFactory()
    {
        QFETCH(int, type);
        QFETCH(int, accountId);
        QFETCH(QByteArray, className);
        auto* dialog = new FramelessFloatDlg(accountId, static_cast<Subwin_Type>(type), kFrameless, nullptr);
        QCOMPARE(int(dialog->windowFlags()), 2051);
        QCOMPARE(int(dialog->subwinType()), type);
        QPointer<ISubModuleDlg> content = dialog->content();
        QCOMPARE(content ? QByteArray(content->metaObject()->className()) : QByteArray(), className);
        delete dialog;
        QVERIFY(!content);
    }

    void modalRunEndsOnTheContentsSignals_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("ok") << true;
        QTest::newRow("cancel") << false;
    }
    void modalRunEndsOnTheContentsSignals()
    {
        QFETCH(bool, ok);
        FramelessFloatDlg dialog(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, nullptr);
        ISubModuleDlg* content = dialog.content();
        QVERIFY(content);
        bool modal = false;
        QTimer::singleShot(0, content, [&] {
            modal = QTest::qWaitFor([&] { return QApplication::activeModalWidget() == &dialog; }, 2000);
            ok ? emit content->signal_pushbutton_ok() : emit content->signal_pushbutton_cancel();
        });
        QCOMPARE(dialog.exec(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QVERIFY(modal && !dialog.isVisible());
    }

    void clientRegistersTheModulesFactoryByName()
    {
        FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, nullptr);
        VelmClient client;
        QVERIFY(client.loadScheduledOrderModule(qEnvironmentVariable("VELM_MODULE_DIR", QCoreApplication::applicationDirPath())));
        FramelessFloatDlg dialog(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, &client);
        QVERIFY(dialog.content() && FramelessFloatDlg::contentFactory(Subwin_FramelessFloatDlg) == client.subModuleDlgFactory());
    }

    void tooltipIsShownForReal()
    {
        const QString text = QStringLiteral("证券代码：600000\n证券名称：浦发银行\n");
        QWidget anchor;
        anchor.show();
        QVERIFY(QTest::qWaitForWindowExposed(&anchor));
        QCursor::setPos(anchor.mapToGlobal(anchor.rect().center()));
        gWM->setInteractive(true);
        gWM->popupTooltip(text, QSize(300, 200));
        gWM->setInteractive(false);
        QTRY_COMPARE(QToolTip::text(), text);
    }
};

QTEST_MAIN(FramelessDlgTest)
#include "tst_framelessdlg.moc"
