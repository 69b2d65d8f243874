#include "MyStandardTableModel.h"
#include "TableHeader.h"
#include "TestAccounts.h"
#include "UserDataManager.h"
#include "VelmTest.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

constexpr int kAccount = 701;
constexpr int kUnknownAccount = 799;
constexpr int kAlignRight = Qt::AlignRight | Qt::AlignVCenter;
constexpr int kAlignCenter = Qt::AlignHCenter | Qt::AlignVCenter;

struct Record
{
    int id = 0;
    QString code;
    int volume = 0;
};

// Columns 1 编号, 2 证券代码, 5 数量, 8 操作 (no value); the key is "K<id>". Counts its calls per record.
class CountingHeader final : public TableHeader
{
public:
    CountingHeader()
        : TableHeader(QStringLiteral("THTestModel"), nullptr)
    {
        addColumn(1, QStringLiteral("编号"), 60, Qt::AlignRight | Qt::AlignVCenter, true);
        addColumn(2, QStringLiteral("证券代码"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
        addColumn(5, QStringLiteral("数量"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
        addColumn(8, QStringLiteral("操作"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
    }

    QString getColumnValue(int columnId, std::any record, UserData* userData) override
    {
        const Record* row = std::any_cast<Record*>(record);
        ++displayCalls[row->id];
        lastUserData = userData;
        switch (columnId) {
        case 1: return QStringLiteral("#%1").arg(row->id);
        case 2: return row->code;
        case 5: return QString::number(row->volume);
        default: return QString();
        }
    }
    QVariant getColumnValueUserRole(int columnId, std::any record, UserData* userData) override
    {
        const Record* row = std::any_cast<Record*>(record);
        ++valueCalls[row->id];
        lastUserData = userData;
        switch (columnId) {
        case 1: return row->id;
        case 2: return row->code;
        case 5: return row->volume;
        default: return QVariant();
        }
    }
    QVariant getRowValue(int role, std::any record) override
    {
        const Record* row = std::any_cast<Record*>(record);
        switch (role) {
        case Qt::DisplayRole: return QStringLiteral("K%1").arg(row->id);
        case Qt::UserRole: return row->id;
        case Qt::ToolTipRole: return QStringLiteral("行%1").arg(row->id);
        case Qt::TextAlignmentRole: return static_cast<int>(Qt::AlignLeft);
        default: return QVariant();
        }
    }

    int callsFor(int id) const { return displayCalls.value(id) + valueCalls.value(id); }

    QHash<int, int> displayCalls;
    QHash<int, int> valueCalls;
    UserData* lastUserData = nullptr;
};

// A table as the monitor builds it: check column, the four columns, the hidden key column.
struct Table
{
    explicit Table(int rows = 3, int accountId = kAccount)
        : model(QStringLiteral("THTestModel"), accountId, nullptr)
    {
        new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal, &model);
        model.setColumnOffset(1);
        QList<ColProperty*> columns = header.getShowColumns();
        model.setHorizontalHeaderList({QString(), QStringLiteral("编号"), QStringLiteral("证券代码"),
                                       QStringLiteral("数量"), QStringLiteral("操作"), QStringLiteral("hiddenColumnm")});
        model.setHeader(&header, columns);
        model.setAlignment({kAlignCenter, kAlignRight, kAlignRight, kAlignRight, kAlignRight, kAlignCenter});
        model.setDataSource(makeRows(rows));
    }

    QList<std::any> makeRows(int count)
    {
        QList<std::any> rows;
        for (int i = 0; i < count; ++i) {
            const int id = 11 + static_cast<int>(records.size());
            records.push_back(std::make_unique<Record>(Record{id, QStringLiteral("60%1").arg(id * 1000), id * 100}));
            rows.append(records.back().get());
        }
        return rows;
    }
    int lastColumn() const { return model.columnCount() - 1; }
    void readEveryCell()
    {
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int column = 0; column < model.columnCount(); ++column) {
                model.index(row, column).data(Qt::DisplayRole);
                model.index(row, column).data(Qt::UserRole);
            }
        }
    }
    void rowChanged(int first, int last, const QVector<int>& roles = {})
    {
        emit model.dataChanged(model.index(first, 0), model.index(last, lastColumn()), roles);
    }

    CountingHeader header;
    std::vector<std::unique_ptr<Record>> records;
    MyStandardTableModel model;
};

} // namespace

// The host's table model: cells from the column definitions, the per-row cache, check states.
class TableModelTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void cells_data();
    void cells();
    void keyAlignmentFallsBackToRowValue();
    void headerData_data();
    void headerData();
    void flags_data();
    void flags();
    void cellsReadTheAccountsUserData();
    void valuesAreComputedOnFirstReadOnly();
    void cachedAccessorsReturnTheStoredValues();
    void recordChangedInPlaceShowsNewValueAfterDataChanged();
    void dataChangedRecomputesOnlyNamedRows_data();
    void dataChangedRecomputesOnlyNamedRows();
    void checkStates_data();
    void checkStates();
    void setDataRefusesOtherCells_data();
    void setDataRefusesOtherCells();
    void headerCheckState_data();
    void headerCheckState();
    void newDataSourceIsAReset();
    void insertedRowsAreAppended();
    void insertionLoosensACheckedHeader_data();
    void insertionLoosensACheckedHeader();
    void invalidCellsAnswerNothing_data();
    void invalidCellsAnswerNothing();
    void columnChangesResetTheModel();
    void alignmentChangeKeepsTheCache();
    void deletedHeaderLeavesEmptyCells();
};

void TableModelTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    qRegisterMetaType<Qt::Orientation>();
    VelmTest::setUpWindowManager();
    VelmTest::addStockAccount(kAccount);
}

