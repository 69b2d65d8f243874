#include "FramelessFloatDlg.h"
#include "ISubModuleDlg.h"
#include "ScheduledOrderFactory.h"
#include "TestAccounts.h"
#include "VelmClient.h"
#include "VelmTest.h"
#include "WindowManager.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

static constexpr int kStockAccount = 1801;
static const Qt::WindowFlags kFrameless = Qt::Dialog | Qt::FramelessWindowHint;

// The host's frameless dialog and the window manager's popups: recorded with their parent, the latest
// ones only; shown in a box; all of them in the strategy log.
class FramelessDlgTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }
    void init()
    {
        VelmTest::setUpWindowManager();
        VelmTest::addStockAccount(kStockAccount);
        FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, &Velm_Space::ScheduledOrderFactory::createModifySubTaskParamDlg);
    }
    void cleanup() { FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, nullptr); VelmTest::removeAllAccounts(); }

    // The registered factory makes the content; it goes with its dialog.
    void contentFromTheRegisteredFactoryDiesWithTheDialog()
    {
        auto* dialog = new FramelessFloatDlg(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, nullptr);
        QPointer<ISubModuleDlg> content = dialog->content();
        QCOMPARE(content ? QByteArray(content->metaObject()->className()) : QByteArray(),
                 QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock"));
        delete dialog;
        QVERIFY(!content);
    }

    // The client's zoom reaches the dialog's content; the dialog bears the content's title.
    void clientRegistersTheModulesFactoryAndZoom()
    {
        FramelessFloatDlg::setContentFactory(Subwin_FramelessFloatDlg, nullptr);
        VelmClient client;
        QVERIFY(client.loadScheduledOrderModule(qEnvironmentVariable("VELM_MODULE_DIR", QCoreApplication::applicationDirPath())));
        client.setZoomPercent(150);
        FramelessFloatDlg dialog(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, &client);
        QVERIFY(dialog.content() && FramelessFloatDlg::contentFactory(Subwin_FramelessFloatDlg) == client.subModuleDlgFactory());
        QCOMPARE(dialog.windowTitle(), QStringLiteral("SchedOrd_ModifySubTaskParamWid"));
        const QComboBox* gear = dialog.content()->findChild<QComboBox*>(QStringLiteral("comboBox_SO_MST_BuyPriceGear"));
        const qreal designed = client.font().pointSizeF();
        QCOMPARE(gear->font().pointSizeF(), designed * 1.5);
        dialog.setScalePercent(100);
        QCOMPARE(gear->font().pointSizeF(), designed);
    }

    // Shown or not, the details reach the strategy log; the box shows them in a resizable area.
    void detailsAreLoggedAndReadable_data()
    {
        QTest::addColumn<bool>("interactive");
        QTest::newRow("shown") << true;
        QTest::newRow("recorded") << false;
    }
    void detailsAreLoggedAndReadable()
    {
        QFETCH(bool, interactive);
        const QString text = QStringLiteral("文件批量导入定时单任务。成功0条，失败7条。");
        QStringList lines;
        for (int line = 1; line <= 7; ++line)
            lines << QStringLiteral("第%1行：证券代码无效 (%2)").arg(line).arg(interactive);
        QSize grown;
        int visibleLines = 0;
        if (interactive) {
            QTimer::singleShot(0, this, [&] {
                auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                const QPlainTextEdit* detail = box->findChild<QPlainTextEdit*>();
                QCOMPARE(detail->toPlainText(), lines.join('\n'));
                visibleLines = detail->viewport()->height() / detail->fontMetrics().lineSpacing();
                box->resize(box->size() + QSize(200, 200));
                grown = box->size() - box->sizeHint();
                box->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            });
        }
        gWM->setInteractive(interactive);
        QSignalSpy announced(gWM, &WindowManager::signalPopup);
        gWM->popupMsgBoxInfo(text, nullptr, lines.join('\n'));
        gWM->setInteractive(false);
        // A shown box is announced but not kept: a trader's session never grows by its popups.
        QCOMPARE(announced.count(), 1);
        QCOMPARE(gWM->popups().size(), interactive ? 0 : 1);
        QVERIFY(!interactive || (visibleLines > 5 && grown.width() >= 200 && grown.height() >= 200));
        QFile log(WindowManager::strategyLogPath());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QVERIFY(QString::fromUtf8(log.readAll()).contains("[info] [type 0] " + text + QLatin1Char('\n') + lines.join('\n')));
    }

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

QTEST_MAIN(FramelessDlgTest)
#include "tst_framelessdlg.moc"
