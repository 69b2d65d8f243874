#include "MyTableView.h"
#include "VelmTest.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QStandardItemModel>
#include <QtTest>

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

// A changed row of a large table must not cost a whole frame.
class TableViewTest : public QObject
{
    Q_OBJECT
    QStandardItemModel* m_model = nullptr;
    RecordingView* m_view = nullptr;

    void changeRows(int firstRow, int lastRow)
    {
        emit m_model->dataChanged(m_model->index(firstRow, 0), m_model->index(lastRow, 5));
        QCoreApplication::processEvents();
    }

private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
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
    void cleanup()
    {
        delete m_view;
        delete m_model;
    }

    void changedRowsRepaintTheirStrip_data()
    {
        QTest::addColumn<int>("firstRow");
        QTest::addColumn<int>("lastRow");
        QTest::newRow("one row") << 3 << 3;
        QTest::newRow("three rows") << 2 << 4;
        QTest::newRow("rows reaching past the bottom") << 8 << 150;
        QTest::newRow("rows below the viewport") << 120 << 130;
    }
    void changedRowsRepaintTheirStrip()
    {
        QFETCH(int, firstRow);
        QFETCH(int, lastRow);
        changeRows(firstRow, lastRow);
        const int top = m_view->rowViewportPosition(firstRow);
        const int bottom = m_view->rowViewportPosition(lastRow) + m_view->rowHeight(lastRow);
        const QRect strip = QRect(0, top, m_view->viewport()->width(), bottom - top).intersected(m_view->viewport()->rect());
        QCOMPARE(m_view->painted.boundingRect(), strip); // empty when off screen
    }

    void editableViewsKeepTheStockRepaint()
    {
        m_view->setEditTriggers(QAbstractItemView::DoubleClicked);
        changeRows(3, 3);
        QCOMPARE(m_view->painted.boundingRect(), m_view->viewport()->rect());
    }
};

QTEST_MAIN(TableViewTest)
#include "tst_tableview.moc"
