#include "MySFProxyModel.h"
#include "MyStandardTableModel.h"
#include "TableHeader.h"
#include "VelmTest.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

#include <deque>
#include <functional>
#include <memory>
#include <random>

constexpr int kCode = 1, kValue = 2, kKey = 3; // after the check column
const QStringList kCodes{"600000", "600036", "601318", "000001", "300750", "688981", "sh6000", "SH6000"};

struct Record { int id; QString code; QVariant value; };

// Columns 2 证券代码 (the filtered code) and 3 值 (any value); the key is the id. Counts the cell computations per record.
class RecordHeader final : public TableHeader
{
public:
    RecordHeader() : TableHeader(QStringLiteral("THTestProxy"), nullptr)
    {
        addColumn(2, QStringLiteral("证券代码"), 75, Qt::AlignRight, true);
        addColumn(3, QStringLiteral("值"), 75, Qt::AlignRight, true);
    }
    static const Record& rec(const std::any& r) { return *std::any_cast<Record*>(r); }
    QVariant getColumnValueUserRole(int id, std::any r, UserData*) override
    {
        ++calls[rec(r).id];
        return id == 2 ? rec(r).code : rec(r).value;
    }
    QString getColumnValue(int id, std::any r, UserData*) override { return getColumnValueUserRole(id, r, nullptr).toString(); }
    QVariant getRowValue(int role, std::any r) override
    {
        return role == Qt::DisplayRole || role == Qt::UserRole ? QVariant(rec(r).id) : QVariant();
    }
    QHash<int, int> calls;
};

// Finds the code column as the sub-task proxy does; lessThan made callable.
class TestProxy final : public MySFProxyModel
{
public:
    TestProxy() : MySFProxyModel(QStringLiteral("THTestProxy"), nullptr) {}
    using MySFProxyModel::lessThan;

protected:
    void locateColumns() override
    {
        for (int i = 0; i < listColProperty().size(); ++i)
            if (listColProperty().at(i)->id == 2)
                setSecurityIdColumn(columnOffset() + i);
    }
};

class StockProxy final : public QSortFilterProxyModel { public: using QSortFilterProxyModel::lessThan; };

QVector<int> sourceRows(const QAbstractProxyModel& proxy)
{
    QVector<int> rows;
    for (int row = 0; row < proxy.rowCount(); ++row)
        rows << proxy.mapToSource(proxy.index(row, 0)).row();
    return rows;
}

// The rows a stock proxy sorting as `like` from scratch shows, keeping codes starting with `codePrefix`.
QVector<int> stockOrder(QAbstractItemModel* model, const QSortFilterProxyModel& like, const QString& codePrefix = {})
{
    QSortFilterProxyModel stock;
    stock.setFilterKeyColumn(kCode);
    stock.setFilterRegularExpression(QRegularExpression("^" + QRegularExpression::escape(codePrefix)));
    stock.setSortRole(like.sortRole());
    stock.setSortCaseSensitivity(like.sortCaseSensitivity());
    stock.setSortLocaleAware(like.isSortLocaleAware());
    stock.setSourceModel(model);
    stock.sort(like.sortColumn(), like.sortOrder());
    return sourceRows(stock);
}

// Long enough for what the proxy posts to itself (a zero timer) to run.
void letEventLoopTurn() { QCoreApplication::processEvents(); QCoreApplication::processEvents(); }

enum ValueKind { RepeatedInts, DoublesWithNaN, MixedCaseTexts, Dates, MixedTypes, Tens };

// Values of `kind` sorted by `column`; `step` is added to the changed rows of tens, `role` names the change
// signals' role (-1: all roles); `resorts`: the re-sorts that follow.
struct Burst { int kind, column, order, step, role, resorts; };
Q_DECLARE_METATYPE(Burst)
// `value` set for `role` at (row, column): row -1 is the horizontal header (section = column), -2 the vertical one.
// `stored`: the state read back, -1 when refused; `events`: the model's signals.
struct CheckSet { int row, column, role; QVariant value; int stored; QStringList events; };
Q_DECLARE_METATYPE(CheckSet)
// Rows of `added` values (codes 600519, 000002 (filtered), 601988, 688111) inserted into a table sorted in `order`.
struct Insertion { Qt::SortOrder order; QVariantList added; QVector<int> shown; int resorts; };
Q_DECLARE_METATYPE(Insertion)