void TableModelTest::cleanupTestCase()
{
    VelmTest::removeAllAccounts();
}

void TableModelTest::cells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("check state") << 1 << 0 << int(Qt::CheckStateRole) << QVariant(int(Qt::Unchecked));
    QTest::newRow("check column text") << 1 << 0 << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("check column alignment") << 1 << 0 << int(Qt::TextAlignmentRole) << QVariant(kAlignCenter);
    QTest::newRow("id text") << 1 << 1 << int(Qt::DisplayRole) << QVariant(QStringLiteral("#12"));
    QTest::newRow("id value") << 1 << 1 << int(Qt::UserRole) << QVariant(12);
    QTest::newRow("code text") << 2 << 2 << int(Qt::DisplayRole) << QVariant(QStringLiteral("6013000"));
    QTest::newRow("code value") << 2 << 2 << int(Qt::UserRole) << QVariant(QStringLiteral("6013000"));
    QTest::newRow("volume text") << 0 << 3 << int(Qt::DisplayRole) << QVariant(QStringLiteral("1100"));
    QTest::newRow("volume value") << 0 << 3 << int(Qt::UserRole) << QVariant(1100);
    QTest::newRow("volume alignment") << 0 << 3 << int(Qt::TextAlignmentRole) << QVariant(kAlignRight);
    QTest::newRow("listed column tooltip") << 0 << 3 << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("listed column check state") << 0 << 3 << int(Qt::CheckStateRole) << QVariant();
    QTest::newRow("button column text") << 0 << 4 << int(Qt::DisplayRole) << QVariant(QString());
    QTest::newRow("button column value") << 0 << 4 << int(Qt::UserRole) << QVariant();
    QTest::newRow("key text") << 2 << 5 << int(Qt::DisplayRole) << QVariant(QStringLiteral("K13"));
    QTest::newRow("key value") << 2 << 5 << int(Qt::UserRole) << QVariant(13);
    QTest::newRow("key tooltip") << 2 << 5 << int(Qt::ToolTipRole) << QVariant(QStringLiteral("行13"));
    QTest::newRow("key alignment from list") << 2 << 5 << int(Qt::TextAlignmentRole) << QVariant(kAlignCenter);
}

