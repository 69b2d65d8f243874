#include "TableHeader.h"
#include "VelmTest.h"

#include <QPointer>
#include <QSettings>
#include <QWidget>
#include <QtTest>

#include <memory>

namespace {

const QString kKey = QStringLiteral("THTestOrders");
const QString kOtherKey = QStringLiteral("THTestOther");

// Declares 1, 2, 3 shown and 4 hidden by default, as a table's column set does.
std::unique_ptr<TableHeader> makeHeader(const QString& key = kKey)
{
    auto header = std::make_unique<TableHeader>(key, nullptr);
    header->addColumn(1, QStringLiteral("母任务号"), 60, Qt::AlignRight | Qt::AlignVCenter, true);
    header->addColumn(2, QStringLiteral("证券代码"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
    header->addColumn(3, QStringLiteral("买卖方向"), 70, Qt::AlignHCenter | Qt::AlignVCenter, true);
    header->addColumn(4, QStringLiteral("备注"), 90, Qt::AlignLeft | Qt::AlignVCenter, false);
    return header;
}

QList<int> idsOf(const QList<ColProperty*>& columns)
{
    QList<int> ids;
    for (const ColProperty* column : columns)
        ids.append(column->id);
    return ids;
}

void writeChoice(const QString& key, const QVariant& value)
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("TableHeader"));
    settings.setValue(key, value);
}

QVariant storedChoice(const QString& key)
{
    QSettings settings;
    settings.beginGroup(QStringLiteral("TableHeader"));
    return settings.value(key);
}

} // namespace

// The column set of a host table and the user's saved choice of shown columns.
class TableHeaderTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void declaredDefaultsAreShownInOrder();
    void savedChoiceIsApplied_data();
    void savedChoiceIsApplied();
    void saveThenInitRoundTrip();
    void choicesOfOtherTablesStayApart();
    void toJsonListsColumnsInDisplayOrder();
    void duplicateIdIsIgnored();
    void baseValuesAreEmpty();
    void diesWithItsParentWidget();
};

void TableHeaderTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
}

void TableHeaderTest::init()
{
    QSettings().remove(QStringLiteral("TableHeader"));
}

void TableHeaderTest::declaredDefaultsAreShownInOrder()
{
    const auto header = makeHeader();
    QCOMPARE(idsOf(header->getShowColumns()), QList<int>({1, 2, 3}));
    header->initUserColumn();
    QCOMPARE(idsOf(header->getShowColumns()), QList<int>({1, 2, 3}));
    QCOMPARE(idsOf(header->allColumns()), QList<int>({1, 2, 3, 4}));
    const ColProperty* direction = header->allColumns().at(2);
    QCOMPARE(direction->title, QStringLiteral("买卖方向"));
    QCOMPARE(direction->width, 70);
    QCOMPARE(direction->alignment, Qt::AlignHCenter | Qt::AlignVCenter);
    QCOMPARE(direction->shown, true);
    QCOMPARE(header->allColumns().at(3)->shown, false);
}

void TableHeaderTest::savedChoiceIsApplied_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QList<int>>("shown");

    const QList<int> defaults{1, 2, 3};
    QTest::newRow("order kept") << QVariant(QStringLiteral("[3,1]")) << QList<int>{3, 1};
    QTest::newRow("hidden by default chosen") << QVariant(QStringLiteral("[4,2]")) << QList<int>{4, 2};
    QTest::newRow("unknown ids dropped") << QVariant(QStringLiteral("[9,2,77,1]")) << QList<int>{2, 1};
    QTest::newRow("repeated id once") << QVariant(QStringLiteral("[2,2,1,2]")) << QList<int>{2, 1};
    QTest::newRow("fraction dropped") << QVariant(QStringLiteral("[1.5,3]")) << QList<int>{3};
    QTest::newRow("strings dropped") << QVariant(QStringLiteral("[\"1\",2]")) << QList<int>{2};
    QTest::newRow("huge number dropped") << QVariant(QStringLiteral("[1e20,3]")) << QList<int>{3};
    QTest::newRow("missing") << QVariant() << defaults;
    QTest::newRow("empty text") << QVariant(QString()) << defaults;
    QTest::newRow("empty array") << QVariant(QStringLiteral("[]")) << defaults;
    QTest::newRow("no known id") << QVariant(QStringLiteral("[7,8]")) << defaults;
    QTest::newRow("not json") << QVariant(QStringLiteral("1,2,3")) << defaults;
    QTest::newRow("truncated json") << QVariant(QStringLiteral("[3,1")) << defaults;
    QTest::newRow("object") << QVariant(QStringLiteral("{\"ids\":[3,1]}")) << defaults;
    QTest::newRow("number") << QVariant(QStringLiteral("3")) << defaults;
}

