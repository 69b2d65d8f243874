#include "MyStandardTableModel.h"
#include "TableHeader.h"
#include "VelmTest.h"

#include <QAbstractItemModelTester>
#include <QtTest>

#include <memory>
#include <deque>

struct Record { int id; QString code; int volume; };

// `value` set for `role` at (row, column): row -1 is the horizontal header (section = column), -2 the vertical one.
// `stored`: the state read back, -1 when refused; `events`: the model's signals.
struct CheckSet { int row, column, role; QVariant value; int stored; QStringList events; };
Q_DECLARE_METATYPE(CheckSet)

// Columns 1 编号 ("#<id>"), 2 证券代码, 5 数量; the key is "K<id>". Counts the cell computations per record.
class CountingHeader final : public TableHeader
{
public:
    CountingHeader() : TableHeader(QStringLiteral("THTestModel"), nullptr)
    {
        for (int id : {1, 2, 5})
            addColumn(id, QString::number(id), 60, Qt::AlignRight | Qt::AlignVCenter, true);
    }
    QVariant getColumnValueUserRole(int columnId, std::any record, UserData*) override
    {
        const Record* row = std::any_cast<Record*>(record);
        ++calls[row->id];
        return columnId == 1 ? QVariant(row->id) : columnId == 2 ? QVariant(row->code) : QVariant(row->volume);
    }
    QString getColumnValue(int columnId, std::any record, UserData*) override
    {
        return QLatin1String(columnId == 1 ? "#" : "") + getColumnValueUserRole(columnId, record, nullptr).toString();
    }
    QVariant getRowValue(int role, std::any record) override
    {
        const int id = std::any_cast<Record*>(record)->id;
        return role == Qt::UserRole ? QVariant(id) : role == Qt::DisplayRole ? QVariant("K" + QString::number(id)) : QVariant();
    }
    QHash<int, int> calls;
};

// Check column, the three columns, the hidden key column; rows 11, 12, 13. Logs the model's signals in order.
class TableModelTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<CountingHeader> header;
    std::deque<Record> records; // stable addresses for the rows
    std::unique_ptr<MyStandardTableModel> model;
    QStringList events;

    QList<std::any> makeRows(int count)
    {
        QList<std::any> rows;
        for (int id = 11 + int(records.size()), end = id + count; id < end; ++id)
            rows << std::any(&records.emplace_back(Record{id, QStringLiteral("60%1").arg(id * 1000), id * 100}));
        return rows;
    }
    void readEveryCell()
    {
        for (int row = 0; row < model->rowCount(); ++row)
            for (int column = 0; column < model->columnCount(); ++column)
                model->index(row, column).data(), model->index(row, column).data(Qt::UserRole);
    }
    QVariant checkState(int row) const { return model->index(row, 0).data(Qt::CheckStateRole); }
    QVariant headerState() const { return model->headerData(0, Qt::Horizontal, Qt::CheckStateRole); }

private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        model = std::make_unique<MyStandardTableModel>(QStringLiteral("THTestModel"), 0, nullptr);
        new QAbstractItemModelTester(model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal, model.get());
        header = std::make_unique<CountingHeader>();
        records.clear();
        model->setColumnOffset(1);
        QList<ColProperty*> columns = header->getShowColumns();
        model->setHeader(header.get(), columns);
        model->setDataSource(makeRows(3));
        using M = QAbstractItemModel;
        connect(model.get(), &M::modelAboutToBeReset, this, [this] { events << "aboutToReset"; });
        connect(model.get(), &M::modelReset, this, [this] { events << "reset"; });
        connect(model.get(), &M::headerDataChanged, this, [this](Qt::Orientation, int a, int b) {
            events << QStringLiteral("header %1-%2").arg(a).arg(b);
        });
        connect(model.get(), &M::dataChanged, this, [this](const QModelIndex& a, const QModelIndex& b, const QVector<int>& r) {
            events << QStringLiteral("data %1,%2-%3,%4 role %5")
                          .arg(a.row()).arg(a.column()).arg(b.row()).arg(b.column()).arg(r.value(0, -1));
        });
        events.clear();
    }

    // Cells stay cached until dataChanged names their row; only that row is recomputed (to empty once the header is gone).
    void recordChangedInPlace()
    {
        readEveryCell();
        for (Record& record : records) record.volume += 1;
        header->calls.clear();
        emit model->dataChanged(model->index(0, 0), model->index(2, 4), {Qt::CheckStateRole});
        QCOMPARE(model->index(1, 3).data().toString(), QStringLiteral("1200"));
        emit model->dataChanged(model->index(1, 0), model->index(1, 4), {Qt::DisplayRole});
        readEveryCell();
        readEveryCell();
        QCOMPARE(model->index(1, 3).data().toString(), QStringLiteral("1201"));
        QCOMPARE(header->calls, (QHash<int, int>{{12, 6}})); // rows 11 and 13 keep their old cells

        header.reset();
        emit model->dataChanged(model->index(0, 0), model->index(0, 4));
        QCOMPARE(model->index(0, 2).data(), QVariant(QString()));
    }

    void setCheckState_data()
    {
        QTest::addColumn<CheckSet>("c");
        const int cs = Qt::CheckStateRole;
        const QStringList cell{QStringLiteral("data 2,0-2,0 role 10")}, head{QStringLiteral("header 0-0")}, none;
        QTest::newRow("checked") << CheckSet{2, 0, cs, 2, 2, cell};
        QTest::newRow("unchanged") << CheckSet{2, 0, cs, 0, 0, none};
        QTest::newRow("too large") << CheckSet{2, 0, cs, 3, -1, none};
        QTest::newRow("listed column") << CheckSet{2, 2, cs, 2, -1, none};
        QTest::newRow("header partially") << CheckSet{-1, 0, cs, 1, 1, head};
        QTest::newRow("vertical header") << CheckSet{-2, 0, cs, 2, -1, none};
    }
    void setCheckState()
    {
        QFETCH(CheckSet, c);
        const auto set = [&] {
            return c.row >= 0 ? model->setData(model->index(c.row, c.column), c.value, c.role)
                              : model->setHeaderData(c.column, c.row == -1 ? Qt::Horizontal : Qt::Vertical, c.value, c.role);
        };
        QCOMPARE(set(), c.stored >= 0);
        set(); // the same again changes nothing
        QCOMPARE((c.row < 0 ? headerState() : checkState(2)).toInt(), qMax(c.stored, 0));
        QCOMPARE(events, c.events);
    }
};

QTEST_MAIN(TableModelTest)
#include "tst_tablemodel.moc"