void TableModelTest::cells()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    Table table;
    const QVariant actual = table.model.index(row, column).data(role);
    QCOMPARE(actual.userType(), expected.userType());
    QCOMPARE(actual, expected);
}

void TableModelTest::keyAlignmentFallsBackToRowValue()
{
    Table table;
    table.model.setAlignment({kAlignCenter, kAlignRight});
    QCOMPARE(table.model.index(0, 5).data(Qt::TextAlignmentRole), QVariant(int(Qt::AlignLeft)));
    QCOMPARE(table.model.index(0, 3).data(Qt::TextAlignmentRole), QVariant());
    QCOMPARE(table.model.index(0, 1).data(Qt::TextAlignmentRole), QVariant(kAlignRight));
}

void TableModelTest::headerData_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("check title") << 0 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant(QString());
    QTest::newRow("code title") << 2 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant(QStringLiteral("证券代码"));
    QTest::newRow("key title") << 5 << int(Qt::Horizontal) << int(Qt::DisplayRole)
                               << QVariant(QStringLiteral("hiddenColumnm"));
    QTest::newRow("past the last") << 6 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("negative") << -1 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant();
    QTest::newRow("alignment") << 2 << int(Qt::Horizontal) << int(Qt::TextAlignmentRole) << QVariant(kAlignRight);
    QTest::newRow("header check state") << 0 << int(Qt::Horizontal) << int(Qt::CheckStateRole)
                                        << QVariant(int(Qt::Unchecked));
    QTest::newRow("no check state elsewhere") << 1 << int(Qt::Horizontal) << int(Qt::CheckStateRole) << QVariant();
    QTest::newRow("tooltip") << 1 << int(Qt::Horizontal) << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("row number") << 1 << int(Qt::Vertical) << int(Qt::DisplayRole) << QVariant(2);
}

void TableModelTest::headerData()
{
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    Table table;
    QCOMPARE(table.model.headerData(section, Qt::Orientation(orientation), role), expected);
}

void TableModelTest::flags_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("expected");

    const int plain = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    QTest::newRow("check column") << 0 << int(plain | Qt::ItemIsUserCheckable);
    QTest::newRow("listed column") << 2 << plain;
    QTest::newRow("key column") << 5 << plain;
}

void TableModelTest::flags()
{
    QFETCH(int, column);
    QFETCH(int, expected);
    Table table;
    QCOMPARE(int(table.model.flags(table.model.index(1, column))), expected);
}

void TableModelTest::cellsReadTheAccountsUserData()
{
    {
        Table table;
        table.model.index(0, 1).data();
        QVERIFY(table.header.lastUserData);
        QCOMPARE(table.header.lastUserData, UserDataManager::instance()->getUserData(kAccount));
    }
    {
        Table table(3, kUnknownAccount);
        table.header.lastUserData = reinterpret_cast<UserData*>(&table);
        table.model.index(0, 1).data();
        QCOMPARE(table.header.lastUserData, nullptr);
    }
    {
        constexpr int kRemovedAccount = 702;
        VelmTest::addStockAccount(kRemovedAccount);
        Table table(3, kRemovedAccount);
        UserDataManager::instance()->removeAccount(kRemovedAccount);
        table.model.index(0, 1).data();
        QCOMPARE(table.header.lastUserData, nullptr);
    }
}

