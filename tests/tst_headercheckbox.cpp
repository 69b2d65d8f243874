#include "MyHeaderViewWithCheckbox.h"
#include "MySFProxyModel.h"
#include "MyStandardTableModel.h"
#include "MyTableView.h"
#include "TableHeader.h"
#include "VelmTest.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStyle>
#include <QtTest>

#include <memory>

namespace {

// A monitor table in miniature: check column, two columns, the hidden key; sorted by the key.
struct Table
{
    Table()
        : header(QStringLiteral("THTestHeader"), nullptr)
        , model(QStringLiteral("THTestHeader"), 0, nullptr)
        , proxy(QStringLiteral("THTestHeader"), nullptr)
    {
        new QAbstractItemModelTester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal, &model);
        new QAbstractItemModelTester(&proxy, QAbstractItemModelTester::FailureReportingMode::Fatal, &proxy);
        header.addColumn(1, QStringLiteral("母任务号"), 80, Qt::AlignRight | Qt::AlignVCenter, true);
        header.addColumn(2, QStringLiteral("证券代码"), 80, Qt::AlignRight | Qt::AlignVCenter, true);
        QList<ColProperty*> columns = header.getShowColumns();
        model.setColumnOffset(1);
        model.setHorizontalHeaderList({QString(), QStringLiteral("母任务号"), QStringLiteral("证券代码"),
                                       QStringLiteral("hiddenColumnm")});
        model.setHeader(&header, columns);
        model.setDataSource({1, 2, 3});
        proxy.setColumnOffset(1);
        proxy.setSourceModel(&model);

        checkHeader = new MyHeaderViewWithCheckbox(Qt::Horizontal, &view);
        checkHeader->setSectionsClickable(true);
        checkHeader->setSortIndicatorShown(true);
        view.setHorizontalHeader(checkHeader);
        view.setModel(&proxy);
        view.setSortingEnabled(true);
        view.sortByColumn(3, Qt::AscendingOrder);
        view.setColumnWidth(0, 40);
        view.resize(400, 200);
        view.show();
    }

    QPoint centreOf(int section) const
    {
        return QPoint(checkHeader->sectionViewportPosition(section) + checkHeader->sectionSize(section) / 2,
                      checkHeader->height() / 2);
    }
    QVariant headerState() const { return model.headerData(0, Qt::Horizontal, Qt::CheckStateRole); }

    TableHeader header;
    MyStandardTableModel model;
    MySFProxyModel proxy;
    MyTableView view;
    MyHeaderViewWithCheckbox* checkHeader = nullptr;
};

} // namespace

// The select-all check box in section 0 of a table's horizontal header.
class HeaderCheckboxTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void clickOnSectionZero_data();
    void clickOnSectionZero();
    void doubleClickTogglesTwice();
    void boxIsCentredAndShowsTheState();
    void headerWithoutCheckStateSortsAsUsual();
    void viewKeepsLargeTablesCheap();
};

void HeaderCheckboxTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
}

void HeaderCheckboxTest::clickOnSectionZero_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("pressSection");
    QTest::addColumn<int>("releaseSection");
    QTest::addColumn<int>("stateBefore");
    QTest::addColumn<int>("stateAfter");
    QTest::addColumn<int>("emitted");
    QTest::addColumn<int>("sortSection");

    const int left = Qt::LeftButton;
    const int right = Qt::RightButton;
    QTest::newRow("unchecked") << left << 0 << 0 << int(Qt::Unchecked) << int(Qt::Checked) << 1 << 3;
    QTest::newRow("checked") << left << 0 << 0 << int(Qt::Checked) << int(Qt::Unchecked) << 1 << 3;
    QTest::newRow("partially") << left << 0 << 0 << int(Qt::PartiallyChecked) << int(Qt::Checked) << 1 << 3;
    QTest::newRow("right button") << right << 0 << 0 << int(Qt::Unchecked) << int(Qt::Unchecked) << 0 << 3;
    QTest::newRow("released elsewhere") << left << 0 << 2 << int(Qt::Unchecked) << int(Qt::Unchecked) << 0 << 3;
    QTest::newRow("other section") << left << 1 << 1 << int(Qt::Unchecked) << int(Qt::Unchecked) << 0 << 1;
    QTest::newRow("pressed elsewhere") << left << 1 << 0 << int(Qt::Checked) << int(Qt::Checked) << 0 << 3;
}

