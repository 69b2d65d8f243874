#include "MySFProxyModel.h"
#include "MyStandardTableModel.h"
#include "TableHeader.h"
#include "VelmTest.h"

#include <QAbstractItemModelTester>
#include <QDate>
#include <QDateTime>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTime>
#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kIdColumn = 1;
constexpr int kCodeColumn = 2;
constexpr int kValueColumn = 3;
constexpr int kVolumeColumn = 4;
constexpr int kKeyColumn = 5;

struct Record
{
    int id = 0;
    QString code;
    QVariant value;
    int volume = 0;
};

// Columns 1 编号, 2 证券代码 (the filtered code), 3 值 (any value), 5 数量; the key is the id.
class RecordHeader final : public TableHeader
{
public:
    RecordHeader()
        : TableHeader(QStringLiteral("THTestProxy"), nullptr)
    {
        addColumn(1, QStringLiteral("编号"), 60, Qt::AlignRight | Qt::AlignVCenter, true);
        addColumn(2, QStringLiteral("证券代码"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
        addColumn(3, QStringLiteral("值"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
        addColumn(5, QStringLiteral("数量"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
    }

    QString getColumnValue(int columnId, std::any record, UserData*) override
    {
        const Record* row = std::any_cast<Record*>(record);
        switch (columnId) {
        case 1: return QStringLiteral("#%1").arg(row->id);
        case 2: return row->code;
        case 3: return row->value.toString();
        case 5: return QString::number(row->volume);
        default: return QString();
        }
    }
    QVariant getColumnValueUserRole(int columnId, std::any record, UserData*) override
    {
        const Record* row = std::any_cast<Record*>(record);
        switch (columnId) {
        case 1: return row->id;
        case 2: return row->code;
        case 3: return row->value;
        case 5: return row->volume;
        default: return QVariant();
        }
    }
    QVariant getRowValue(int role, std::any record) override
    {
        const Record* row = std::any_cast<Record*>(record);
        return role == Qt::DisplayRole || role == Qt::UserRole ? QVariant(row->id) : QVariant();
    }
};

// Finds the code column as the sub-task proxy does; lessThan made callable.
class TestProxy final : public MySFProxyModel
{
public:
    explicit TestProxy(bool locatesCode = true)
        : MySFProxyModel(QStringLiteral("THTestProxy"), nullptr)
        , m_locatesCode(locatesCode)
    {
    }
    using MySFProxyModel::lessThan;
    using MySFProxyModel::setSecurityIdColumn;

    int locateCalls = 0;
    int columnsAtLocate = -1;

protected:
    void locateColumns() override
    {
        ++locateCalls;
        columnsAtLocate = listColProperty().size();
        for (int i = 0; m_locatesCode && i < listColProperty().size(); ++i) {
            if (listColProperty().at(i)->id == 2)
                setSecurityIdColumn(columnOffset() + i);
        }
    }

private:
    bool m_locatesCode;
};

class StockProxy final : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::lessThan;
};

void attachTester(QAbstractItemModel* model)
{
    new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal, model);
}

QVector<int> sourceRows(const QAbstractProxyModel& proxy)
{
    QVector<int> rows;
    for (int row = 0; row < proxy.rowCount(); ++row)
        rows.append(proxy.mapToSource(proxy.index(row, 0)).row());
    return rows;
}

const QStringList kCodes = {QStringLiteral("600000"), QStringLiteral("600036"), QStringLiteral("601318"),
                            QStringLiteral("000001"), QStringLiteral("300750"), QStringLiteral("688981"),
                            QStringLiteral("sh6000"), QStringLiteral("SH6000")};

// A monitor table's model with the host proxy in front, as the tables build them.
struct Rig
{
    explicit Rig(bool locatesCode = true)
        : model(QStringLiteral("THTestProxy"), 0, nullptr)
        , proxy(locatesCode)
    {
        attachTester(&model);
        attachTester(&proxy);
        model.setColumnOffset(1);
        QList<ColProperty*> columns = header.getShowColumns();
        model.setHorizontalHeaderList({QString(), QStringLiteral("编号"), QStringLiteral("证券代码"), QStringLiteral("值"),
                                       QStringLiteral("数量"), QStringLiteral("hiddenColumnm")});
        model.setHeader(&header, columns);
        proxy.setColumnOffset(1);
        proxy.setListColProperty(columns);
        proxy.setSourceModel(&model);
        proxy.setSortRole(Qt::UserRole);
        proxy.resetModel();
    }

    Record* add(QList<std::any>& rows, const QString& code, const QVariant& value, int volume)
    {
        const int id = static_cast<int>(records.size()) + 1;
        records.push_back(std::make_unique<Record>(Record{id, code, value, volume}));
        rows.append(records.back().get());
        return records.back().get();
    }
    // Rows of the given volumes, codes in turn from kCodes.
    void load(const QVector<int>& volumes)
    {
        QList<std::any> rows;
        for (int volume : volumes)
            add(rows, kCodes.at(static_cast<int>(records.size()) % kCodes.size()), volume, volume);
        model.setDataSource(rows);
        proxy.resetModel();
    }
    void changed(int sourceRow, const QVector<int>& roles = {})
    {
        emit model.dataChanged(model.index(sourceRow, 0), model.index(sourceRow, model.columnCount() - 1), roles);
    }
    Record& record(int sourceRow) { return *std::any_cast<Record*>(model.dataSource().at(sourceRow)); }
    QVector<int> volumesShown() const
    {
        QVector<int> volumes;
        for (int row = 0; row < proxy.rowCount(); ++row)
            volumes.append(proxy.index(row, kVolumeColumn).data(Qt::UserRole).toInt());
        return volumes;
    }

    RecordHeader header;
    std::vector<std::unique_ptr<Record>> records;
    MyStandardTableModel model;
    TestProxy proxy;
};

struct SortSettings
{
    int column = kValueColumn;
    Qt::SortOrder order = Qt::AscendingOrder;
    int role = Qt::UserRole;
    Qt::CaseSensitivity caseSensitivity = Qt::CaseSensitive;
    bool localeAware = false;
};

// The order a stock proxy gives when it sorts the model from scratch.
QVector<int> stockOrder(QAbstractItemModel& model, const SortSettings& settings)
{
    QSortFilterProxyModel stock;
    stock.setSortRole(settings.role);
    stock.setSortCaseSensitivity(settings.caseSensitivity);
    stock.setSortLocaleAware(settings.localeAware);
    stock.setSourceModel(&model);
    stock.sort(settings.column, settings.order);
    return sourceRows(stock);
}

QVector<int> withCodePrefix(const QVector<int>& order, const MyStandardTableModel& model, const QString& prefix)
{
    QVector<int> kept;
    for (int row : order) {
        if (model.index(row, kCodeColumn).data().toString().startsWith(prefix))
            kept.append(row);
    }
    return kept;
}

// Long enough for what the proxy posts to itself (a zero timer) to run.
void letEventLoopTurn()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void applySettings(QSortFilterProxyModel& proxy, const SortSettings& settings)
{
    proxy.setSortRole(settings.role);
    proxy.setSortCaseSensitivity(settings.caseSensitivity);
    proxy.setSortLocaleAware(settings.localeAware);
    proxy.sort(settings.column, settings.order);
}

enum ValueKind { RepeatedInts, Doubles, DoublesWithNaN, MixedCaseStrings, MixedTypes, Dates };

QVariant randomValue(ValueKind kind, std::mt19937& random)
{
    static const QStringList words = {QStringLiteral("alpha"), QStringLiteral("Alpha"), QStringLiteral("beta"),
                                      QStringLiteral("BETA"), QStringLiteral("浦发银行"), QStringLiteral("工商银行"),
                                      QStringLiteral("b"), QStringLiteral("A"), QString()};
    std::uniform_int_distribution<int> small(-20, 20);
    switch (kind) {
    case RepeatedInts: return small(random);
    case Doubles: return small(random) / 4.0;
    case DoublesWithNaN: return small(random) % 5 == 0 ? std::nan("") : small(random) / 4.0;
    case MixedCaseStrings: return words.at(std::uniform_int_distribution<int>(0, words.size() - 1)(random));
    case MixedTypes: {
        switch (std::uniform_int_distribution<int>(0, 4)(random)) {
        case 0: return small(random);
        case 1: return QString::number(small(random));
        case 2: return small(random) / 3.0;
        case 3: return QVariant();
        default: return words.at(std::uniform_int_distribution<int>(0, words.size() - 1)(random));
        }
    }
    case Dates: return QDate(2025, 1, 1).addDays(small(random));
    }
    return QVariant();
}

} // namespace

// The host's sort/filter proxy: Qt's order from cached values, the code filter, and bursts.
class SFProxyTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void lessThanMatchesStock_data();
    void lessThanMatchesStock();
    void sortMatchesStockRowByRow_data();
    void sortMatchesStockRowByRow();
    void burstEndsInAFullResortsOrder_data();
    void burstEndsInAFullResortsOrder();
    void codeFilter_data();
    void codeFilter();
    void unlocatedCodeColumnFiltersNothing_data();
    void unlocatedCodeColumnFiltersNothing();
    void sameFilterTextChangesNothing();
    void locateColumnsFollowsTheList();
    void insertedRowsLandSortedAndFiltered();
    void burstIsResortedOnceAfterTheEventLoop();
    void burstKeepingTheOrderCostsNoResort_data();
    void burstKeepingTheOrderCostsNoResort();
    void dataChangesMoveRowsAcrossTheFilter_data();
    void dataChangesMoveRowsAcrossTheFilter();
    void newDataSourceKeepsSortAndFilter();
    void resetModelRebuildsOnlyWhatIsStale();
    void checkStatesPassThrough();
    void otherSourceModelsSortAsStock();
    void sourceModelCanBeSwitched();
};

void SFProxyTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
    qRegisterMetaType<QAbstractItemModel::LayoutChangeHint>();
    qRegisterMetaType<QList<QPersistentModelIndex>>();
}

void SFProxyTest::lessThanMatchesStock_data()
{
    QTest::addColumn<QVariant>("left");
    QTest::addColumn<QVariant>("right");

    const double nan = std::nan("");
    QTest::newRow("int less") << QVariant(1) << QVariant(2);
    QTest::newRow("int equal") << QVariant(5) << QVariant(5);
    QTest::newRow("int negative") << QVariant(-3) << QVariant(-7);
    QTest::newRow("int vs digit text") << QVariant(10) << QVariant(QStringLiteral("9"));
    QTest::newRow("digit text vs int") << QVariant(QStringLiteral("10")) << QVariant(9);
    QTest::newRow("int vs double") << QVariant(1) << QVariant(1.6);
    QTest::newRow("int vs double rounded to it") << QVariant(1) << QVariant(1.4);
    QTest::newRow("int vs fraction text") << QVariant(0) << QVariant(QStringLiteral("1.5"));
    QTest::newRow("long long vs double") << QVariant(qlonglong(2)) << QVariant(2.3);
    QTest::newRow("double vs int") << QVariant(1.5) << QVariant(2);
    QTest::newRow("double") << QVariant(-0.25) << QVariant(0.125);
    QTest::newRow("NaN left") << QVariant(nan) << QVariant(1.0);
    QTest::newRow("NaN right") << QVariant(1.0) << QVariant(nan);
    QTest::newRow("NaN both") << QVariant(nan) << QVariant(nan);
    QTest::newRow("uint") << QVariant(3u) << QVariant(4u);
    QTest::newRow("uint vs negative") << QVariant(3u) << QVariant(-1);
    QTest::newRow("long long") << QVariant(qlonglong(1) << 40) << QVariant((qlonglong(1) << 40) + 1);
    QTest::newRow("unsigned long long") << QVariant(std::numeric_limits<qulonglong>::max()) << QVariant(qulonglong(0));
    QTest::newRow("float") << QVariant(1.25f) << QVariant(1.5f);
    QTest::newRow("short") << QVariant::fromValue<short>(3) << QVariant::fromValue<short>(-1);
    QTest::newRow("char") << QVariant::fromValue<char>('b') << QVariant::fromValue<char>('a');
    QTest::newRow("bool") << QVariant(true) << QVariant(false);
    QTest::newRow("bool vs int") << QVariant(false) << QVariant(1);
    QTest::newRow("QChar") << QVariant(QChar('a')) << QVariant(QChar('B'));
    QTest::newRow("date") << QVariant(QDate(2024, 1, 2)) << QVariant(QDate(2023, 12, 31));
    QTest::newRow("null date") << QVariant(QDate()) << QVariant(QDate(2024, 1, 1));
    QTest::newRow("date vs text") << QVariant(QDate(2024, 1, 1)) << QVariant(QStringLiteral("2023-06-01"));
    QTest::newRow("time") << QVariant(QTime(9, 30)) << QVariant(QTime(9, 29, 59));
    QTest::newRow("date time") << QVariant(QDateTime(QDate(2025, 6, 3), QTime(9, 25))) << QVariant(QDateTime(QDate(2025, 6, 3), QTime(9, 24)));
    QTest::newRow("text") << QVariant(QStringLiteral("abc")) << QVariant(QStringLiteral("abd"));
    QTest::newRow("text case") << QVariant(QStringLiteral("abc")) << QVariant(QStringLiteral("ABD"));
    QTest::newRow("text same but case") << QVariant(QStringLiteral("ABC")) << QVariant(QStringLiteral("abc"));
    QTest::newRow("chinese") << QVariant(QStringLiteral("浦发银行")) << QVariant(QStringLiteral("工商银行"));
    QTest::newRow("empty vs text") << QVariant(QStringLiteral("")) << QVariant(QStringLiteral("a"));
    QTest::newRow("null vs empty") << QVariant(QString()) << QVariant(QStringLiteral(""));
    QTest::newRow("time text with suffix") << QVariant(QStringLiteral("09:30:00起")) << QVariant(QStringLiteral("09:30:00"));
    QTest::newRow("text vs double") << QVariant(QStringLiteral("1.5")) << QVariant(1.25);
    QTest::newRow("byte array") << QVariant(QByteArray("b")) << QVariant(QByteArray("a"));
    QTest::newRow("string list") << QVariant(QStringList{QStringLiteral("b")}) << QVariant(QStringList{QStringLiteral("a")});
    QTest::newRow("invalid left") << QVariant() << QVariant(1);
    QTest::newRow("invalid right") << QVariant(1) << QVariant();
    QTest::newRow("both invalid") << QVariant() << QVariant();
}

void SFProxyTest::lessThanMatchesStock()
{
    QFETCH(QVariant, left);
    QFETCH(QVariant, right);
    Rig rig;
    QList<std::any> rows;
    rig.add(rows, kCodes.at(0), left, 1);
    rig.add(rows, kCodes.at(1), right, 2);
    rig.model.setDataSource(rows);
    StockProxy stock;
    stock.setSourceModel(&rig.model);

    const QModelIndex first = rig.model.index(0, kValueColumn);
    const QModelIndex second = rig.model.index(1, kValueColumn);
    for (int role : {int(Qt::UserRole), int(Qt::DisplayRole)}) {
        for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            for (bool localeAware : {false, true}) {
                for (QSortFilterProxyModel* proxy : {static_cast<QSortFilterProxyModel*>(&rig.proxy),
                                                     static_cast<QSortFilterProxyModel*>(&stock)}) {
                    proxy->setSortRole(role);
                    proxy->setSortCaseSensitivity(cs);
                    proxy->setSortLocaleAware(localeAware);
                }
                const QByteArray where = QStringLiteral("role %1, case %2, locale %3")
                                             .arg(role).arg(int(cs)).arg(localeAware).toLatin1();
                QVERIFY2(rig.proxy.lessThan(first, second) == stock.lessThan(first, second), where.constData());
                QVERIFY2(rig.proxy.lessThan(second, first) == stock.lessThan(second, first), where.constData());
            }
        }
    }
}