void TableModelTest::valuesAreComputedOnFirstReadOnly()
{
    Table table;
    QCOMPARE(table.header.callsFor(11) + table.header.callsFor(12) + table.header.callsFor(13), 0);

    QCOMPARE(table.model.index(1, 2).data().toString(), QStringLiteral("6012000"));
    QCOMPARE(table.header.displayCalls.value(12), 1);
    QCOMPARE(table.header.valueCalls.value(12), 0);
    QCOMPARE(table.header.callsFor(11) + table.header.callsFor(13), 0);

    table.model.index(1, 2).data();
    table.model.index(1, 2).data();
    QCOMPARE(table.header.displayCalls.value(12), 1);
    QCOMPARE(table.model.index(1, 2).data(Qt::UserRole).toString(), QStringLiteral("6012000"));
    table.model.index(1, 2).data(Qt::UserRole);
    QCOMPARE(table.header.valueCalls.value(12), 1);

    table.readEveryCell();
    table.readEveryCell();
    // Three listed columns with a value each way, the button column's empty ones included.
    QCOMPARE(table.header.displayCalls.value(12), 4);
    QCOMPARE(table.header.valueCalls.value(12), 4);
}

void TableModelTest::cachedAccessorsReturnTheStoredValues()
{
    Table table;
    for (int row = 0; row < table.model.rowCount(); ++row) {
        for (int column = 1; column < table.model.columnCount(); ++column) {
            const QString& text = table.model.cachedDisplayText(row, column);
            QCOMPARE(QVariant(text), table.model.index(row, column).data(Qt::DisplayRole));
            QCOMPARE(table.model.cachedUserValue(row, column), table.model.index(row, column).data(Qt::UserRole));
            // A reference into the cache, not into a temporary.
            QCOMPARE(&table.model.cachedDisplayText(row, column), &text);
        }
    }
    QCOMPARE(table.model.cachedDisplayText(0, 0), QString());
    QVERIFY(!table.model.cachedUserValue(0, 0).isValid());
}

void TableModelTest::recordChangedInPlaceShowsNewValueAfterDataChanged()
{
    Table table;
    table.readEveryCell();
    table.records[1]->volume = 4242;
    table.records[1]->code = QStringLiteral("688001");

    QCOMPARE(table.model.index(1, 3).data().toString(), QStringLiteral("1200"));
    QCOMPARE(table.model.index(1, 3).data(Qt::UserRole), QVariant(1200));
    table.rowChanged(1, 1);
    QCOMPARE(table.model.index(1, 3).data().toString(), QStringLiteral("4242"));
    QCOMPARE(table.model.index(1, 3).data(Qt::UserRole), QVariant(4242));
    QCOMPARE(table.model.cachedDisplayText(1, 2), QStringLiteral("688001"));
}

void TableModelTest::dataChangedRecomputesOnlyNamedRows_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<QVector<int>>("roles");
    QTest::addColumn<QList<int>>("recomputedRows");

    QTest::newRow("one row") << 2 << 2 << QVector<int>() << QList<int>{2};
    QTest::newRow("range") << 1 << 3 << QVector<int>() << QList<int>{1, 2, 3};
    QTest::newRow("every row") << 0 << 4 << QVector<int>() << QList<int>{0, 1, 2, 3, 4};
    QTest::newRow("display role") << 3 << 3 << QVector<int>{Qt::DisplayRole} << QList<int>{3};
    QTest::newRow("user role") << 0 << 0 << QVector<int>{Qt::UserRole} << QList<int>{0};
    QTest::newRow("check state only") << 0 << 4 << QVector<int>{Qt::CheckStateRole} << QList<int>{};
    QTest::newRow("alignment only") << 0 << 4 << QVector<int>{Qt::TextAlignmentRole} << QList<int>{};
}

void TableModelTest::dataChangedRecomputesOnlyNamedRows()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(QVector<int>, roles);
    QFETCH(QList<int>, recomputedRows);
    Table table(5);
    table.readEveryCell();
    for (auto& record : table.records)
        record->volume += 1;
    table.header.displayCalls.clear();
    table.header.valueCalls.clear();

    table.rowChanged(first, last, roles);
    table.readEveryCell();
    for (int row = 0; row < 5; ++row) {
        const int id = table.records[static_cast<size_t>(row)]->id;
        const bool recomputed = recomputedRows.contains(row);
        QCOMPARE(table.header.displayCalls.value(id), recomputed ? 4 : 0);
        QCOMPARE(table.header.valueCalls.value(id), recomputed ? 4 : 0);
        const int shown = table.records[static_cast<size_t>(row)]->volume - (recomputed ? 0 : 1);
        QCOMPARE(table.model.index(row, 3).data(Qt::UserRole), QVariant(shown));
    }
}

