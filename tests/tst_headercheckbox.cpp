#include "MyHeaderViewWithCheckbox.h"
#include "MyTableView.h"
#include "VelmTest.h"

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

#include <memory>

// Pressed on section `pressAt`, released on `releaseAt`: the check state `before` and `after`, the sorted section.
struct Click { Qt::MouseButton button; int pressAt, releaseAt; QVariant before, after; int sortSection; };
Q_DECLARE_METATYPE(Click)

// The select-all check box in section 0 of a table's horizontal header.
class HeaderCheckboxTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<MyTableView> view;
    QStandardItemModel* model = nullptr;
    MyHeaderViewWithCheckbox* header = nullptr;

    QPoint centreOf(int section) const
    {
        return QPoint(header->sectionViewportPosition(section) + header->sectionSize(section) / 2, header->height() / 2);
    }

private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        view = std::make_unique<MyTableView>();
        model = new QStandardItemModel(3, 3, view.get());
        header = new MyHeaderViewWithCheckbox(Qt::Horizontal, view.get());
        header->setSectionsClickable(true);
        header->setSortIndicatorShown(true);
        view->setHorizontalHeader(header);
        view->setModel(model);
        view->setSortingEnabled(true);
        view->sortByColumn(2, Qt::AscendingOrder);
        view->show();
        QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    }

    void clickOnSectionZero_data()
    {
        QTest::addColumn<Click>("click");
        const QVariant none, unchecked(int(Qt::Unchecked)), checked(int(Qt::Checked)), partially(int(Qt::PartiallyChecked));
        QTest::newRow("unchecked") << Click{Qt::LeftButton, 0, 0, unchecked, checked, 2};
        QTest::newRow("partially") << Click{Qt::LeftButton, 0, 0, partially, checked, 2};
        QTest::newRow("right button") << Click{Qt::RightButton, 0, 0, unchecked, unchecked, 2};
        QTest::newRow("released elsewhere") << Click{Qt::LeftButton, 0, 2, unchecked, unchecked, 2};
        QTest::newRow("other section sorts") << Click{Qt::LeftButton, 1, 1, unchecked, unchecked, 1};
        QTest::newRow("no check state sorts") << Click{Qt::LeftButton, 0, 0, none, none, 0};
    }
    void clickOnSectionZero()
    {
        QFETCH(Click, click);
        const auto& [button, pressAt, releaseAt, before, after, sortSection] = click;
        if (before.isValid())
            model->setHeaderData(0, Qt::Horizontal, before, Qt::CheckStateRole);
        QSignalSpy toggled(header, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged);
        QTest::mousePress(header->viewport(), button, Qt::NoModifier, centreOf(pressAt));
        QCOMPARE(toggled.count(), 0);
        QTest::mouseRelease(header->viewport(), button, Qt::NoModifier, centreOf(releaseAt));
        QCOMPARE(toggled.count(), after == before ? 0 : 1);
        if (after != before)
            QCOMPARE(toggled.at(0).at(0).toBool(), after == int(Qt::Checked));
        QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::CheckStateRole), after);
        QCOMPARE(header->sortIndicatorSection(), sortSection);
    }

    // A double click arrives as press, release, double-click, release: the second click toggles back.
    void doubleClickTogglesTwice()
    {
        model->setHeaderData(0, Qt::Horizontal, int(Qt::Unchecked), Qt::CheckStateRole);
        QSignalSpy toggled(header, &MyHeaderViewWithCheckbox::signalHeaderMouseReleaseCheckStateChanged);
        QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, centreOf(0));
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, centreOf(0));
        QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, centreOf(0));
        QCOMPARE(toggled.count(), 1);
        QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, centreOf(0));
        QCOMPARE(toggled.count(), 2);
        QCOMPARE(toggled.at(1).at(0).toBool(), false);
        QCOMPARE(model->headerData(0, Qt::Horizontal, Qt::CheckStateRole), QVariant(int(Qt::Unchecked)));
    }
};

QTEST_MAIN(HeaderCheckboxTest)
#include "tst_headercheckbox.moc"