void SFProxyTest::sortMatchesStockRowByRow_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<int>("caseSensitivity");
    QTest::addColumn<bool>("strictlyOrdered");

    const struct {
        const char* name;
        ValueKind kind;
        int column;
        bool strictlyOrdered;
    } kinds[] = {
        {"repeated ints", RepeatedInts, kValueColumn, true},
        {"doubles", Doubles, kValueColumn, true},
        {"doubles with NaN", DoublesWithNaN, kValueColumn, false},
        {"mixed case texts", MixedCaseStrings, kValueColumn, true},
        {"mixed types", MixedTypes, kValueColumn, false},
        {"dates", Dates, kValueColumn, true},
        {"key column", RepeatedInts, kKeyColumn, true},
    };
    for (const auto& kind : kinds) {
        for (int order : {int(Qt::AscendingOrder), int(Qt::DescendingOrder)}) {
            for (int cs : {int(Qt::CaseSensitive), int(Qt::CaseInsensitive)}) {
                const QByteArray name = QByteArray(kind.name) + (order == Qt::AscendingOrder ? " asc" : " desc")
                    + (cs == Qt::CaseSensitive ? " cs" : " ci");
                QTest::newRow(name.constData())
                    << int(kind.kind) << kind.column << order << cs << kind.strictlyOrdered;
            }
        }
    }
}