QVariant randomValue(ValueKind kind, std::mt19937& random)
{
    static const QStringList words{"alpha", "Alpha", "beta", "BETA", QStringLiteral("浦发银行"), "b", "A", QString()};
    const int small = std::uniform_int_distribution<int>(-20, 20)(random);
    const QString word = words.at(int(random() % words.size()));
    const QVariant values[] = {small, small % 5 == 0 ? qQNaN() : small / 4.0, word, QDate(2025, 1, 1).addDays(small),
                               QString::number(small), small / 3.0, QVariant()};
    return values[kind == MixedTypes ? int(random() % 7) : int(kind)];
}

// The host's table model (cached cells, check states) and the sort and filter proxy over it.
class SFProxyTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<RecordHeader> header;
    std::deque<Record> records; // stable addresses for the rows
    std::unique_ptr<MyStandardTableModel> model;
    std::unique_ptr<TestProxy> proxy;
    int layouts = 0; // the proxy's layoutChanged signals (re-sorts) since a test last cleared it

    QList<std::any> makeRows(const QVariantList& values, const QStringList& codes = kCodes)
    {
        QList<std::any> rows;
        for (int i = 0; i < values.size(); ++i)
            rows << std::any(&records.emplace_back(Record{int(records.size()) + 1, codes.at(i % codes.size()), values.at(i)}));
        return rows;
    }
    void load(const QVariantList& values) { model->setDataSource(makeRows(values)); proxy->resetModel(); }
    Record& record(int sourceRow) { return *std::any_cast<Record*>(model->dataSource().at(sourceRow)); }
    QVector<int> valuesShown() const
    {
        QVector<int> values;
        for (int row = 0; row < proxy->rowCount(); ++row)
            values << proxy->index(row, kValue).data(Qt::UserRole).toInt();
        return values;
    }
    void readEveryCell()
    {
        for (int row = 0; row < model->rowCount(); ++row)
            for (int column = 0; column < model->columnCount(); ++column)
                model->index(row, column).data(), model->index(row, column).data(Qt::UserRole);
    }
    QStringList modelSignals(const std::function<void()>& action) // in order, while `action` runs
    {
        QStringList events;
        using M = QAbstractItemModel;
        QObject log;
        connect(model.get(), &M::headerDataChanged, &log, [&](Qt::Orientation, int a, int b) { events << QStringLiteral("header %1-%2").arg(a).arg(b); });
        connect(model.get(), &M::dataChanged, &log, [&](const QModelIndex& a, const QModelIndex& b, const QVector<int>& r) {
            events << QStringLiteral("data %1,%2-%3,%4 role %5").arg(a.row()).arg(a.column()).arg(b.row()).arg(b.column()).arg(r.value(0, -1));
        });
        action();
        return events;
    }

