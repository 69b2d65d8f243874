#include "VelmTest.h"
#include "WindowManager.h"

#include <QFile>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

// The window manager's popups (recorded only in non-interactive mode, the latest ones only) and
// the strategy log.
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

        QCOMPARE(gWM->popups().size(), 3);
        const PopupRecord& first = gWM->popups().at(0);
        QCOMPARE(first.kind, PopupRecord::Info);
        QCOMPARE(first.text, QStringLiteral("文件打开错误，导入失败"));
        QCOMPARE(first.parent.data(), parent);
        QCOMPARE(gWM->popups().at(1).detail, QStringLiteral("[行#2导入失败] 原因"));
        QCOMPARE(gWM->popups().at(2).kind, PopupRecord::Tooltip);
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

    // A shown popup is announced but kept nowhere: a trader's session never grows by its popups.
    void shownPopupsAreNotRecorded()
    {
        gWM->setInteractive(true);
        QSignalSpy announced(gWM, &WindowManager::signalPopup);
        gWM->popupTooltip(QStringLiteral("证券代码：600000\n"), QSize(300, 200));
        QCOMPARE(announced.count(), 1);
        QVERIFY(gWM->popups().isEmpty());
        gWM->setInteractive(false);
    }

    void confirmationsTakeScriptedAnswersInOrder()
    {
        gWM->setDefaultConfirmAnswer(false);
        for (bool answer : {true, false, true})
            gWM->queueConfirmAnswer(answer);
        QList<bool> answers;
        for (int i = 0; i < 5; ++i)
            answers << gWM->popupMsgBoxConfirm(QStringLiteral("删除任务"), QStringLiteral("第%1次").arg(i), nullptr);
        QCOMPARE(answers, (QList<bool>{true, false, true, false, false}));

        QCOMPARE(gWM->popups().size(), 5);
        const PopupRecord& third = gWM->popups().at(2);
        QCOMPARE(third.kind, PopupRecord::Confirm);
        QCOMPARE(third.title, QStringLiteral("删除任务"));
        QCOMPARE(third.text, QStringLiteral("第2次"));
        QCOMPARE(third.answer, true);
    }

    void strategyLogWritesTypeLevelAndText()
    {
        gWM->initSpdLogSchedOrd();
        WindowManager::LogStgy(QStringLiteral("注意"), 2, spdlog::level::warn);
        QFile file(WindowManager::strategyLogPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString last = QString::fromUtf8(file.readAll()).trimmed().section(QLatin1Char('\n'), -1);
        QVERIFY2(last.endsWith(QStringLiteral("[warning] [type 2] 注意")), qPrintable(last));
    }
};

QTEST_MAIN(WindowManagerTest)
#include "tst_windowmanager.moc"