void SFProxyTest::sortMatchesStockRowByRow()
{
    QFETCH(int, kind);
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(int, caseSensitivity);
    QFETCH(bool, strictlyOrdered);
    std::mt19937 random(static_cast<uint32_t>(kind * 31 + order * 7 + caseSensitivity));
    Rig rig;
    QList<std::any> rows;
    for (int i = 0; i < 4000; ++i)
        rig.add(rows, kCodes.at(int(random() % kCodes.size())), randomValue(ValueKind(kind), random), 0);
    rig.model.setDataSource(rows);
    rig.proxy.resetModel();

    SortSettings settings;
    settings.column = column;
    settings.order = Qt::SortOrder(order);
    settings.caseSensitivity = Qt::CaseSensitivity(caseSensitivity);
    applySettings(rig.proxy, settings);
    QCOMPARE(sourceRows(rig.proxy), stockOrder(rig.model, settings));

    // Every setting that changes the comparison, applied to the sorted proxies: Qt re-sorts the
    // current order in place, so a stock proxy taken through the same steps is the reference.
    StockProxy mirror;
    mirror.setSourceModel(&rig.model);
    applySettings(mirror, settings);
    const auto bothProxies = [&](const std::function<void(QSortFilterProxyModel&)>& step) {
        step(rig.proxy);
        step(mirror);
    };
    bothProxies([](QSortFilterProxyModel& proxy) {
        proxy.setSortCaseSensitivity(proxy.sortCaseSensitivity() == Qt::CaseSensitive ? Qt::CaseInsensitive
                                                                                      : Qt::CaseSensitive);
    });
    QCOMPARE(sourceRows(rig.proxy), sourceRows(mirror));
    bothProxies([](QSortFilterProxyModel& proxy) { proxy.setSortLocaleAware(true); });
    QCOMPARE(sourceRows(rig.proxy), sourceRows(mirror));
    bothProxies([](QSortFilterProxyModel& proxy) { proxy.setSortRole(Qt::DisplayRole); });
    QCOMPARE(sourceRows(rig.proxy), sourceRows(mirror));
    bothProxies([](QSortFilterProxyModel& proxy) {
        proxy.setSortRole(Qt::UserRole);
        proxy.setSortLocaleAware(false);
    });
    QCOMPARE(sourceRows(rig.proxy), sourceRows(mirror));
    settings.caseSensitivity = rig.proxy.sortCaseSensitivity();
    settings.order = settings.order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    bothProxies([&](QSortFilterProxyModel& proxy) { proxy.sort(column, settings.order); });
    QCOMPARE(sourceRows(rig.proxy), sourceRows(mirror));

    // Filters narrow and widen a sorted table; a stable order keeps the survivors' order.
    if (strictlyOrdered) {
        for (const QString& prefix : {QStringLiteral("6"), QStringLiteral("600"), QStringLiteral("6"), QString()}) {
            rig.proxy.setFilterSecurityID(prefix);
            QCOMPARE(sourceRows(rig.proxy), withCodePrefix(stockOrder(rig.model, settings), rig.model, prefix));
        }
    }

}

