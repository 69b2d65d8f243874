#include "MyHeaderViewWithCheckbox.h"
#include "MyItemDelegateSO.h"
#include "MyTableView.h"
#include "VelmTest.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QToolTip>
#include <QtTest>
#include <QtWidgets>

#include <memory>

using Velm_Space::MyItemDelegateSO;
using Velm_Space::TableBtnInfo;

namespace {

constexpr int kCheckColumn = 0, kColorColumn = 1, kButtonColumn = 2, kPlainColumn = 3;
// The condition of a check toggle a row goes without.
enum Lacking { Nothing, UserCheckable, ItemEnabled, OptionEnabled, CheckState };

QMouseEvent mouse(QEvent::Type type, QPoint at, Qt::MouseButton button)
{
    return QMouseEvent(type, at, at, button, type == QEvent::MouseButtonRelease ? Qt::NoButton : button,
                       Qt::NoModifier);
}

QStyleOptionViewItem optionFor(const QRect& rect)
{
    QStyleOptionViewItem option;
    option.rect = rect;
    option.state = QStyle::State_Enabled;
    return option;
}

// A check toggle: `state` after the event, 2 toggled (one signal), 0 untouched (none); `lacking`: a condition of a toggle.
struct Toggle { QEvent::Type type; int buttonOrKey; QPoint at; bool consumed; int state; Lacking lacking; };
// The corner pixel of cell (row, column) holding `text` with `direction` as its sort value.
struct Background { int row, column; QString text; int direction; QColor expected; };

const TableBtnInfo kModifyButton{Velm_Space::Modify, QStringLiteral("修改"), QString(), QSize(0, 0)};

} // namespace

Q_DECLARE_METATYPE(Toggle)
Q_DECLARE_METATYPE(Background)

// Pressed on section `pressAt`, released on `releaseAt` (`twice`: then a double click as Qt sends it: double-click,
// release): the check state `before` and `after`, the toggle signals' arguments, the sorted section.
struct Click { Qt::MouseButton button; int pressAt, releaseAt; bool twice; QVariant before, after; QList<bool> toggles; int sortSection; };
Q_DECLARE_METATYPE(Click)

// The host's table view: a cut-off cell can be read; the header's select-all check box in section 0.
// The monitor tables' delegate: check toggling and painted colours.
class TableViewTest : public QObject
{
    Q_OBJECT
    QStandardItemModel* m_model = nullptr;
    MyTableView* m_view = nullptr;
    std::unique_ptr<QStandardItemModel> m_items; // for the delegate
    std::unique_ptr<MyItemDelegateSO> m_delegate;

    // The view's way in: through the base class, where the handler is public.
    bool send(QEvent* event, const QStyleOptionViewItem& option, const QModelIndex& index)
    {
        return static_cast<QAbstractItemDelegate*>(m_delegate.get())->editorEvent(event, m_items.get(), option, index);
    }

private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        m_items = std::make_unique<QStandardItemModel>(4, 4);
        for (int row = 0; row < 4; ++row) {
            auto* check = new QStandardItem;
            check->setCheckable(true);
            check->setCheckState(Qt::Unchecked);
            check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            m_items->setItem(row, kCheckColumn, check);
            m_items->setItem(row, kPlainColumn, new QStandardItem(QStringLiteral("x")));
        }
        m_delegate = std::make_unique<MyItemDelegateSO>(nullptr);
        m_delegate->setCheckColumn(kCheckColumn);
        m_delegate->setColorColumn(kColorColumn);

