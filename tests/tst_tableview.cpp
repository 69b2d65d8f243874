#include "MyHeaderViewWithCheckbox.h"
#include "MyTableView.h"
#include "VelmTest.h"

#include <QHeaderView>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QToolTip>
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

// Rows firstRow..lastRow changed; an editable view keeps Qt's whole-viewport repaint.
struct Change { int firstRow, lastRow; bool editable; };
Q_DECLARE_METATYPE(Change)

// Pressed on section `pressAt`, released on `releaseAt` (`twice`: then a double click as Qt sends it: double-click,
// release): the check state `before` and `after`, the toggle signals' arguments, the sorted section.
struct Click { Qt::MouseButton button; int pressAt, releaseAt; bool twice; QVariant before, after; QList<bool> toggles; int sortSection; };
Q_DECLARE_METATYPE(Click)

// A changed row of a large table must not cost a whole frame; zoom scales the layout; a cut-off
// cell can be read; the header's select-all check box in section 0.
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
        QTest::addColumn<Change>("change");
        QTest::newRow("one row") << Change{3, 3, false};
        QTest::newRow("rows reaching past the bottom") << Change{8, 150, false};
        QTest::newRow("rows below the viewport") << Change{120, 130, false};
        QTest::newRow("editable view") << Change{3, 3, true};
    }
    void changedRowsRepaintTheirStrip()
    {
        QFETCH(Change, change);
        const auto& [firstRow, lastRow, editable] = change;
        if (editable)
            m_view->setEditTriggers(QAbstractItemView::DoubleClicked);
        changeRows(firstRow, lastRow);
        const int top = m_view->rowViewportPosition(firstRow);
        const int bottom = m_view->rowViewportPosition(lastRow) + m_view->rowHeight(lastRow);
        const QRect strip = QRect(0, top, m_view->viewport()->width(), bottom - top).intersected(m_view->viewport()->rect());
        QCOMPARE(m_view->painted.boundingRect(), editable ? m_view->viewport()->rect() : strip); // empty when off screen
    }

    // Column 4 is hidden, column 5 stretches: neither is scaled.
    void zoomScalesWidthsAndRowHeightAndRestoresThem()
    {
        const auto setPointSize = [this](qreal size) { QFont font = m_view->font(); font.setPointSizeF(size); m_view->setFont(font); };
        const auto currentWidths = [this] { return QVector<int>{m_view->columnWidth(0), m_view->columnWidth(1), m_view->columnWidth(2), m_view->columnWidth(3)}; };
        setPointSize(9);
        const QVector<int> widths{47, 61, 95, 120};
        m_view->horizontalHeader()->setStretchLastSection(true);
        m_view->setColumnHidden(4, true);
        for (int column = 0; column < widths.size(); ++column)
            m_view->setColumnWidth(column, widths[column]);
        m_view->verticalHeader()->setDefaultSectionSize(23);
        setPointSize(13.5);
        QCOMPARE(currentWidths(), (QVector<int>{71, 92, 143, 180}));
        QCOMPARE(m_view->verticalHeader()->defaultSectionSize(), 35);
        setPointSize(9);
        QCOMPARE(currentWidths(), widths);
        QCOMPARE(m_view->verticalHeader()->defaultSectionSize(), 23);
        QVERIFY(m_view->isColumnHidden(4));
        setPointSize(7.2);
        QCOMPARE(currentWidths(), (QVector<int>{38, 49, 76, 96}));
        setPointSize(9);
        QCOMPARE(currentWidths(), widths);
        // A width the trader set while zoomed is the one kept for that zoom.
        setPointSize(13.5);
        m_view->setColumnWidth(1, 150);
        setPointSize(9);
        QCOMPARE(currentWidths(), (QVector<int>{47, 100, 95, 120}));
    }

    void elidedCellShowsItsTextAsToolTip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("modelTip");
        QTest::addColumn<QString>("shownTip");
        const QString longText = QStringLiteral("无有效自定价，委托价格超出涨跌停范围");
        QTest::newRow("cut off") << longText << QString() << longText;
        QTest::newRow("fits") << QStringLiteral("已报") << QString() << QString();
        QTest::newRow("the model's own tip") << longText << QStringLiteral("说明") << QStringLiteral("说明");
    }
    void elidedCellShowsItsTextAsToolTip()
    {
        QFETCH(QString, text);
        QFETCH(QString, modelTip);
        QFETCH(QString, shownTip);
        QToolTip::hideText();
        QTRY_VERIFY(!QToolTip::isVisible());
        m_model->setData(m_model->index(1, 2), text);
        m_model->setData(m_model->index(1, 2), modelTip, Qt::ToolTipRole);
        m_view->setColumnWidth(2, 80);
        QVERIFY(m_view->isCellTextElided(m_model->index(1, 2)) == (text.size() > 4));
        const QPoint at = m_view->visualRect(m_model->index(1, 2)).center();
        QHelpEvent event(QEvent::ToolTip, at, m_view->viewport()->mapToGlobal(at));
        QApplication::sendEvent(m_view->viewport(), &event);
        QCOMPARE(QToolTip::isVisible(), !shownTip.isEmpty());
        if (!shownTip.isEmpty())
            QCOMPARE(QToolTip::text(), shownTip);
    }

    void clickOnSectionZero_data()
    {
        QTest::addColumn<Click>("click");
        const QVariant none, unchecked(int(Qt::Unchecked)), checked(int(Qt::Checked)), partially(int(Qt::PartiallyChecked));
        QTest::newRow("unchecked") << Click{Qt::LeftButton, 0, 0, false, unchecked, checked, {true}, 2};
        QTest::newRow("partially") << Click{Qt::LeftButton, 0, 0, false, partially, checked, {true}, 2};
        QTest::newRow("right button") << Click{Qt::RightButton, 0, 0, false, unchecked, unchecked, {}, 2};
        QTest::newRow("released elsewhere") << Click{Qt::LeftButton, 0, 2, false, unchecked, unchecked, {}, 2};
        QTest::newRow("other section sorts") << Click{Qt::LeftButton, 1, 1, false, unchecked, unchecked, {}, 1};
        QTest::newRow("no check state sorts") << Click{Qt::LeftButton, 0, 0, false, none, none, {}, 0};
        QTest::newRow("double click toggles twice") << Click{Qt::LeftButton, 0, 0, true, unchecked, unchecked, {true, false}, 2};
    }
    void clickOnSectionZero()
    {
        QFETCH(Click, click);
        const auto& [button, pressAt, releaseAt, twice, before, after, toggles, sortSection] = click;
        auto* header = new MyHeaderViewWithCheckbox(Qt::Horizontal, m_view);
        header->setSectionsClickable(true);
        header->setSortIndicatorShown(true);
        m_view->setHorizontalHeader(header);
        m_view->setSortingEnabled(true);
        m_view->sortByColumn(2, Qt::AscendingOrder);
        const auto centreOf = [header](int section) {
            return QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
        };
        if (before.isValid())
            m_model->setHeaderData(0, Qt::Horizontal, before, Qt::CheckStateRole);
        QSignalSpy toggled(header, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged);
        QTest::mousePress(header->viewport(), button, Qt::NoModifier, centreOf(pressAt));
        QCOMPARE(toggled.count(), 0);
        QTest::mouseRelease(header->viewport(), button, Qt::NoModifier, centreOf(releaseAt));
        if (twice) {
            QTest::mouseDClick(header->viewport(), button, Qt::NoModifier, centreOf(pressAt));
            QCOMPARE(toggled.count(), 1);
            QTest::mouseRelease(header->viewport(), button, Qt::NoModifier, centreOf(releaseAt));
        }
        QList<bool> arguments;
        for (const QList<QVariant>& signal : toggled)
            arguments << signal.at(0).toBool();
        QCOMPARE(arguments, toggles);
        QCOMPARE(m_model->headerData(0, Qt::Horizontal, Qt::CheckStateRole), after);
        QCOMPARE(header->sortIndicatorSection(), sortSection);
    }
};

QTEST_MAIN(TableViewTest)
#include "tst_tableview.moc"