void SFProxyTest::burstEndsInAFullResortsOrder_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");

    const struct {
        const char* name;
        ValueKind kind;
        int column;
    } kinds[] = {
        {"repeated ints", RepeatedInts, kValueColumn},
        {"doubles with NaN", DoublesWithNaN, kValueColumn},
        {"mixed case texts", MixedCaseStrings, kValueColumn},
        {"mixed types", MixedTypes, kValueColumn},
        {"key column", RepeatedInts, kKeyColumn},
    };
    for (const auto& kind : kinds) {
        for (int order : {int(Qt::AscendingOrder), int(Qt::DescendingOrder)}) {
            const QByteArray name = QByteArray(kind.name) + (order == Qt::AscendingOrder ? " asc" : " desc");
            QTest::newRow(name.constData()) << int(kind.kind) << kind.column << order;
        }
    }
}

void SFProxyTest::burstEndsInAFullResortsOrder()
{
    QFETCH(int, kind);
    QFETCH(int, column);
    QFETCH(int, order);
    std::mt19937 random(static_cast<uint32_t>(kind * 13 + order));
    Rig rig;
    QList<std::any> rows;
    for (int i = 0; i < 400; ++i)
        rig.add(rows, kCodes.at(int(random() % kCodes.size())), randomValue(ValueKind(kind), random), 0);
    rig.model.setDataSource(rows);
    rig.proxy.resetModel();
    SortSettings settings;
    settings.column = column;
    settings.order = Qt::SortOrder(order);
    applySettings(rig.proxy, settings);
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);

    for (int i = 0; i < 40; ++i) {
        const int row = int(random() % 400);
        rig.record(row).value = randomValue(ValueKind(kind), random);
        rig.changed(row);
    }
    QCOMPARE(layouts.count(), 0);
    letEventLoopTurn();
    QCOMPARE(layouts.count(), column == kKeyColumn ? 0 : 1);
    QCOMPARE(sourceRows(rig.proxy), stockOrder(rig.model, settings));
}