void TableModelTest::checkStates_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("emissions");

    QTest::newRow("checked") << QVariant(int(Qt::Checked)) << true << int(Qt::Checked) << 1;
    QTest::newRow("partially") << QVariant(int(Qt::PartiallyChecked)) << true << int(Qt::PartiallyChecked) << 1;
    QTest::newRow("unchanged") << QVariant(int(Qt::Unchecked)) << true << int(Qt::Unchecked) << 0;
    QTest::newRow("bool true") << QVariant(true) << true << int(Qt::Checked) << 1;
    QTest::newRow("bool false") << QVariant(false) << true << int(Qt::Unchecked) << 0;
    QTest::newRow("digit text") << QVariant(QStringLiteral("2")) << true << int(Qt::Checked) << 1;
    QTest::newRow("too large") << QVariant(3) << false << int(Qt::Unchecked) << 0;
    QTest::newRow("negative") << QVariant(-1) << false << int(Qt::Unchecked) << 0;
    QTest::newRow("text") << QVariant(QStringLiteral("yes")) << false << int(Qt::Unchecked) << 0;
    QTest::newRow("invalid") << QVariant() << false << int(Qt::Unchecked) << 0;
}

void TableModelTest::checkStates()
{
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, stored);
    QFETCH(int, emissions);
    Table table;
    QSignalSpy changed(&table.model, &QAbstractItemModel::dataChanged);

    QCOMPARE(table.model.setData(table.model.index(2, 0), value, Qt::CheckStateRole), accepted);
    QCOMPARE(table.model.index(2, 0).data(Qt::CheckStateRole), QVariant(stored));
    QCOMPARE(table.model.index(1, 0).data(Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
    QCOMPARE(changed.count(), emissions);
    if (emissions == 1) {
        QCOMPARE(changed.at(0).at(0).toModelIndex(), table.model.index(2, 0));
        QCOMPARE(changed.at(0).at(1).toModelIndex(), table.model.index(2, 0));
        QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{Qt::CheckStateRole});
    }
    // The same state again changes nothing.
    table.model.setData(table.model.index(2, 0), value, Qt::CheckStateRole);
    QCOMPARE(changed.count(), emissions);
}

void TableModelTest::setDataRefusesOtherCells_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");

    QTest::newRow("listed column") << 1 << 2 << int(Qt::CheckStateRole);
    QTest::newRow("key column") << 1 << 5 << int(Qt::CheckStateRole);
    QTest::newRow("edit role") << 1 << 0 << int(Qt::EditRole);
    QTest::newRow("display role") << 1 << 0 << int(Qt::DisplayRole);
    QTest::newRow("row past the end") << 3 << 0 << int(Qt::CheckStateRole);
}

void TableModelTest::setDataRefusesOtherCells()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, role);
    Table table;
    QSignalSpy changed(&table.model, &QAbstractItemModel::dataChanged);
    QVERIFY(!table.model.setData(table.model.index(row, column), int(Qt::Checked), role));
    QCOMPARE(changed.count(), 0);
    for (int r = 0; r < table.model.rowCount(); ++r)
        QCOMPARE(table.model.index(r, 0).data(Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
}

void TableModelTest::headerCheckState_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("stored");

    QTest::newRow("checked") << 0 << int(Qt::Horizontal) << int(Qt::CheckStateRole) << QVariant(2) << true << 2;
    QTest::newRow("partially") << 0 << int(Qt::Horizontal) << int(Qt::CheckStateRole) << QVariant(1) << true << 1;
    QTest::newRow("unchanged") << 0 << int(Qt::Horizontal) << int(Qt::CheckStateRole) << QVariant(0) << true << 0;
    QTest::newRow("other section") << 1 << int(Qt::Horizontal) << int(Qt::CheckStateRole) << QVariant(2) << false << 0;
    QTest::newRow("vertical") << 0 << int(Qt::Vertical) << int(Qt::CheckStateRole) << QVariant(2) << false << 0;
    QTest::newRow("display role") << 0 << int(Qt::Horizontal) << int(Qt::DisplayRole) << QVariant(2) << false << 0;
    QTest::newRow("bad state") << 0 << int(Qt::Horizontal) << int(Qt::CheckStateRole) << QVariant(5) << false << 0;
}

