#include "MyItemDelegateSO.h"
#include "MyTableViewSO.h"
#include "VelmTest.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using Velm_Space::MyItemDelegateSO;
using Velm_Space::MyTableViewSO;
using Velm_Space::TableBtnInfo;
using Velm_Space::TableBtnType;

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

const QVector<TableBtnInfo> kTwoButtons{{Velm_Space::Modify, QStringLiteral("修改"), QString(), QSize(0, 0)},
                                        {Velm_Space::Delete, QStringLiteral("删除"), QString(), QSize(0, 0)}};

} // namespace

Q_DECLARE_METATYPE(Toggle)
Q_DECLARE_METATYPE(Background)

// The monitor tables' delegate and view: button geometry, clicks, check toggling, painted colours.
class DelegateTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        VelmTest::installStrictMessageHandler();
        qRegisterMetaType<TableBtnType>();
    }

    void init()
    {
        m_model = std::make_unique<QStandardItemModel>(4, 4);
        for (int row = 0; row < 4; ++row) {
            auto* check = new QStandardItem;
            check->setCheckable(true);
            check->setCheckState(Qt::Unchecked);
            check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            m_model->setItem(row, kCheckColumn, check);
            m_model->setItem(row, kPlainColumn, new QStandardItem(QStringLiteral("x")));
        }
        m_delegate = std::make_unique<MyItemDelegateSO>(nullptr);
        m_delegate->setCheckColumn(kCheckColumn);
        m_delegate->setColorColumn(kColorColumn);
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
        QStandardItem* item = m_model->item(2, kCheckColumn);
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
        m_delegate->setColumnButtons(kButtonColumn, {kTwoButtons.first()});
        auto* item = new QStandardItem(text);
        item->setData(direction, Qt::UserRole);
        m_model->setItem(row, column, item);
        QImage image(100, 23, QImage::Format_ARGB32);
        image.fill(QColor(10, 20, 30));
        {
            QPainter painter(&image);
            m_delegate->paint(&painter, optionFor(image.rect()), m_model->index(row, column));
        }
        // The corner holds no text and no button face.
        QCOMPARE(image.pixelColor(0, 0), expected);
    }

    void viewButtonRectsAndCursor()
    {
        MyTableViewSO view(nullptr);
        view.setModel(m_model.get());
        view.setColumnWidth(kButtonColumn, 100);
        view.verticalHeader()->setDefaultSectionSize(23);
        view.resize(600, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.setColumnButtons(kButtonColumn, kTwoButtons);

        QCOMPARE(view.buttonRect(QModelIndex(), 0), QRect());
        QCOMPARE(view.buttonRect(m_model->index(1, kPlainColumn), 0), QRect());
        const QModelIndex index = m_model->index(1, kButtonColumn);
        // The whole cell, grid line included: what the view knows of the delegate's rectangle.
        const QRect cell(view.columnViewportPosition(kButtonColumn), view.rowViewportPosition(1),
                         view.columnWidth(kButtonColumn), view.rowHeight(1));
        QCOMPARE(view.buttonRect(index, 0), MyItemDelegateSO::buttonRect(cell, 0, 2, 1));
        QCOMPARE(view.buttonRect(index, 1), MyItemDelegateSO::buttonRect(cell, 1, 2, 1));

        // The tables track the mouse on the viewport; without it Qt drops button-less moves.
        view.viewport()->setMouseTracking(true);
        auto moveTo = [&view](QPoint at) {
            QMouseEvent move(QEvent::MouseMove, at, view.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(view.viewport(), &move);
            return view.viewport()->cursor().shape();
        };
        // Onto the second button, between the two, onto the first, off the button column.
        QCOMPARE((QList<Qt::CursorShape>{moveTo(view.buttonRect(index, 1).center()), moveTo(QPoint(cell.left() + cell.width() / 2, cell.center().y())),
                                         moveTo(view.buttonRect(index, 0).center()), moveTo(view.visualRect(m_model->index(1, kPlainColumn)).center())}),
                 (QList<Qt::CursorShape>{Qt::PointingHandCursor, Qt::ArrowCursor, Qt::PointingHandCursor, Qt::ArrowCursor}));
    }

private:
    // The view's way in: through the base class, where the handler is public.
    bool send(QEvent* event, const QStyleOptionViewItem& option, const QModelIndex& index)
    {
        return static_cast<QAbstractItemDelegate*>(m_delegate.get())->editorEvent(event, m_model.get(), option, index);
    }

    std::unique_ptr<QStandardItemModel> m_model;
    std::unique_ptr<MyItemDelegateSO> m_delegate;
};

QTEST_MAIN(DelegateTest)
#include "tst_delegate.moc"