void SFProxyTest::codeFilter_data()
{
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QStringList>("shown");

    const QStringList all = kCodes;
    QTest::newRow("empty") << QString() << all;
    QTest::newRow("6") << QStringLiteral("6")
                       << QStringList{QStringLiteral("600000"), QStringLiteral("600036"), QStringLiteral("601318"),
                                      QStringLiteral("688981")};
    QTest::newRow("60") << QStringLiteral("60")
                        << QStringList{QStringLiteral("600000"), QStringLiteral("600036"), QStringLiteral("601318")};
    QTest::newRow("6000") << QStringLiteral("6000") << QStringList{QStringLiteral("600000"), QStringLiteral("600036")};
    QTest::newRow("whole code") << QStringLiteral("300750") << QStringList{QStringLiteral("300750")};
    QTest::newRow("longer than the code") << QStringLiteral("3007501") << QStringList{};
    QTest::newRow("lower case") << QStringLiteral("sh") << QStringList{QStringLiteral("sh6000")};
    QTest::newRow("upper case") << QStringLiteral("SH") << QStringList{QStringLiteral("SH6000")};
    QTest::newRow("inside, not prefix") << QStringLiteral("0036") << QStringList{};
    QTest::newRow("no match") << QStringLiteral("9") << QStringList{};
}

void SFProxyTest::codeFilter()
{
    QFETCH(QString, prefix);
    QFETCH(QStringList, shown);
    Rig rig;
    rig.load({10, 20, 30, 40, 50, 60, 70, 80});
    rig.proxy.sort(kKeyColumn, Qt::AscendingOrder);

    rig.proxy.setFilterSecurityID(prefix);
    QCOMPARE(rig.proxy.filterSecurityID(), prefix);
    QStringList codes;
    for (int row = 0; row < rig.proxy.rowCount(); ++row)
        codes.append(rig.proxy.index(row, kCodeColumn).data().toString());
    QCOMPARE(codes, shown);
}

