#include "VelmTest.h"
#include "WindowManager.h"

#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

// The window manager's popups: recorded with their parent, the latest ones only, confirmations
// answered from a script. Shown popups and the strategy log are the frameless dialog test's.
class WindowManagerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init() { VelmTest::setUpWindowManager(); }

    void noticesAreRecordedWithTheirParent()
    {
        auto* parent = new QWidget;
        QSignalSpy announced(gWM, &WindowManager::signalPopup);
        gWM->popupMsgBoxInfo(QStringLiteral("文件打开错误，导入失败"), parent, QString());
        gWM->popupMsgBoxInfo(QStringLiteral("成功1条"), nullptr, QStringLiteral("[行#2导入失败] 原因"));
        gWM->popupTooltip(QStringLiteral("证券代码：600000\n"), QSize(300, 200));

        QCOMPARE(VelmTest::popups(parent), (QStringList{QStringLiteral("文件打开错误，导入失败"), QStringLiteral("成功1条 | [行#2导入失败] 原因 (parent: none)"),
                                                     QStringLiteral("tooltip: 证券代码：600000\n (parent: none)")}));
        const PopupRecord& first = gWM->popups().at(0);
        QCOMPARE(announced.count(), 3);
        QCOMPARE(announced.at(1).at(3).toString(), QStringLiteral("[行#2导入失败] 原因"));
        delete parent; // a record must not keep a dangling parent
        QVERIFY(first.parent.isNull());
    }

    void onlyTheLatestPopupsAreKept()
    {
        const int total = WindowManager::RecordedPopups + 5;
        for (int i = 0; i < total; ++i)
            gWM->popupMsgBoxInfo(QString::number(i), nullptr, QString(1000, QLatin1Char('x')));
        QCOMPARE(gWM->popups().size(), WindowManager::RecordedPopups);
        QCOMPARE(gWM->popups().first().text, QStringLiteral("5"));
        QCOMPARE(gWM->popups().last().text, QString::number(total - 1));
    }
};

QTEST_MAIN(WindowManagerTest)
#include "tst_windowmanager.moc"