private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        model = std::make_unique<MyStandardTableModel>(QStringLiteral("THTestProxy"), 0, nullptr);
        header = std::make_unique<RecordHeader>();
        records.clear();
        proxy = std::make_unique<TestProxy>();
        new QAbstractItemModelTester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal, model.get());
        new QAbstractItemModelTester(proxy.get(), QAbstractItemModelTester::FailureReportingMode::Fatal, proxy.get());
        model->setColumnOffset(1);
        QList<ColProperty*> columns = header->getShowColumns();
        model->setHeader(header.get(), columns);
        proxy->setColumnOffset(1);
        proxy->setListColProperty(columns);
        proxy->setSourceModel(model.get());
        proxy->setSortRole(Qt::UserRole);
        connect(proxy.get(), &QAbstractItemModel::layoutChanged, this, [this] { ++layouts; });
    }
    void cleanup() { proxy.reset(); model.reset(); header.reset(); } // the proxy and model point into the header

    // Cells stay cached until dataChanged names their row; only that row is recomputed (to empty once the header is gone).
    void recordChangedInPlace()
    {
        load({1100, 1200, 1300});
        readEveryCell();
        for (int row = 0; row < 3; ++row)
            record(row).value = record(row).value.toInt() + 1;
        header->calls.clear();
        emit model->dataChanged(model->index(0, 0), model->index(2, kKey), {Qt::CheckStateRole});
        QCOMPARE(model->index(1, kValue).data().toString(), QStringLiteral("1200"));
        emit model->dataChanged(model->index(1, 0), model->index(1, kKey), {Qt::DisplayRole});
        readEveryCell();
        readEveryCell();
        QCOMPARE(model->index(1, kValue).data().toString(), QStringLiteral("1201"));
        QCOMPARE(header->calls, (QHash<int, int>{{2, 4}})); // rows 1 and 3 keep their old cells

        proxy.reset();
        header.reset();
        emit model->dataChanged(model->index(0, 0), model->index(0, kKey));
        QCOMPARE(model->index(0, kCode).data(), QVariant(QString()));
    }

    void setCheckState_data()
    {
        QTest::addColumn<CheckSet>("c");
        const int cs = Qt::CheckStateRole;
        const QStringList cell{QStringLiteral("data 2,0-2,0 role 10")}, head{QStringLiteral("header 0-0")}, none;
        QTest::newRow("checked") << CheckSet{2, 0, cs, 2, 2, cell};
        QTest::newRow("unchanged") << CheckSet{2, 0, cs, 0, 0, none};
        QTest::newRow("too large") << CheckSet{2, 0, cs, 3, -1, none};
        QTest::newRow("listed column") << CheckSet{2, kCode, cs, 2, -1, none};
        QTest::newRow("header partially") << CheckSet{-1, 0, cs, 1, 1, head};
        QTest::newRow("vertical header") << CheckSet{-2, 0, cs, 2, -1, none};
    }
    void setCheckState()
    {
        QFETCH(CheckSet, c);
        load({1, 2, 3});
        const auto set = [&] {
            return c.row >= 0 ? model->setData(model->index(c.row, c.column), c.value, c.role)
                              : model->setHeaderData(c.column, c.row == -1 ? Qt::Horizontal : Qt::Vertical, c.value, c.role);
        };
        bool stored = false;
        const QStringList events = modelSignals([&] { stored = set(); set(); }); // the same again changes nothing
        QCOMPARE(stored, c.stored >= 0);
        const QVariant state = c.row < 0 ? model->headerData(0, Qt::Horizontal, Qt::CheckStateRole) : model->index(2, 0).data(Qt::CheckStateRole);
        QCOMPARE(state.toInt(), qMax(c.stored, 0));
        QCOMPARE(events, c.events);
    }

    void lessThanMatchesStock_data()
    {
        QTest::addColumn<QVariant>("left");
        QTest::addColumn<QVariant>("right");
        QTest::newRow("int vs digit text") << QVariant(10) << QVariant("9");
        QTest::newRow("NaN") << QVariant(qQNaN()) << QVariant(1.0);
        QTest::newRow("chinese") << QVariant(QStringLiteral("浦发银行")) << QVariant(QStringLiteral("工商银行"));
        QTest::newRow("null vs empty text") << QVariant(QString()) << QVariant("");
        QTest::newRow("text vs double") << QVariant("1.5") << QVariant(1.25);
        QTest::newRow("invalid") << QVariant() << QVariant(1);
    }
    void lessThanMatchesStock()
    {
        QFETCH(QVariant, left);
        QFETCH(QVariant, right);
        load({left, right});
        StockProxy stock;
        stock.setSourceModel(model.get());
        const QModelIndex a = model->index(0, kValue), b = model->index(1, kValue);
        for (int setting = 0; setting < 8; ++setting) {
            for (auto* p : std::initializer_list<QSortFilterProxyModel*>{proxy.get(), &stock}) {
                p->setSortRole(setting & 1 ? Qt::DisplayRole : Qt::UserRole);
                p->setSortCaseSensitivity(setting & 2 ? Qt::CaseInsensitive : Qt::CaseSensitive);
                p->setSortLocaleAware(setting & 4);
            }
            QVERIFY2(proxy->lessThan(a, b) == stock.lessThan(a, b) && proxy->lessThan(b, a) == stock.lessThan(b, a),
                     qPrintable(QStringLiteral("role, case, locale setting %1").arg(setting)));
        }
    }

    // Rows sorted as a stock proxy sorts them; a burst of changes passed on at once, re-sorted at most once later.
    void sortAndBurst_data()
    {
        QTest::addColumn<Burst>("row");
        const char* names[] = {"repeated ints", "doubles with NaN", "mixed case texts", "dates", "mixed types"};
        for (int kind = RepeatedInts; kind <= MixedTypes; ++kind) // both orders between them
            QTest::newRow(names[kind]) << Burst{kind, kValue, kind % 2, 0, -1, 1};
        QTest::newRow("key column") << Burst{RepeatedInts, kKey, 0, 0, -1, 0};
        QTest::newRow("tens jump to the other end") << Burst{Tens, kValue, 0, 100000, -1, 1};
        QTest::newRow("tens stay between neighbours") << Burst{Tens, kValue, 0, 5, -1, 0};
        QTest::newRow("tens, role not sorted by") << Burst{Tens, kValue, 0, 100000, Qt::ToolTipRole, 0};
    }
    void sortAndBurst()
    {
        QFETCH(Burst, row);
        const auto& [kind, column, order, step, role, resorts] = row;
        std::mt19937 random(uint32_t(kind * 31 + order));
        const int rows = kind == Tens ? 100 : 4000;
        QVariantList values;
        for (int i = 0; i < rows; ++i)
            values << (kind == Tens ? QVariant(i * 10) : randomValue(ValueKind(kind), random));
        load(values);
        proxy->sort(column, Qt::SortOrder(order));
        QCOMPARE(sourceRows(*proxy), stockOrder(model.get(), *proxy));

        layouts = 0;
        QSignalSpy changedRows(proxy.get(), &QAbstractItemModel::dataChanged);
        for (int i = 0; i < 40; ++i) {
            const int changed = kind == Tens ? 2 * i : int(random() % rows);
            record(changed).value = kind == Tens ? QVariant(changed * 10 + step) : randomValue(ValueKind(kind), random);
            emit model->dataChanged(model->index(changed, kValue), model->index(changed, kValue), QVector<int>(role < 0 ? 0 : 1, role));
        }
        QCOMPARE(changedRows.count(), 40);
        QCOMPARE(layouts, 0);
        if (kind == Tens) // in place until the re-sort
            QCOMPARE(proxy->index(0, kValue).data(Qt::UserRole).toInt(), role < 0 ? step : 0);
        letEventLoopTurn();
        QCOMPARE(layouts, resorts);
        QCOMPARE(sourceRows(*proxy), stockOrder(model.get(), *proxy));
    }

    // Inserted rows: filtered at once, sorted later (one re-sort if out of place); a new source keeps both.
    void insertedRowsKeepSortAndFilter_data()
    {
        QTest::addColumn<Insertion>("row");
        QTest::newRow("scattered") << Insertion{Qt::DescendingOrder, {40, 45, 90, 5}, {90, 50, 40, 30, 10, 5}, 1};
        QTest::newRow("after the last, but a filtered one") << Insertion{Qt::AscendingOrder, {80, 1, 90, 95}, {10, 30, 50, 80, 90, 95}, 0};
    }
    void insertedRowsKeepSortAndFilter()
    {
        QFETCH(Insertion, row);
        load({10, 30, 50, 70});
        proxy->sort(kValue, row.order);
        proxy->setFilterSecurityID("6");
        layouts = 0;
        QSignalSpy inserted(proxy.get(), &QAbstractItemModel::rowsInserted);
        model->setInsertedDataSource(makeRows(row.added, {"600519", "000002", "601988", "688111"}));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(proxy->rowCount(), 6);
        letEventLoopTurn();
        QCOMPARE(layouts, row.resorts);
        QCOMPARE(valuesShown(), row.shown);

        layouts = 0;
        load({11, 99, 55, 77, 33, 22, 44, 66, 88});
        QCOMPARE(sourceRows(*proxy), stockOrder(model.get(), *proxy, "6"));
        letEventLoopTurn();
        QCOMPARE(layouts, 0); // Qt rebuilt the mapping with the reset
    }
};

QTEST_MAIN(SFProxyTest)
#include "tst_sfproxy.moc"