void SFProxyTest::unlocatedCodeColumnFiltersNothing_data()
{
    QTest::addColumn<int>("column");
    QTest::newRow("not located") << -1;
    QTest::newRow("past the last column") << 6;
}

void SFProxyTest::unlocatedCodeColumnFiltersNothing()
{
    QFETCH(int, column);
    Rig rig(false);
    rig.proxy.setSecurityIdColumn(column);
    rig.load({1, 2, 3});
    rig.proxy.setFilterSecurityID(QStringLiteral("60"));
    QCOMPARE(rig.proxy.securityIdColumn(), column);
    QCOMPARE(rig.proxy.rowCount(), 3);
}

void SFProxyTest::sameFilterTextChangesNothing()
{
    Rig rig;
    rig.load({1, 2, 3, 4});
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);
    rig.proxy.setFilterSecurityID(QStringLiteral("60"));
    QCOMPARE(layouts.count(), 1);
    QCOMPARE(rig.proxy.rowCount(), 3);
    rig.proxy.setFilterSecurityID(QStringLiteral("60"));
    QCOMPARE(layouts.count(), 1);
    rig.proxy.setFilterSecurityID(QString());
    QCOMPARE(layouts.count(), 2);
    QCOMPARE(rig.proxy.rowCount(), 4);
}

void SFProxyTest::locateColumnsFollowsTheList()
{
    Rig rig;
    QCOMPARE(rig.proxy.locateCalls, 1);
    QCOMPARE(rig.proxy.columnsAtLocate, 4);
    QCOMPARE(rig.proxy.securityIdColumn(), kCodeColumn);

    QList<ColProperty*> reordered = rig.header.getShowColumns();
    reordered.move(1, 3);
    rig.proxy.setListColProperty(reordered);
    QCOMPARE(rig.proxy.locateCalls, 2);
    QCOMPARE(rig.proxy.listColProperty(), reordered);
    QCOMPARE(rig.proxy.securityIdColumn(), 4);

    MySFProxyModel plain(QStringLiteral("THPlain"), nullptr);
    plain.setListColProperty(rig.header.getShowColumns());
    QCOMPARE(plain.securityIdColumn(), -1);
    QCOMPARE(plain.name(), QStringLiteral("THPlain"));
}

void SFProxyTest::insertedRowsLandSortedAndFiltered()
{
    Rig rig;
    rig.load({10, 30, 50, 70});
    rig.proxy.sort(kVolumeColumn, Qt::DescendingOrder);
    rig.proxy.setFilterSecurityID(QStringLiteral("6"));
    QCOMPARE(rig.volumesShown(), QVector<int>({50, 30, 10}));
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);
    QSignalSpy inserted(&rig.proxy, &QAbstractItemModel::rowsInserted);

    QList<std::any> rows;
    rig.add(rows, QStringLiteral("600519"), 40, 40);
    rig.add(rows, QStringLiteral("000002"), 45, 45);
    rig.add(rows, QStringLiteral("601988"), 90, 90);
    rig.add(rows, QStringLiteral("688111"), 5, 5);
    rig.model.setInsertedDataSource(rows);

    QCOMPARE(rig.volumesShown(), QVector<int>({90, 50, 40, 30, 10, 5}));
    QCOMPARE(inserted.count(), 3);
    letEventLoopTurn();
    QCOMPARE(layouts.count(), 0);
    rig.proxy.setFilterSecurityID(QString());
    QCOMPARE(rig.volumesShown(), QVector<int>({90, 70, 50, 45, 40, 30, 10, 5}));
}

void SFProxyTest::burstIsResortedOnceAfterTheEventLoop()
{
    Rig rig;
    QVector<int> volumes;
    for (int i = 0; i < 200; ++i)
        volumes.append(i * 10);
    rig.load(volumes);
    rig.proxy.sort(kVolumeColumn, Qt::AscendingOrder);
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);
    QSignalSpy changed(&rig.proxy, &QAbstractItemModel::dataChanged);

    // Every fourth row jumps to the other end, as at the open of the market.
    int signalsSent = 0;
    for (int row = 0; row < 200; row += 4) {
        rig.record(row).volume = 5000 - row;
        rig.changed(row);
        ++signalsSent;
    }
    QCOMPARE(changed.count(), signalsSent);
    QCOMPARE(layouts.count(), 0);
    // The changed values show at once, in place.
    QCOMPARE(rig.proxy.index(0, kVolumeColumn).data().toString(), QStringLiteral("5000"));

    letEventLoopTurn();
    QCOMPARE(layouts.count(), 1);
    letEventLoopTurn();
    QCOMPARE(layouts.count(), 1);
    QVector<int> sorted = rig.volumesShown();
    QVERIFY(std::is_sorted(sorted.begin(), sorted.end()));
    QCOMPARE(sorted.last(), 5000);
    QCOMPARE(sourceRows(rig.proxy), stockOrder(rig.model, {kVolumeColumn}));
}

