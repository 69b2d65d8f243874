#include "ISubModuleDlg.h"
#include "ISubModuleWid.h"
#include "TestAccounts.h"
#include "VelmTest.h"

#include <QLibrary>
#include <QtTest>

#include <memory>

namespace {

using WidFactory = ISubModuleWid* (*)(int, int, QWidget*);
using DlgFactory = ISubModuleDlg* (*)(int, int, QWidget*);

constexpr int kStockAccount = 701;
constexpr int kCreditAccount = 702;
constexpr int kOtherKindAccount = 703;

QString moduleDir()
{
    const QString dir = qEnvironmentVariable("VELM_MODULE_DIR");
    return dir.isEmpty() ? QCoreApplication::applicationDirPath() : dir;
}

} // namespace

// The built plug-in as a host sees it: loaded by file name, entered by symbol name.
class ContractTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void bothFactoriesResolveByName();
    void moduleClassesStayHidden_data();
    void moduleClassesStayHidden();
    void windowFactoryByAccountKind_data();
    void windowFactoryByAccountKind();
    void dialogFactoryByAccountKind_data();
    void dialogFactoryByAccountKind();

private:
    QLibrary m_module;
};

void ContractTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
    VelmTest::addStockAccount(kStockAccount);
    VelmTest::addCreditAccount(kCreditAccount);
    VelmTest::addAccount(kOtherKindAccount, 7);
    m_module.setFileName(moduleDir() + QStringLiteral("/ScheduledOrder"));
    QVERIFY2(m_module.load(), qPrintable(m_module.errorString()));
}

void ContractTest::cleanupTestCase()
{
    VelmTest::removeAllAccounts();
}

void ContractTest::bothFactoriesResolveByName()
{
    QVERIFY(m_module.resolve("CreateISubModuleWid_ScheduledOrderWid"));
    QVERIFY(m_module.resolve("CreateISubModuleDlg_SOModifySubTaskParamWid"));
    QVERIFY(!m_module.resolve("CreateISubModuleWid_Nothing"));
}

void ContractTest::moduleClassesStayHidden_data()
{
    QTest::addColumn<QByteArray>("symbol");
    QTest::newRow("factory class") << QByteArray("_ZN10Velm_Space21ScheduledOrderFactory23createScheduledOrderWidEiiP7QWidget");
    QTest::newRow("window meta-object") << QByteArray("_ZN10Velm_Space17ScheduledOrderWid16staticMetaObjectE");
    QTest::newRow("form constructor") << QByteArray("_ZN10Velm_Space29SchedOrd_SingleOrderInsertWidC2EiP7QWidget");
}

void ContractTest::moduleClassesStayHidden()
{
    QFETCH(QByteArray, symbol);
    QVERIFY2(!m_module.resolve(symbol.constData()), symbol.constData());
}

void ContractTest::windowFactoryByAccountKind_data()
{
    QTest::addColumn<int>("accountId");
    QTest::addColumn<QByteArray>("className");
    QTest::newRow("stock") << kStockAccount << QByteArray("Velm_Space::ScheduledOrderWidStpStock");
    QTest::newRow("credit") << kCreditAccount << QByteArray("Velm_Space::ScheduledOrderWidStpCredit");
    QTest::newRow("other kind") << kOtherKindAccount << QByteArray();
    QTest::newRow("unknown account") << 4242 << QByteArray();
}

void ContractTest::windowFactoryByAccountKind()
{
    QFETCH(int, accountId);
    QFETCH(QByteArray, className);
    auto factory = reinterpret_cast<WidFactory>(m_module.resolve("CreateISubModuleWid_ScheduledOrderWid"));
    QVERIFY(factory);
    QWidget parent;
    ISubModuleWid* window = factory(accountId, 0, &parent);
    if (className.isEmpty()) {
        QVERIFY(!window);
        return;
    }
    QVERIFY(window);
    QCOMPARE(QByteArray(window->metaObject()->className()), className);
    QCOMPARE(window->parentWidget(), &parent);
    // The host owns the window: deleting it through the base pointer must be clean.
    delete window;
}

void ContractTest::dialogFactoryByAccountKind_data()
{
    QTest::addColumn<int>("accountId");
    QTest::addColumn<QByteArray>("className");
    QTest::newRow("stock") << kStockAccount << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock");
    QTest::newRow("credit") << kCreditAccount << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpCredit");
    QTest::newRow("other kind") << kOtherKindAccount << QByteArray();
    QTest::newRow("unknown account") << 4242 << QByteArray();
}

void ContractTest::dialogFactoryByAccountKind()
{
    QFETCH(int, accountId);
    QFETCH(QByteArray, className);
    auto factory = reinterpret_cast<DlgFactory>(m_module.resolve("CreateISubModuleDlg_SOModifySubTaskParamWid"));
    QVERIFY(factory);
    QWidget parent;
    ISubModuleDlg* dialog = factory(accountId, 0, &parent);
    if (className.isEmpty()) {
        QVERIFY(!dialog);
        return;
    }
    QVERIFY(dialog);
    QCOMPARE(QByteArray(dialog->metaObject()->className()), className);
    QCOMPARE(dialog->parentWidget(), &parent);
    QVERIFY(dialog->isModalContent());
    // The host owns the content: deleting it through the base pointer must be clean.
    delete dialog;
}

QTEST_MAIN(ContractTest)
#include "tst_contract.moc"