void HeaderCheckboxTest::clickOnSectionZero()
{
    QFETCH(int, button);
    QFETCH(int, pressSection);
    QFETCH(int, releaseSection);
    QFETCH(int, stateBefore);
    QFETCH(int, stateAfter);
    QFETCH(int, emitted);
    QFETCH(int, sortSection);
    Table table;
    QVERIFY(QTest::qWaitForWindowExposed(&table.view));
    table.model.setHeaderData(0, Qt::Horizontal, stateBefore, Qt::CheckStateRole);
    QSignalSpy toggled(table.checkHeader, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged);

    QWidget* area = table.checkHeader->viewport();
    QTest::mousePress(area, Qt::MouseButton(button), Qt::NoModifier, table.centreOf(pressSection));
    QCOMPARE(toggled.count(), 0);
    QTest::mouseRelease(area, Qt::MouseButton(button), Qt::NoModifier, table.centreOf(releaseSection));

    QCOMPARE(toggled.count(), emitted);
    if (emitted == 1)
        QCOMPARE(toggled.at(0).at(0).toBool(), stateAfter == Qt::Checked);
    QCOMPARE(table.headerState(), QVariant(stateAfter));
    QCOMPARE(table.proxy.headerData(0, Qt::Horizontal, Qt::CheckStateRole), QVariant(stateAfter));
    QCOMPARE(table.checkHeader->sortIndicatorSection(), sortSection);
    QCOMPARE(table.proxy.sortColumn(), sortSection);
}

void HeaderCheckboxTest::doubleClickTogglesTwice()
{
    Table table;
    QVERIFY(QTest::qWaitForWindowExposed(&table.view));
    QSignalSpy toggled(table.checkHeader, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged);
    // What the platform sends for a double click.
    QWidget* area = table.checkHeader->viewport();
    const QPoint box = table.centreOf(0);
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, box);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, box);
    QTest::mouseDClick(area, Qt::LeftButton, Qt::NoModifier, box);
    QCOMPARE(toggled.count(), 1);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, box);
    QCOMPARE(toggled.count(), 2);
    QCOMPARE(toggled.at(0).at(0).toBool(), true);
    QCOMPARE(toggled.at(1).at(0).toBool(), false);
    QCOMPARE(table.headerState(), QVariant(int(Qt::Unchecked)));
    QCOMPARE(table.checkHeader->sortIndicatorSection(), 3);
}

void HeaderCheckboxTest::boxIsCentredAndShowsTheState()
{
    Table table;
    QVERIFY(QTest::qWaitForWindowExposed(&table.view));
    MyHeaderViewWithCheckbox* header = table.checkHeader;
    const QRect section(header->sectionViewportPosition(0), 0, header->sectionSize(0), header->height());
    const QRect box = header->checkBoxRect(section);
    QCOMPARE(box.width(), header->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, header));
    QCOMPARE(box.height(), header->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, header));
    QVERIFY(qAbs(box.center().x() - section.center().x()) <= 1);
    QVERIFY(qAbs(box.center().y() - section.center().y()) <= 1);

    const auto boxImage = [&](int state) {
        table.model.setHeaderData(0, Qt::Horizontal, state, Qt::CheckStateRole);
        return header->viewport()->grab(box).toImage();
    };
    const QImage unchecked = boxImage(Qt::Unchecked);
    const QImage partially = boxImage(Qt::PartiallyChecked);
    const QImage checked = boxImage(Qt::Checked);
    QVERIFY(unchecked != checked);
    QVERIFY(unchecked != partially);
    QVERIFY(checked != partially);
    QCOMPARE(boxImage(Qt::Unchecked), unchecked);

    // Section 1 carries no box: it looks the same whatever the state.
    const QRect other(header->sectionViewportPosition(1), 0, header->sectionSize(1), header->height());
    table.model.setHeaderData(0, Qt::Horizontal, int(Qt::Unchecked), Qt::CheckStateRole);
    const QImage otherUnchecked = header->viewport()->grab(other).toImage();
    table.model.setHeaderData(0, Qt::Horizontal, int(Qt::Checked), Qt::CheckStateRole);
    QCOMPARE(header->viewport()->grab(other).toImage(), otherUnchecked);
}

void HeaderCheckboxTest::headerWithoutCheckStateSortsAsUsual()
{
    QStandardItemModel model(3, 2);
    for (int row = 0; row < 3; ++row)
        model.setItem(row, 0, new QStandardItem(QString::number(3 - row)));
    QTableView view;
    auto* header = new MyHeaderViewWithCheckbox(Qt::Horizontal, &view);
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    view.setHorizontalHeader(header);
    view.setModel(&model);
    view.setSortingEnabled(true);
    view.sortByColumn(1, Qt::AscendingOrder);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy toggled(header, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged);

    const QPoint centre(header->sectionViewportPosition(0) + header->sectionSize(0) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QCOMPARE(toggled.count(), 0);
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(model.item(0, 0)->text(), QStringLiteral("1"));
}

void HeaderCheckboxTest::viewKeepsLargeTablesCheap()
{
    MyTableView view;
    QCOMPARE(view.wordWrap(), false);
    QCOMPARE(view.horizontalScrollMode(), QAbstractItemView::ScrollPerPixel);
    QCOMPARE(view.horizontalHeader()->resizeContentsPrecision(), 0);
    QCOMPARE(view.verticalHeader()->resizeContentsPrecision(), 0);
}

QTEST_MAIN(HeaderCheckboxTest)
#include "tst_headercheckbox.moc"
