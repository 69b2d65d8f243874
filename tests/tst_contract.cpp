#include "ISubModuleDlg.h"
#include "ISubModuleWid.h"
#include "TestAccounts.h"
#include "VelmTest.h"

#include <QLibrary>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <cstdio>

namespace {

using WidFactory = ISubModuleWid* (*)(int, int, QWidget*);
using DlgFactory = ISubModuleDlg* (*)(int, int, QWidget*);

constexpr int kStockAccount = 701;
constexpr int kCreditAccount = 702;
constexpr int kOtherKindAccount = 703;
constexpr char kWidFactory[] = "CreateISubModuleWid_ScheduledOrderWid";
constexpr char kDlgFactory[] = "CreateISubModuleDlg_SOModifySubTaskParamWid";
constexpr int kNmTimeoutMs = 30000;

// What the module may take from the host library: the classes the host's interface names, the
// widget kit, and the task records' namespace.
const QSet<QString> kHostContract{
    "UserDataManager", "UserData", "ServiceScheduledOrder", "WindowManager", "gWM", "Util",
    "ISubModuleWid", "ISubModuleDlg", "TableHeader", "ColProperty", "MyStandardTableModel", "MySFProxyModel",
    "MyTableView", "MyHeaderViewWithCheckbox", "MyCompleterEdit", "FramelessFloatDlg", "OperationLogWid",
    "VelmClient", "VELMSCHEDORDAPI"};

// The class, namespace or variable a demangled symbol belongs to: "vtable for SimBroker" and
// "Util::QStr2str[abi:cxx11](QString const&)" belong to SimBroker and Util.
QString ownerOf(const QString& symbol)
{
    static const QRegularExpression owner(QStringLiteral(
        "^(?:(?:typeinfo name|typeinfo|vtable|VTT|construction vtable|guard variable) for |(?:non-)?virtual thunk to )*(\\w+)"));
    return owner.match(symbol).captured(1);
}

// Demangled symbol names that `nm` lists for a library with the given options.
QSet<QString> symbols(const QString& library, const QStringList& options)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), QStringList(options) << library);
    if (!nm.waitForFinished(kNmTimeoutMs) || nm.exitStatus() != QProcess::NormalExit || nm.exitCode() != 0) {
        qWarning("nm failed on %s: %s", qPrintable(library), nm.readAllStandardError().constData());
        return {};
    }
    // "<address or blanks> <type letter> <name>" a line; a demangled name may hold spaces.
    static const QRegularExpression entry(QStringLiteral("^(?:[0-9a-f]{8,16}| {8,16}) [A-Za-z?] (.+)$"), QRegularExpression::MultilineOption);
    QSet<QString> names;
    for (QRegularExpressionMatchIterator it = entry.globalMatch(QString::fromUtf8(nm.readAllStandardOutput())); it.hasNext();)
        names.insert(it.next().captured(1));
    return names;
}

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
        QLoggingCategory::setFilterRules(QStringLiteral("velm.schedord.debug=true"));
        m_module.setFileName(moduleDir() + QStringLiteral("/ScheduledOrder"));
        QVERIFY2(m_module.load(), qPrintable(m_module.errorString()));
    }
    void cleanupTestCase() { VelmTest::removeAllAccounts(); }

    // A host that provides only its interface and the widget kit must be enough for the module:
    // nothing of the stand-in's own internals (engine, clock, simulator, broker) may be linked in.
    void moduleTakesOnlyTheHostContract()
    {
        const QString dir = moduleDir();
        const QSet<QString> hostDefined = symbols(dir + QStringLiteral("/libVelm_Base.so"),
                                                  {QStringLiteral("-DC"), QStringLiteral("--defined-only")});
        const QSet<QString> moduleUndefined = symbols(dir + QStringLiteral("/libScheduledOrder.so"), {QStringLiteral("-uC")});
        const QSet<QString> fromHost = QSet<QString>(moduleUndefined).intersect(hostDefined);
        // The module does call the host: an empty list would mean the listing failed.
        QVERIFY(fromHost.contains(QStringLiteral("UserDataManager::instance()")));
        QStringList outside;
        for (const QString& symbol : fromHost) {
            if (!kHostContract.contains(ownerOf(symbol)))
                outside.append(symbol);
        }
        outside.sort();
        QVERIFY2(outside.isEmpty(), qPrintable(QStringLiteral("host symbols outside the contract:\n") + outside.join(QLatin1Char('\n'))));
    }

    // The host resolves the two factories by name; nothing else of the module is visible to it.
    void onlyTheFactoriesAreExported()
    {
        QSet<QString> exported = symbols(moduleDir() + QStringLiteral("/libScheduledOrder.so"),
                                         {QStringLiteral("-D"), QStringLiteral("--defined-only")});
        for (const char* linkerMark : {"__bss_start", "_edata", "_end", "_init", "_fini"})
            exported.remove(QLatin1String(linkerMark));
        QCOMPARE(exported, (QSet<QString>{kWidFactory, kDlgFactory}));
    }

    // `variant`: the class made, none for an account of another kind (ApiType 7) or no account.
    void factoriesAnswerByAccountKind_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QByteArray>("variant");
        for (const bool dialog : {false, true}) {
            const QByteArray base = dialog ? "SchedOrd_ModifySubTaskParamWid" : "ScheduledOrderWid";
            const char* kind = dialog ? "dialog" : "window";
            QTest::addRow("%s, stock", kind) << dialog << kStockAccount << base + "StpStock";
            QTest::addRow("%s, credit", kind) << dialog << kCreditAccount << base + "StpCredit";
            QTest::addRow("%s, other kind", kind) << dialog << kOtherKindAccount << QByteArray();
            QTest::addRow("%s, unknown account", kind) << dialog << 4242 << QByteArray();
        }
    }
    void factoriesAnswerByAccountKind()
    {
        QFETCH(bool, dialog);
        QFETCH(int, accountId);
        QFETCH(QByteArray, variant);
        if (variant.isEmpty()) {
            // The host only sees a null; the module's category says why.
            QTest::ignoreMessage(QtDebugMsg, qPrintable(QStringLiteral("no %1 for account %2 of ApiType %3 (0: not registered)")
                                                            .arg(dialog ? "modify dialog" : "scheduled-order window")
                                                            .arg(accountId).arg(accountId == kOtherKindAccount ? 7 : 0)));
        }
        const QFunctionPointer factory = m_module.resolve(dialog ? kDlgFactory : kWidFactory);
        QVERIFY(factory);
        QWidget parent;
        ISubModuleDlg* content = dialog ? reinterpret_cast<DlgFactory>(factory)(accountId, 0, &parent) : nullptr;
        QWidget* made = dialog ? static_cast<QWidget*>(content) : reinterpret_cast<WidFactory>(factory)(accountId, 0, &parent);
        QVERIFY(!content || content->isModalContent());
        QCOMPARE(made ? QByteArray(made->metaObject()->className()) : QByteArray(), variant.isEmpty() ? variant : "Velm_Space::" + variant);
        if (!made)
            return;
        QCOMPARE(made->parentWidget(), &parent);
        // The host owns what it gets: deleting it through the base pointer runs both destructors.
        QTest::ignoreMessage(QtDebugMsg, QByteArray("~" + variant + "()").constData());
        QTest::ignoreMessage(QtDebugMsg, dialog ? "~SchedOrd_ModifySubTaskParamWid()" : "~ScheduledOrderWid()");
        delete made;
    }

private:
    static QString moduleDir() { return qEnvironmentVariable("VELM_MODULE_DIR", QCoreApplication::applicationDirPath()); }

    QLibrary m_module;
};

// As QTEST_MAIN, but the process ends only once QtTest's watchdog thread has, so that the leak
// check at exit sees every thread whole.
int main(int argc, char* argv[])
{
    int result = 0;
    {
        QApplication app(argc, argv);
        app.setAttribute(Qt::AA_Use96Dpi, true);
        ContractTest test;
        result = QTest::qExec(&test, argc, argv);
    }
    if (!VelmTest::waitUntilOnlyThread(5000)) {
        std::fprintf(stderr, "threads outlived the test: %s\n", qPrintable(VelmTest::otherThreadNames().join(QStringLiteral(", "))));
        return 1;
    }
    return result;
}

#include "tst_contract.moc"
