#include "MyTableView.h"
#include "VelmTest.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QStandardItemModel>
#include <QtTest>

namespace {

// Records what the viewport was asked to repaint.
class RecordingView final : public MyTableView
{
public:
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        painted += event->region();
        MyTableView::paintEvent(event);
    }
};

} // namespace

// The host view repaints only what a change touches, so that a changed row of a large table
// does not cost a whole frame.
class TableViewTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init();
    void cleanup();

    void changedRowsRepaintTheirStrip_data();
    void changedRowsRepaintTheirStrip();
    void editableViewsKeepTheStockRepaint();
    void rowsChooseTheirOwnHeight();

private:
    QRect stripOf(int firstRow, int lastRow) const;

    QStandardItemModel* m_model = nullptr;
    RecordingView* m_view = nullptr;
};

void TableViewTest::init()
{
    m_model = new QStandardItemModel(200, 6, this);
    m_view = new RecordingView;
    m_view->setModel(m_model);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->verticalHeader()->setDefaultSectionSize(23);
    m_view->resize(600, 300);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
    QCoreApplication::processEvents();
    m_view->painted = QRegion();
}

void TableViewTest::cleanup()
{
    delete m_view;
    delete m_model;
}

QRect TableViewTest::stripOf(int firstRow, int lastRow) const
{
    const int top = m_view->rowViewportPosition(firstRow);
    const int bottom = m_view->rowViewportPosition(lastRow) + m_view->rowHeight(lastRow);
    return QRect(0, top, m_view->viewport()->width(), bottom - top).intersected(m_view->viewport()->rect());
}

void TableViewTest::changedRowsRepaintTheirStrip_data()
{
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<int>("lastRow");
    QTest::addColumn<bool>("onScreen");
    QTest::newRow("one row") << 3 << 3 << true;
    QTest::newRow("three rows") << 2 << 4 << true;
    QTest::newRow("rows reaching past the bottom") << 8 << 150 << true;
    QTest::newRow("rows below the viewport") << 120 << 130 << false;
}

void TableViewTest::changedRowsRepaintTheirStrip()
{
    QFETCH(int, firstRow);
    QFETCH(int, lastRow);
    QFETCH(bool, onScreen);
    emit m_model->dataChanged(m_model->index(firstRow, 0), m_model->index(lastRow, 5));
    QCoreApplication::processEvents();
    if (!onScreen) {
        QVERIFY(m_view->painted.isEmpty());
        return;
    }
    QCOMPARE(m_view->painted.boundingRect(), stripOf(firstRow, lastRow));
}

void TableViewTest::editableViewsKeepTheStockRepaint()
{
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked);
    emit m_model->dataChanged(m_model->index(3, 0), m_model->index(3, 5));
    QCoreApplication::processEvents();
    QCOMPARE(m_view->painted.boundingRect(), m_view->viewport()->rect());
}

void TableViewTest::rowsChooseTheirOwnHeight()
{
    // The style's minimum section size would otherwise lift a 23-pixel row.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(18);
    QCOMPARE(m_view->rowHeight(0), 18);
    QVERIFY(!m_view->wordWrap());
}

QTEST_MAIN(TableViewTest)
#include "tst_tableview.moc"