void TableHeaderTest::savedChoiceIsApplied()
{
    QFETCH(QVariant, stored);
    QFETCH(QList<int>, shown);
    if (stored.isValid())
        writeChoice(kKey, stored);

    const auto header = makeHeader();
    header->initUserColumn();
    QCOMPARE(idsOf(header->getShowColumns()), shown);
}

void TableHeaderTest::saveThenInitRoundTrip()
{
    const auto header = makeHeader();
    header->saveUserColumn({3, 99, 4, 3});
    QCOMPARE(storedChoice(kKey).toString(), QStringLiteral("[3,4]"));
    // Saving does not change what is shown until the choice is applied.
    QCOMPARE(idsOf(header->getShowColumns()), QList<int>({1, 2, 3}));

    const auto reopened = makeHeader();
    reopened->initUserColumn();
    QCOMPARE(idsOf(reopened->getShowColumns()), QList<int>({3, 4}));

    reopened->saveUserColumn({99});
    QCOMPARE(storedChoice(kKey).toString(), QStringLiteral("[]"));
    reopened->initUserColumn();
    QCOMPARE(idsOf(reopened->getShowColumns()), QList<int>({1, 2, 3}));
}

void TableHeaderTest::choicesOfOtherTablesStayApart()
{
    makeHeader(kOtherKey)->saveUserColumn({2});
    const auto header = makeHeader();
    header->initUserColumn();
    QCOMPARE(idsOf(header->getShowColumns()), QList<int>({1, 2, 3}));
    const auto other = makeHeader(kOtherKey);
    other->initUserColumn();
    QCOMPARE(idsOf(other->getShowColumns()), QList<int>({2}));
}

void TableHeaderTest::toJsonListsColumnsInDisplayOrder()
{
    writeChoice(kKey, QStringLiteral("[3,1]"));
    const auto header = makeHeader();
    header->initUserColumn();
    const QString expected = QStringLiteral(
        "[{\"alignment\":132,\"id\":3,\"shown\":true,\"title\":\"买卖方向\",\"width\":70},"
        "{\"alignment\":130,\"id\":1,\"shown\":true,\"title\":\"母任务号\",\"width\":60},"
        "{\"alignment\":130,\"id\":2,\"shown\":false,\"title\":\"证券代码\",\"width\":75},"
        "{\"alignment\":129,\"id\":4,\"shown\":false,\"title\":\"备注\",\"width\":90}]");
    QCOMPARE(header->toJson(), expected);
}

void TableHeaderTest::duplicateIdIsIgnored()
{
    const auto header = makeHeader();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("column id 2 declared twice")));
    header->addColumn(2, QStringLiteral("重复"), 10, Qt::AlignLeft, true);
    QCOMPARE(idsOf(header->allColumns()), QList<int>({1, 2, 3, 4}));
    QCOMPARE(header->allColumns().at(1)->title, QStringLiteral("证券代码"));
    QCOMPARE(idsOf(header->getShowColumns()), QList<int>({1, 2, 3}));
}

void TableHeaderTest::baseValuesAreEmpty()
{
    const auto header = makeHeader();
    int record = 5;
    const std::any row = &record;
    QVERIFY(header->getColumnValue(1, row, nullptr).isNull());
    QVERIFY(!header->getColumnValueUserRole(1, row, nullptr).isValid());
    QVERIFY(!header->getColumnValueUserRoleOffset(1, 2, row, nullptr).isValid());
    QVERIFY(!header->getRowValue(Qt::DisplayRole, row).isValid());
    QVERIFY(!header->getRowValue(Qt::UserRole, row).isValid());
}

void TableHeaderTest::diesWithItsParentWidget()
{
    auto* parent = new QWidget;
    QPointer<TableHeader> owned = new TableHeader(kKey, parent);
    owned->addColumn(1, QStringLiteral("a"), 10, Qt::AlignLeft, true);
    QCOMPARE(owned->parent(), parent);
    delete parent;
    QVERIFY(owned.isNull());

    const auto orphan = makeHeader();
    QCOMPARE(orphan->parent(), nullptr);
    QCOMPARE(orphan->key(), kKey);
}

QTEST_MAIN(TableHeaderTest)
#include "tst_tableheader.moc"
