#include "VelmTest.h"
#include "WindowManager.h"

#include <QFile>
#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

// The window manager in its non-interactive mode, and the strategy log.
class WindowManagerTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void noticesAreRecordedWithTheirParent();
    void confirmationsTakeScriptedAnswersInOrder();
    void tooltipsAreRecorded();
    void destroyedParentIsNotKept();
    void strategyLogWritesTypeLevelAndText_data();
    void strategyLogWritesTypeLevelAndText();
};

void WindowManagerTest::initTestCase()
{
    VelmTest::installStrictMessageHandler();
    VelmTest::setUpWindowManager();
}

void WindowManagerTest::init()
{
    VelmTest::setUpWindowManager();
}

void WindowManagerTest::noticesAreRecordedWithTheirParent()
{
    QWidget parent;
    QSignalSpy announced(gWM, &WindowManager::signalPopup);
    gWM->popupMsgBoxInfo(QStringLiteral("文件打开错误，导入失败"), &parent, QString());
    gWM->popupMsgBoxInfo(QStringLiteral("成功1条"), nullptr, QStringLiteral("[行#2导入失败] 原因"));

    QCOMPARE(gWM->popups().size(), 2);
    const PopupRecord& first = gWM->popups().at(0);
    QCOMPARE(first.kind, PopupRecord::Info);
    QCOMPARE(first.text, QStringLiteral("文件打开错误，导入失败"));
    QCOMPARE(first.detail, QString());
    QCOMPARE(first.parent.data(), &parent);
    QCOMPARE(gWM->popups().at(1).detail, QStringLiteral("[行#2导入失败] 原因"));
    QCOMPARE(announced.count(), 2);
    QCOMPARE(announced.at(1).at(0).toInt(), int(PopupRecord::Info));
    QCOMPARE(announced.at(1).at(3).toString(), QStringLiteral("[行#2导入失败] 原因"));
}

void WindowManagerTest::confirmationsTakeScriptedAnswersInOrder()
{
    gWM->setDefaultConfirmAnswer(false);
    gWM->queueConfirmAnswer(true);
    gWM->queueConfirmAnswer(false);
    gWM->queueConfirmAnswer(true);
    QList<bool> answers;
    for (int i = 0; i < 5; ++i)
        answers.append(gWM->popupMsgBoxConfirm(QStringLiteral("删除任务"), QStringLiteral("第%1次").arg(i), nullptr));
    QCOMPARE(answers, (QList<bool>{true, false, true, false, false}));
    gWM->setDefaultConfirmAnswer(true);
    QVERIFY(gWM->popupMsgBoxConfirm(QStringLiteral("删除任务"), QStringLiteral("默认"), nullptr));

    QCOMPARE(gWM->popups().size(), 6);
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(gWM->popups().at(i).kind, PopupRecord::Confirm);
        QCOMPARE(gWM->popups().at(i).title, QStringLiteral("删除任务"));
    }
    QCOMPARE(gWM->popups().at(2).text, QStringLiteral("第2次"));
    QCOMPARE(gWM->popups().at(2).answer, true);
    QCOMPARE(gWM->popups().at(3).answer, false);
}

void WindowManagerTest::tooltipsAreRecorded()
{
    gWM->popupTooltip(QStringLiteral("证券代码：600000\n"), QSize(300, 200));
    QCOMPARE(gWM->popups().size(), 1);
    QCOMPARE(gWM->popups().first().kind, PopupRecord::Tooltip);
    QCOMPARE(gWM->popups().first().text, QStringLiteral("证券代码：600000\n"));
}

void WindowManagerTest::destroyedParentIsNotKept()
{
    auto* parent = new QWidget;
    gWM->popupMsgBoxInfo(QStringLiteral("x"), parent, QString());
    delete parent;
    QCOMPARE(gWM->popups().first().parent.data(), static_cast<QWidget*>(nullptr));
}

void WindowManagerTest::strategyLogWritesTypeLevelAndText_data()
{
    QTest::addColumn<int>("logType");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("import summary, info") << 6 << int(spdlog::level::info)
                                          << QStringLiteral("文件批量导入定时单任务。成功3条，失败1条。")
                                          << QStringLiteral("[info] [type 6] 文件批量导入定时单任务。成功3条，失败1条。");
    QTest::newRow("warning") << 2 << int(spdlog::level::warn) << QStringLiteral("注意")
                             << QStringLiteral("[warning] [type 2] 注意");
}

void WindowManagerTest::strategyLogWritesTypeLevelAndText()
{
    QFETCH(int, logType);
    QFETCH(int, level);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    gWM->initSpdLogSchedOrd();
    const QString path = WindowManager::strategyLogPath();
    QVERIFY(path.startsWith(VelmTest::tempDir()));
    WindowManager::LogStgy(text, logType, static_cast<spdlog::level::level_enum>(level));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY(!lines.isEmpty());
    QVERIFY2(lines.last().endsWith(expected), qPrintable(lines.last()));
}

QTEST_MAIN(WindowManagerTest)
#include "tst_windowmanager.moc"
