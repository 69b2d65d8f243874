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

const QVector<TableBtnInfo> kTwoButtons{{Velm_Space::Modify, QStringLiteral("修改"), QString(), QSize(0, 0)},
                                        {Velm_Space::Delete, QStringLiteral("删除"), QString(), QSize(0, 0)}};

} // namespace

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

    void buttonRectangles_data()
    {
        QTest::addColumn<QRect>("cell");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<QRect>>("expected");
        QTest::newRow("one button") << QRect(0, 0, 100, 23) << 1 << QList<QRect>{QRect(1, 1, 98, 21)};
        QTest::newRow("two buttons, even width") << QRect(0, 0, 100, 23) << 2
                                                 << QList<QRect>{QRect(1, 1, 48, 21), QRect(51, 1, 48, 21)};
        QTest::newRow("two buttons, odd width, shifted cell")
            << QRect(200, 46, 75, 23) << 2 << QList<QRect>{QRect(201, 47, 36, 21), QRect(238, 47, 36, 21)};
        QTest::newRow("three buttons") << QRect(0, 0, 90, 23) << 3
                                       << QList<QRect>{QRect(1, 1, 28, 21), QRect(31, 1, 28, 21), QRect(61, 1, 28, 21)};
    }
    void buttonRectangles()
    {
        QFETCH(QRect, cell);
        QFETCH(int, count);
        QFETCH(QList<QRect>, expected);
        for (int i = 0; i < count; ++i)
            QCOMPARE(MyItemDelegateSO::buttonRect(cell, i, count, 1), expected[i]);
    }

    void buttonClicks_data()
    {
        QTest::addColumn<int>("eventType");
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("expectedType");
        const int release = QEvent::MouseButtonRelease;
        QTest::newRow("left release on the first") << release << int(Qt::LeftButton) << QPoint(10, 10) << int(Velm_Space::Modify);
        QTest::newRow("left release on the second") << release << int(Qt::LeftButton) << QPoint(60, 10) << int(Velm_Space::Delete);
        QTest::newRow("between the two") << release << int(Qt::LeftButton) << QPoint(49, 10) << 0;
        QTest::newRow("on the margin") << release << int(Qt::LeftButton) << QPoint(10, 0) << 0;
        QTest::newRow("right release") << release << int(Qt::RightButton) << QPoint(10, 10) << 0;
        QTest::newRow("left press") << int(QEvent::MouseButtonPress) << int(Qt::LeftButton) << QPoint(10, 10) << 0;
        QTest::newRow("double-click") << int(QEvent::MouseButtonDblClick) << int(Qt::LeftButton) << QPoint(10, 10) << 0;
    }
    void buttonClicks()
    {
        QFETCH(int, eventType);
        QFETCH(int, button);
        QFETCH(QPoint, at);
        QFETCH(int, expectedType);
        m_delegate->setColumnButtons(kButtonColumn, kTwoButtons);
        QSignalSpy clicked(m_delegate.get(), &MyItemDelegateSO::signalBtnClicked);
        QSignalSpy toggled(m_delegate.get(), &MyItemDelegateSO::signalItemDelegateMouseReleaseCheckStateChanged);
        const QModelIndex index = m_model->index(1, kButtonColumn);
        QMouseEvent event = mouse(static_cast<QEvent::Type>(eventType), at, static_cast<Qt::MouseButton>(button));

        // The buttons never consume the event.
        QVERIFY(!send(&event, optionFor(QRect(0, 0, 100, 23)), index));
        QCOMPARE(toggled.count(), 0);
        if (expectedType == 0) {
            QCOMPARE(clicked.count(), 0);
            return;
        }
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.first().at(0).toModelIndex(), index);
        QCOMPARE(clicked.first().at(1).value<TableBtnType>(), static_cast<TableBtnType>(expectedType));
    }

    void checkToggling_data()
    {
        QTest::addColumn<int>("eventType");
        QTest::addColumn<int>("buttonOrKey");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("consumed");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("signalCount");
        QTest::newRow("left release toggles") << int(QEvent::MouseButtonRelease) << int(Qt::LeftButton) << QPoint(20, 5) << true << 2 << 1;
        QTest::newRow("left press is taken, no change") << int(QEvent::MouseButtonPress) << int(Qt::LeftButton) << QPoint(20, 5) << true << 0 << 0;
        QTest::newRow("double-click is taken, no change") << int(QEvent::MouseButtonDblClick) << int(Qt::LeftButton) << QPoint(20, 5) << true << 0 << 0;
        QTest::newRow("right release ignored") << int(QEvent::MouseButtonRelease) << int(Qt::RightButton) << QPoint(20, 5) << false << 0 << 0;
        QTest::newRow("release outside the cell") << int(QEvent::MouseButtonRelease) << int(Qt::LeftButton) << QPoint(20, 40) << false << 0 << 0;
        QTest::newRow("space toggles") << int(QEvent::KeyPress) << int(Qt::Key_Space) << QPoint() << true << 2 << 1;
        QTest::newRow("select toggles") << int(QEvent::KeyPress) << int(Qt::Key_Select) << QPoint() << true << 2 << 1;
        QTest::newRow("enter ignored") << int(QEvent::KeyPress) << int(Qt::Key_Return) << QPoint() << false << 0 << 0;
        QTest::newRow("hover ignored") << int(QEvent::MouseMove) << int(Qt::NoButton) << QPoint(20, 5) << false << 0 << 0;
    }
    void checkToggling()
    {
        QFETCH(int, eventType);
        QFETCH(int, buttonOrKey);
        QFETCH(QPoint, at);
        QFETCH(int, state);
        QSignalSpy toggled(m_delegate.get(), &MyItemDelegateSO::signalItemDelegateMouseReleaseCheckStateChanged);
        const QModelIndex index = m_model->index(2, kCheckColumn);
        const auto type = static_cast<QEvent::Type>(eventType);
        std::unique_ptr<QEvent> event;
        if (type == QEvent::KeyPress)
            event = std::make_unique<QKeyEvent>(type, buttonOrKey, Qt::NoModifier);
        else
            event = std::make_unique<QMouseEvent>(mouse(type, at, static_cast<Qt::MouseButton>(buttonOrKey)));

        // Anywhere in the cell counts, not only on the indicator.
        QTEST(send(event.get(), optionFor(QRect(0, 0, 23, 23)), index), "consumed");
        QCOMPARE(index.data(Qt::CheckStateRole).toInt(), state);
        QTEST(int(toggled.count()), "signalCount");

        if (state == Qt::Checked) {
            QMouseEvent again = mouse(QEvent::MouseButtonRelease, QPoint(3, 3), Qt::LeftButton);
            QVERIFY(send(&again, optionFor(QRect(0, 0, 23, 23)), index));
            QCOMPARE(index.data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
            QCOMPARE(toggled.count(), 2);
        }
    }

    void tristateCycles()
    {
        QStandardItem* item = m_model->item(0, kCheckColumn);
        item->setFlags(item->flags() | Qt::ItemIsUserTristate);
        const QModelIndex index = m_model->index(0, kCheckColumn);
        QList<int> states;
        for (int i = 0; i < 4; ++i) {
            QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
            QVERIFY(send(&space, optionFor(QRect(0, 0, 23, 23)), index));
            states.append(index.data(Qt::CheckStateRole).toInt());
        }
        QCOMPARE(states, (QList<int>{1, 2, 0, 1}));
    }

    void checkIgnoredWithoutItsConditions_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("optionEnabled");
        QTest::addColumn<bool>("hasState");
        QTest::newRow("not user-checkable") << int(Qt::ItemIsEnabled) << true << true;
        QTest::newRow("item disabled") << int(Qt::ItemIsUserCheckable) << true << true;
        QTest::newRow("option disabled") << int(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable) << false << true;
        QTest::newRow("no check state") << int(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable) << true << false;
    }
    void checkIgnoredWithoutItsConditions()
    {
        QFETCH(int, flags);
        QFETCH(bool, optionEnabled);
        QFETCH(bool, hasState);
        QStandardItem* item = m_model->item(3, kCheckColumn);
        item->setFlags(static_cast<Qt::ItemFlags>(flags));
        if (!hasState)
            item->setData(QVariant(), Qt::CheckStateRole);
        QSignalSpy toggled(m_delegate.get(), &MyItemDelegateSO::signalItemDelegateMouseReleaseCheckStateChanged);
        QStyleOptionViewItem option = optionFor(QRect(0, 0, 23, 23));
        if (!optionEnabled)
            option.state &= ~QStyle::State_Enabled;
        QMouseEvent release = mouse(QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton);
        QVERIFY(!send(&release, option, m_model->index(3, kCheckColumn)));
        QCOMPARE(toggled.count(), 0);
    }

    void paintedBackgrounds_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QColor>("expected");
        const QColor untouched(10, 20, 30);
        QTest::newRow("even row") << 0 << kPlainColumn << "x" << 0 << QColor(255, 255, 255);
        QTest::newRow("odd row") << 1 << kPlainColumn << "x" << 0 << QColor(254, 249, 228);
        QTest::newRow("several directions") << 0 << kColorColumn << "多方向" << 0 << QColor(219, 221, 106);
        QTest::newRow("buy") << 1 << kColorColumn << "融资买入" << int('i') << QColor(255, 206, 206);
        QTest::newRow("sell") << 0 << kColorColumn << "卖出" << int('1') << QColor(203, 255, 185);
        QTest::newRow("reverse repo sells") << 1 << kColorColumn << "逆回购" << int('9') << QColor(203, 255, 185);
        QTest::newRow("no side in the text") << 1 << kColorColumn << "其他" << int('x') << untouched;
        QTest::newRow("button column is white") << 1 << kButtonColumn << "" << 0 << QColor(255, 255, 255);
    }
    void paintedBackgrounds()
    {
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(int, direction);
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
        QTEST(image.pixelColor(0, 0), "expected");
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
        QCOMPARE(moveTo(view.buttonRect(index, 1).center()), Qt::PointingHandCursor);
        QCOMPARE(moveTo(QPoint(cell.left() + cell.width() / 2, cell.center().y())), Qt::ArrowCursor);
        QCOMPARE(moveTo(view.buttonRect(index, 0).center()), Qt::PointingHandCursor);
        QCOMPARE(moveTo(view.visualRect(m_model->index(1, kPlainColumn)).center()), Qt::ArrowCursor);
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