void SFProxyTest::burstKeepingTheOrderCostsNoResort_data()
{
    QTest::addColumn<int>("sortColumn");
    QTest::addColumn<int>("changedColumn");
    QTest::addColumn<QVector<int>>("roles");
    QTest::addColumn<int>("step");

    QTest::newRow("other column") << kVolumeColumn << kValueColumn << QVector<int>() << 1000;
    QTest::newRow("values stay between neighbours") << kVolumeColumn << kVolumeColumn << QVector<int>() << 5;
    QTest::newRow("sorted by the key") << kKeyColumn << kVolumeColumn << QVector<int>() << 100000;
    QTest::newRow("role not sorted by") << kVolumeColumn << kVolumeColumn << QVector<int>{Qt::ToolTipRole} << 100000;
}

void SFProxyTest::burstKeepingTheOrderCostsNoResort()
{
    QFETCH(int, sortColumn);
    QFETCH(int, changedColumn);
    QFETCH(QVector<int>, roles);
    QFETCH(int, step);
    Rig rig;
    QVector<int> volumes;
    for (int i = 0; i < 100; ++i)
        volumes.append(i * 10);
    rig.load(volumes);
    rig.proxy.sort(sortColumn, Qt::AscendingOrder);
    const QVector<int> before = sourceRows(rig.proxy);
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);
    QSignalSpy changed(&rig.proxy, &QAbstractItemModel::dataChanged);

    for (int row = 0; row < 100; row += 2) {
        Record& record = rig.record(row);
        if (changedColumn == kVolumeColumn)
            record.volume += step;
        else
            record.value = record.value.toInt() + step;
        emit rig.model.dataChanged(rig.model.index(row, changedColumn), rig.model.index(row, changedColumn), roles);
    }
    QCOMPARE(changed.count(), 50);
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), roles);
    letEventLoopTurn();
    QCOMPARE(layouts.count(), 0);
    QCOMPARE(sourceRows(rig.proxy), before);
    const int shownRow = rig.proxy.mapFromSource(rig.model.index(0, 0)).row();
    const int expected = changedColumn == kVolumeColumn && roles.isEmpty() ? step : 0;
    QCOMPARE(rig.proxy.index(shownRow, kVolumeColumn).data(Qt::UserRole).toInt(), expected);
}

void SFProxyTest::dataChangesMoveRowsAcrossTheFilter_data()
{
    QTest::addColumn<int>("flips");
    QTest::addColumn<int>("layoutChanges");
    QTest::newRow("a few rows") << 3 << 0;
    QTest::newRow("many rows") << 20 << 1;
}

void SFProxyTest::dataChangesMoveRowsAcrossTheFilter()
{
    QFETCH(int, flips);
    QFETCH(int, layoutChanges);
    Rig rig;
    QVector<int> volumes;
    for (int i = 0; i < 128; ++i)
        volumes.append(128 - i);
    rig.load(volumes);   // codes cycle through kCodes: rows 0, 1, 2 of every 8 start with "60"
    rig.proxy.sort(kVolumeColumn, Qt::AscendingOrder);
    rig.proxy.setFilterSecurityID(QStringLiteral("60"));
    QCOMPARE(rig.proxy.rowCount(), 48);
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);
    QSignalSpy removed(&rig.proxy, &QAbstractItemModel::rowsRemoved);

    // Half of the flips leave the filter, half enter it.
    for (int i = 0; i < flips; ++i) {
        const int row = (i / 2) * 8 + (i % 2 == 0 ? 0 : 3);
        rig.record(row).code = i % 2 == 0 ? QStringLiteral("000009") : QStringLiteral("609999");
        rig.changed(row);
    }
    QCOMPARE(removed.count(), 0);
    letEventLoopTurn();
    QCOMPARE(layouts.count(), layoutChanges);
    QCOMPARE(removed.count(), layoutChanges == 0 ? (flips + 1) / 2 : 0);
    QCOMPARE(rig.proxy.rowCount(), 48 - (flips + 1) / 2 + flips / 2);
    QCOMPARE(sourceRows(rig.proxy),
             withCodePrefix(stockOrder(rig.model, {kVolumeColumn}), rig.model, QStringLiteral("60")));
}