void TableModelTest::headerCheckState()
{
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(QVariant, value);
    QFETCH(bool, accepted);
    QFETCH(int, stored);
    Table table;
    QSignalSpy changed(&table.model, &QAbstractItemModel::headerDataChanged);

    QCOMPARE(table.model.setHeaderData(section, Qt::Orientation(orientation), value, role), accepted);
    QCOMPARE(table.model.headerData(0, Qt::Horizontal, Qt::CheckStateRole), QVariant(stored));
    QCOMPARE(changed.count(), stored == 0 ? 0 : 1);
    if (stored != 0) {
        QCOMPARE(changed.at(0).at(0).value<Qt::Orientation>(), Qt::Horizontal);
        QCOMPARE(changed.at(0).at(1).toInt(), 0);
        QCOMPARE(changed.at(0).at(2).toInt(), 0);
    }
}

void TableModelTest::newDataSourceIsAReset()
{
    Table table;
    table.readEveryCell();
    table.model.setData(table.model.index(1, 0), int(Qt::Checked), Qt::CheckStateRole);
    table.model.setHeaderData(0, Qt::Horizontal, int(Qt::PartiallyChecked), Qt::CheckStateRole);
    QSignalSpy aboutToReset(&table.model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy reset(&table.model, &QAbstractItemModel::modelReset);
    QSignalSpy aboutToInsert(&table.model, &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy inserted(&table.model, &QAbstractItemModel::rowsInserted);

    table.model.setDataSource(table.makeRows(4));
    QCOMPARE(aboutToReset.count(), 1);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(aboutToInsert.count(), 0);
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(table.model.rowCount(), 4);
    QCOMPARE(table.model.dataSource().size(), 4);
    for (int row = 0; row < 4; ++row)
        QCOMPARE(table.model.index(row, 0).data(Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
    QCOMPARE(table.model.headerData(0, Qt::Horizontal, Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
    // Row 0 now holds another record: nothing of the old row 0 is shown.
    QCOMPARE(table.model.index(0, 1).data().toString(), QStringLiteral("#14"));
    QCOMPARE(table.model.index(0, 5).data(Qt::UserRole), QVariant(14));
}

void TableModelTest::insertedRowsAreAppended()
{
    Table table;
    table.readEveryCell();
    table.model.setData(table.model.index(1, 0), int(Qt::Checked), Qt::CheckStateRole);
    QSignalSpy aboutToReset(&table.model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy aboutToInsert(&table.model, &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy inserted(&table.model, &QAbstractItemModel::rowsInserted);

    table.model.setInsertedDataSource({});
    QCOMPARE(aboutToInsert.count(), 0);

    table.model.setInsertedDataSource(table.makeRows(2));
    QCOMPARE(aboutToReset.count(), 0);
    QCOMPARE(aboutToInsert.count(), 1);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(0).toModelIndex(), QModelIndex());
    QCOMPARE(inserted.at(0).at(1).toInt(), 3);
    QCOMPARE(inserted.at(0).at(2).toInt(), 4);
    QCOMPARE(aboutToInsert.at(0), inserted.at(0));
    QCOMPARE(table.model.rowCount(), 5);
    QCOMPARE(table.model.index(1, 0).data(Qt::CheckStateRole), QVariant(int(Qt::Checked)));
    QCOMPARE(table.model.index(3, 0).data(Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
    QCOMPARE(table.model.index(4, 1).data().toString(), QStringLiteral("#15"));
    QCOMPARE(table.model.index(4, 3).data(Qt::UserRole), QVariant(1500));
    QCOMPARE(table.model.index(2, 1).data().toString(), QStringLiteral("#13"));
}

void TableModelTest::insertionLoosensACheckedHeader_data()
{
    QTest::addColumn<int>("rowsBefore");
    QTest::addColumn<int>("headerBefore");
    QTest::addColumn<int>("headerAfter");

    QTest::newRow("checked rows") << 3 << int(Qt::Checked) << int(Qt::PartiallyChecked);
    QTest::newRow("checked empty table") << 0 << int(Qt::Checked) << int(Qt::Unchecked);
    QTest::newRow("partially") << 3 << int(Qt::PartiallyChecked) << int(Qt::PartiallyChecked);
    QTest::newRow("unchecked") << 3 << int(Qt::Unchecked) << int(Qt::Unchecked);
}

void TableModelTest::insertionLoosensACheckedHeader()
{
    QFETCH(int, rowsBefore);
    QFETCH(int, headerBefore);
    QFETCH(int, headerAfter);
    Table table(rowsBefore);
    table.model.setHeaderData(0, Qt::Horizontal, headerBefore, Qt::CheckStateRole);
    QSignalSpy changed(&table.model, &QAbstractItemModel::headerDataChanged);

    table.model.setInsertedDataSource(table.makeRows(1));
    QCOMPARE(table.model.headerData(0, Qt::Horizontal, Qt::CheckStateRole), QVariant(headerAfter));
    QCOMPARE(changed.count(), headerBefore == headerAfter ? 0 : 1);
}

void TableModelTest::invalidCellsAnswerNothing_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("row past the end") << 3 << 1;
    QTest::newRow("column past the end") << 0 << 6;
    QTest::newRow("negative row") << -1 << 1;
    QTest::newRow("negative column") << 0 << -1;
}

void TableModelTest::invalidCellsAnswerNothing()
{
    QFETCH(int, row);
    QFETCH(int, column);
    Table table;
    const QModelIndex cell = table.model.index(row, column);
    QVERIFY(!cell.isValid());
    QVERIFY(!table.model.data(cell).isValid());
    QCOMPARE(table.model.flags(cell), Qt::NoItemFlags);
    QVERIFY(!table.model.setData(cell, int(Qt::Checked), Qt::CheckStateRole));
    QCOMPARE(table.model.cachedDisplayText(row, column), QString());
    QVERIFY(!table.model.cachedUserValue(row, column).isValid());
    QCOMPARE(table.model.index(0, 1, table.model.index(0, 1)), QModelIndex());
    QCOMPARE(table.model.rowCount(table.model.index(0, 1)), 0);
    QCOMPARE(table.model.columnCount(table.model.index(0, 1)), 0);

    // A cell of another model, at a place this one has.
    QStandardItemModel other(3, 6);
    const QModelIndex foreign = other.index(1, 0);
    QVERIFY(!table.model.data(foreign, Qt::CheckStateRole).isValid());
    QCOMPARE(table.model.flags(foreign), Qt::NoItemFlags);
    QVERIFY(!table.model.setData(foreign, int(Qt::Checked), Qt::CheckStateRole));
    QCOMPARE(table.model.index(1, 0).data(Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
}

void TableModelTest::columnChangesResetTheModel()
{
    Table table;
    QSignalSpy reset(&table.model, &QAbstractItemModel::modelReset);

    table.model.setColumnOffset(2);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(table.model.columnCount(), 7);
    QVERIFY(!table.model.index(0, 1).data(Qt::CheckStateRole).isValid());
    QCOMPARE(int(table.model.flags(table.model.index(0, 1))), int(Qt::ItemIsEnabled | Qt::ItemIsSelectable));
    QCOMPARE(table.model.index(0, 2).data().toString(), QStringLiteral("#11"));
    QCOMPARE(table.model.index(0, 6).data(Qt::UserRole), QVariant(11));
    table.model.setColumnOffset(2);
    QCOMPARE(reset.count(), 1);

    table.model.setColumnOffset(0);
    QCOMPARE(reset.count(), 2);
    QCOMPARE(table.model.index(0, 0).data().toString(), QStringLiteral("#11"));
    QVERIFY(!table.model.index(0, 0).data(Qt::CheckStateRole).isValid());
    QVERIFY(!table.model.setHeaderData(0, Qt::Horizontal, int(Qt::Checked), Qt::CheckStateRole));
    QVERIFY(!table.model.headerData(0, Qt::Horizontal, Qt::CheckStateRole).isValid());

    QList<ColProperty*> two = table.header.getShowColumns().mid(1, 2);
    table.model.setHeader(&table.header, two);
    QCOMPARE(reset.count(), 3);
    QCOMPARE(table.model.columnCount(), 3);
    QCOMPARE(table.model.index(2, 0).data().toString(), QStringLiteral("6013000"));
    QCOMPARE(table.model.index(2, 1).data().toString(), QStringLiteral("1300"));
    QCOMPARE(table.model.index(2, 2).data().toString(), QStringLiteral("K13"));

    QSignalSpy titles(&table.model, &QAbstractItemModel::headerDataChanged);
    table.model.setHorizontalHeaderList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    QCOMPARE(titles.count(), 1);
    QCOMPARE(titles.at(0).at(1).toInt(), 0);
    QCOMPARE(titles.at(0).at(2).toInt(), 2);
    QCOMPARE(table.model.headerData(1, Qt::Horizontal).toString(), QStringLiteral("b"));
}

void TableModelTest::alignmentChangeKeepsTheCache()
{
    Table table;
    table.readEveryCell();
    table.records[0]->volume = 1;
    table.header.displayCalls.clear();
    QSignalSpy headerChanged(&table.model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy changed(&table.model, &QAbstractItemModel::dataChanged);

    table.model.setAlignment({kAlignRight, kAlignCenter});
    QCOMPARE(headerChanged.count(), 1);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), table.model.index(0, 0));
    QCOMPARE(changed.at(0).at(1).toModelIndex(), table.model.index(2, 5));
    QCOMPARE(changed.at(0).at(2).value<QVector<int>>(), QVector<int>{Qt::TextAlignmentRole});
    QCOMPARE(table.model.index(0, 1).data(Qt::TextAlignmentRole), QVariant(kAlignCenter));
    QCOMPARE(table.model.index(0, 3).data().toString(), QStringLiteral("1100"));
    QCOMPARE(table.header.displayCalls.value(11), 0);
}

void TableModelTest::deletedHeaderLeavesEmptyCells()
{
    auto header = std::make_unique<CountingHeader>();
    MyStandardTableModel model(QStringLiteral("THTestModel"), kAccount, nullptr);
    new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal, &model);
    model.setColumnOffset(1);
    QList<ColProperty*> columns = header->getShowColumns();
    model.setHeader(header.get(), columns);
    Record record{5, QStringLiteral("600000"), 100};
    model.setDataSource({&record});
    QCOMPARE(model.index(0, 2).data().toString(), QStringLiteral("600000"));

    header.reset();
    emit model.dataChanged(model.index(0, 0), model.index(0, model.columnCount() - 1));
    QCOMPARE(model.index(0, 2).data(), QVariant(QString()));
    QVERIFY(!model.index(0, 2).data(Qt::UserRole).isValid());
    QVERIFY(!model.index(0, model.columnCount() - 1).data(Qt::ToolTipRole).isValid());
}

QTEST_MAIN(TableModelTest)
#include "tst_tablemodel.moc"
