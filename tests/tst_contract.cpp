#include "ISubModuleDlg.h"
#include "ISubModuleWid.h"
#include "TestAccounts.h"
#include "VelmTest.h"

#include <QLibrary>
#include <QtTest>

namespace {

using WidFactory = ISubModuleWid* (*)(int, int, QWidget*);
using DlgFactory = ISubModuleDlg* (*)(int, int, QWidget*);

constexpr int kStockAccount = 701;
constexpr int kCreditAccount = 702;
constexpr int kOtherKindAccount = 703;
constexpr char kWidFactory[] = "CreateISubModuleWid_ScheduledOrderWid";
constexpr char kDlgFactory[] = "CreateISubModuleDlg_SOModifySubTaskParamWid";

} // namespace

// The built plug-in as a host sees it: loaded by file name, entered by symbol name.
class ContractTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(kStockAccount);
        VelmTest::addCreditAccount(kCreditAccount);
        VelmTest::addAccount(kOtherKindAccount, 7);
        const QString dir = qEnvironmentVariable("VELM_MODULE_DIR", QCoreApplication::applicationDirPath());
        m_module.setFileName(dir + QStringLiteral("/ScheduledOrder"));
        QVERIFY2(m_module.load(), qPrintable(m_module.errorString()));
    }
    void cleanupTestCase() { VelmTest::removeAllAccounts(); }

    void onlyTheFactoriesAreExported_data()
    {
        QTest::addColumn<QByteArray>("symbol");
        QTest::addColumn<bool>("exported");
        QTest::newRow("window factory") << QByteArray(kWidFactory) << true;
        QTest::newRow("dialog factory") << QByteArray(kDlgFactory) << true;
        QTest::newRow("no such factory") << QByteArray("CreateISubModuleWid_Nothing") << false;
        QTest::newRow("factory class")
            << QByteArray("_ZN10Velm_Space21ScheduledOrderFactory23createScheduledOrderWidEiiP7QWidget") << false;
        QTest::newRow("window meta-object") << QByteArray("_ZN10Velm_Space17ScheduledOrderWid16staticMetaObjectE") << false;
        QTest::newRow("form constructor") << QByteArray("_ZN10Velm_Space29SchedOrd_SingleOrderInsertWidC2EiP7QWidget") << false;
    }
    void onlyTheFactoriesAreExported()
    {
        QFETCH(QByteArray, symbol);
        QFETCH(bool, exported);
        QCOMPARE(m_module.resolve(symbol.constData()) != nullptr, exported);
    }

    void factoriesAnswerByAccountKind_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QByteArray>("className");
        QTest::newRow("window, stock") << false << kStockAccount << QByteArray("Velm_Space::ScheduledOrderWidStpStock");
        QTest::newRow("window, credit") << false << kCreditAccount << QByteArray("Velm_Space::ScheduledOrderWidStpCredit");
        QTest::newRow("window, other kind") << false << kOtherKindAccount << QByteArray();
        QTest::newRow("window, unknown account") << false << 4242 << QByteArray();
        QTest::newRow("dialog, stock") << true << kStockAccount
                                       << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock");
        QTest::newRow("dialog, credit") << true << kCreditAccount
                                        << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpCredit");
        QTest::newRow("dialog, other kind") << true << kOtherKindAccount << QByteArray();
        QTest::newRow("dialog, unknown account") << true << 4242 << QByteArray();
    }
    void factoriesAnswerByAccountKind()
    {
        QFETCH(bool, dialog);
        QFETCH(int, accountId);
        QFETCH(QByteArray, className);
        QWidget parent;
        QWidget* made = nullptr;
        if (dialog) {
            auto factory = reinterpret_cast<DlgFactory>(m_module.resolve(kDlgFactory));
            QVERIFY(factory);
            ISubModuleDlg* content = factory(accountId, 0, &parent);
            QVERIFY(!content || content->isModalContent());
            made = content;
        } else {
            auto factory = reinterpret_cast<WidFactory>(m_module.resolve(kWidFactory));
            QVERIFY(factory);
            made = factory(accountId, 0, &parent);
        }
        QCOMPARE(made ? QByteArray(made->metaObject()->className()) : QByteArray(), className);
        if (made)
            QCOMPARE(made->parentWidget(), &parent);
        // The host owns what it gets: deleting it through the base pointer must be clean.
        delete made;
    }

private:
    QLibrary m_module;
};

QTEST_MAIN(ContractTest)
#include "tst_contract.moc"