void SFProxyTest::newDataSourceKeepsSortAndFilter()
{
    Rig rig;
    rig.load({5, 1, 4, 2, 3, 6, 7, 8});
    rig.proxy.sort(kVolumeColumn, Qt::DescendingOrder);
    rig.proxy.setFilterSecurityID(QStringLiteral("60"));
    QSignalSpy resets(&rig.proxy, &QAbstractItemModel::modelReset);
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);

    QList<std::any> rows;
    for (int volume : {11, 99, 55, 77, 33, 22, 44, 66, 88})
        rig.add(rows, kCodes.at(volume % 4), volume, volume);
    rig.model.setDataSource(rows);
    rig.proxy.resetModel();

    QCOMPARE(resets.count(), 1);
    QCOMPARE(layouts.count(), 0);
    QCOMPARE(rig.volumesShown(), QVector<int>({88, 77, 66, 44, 33, 22}));
    QCOMPARE(rig.proxy.sortColumn(), kVolumeColumn);
    QCOMPARE(rig.proxy.sortOrder(), Qt::DescendingOrder);
}

void SFProxyTest::resetModelRebuildsOnlyWhatIsStale()
{
    Rig rig;
    rig.proxy.sort(kVolumeColumn, Qt::AscendingOrder);
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);
    QSignalSpy resets(&rig.proxy, &QAbstractItemModel::modelReset);

    // After a new data source Qt has already rebuilt the mapping: nothing more to announce.
    rig.load({3, 1, 2});
    QCOMPARE(resets.count(), 1);
    QCOMPARE(layouts.count(), 0);
    QCOMPARE(rig.volumesShown(), QVector<int>({1, 2, 3}));

    rig.proxy.resetModel();
    QCOMPARE(layouts.count(), 1);
    QCOMPARE(resets.count(), 1);
    QCOMPARE(rig.volumesShown(), QVector<int>({1, 2, 3}));
}

void SFProxyTest::checkStatesPassThrough()
{
    Rig rig;
    rig.load({3, 1, 2});
    rig.proxy.sort(kVolumeColumn, Qt::AscendingOrder);
    QSignalSpy changed(&rig.proxy, &QAbstractItemModel::dataChanged);
    QSignalSpy layouts(&rig.proxy, &QAbstractItemModel::layoutChanged);

    QVERIFY(rig.proxy.setData(rig.proxy.index(0, 0), int(Qt::Checked), Qt::CheckStateRole));
    QCOMPARE(rig.model.index(1, 0).data(Qt::CheckStateRole), QVariant(int(Qt::Checked)));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), rig.proxy.index(0, 0));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{Qt::CheckStateRole});

    QVERIFY(rig.proxy.setHeaderData(0, Qt::Horizontal, int(Qt::PartiallyChecked), Qt::CheckStateRole));
    QCOMPARE(rig.model.headerData(0, Qt::Horizontal, Qt::CheckStateRole), QVariant(int(Qt::PartiallyChecked)));
    QCOMPARE(rig.proxy.headerData(0, Qt::Horizontal, Qt::CheckStateRole), QVariant(int(Qt::PartiallyChecked)));
    letEventLoopTurn();
    QCOMPARE(layouts.count(), 0);
}

void SFProxyTest::otherSourceModelsSortAsStock()
{
    QStandardItemModel source;
    std::mt19937 random(5);
    for (int row = 0; row < 500; ++row) {
        auto* code = new QStandardItem(kCodes.at(int(random() % kCodes.size())));
        auto* value = new QStandardItem;
        value->setData(randomValue(MixedTypes, random), Qt::UserRole);
        source.appendRow({new QStandardItem, code, value});
    }
    TestProxy proxy;
    attachTester(&proxy);
    proxy.setSecurityIdColumn(1);
    proxy.setSourceModel(&source);
    proxy.setSortRole(Qt::UserRole);
    proxy.sort(2, Qt::DescendingOrder);
    SortSettings settings;
    settings.column = 2;
    settings.order = Qt::DescendingOrder;
    QCOMPARE(sourceRows(proxy), stockOrder(source, settings));

    proxy.setFilterSecurityID(QStringLiteral("60"));
    for (int row = 0; row < proxy.rowCount(); ++row)
        QVERIFY(proxy.index(row, 1).data().toString().startsWith(QStringLiteral("60")));

    QSignalSpy layouts(&proxy, &QAbstractItemModel::layoutChanged);
    for (int row = 0; row < 500; row += 7)
        source.item(row, 2)->setData(randomValue(RepeatedInts, random), Qt::UserRole);
    QCOMPARE(layouts.count(), 0);
    letEventLoopTurn();
    QCOMPARE(layouts.count(), 1);
}

void SFProxyTest::sourceModelCanBeSwitched()
{
    Rig rig;
    rig.load({3, 1, 2});
    rig.proxy.sort(kVolumeColumn, Qt::AscendingOrder);
    rig.proxy.setSourceModel(nullptr);
    QCOMPARE(rig.proxy.rowCount(), 0);
    rig.proxy.setSourceModel(&rig.model);
    QCOMPARE(rig.volumesShown(), QVector<int>({1, 2, 3}));
    rig.record(1).volume = 9;
    rig.changed(1);
    QTRY_COMPARE(rig.volumesShown(), QVector<int>({2, 3, 9}));
}

QTEST_MAIN(SFProxyTest)
#include "tst_sfproxy.moc"