        m_model = new QStandardItemModel(200, 6, this);
        m_view = new MyTableView;
        m_view->setModel(m_model);
        m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_view->verticalHeader()->setDefaultSectionSize(23);
        m_view->resize(600, 300);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view));
    }
    void cleanup()
    {
        delete m_view;
        delete m_model;
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

    void checkToggling_data()
    {
        QTest::addColumn<Toggle>("row");
        const QEvent::Type release = QEvent::MouseButtonRelease, key = QEvent::KeyPress;
        QTest::newRow("left release toggles") << Toggle{release, Qt::LeftButton, QPoint(20, 5), true, 2, Nothing};
        QTest::newRow("left press is taken, no change") << Toggle{QEvent::MouseButtonPress, Qt::LeftButton, QPoint(20, 5), true, 0, Nothing};
        QTest::newRow("right release ignored") << Toggle{release, Qt::RightButton, QPoint(20, 5), false, 0, Nothing};
        QTest::newRow("release outside the cell") << Toggle{release, Qt::LeftButton, QPoint(20, 40), false, 0, Nothing};
        QTest::newRow("space toggles") << Toggle{key, Qt::Key_Space, QPoint(), true, 2, Nothing};
        QTest::newRow("enter ignored") << Toggle{key, Qt::Key_Return, QPoint(), false, 0, Nothing};
        QTest::newRow("not user-checkable") << Toggle{release, Qt::LeftButton, QPoint(5, 5), false, 0, UserCheckable};
        QTest::newRow("item disabled") << Toggle{release, Qt::LeftButton, QPoint(5, 5), false, 0, ItemEnabled};
        QTest::newRow("option disabled") << Toggle{release, Qt::LeftButton, QPoint(5, 5), false, 0, OptionEnabled};
        QTest::newRow("no check state") << Toggle{release, Qt::LeftButton, QPoint(5, 5), false, 0, CheckState};
    }
    void checkToggling()
    {
        QFETCH(Toggle, row);
        const auto& [type, buttonOrKey, at, consumed, state, lacking] = row;
        QSignalSpy toggled(m_delegate.get(), &MyItemDelegateSO::signalItemDelegateMouseReleaseCheckStateChanged);
        QStandardItem* item = m_items->item(2, kCheckColumn);
        if (lacking == UserCheckable || lacking == ItemEnabled)
            item->setFlags(lacking == UserCheckable ? Qt::ItemIsEnabled : Qt::ItemIsUserCheckable);
        if (lacking == CheckState)
            item->setData(QVariant(), Qt::CheckStateRole);
        QStyleOptionViewItem option = optionFor(QRect(0, 0, 23, 23));
        if (lacking == OptionEnabled)
            option.state &= ~QStyle::State_Enabled;
        const QModelIndex index = item->index();
        std::unique_ptr<QEvent> event;
        if (type == QEvent::KeyPress)
            event = std::make_unique<QKeyEvent>(type, buttonOrKey, Qt::NoModifier);
        else
            event = std::make_unique<QMouseEvent>(mouse(type, at, static_cast<Qt::MouseButton>(buttonOrKey)));

        // Anywhere in the cell counts, not only on the indicator.
        QCOMPARE(send(event.get(), option, index), consumed);
        QCOMPARE(index.data(Qt::CheckStateRole).toInt(), state);
        QCOMPARE(toggled.count(), state == Qt::Checked ? 1 : 0);

        if (state == Qt::Checked) {
            QMouseEvent again = mouse(QEvent::MouseButtonRelease, QPoint(3, 3), Qt::LeftButton);
            QVERIFY(send(&again, option, index));
            QCOMPARE(index.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
            QCOMPARE(toggled.count(), 2);
        }
    }

    void paintedBackgrounds_data()
    {
        QTest::addColumn<Background>("cell");
        const QColor white(255, 255, 255), sell(203, 255, 185);
        QTest::newRow("even row") << Background{0, kPlainColumn, "x", 0, white};
        QTest::newRow("odd row") << Background{1, kPlainColumn, "x", 0, QColor(254, 249, 228)};
        QTest::newRow("several directions") << Background{0, kColorColumn, "多方向", 0, QColor(219, 221, 106)};
        QTest::newRow("buy") << Background{1, kColorColumn, "融资买入", 'i', QColor(255, 206, 206)};
        QTest::newRow("sell") << Background{0, kColorColumn, "卖出", '1', sell};
        QTest::newRow("reverse repo sells") << Background{1, kColorColumn, "逆回购", '9', sell};
        QTest::newRow("no side in the text") << Background{1, kColorColumn, "其他", 'x', QColor(10, 20, 30)};
        QTest::newRow("button column is white") << Background{1, kButtonColumn, "", 0, white};
    }
    void paintedBackgrounds()
    {
        QFETCH(Background, cell);
        const auto& [row, column, text, direction, expected] = cell;
        m_delegate->setColumnButtons(kButtonColumn, {kModifyButton});
        auto* item = new QStandardItem(text);
        item->setData(direction, Qt::UserRole);
        m_items->setItem(row, column, item);
        QImage image(100, 23, QImage::Format_ARGB32);
        image.fill(QColor(10, 20, 30));
        {
            QPainter painter(&image);
            m_delegate->paint(&painter, optionFor(image.rect()), m_items->index(row, column));
        }
        // The corner holds no text and no button face.
        QCOMPARE(image.pixelColor(0, 0), expected);
    }
};

QTEST_MAIN(TableViewTest)
#include "tst_tableview.moc"
