#include "FramelessFloatDlg.h"
#include "ISubModuleDlg.h"
#include "ScheduledOrderFactory.h"
#include "TestAccounts.h"
#include "VelmClient.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QLayout>
#include <QPointer>
#include <QTimer>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

constexpr int kStockAccount = 1801;
constexpr int kCreditAccount = 1802;

QString moduleDir()
{
    const QString dir = qEnvironmentVariable("VELM_MODULE_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

// Content as any module could provide it, to see the host's side alone.
class PlainContent final : public ISubModuleDlg
{
    Q_OBJECT
public:
    PlainContent(int accountId, QWidget* parent)
        : ISubModuleDlg(parent)
        , accountId(accountId)
    {
        // A window of no size is never shown by the platform.
        setMinimumSize(200, 100);
    }
    const int accountId;
};

ISubModuleDlg* makePlainContent(int accountId, int, QWidget* parent)
{
    return new PlainContent(accountId, parent);
}

ISubModuleDlg* makeNothing(int, int, QWidget*)
{
    return nullptr;
}

const Qt::WindowFlags kFrameless = Qt::Dialog | Qt::FramelessWindowHint;

} // namespace

// The host's frameless dialog: its content factory, its flags and its modal run; the client's
// registration of the module's factory; the host's tool tip.
class FramelessDlgTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void builtWithTypeFlagsAndParent();
    void contentFromTheRegisteredFactory_data();
    void contentFromTheRegisteredFactory();
    void modalRunEndsOnTheContentsSignals_data();
    void modalRunEndsOnTheContentsSignals();
    void contentDiesWithTheDialog();
    void clientRegistersTheModulesFactoryByName();
    void tooltipIsShownForReal();
};

void FramelessDlgTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
}

void FramelessDlgTest::init()
{
    VelmTest::setUpWindowManager();
    VelmTest::addStockAccount(kStockAccount);
    VelmTest::addCreditAccount(kCreditAccount);
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, &makePlainContent);
}

void FramelessDlgTest::cleanup()
{
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, nullptr);
    FramelessFloatDlg::setContentFactory(Subwin_ScheduledOrder, nullptr);
    VelmTest::removeAllAccounts();
}

void FramelessDlgTest::builtWithTypeFlagsAndParent()
{
    QWidget parent;
    FramelessFloatDlg dialog(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, &parent);
    QCOMPARE(int(dialog.windowFlags()), 2051);
    QCOMPARE(int(dialog.subwinType()), 34);
    QCOMPARE(dialog.accountId(), kStockAccount);
    QCOMPARE(dialog.parentWidget(), &parent);
    QVERIFY(dialog.isWindow());
}

void FramelessDlgTest::contentFromTheRegisteredFactory_data()
{
    QTest::addColumn<int>("subwinType");
    QTest::addColumn<int>("accountId");
    QTest::addColumn<bool>("moduleFactory");
    QTest::addColumn<QByteArray>("className");
    QTest::newRow("module, stock") << int(Subwin_FramelessFloatDlg) << kStockAccount << true
                                   << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock");
    QTest::newRow("module, credit") << int(Subwin_FramelessFloatDlg) << kCreditAccount << true
                                    << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpCredit");
    QTest::newRow("module, unknown account") << int(Subwin_FramelessFloatDlg) << 4242 << true << QByteArray();
    QTest::newRow("plain content") << int(Subwin_FramelessFloatDlg) << kStockAccount << false << QByteArray("PlainContent");
    QTest::newRow("type without a factory") << int(Subwin_ScheduledOrder) << kStockAccount << false << QByteArray();
}

void FramelessDlgTest::contentFromTheRegisteredFactory()
{
    QFETCH(int, subwinType);
    QFETCH(int, accountId);
    QFETCH(bool, moduleFactory);
    QFETCH(QByteArray, className);
    if (moduleFactory)
        FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg,
                                             &Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg);
    FramelessFloatDlg dialog(accountId, static_cast<Subwin_Type>(subwinType), kFrameless, nullptr);
    ISubModuleDlg* content = dialog.content();
    if (className.isEmpty()) {
        QVERIFY(!content);
        return;
    }
    QVERIFY(content);
    QCOMPARE(QByteArray(content->metaObject()->className()), className);
    QCOMPARE(content->parentWidget(), &dialog);
    QVERIFY(dialog.layout()->indexOf(content) >= 0);
    if (auto* plain = qobject_cast<PlainContent*>(content))
        QCOMPARE(plain->accountId, accountId);
}

void FramelessDlgTest::modalRunEndsOnTheContentsSignals_data()
{
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("result");
    QTest::newRow("ok") << true << int(QDialog::Accepted);
    QTest::newRow("cancel") << false << int(QDialog::Rejected);
}

void FramelessDlgTest::modalRunEndsOnTheContentsSignals()
{
    QFETCH(bool, ok);
    QFETCH(int, result);
    FramelessFloatDlg dialog(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, nullptr);
    ISubModuleDlg* content = dialog.content();
    QVERIFY(content);
    bool modalWhileRunning = false;
    QTimer::singleShot(0, content, [&] {
        // The platform registers the modal window from the event loop.
        modalWhileRunning = QTest::qWaitFor([&] { return QApplication::activeModalWidget() == &dialog; }, 2000);
        if (ok)
            emit content->signal_pushbutton_ok();
        else
            emit content->signal_pushbutton_cancel();
    });
    QCOMPARE(dialog.exec(), result);
    QVERIFY(modalWhileRunning);
    QVERIFY(!dialog.isVisible());
}

void FramelessDlgTest::contentDiesWithTheDialog()
{
    auto dialog = std::make_unique<FramelessFloatDlg>(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, nullptr);
    QPointer<ISubModuleDlg> content = dialog->content();
    QVERIFY(content);
    dialog.reset();
    QVERIFY(!content);

    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, &makeNothing);
    FramelessFloatDlg empty(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, nullptr);
    QVERIFY(!empty.content());
}

void FramelessDlgTest::clientRegistersTheModulesFactoryByName()
{
    FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, nullptr);
    VelmClient client;
    QString error;
    QVERIFY2(client.loadScheduledOrderModule(moduleDir(), &error), qPrintable(error));
    QVERIFY(client.subModuleDlgFactory());
    QVERIFY(FramelessFloatDlg::contentFactory(Subwin_FramelessFloatDlg) == client.subModuleDlgFactory());

    // The content now comes from the loaded library, not from this executable's copy.
    FramelessFloatDlg dialog(kCreditAccount, Subwin_FramelessFloatDlg, kFrameless, &client);
    QVERIFY(dialog.content());
    QCOMPARE(QByteArray(dialog.content()->metaObject()->className()),
             QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpCredit"));
    QVERIFY(dialog.content()->metaObject() != Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg(
                                                  kCreditAccount, 0, &dialog)->metaObject());
}

void FramelessDlgTest::tooltipIsShownForReal()
{
    const QString text = QStringLiteral("证券代码：600000\n证券名称：浦发银行\n");
    QWidget anchor;
    anchor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&anchor));
    QCursor::setPos(anchor.mapToGlobal(anchor.rect().center()));
    gWM->setInteractive(true);
    gWM->popupTooltip(text, QSize(300, 200));
    gWM->setInteractive(false);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), text);
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().kind, PopupRecord::Tooltip);
    QCOMPARE(gWM->popups().first().text, text);
    QToolTip::hideText();
}

QTEST_MAIN(FramelessDlgTest)
#include "tst_framelessdlg.moc"
