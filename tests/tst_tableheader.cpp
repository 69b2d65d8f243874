#include "TableHeader.h"
#include "VelmTest.h"

#include <QSettings>
#include <QtTest>

#include <memory>

static const QString kSetting = QStringLiteral("TableHeader/THTestOrders");
static const QList<int> kDefaults{1, 2, 3};

class TableHeaderTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<TableHeader> header;

    // 1, 2, 3 shown and 4 hidden by default, as a table's column set declares them.
    static std::unique_ptr<TableHeader> makeHeader(const QString& key = QStringLiteral("THTestOrders"))
    {
        auto h = std::make_unique<TableHeader>(key, nullptr);
        h->addColumn(1, QStringLiteral("母任务号"), 60, Qt::AlignRight | Qt::AlignVCenter, true);
        h->addColumn(2, QStringLiteral("证券代码"), 75, Qt::AlignRight | Qt::AlignVCenter, true);
        h->addColumn(3, QStringLiteral("买卖方向"), 70, Qt::AlignHCenter | Qt::AlignVCenter, true);
        h->addColumn(4, QStringLiteral("备注"), 90, Qt::AlignLeft | Qt::AlignVCenter, false);
        return h;
    }
    static QList<int> shownIds(TableHeader& h)
    {
        QList<int> ids;
        for (const ColProperty* column : h.getShowColumns()) ids << column->id;
        return ids;
    }

private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); VelmTest::setUpWindowManager(); }
    void init() { QSettings().remove(QStringLiteral("TableHeader")); header = makeHeader(); }

    void savedChoiceIsApplied_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QList<int>>("shown");
        QTest::newRow("unknown and repeated ids dropped") << QVariant("[9,2,77,1,2]") << QList<int>{2, 1};
        QTest::newRow("fraction, string, huge dropped") << QVariant("[1.5,\"1\",1e20,3]") << QList<int>{3};
        QTest::newRow("missing") << QVariant() << kDefaults;
        QTest::newRow("no known id") << QVariant("[7,8]") << kDefaults;
        QTest::newRow("truncated") << QVariant("[3,1") << kDefaults;
    }
    void savedChoiceIsApplied()
    {
        QFETCH(QVariant, stored);
        if (stored.isValid())
            QSettings().setValue(kSetting, stored);
        header->initUserColumn();
        QTEST(shownIds(*header), "shown");
    }

    void saveThenInitRoundTrip()
    {
        makeHeader()->saveUserColumn({3, 99, 4, 3});
        QCOMPARE(QSettings().value(kSetting).toString(), QStringLiteral("[3,4]"));
        const auto otherTable = makeHeader(QStringLiteral("THTestOther"));
        header->initUserColumn();
        otherTable->initUserColumn();
        QCOMPARE(shownIds(*header), QList<int>({3, 4}));
        QCOMPARE(shownIds(*otherTable), kDefaults);
    }
};

QTEST_MAIN(TableHeaderTest)
#include "tst_tableheader.moc"
