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

    void contentFromTheRegisteredFactory_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("accountId");
        QTest::addColumn<QByteArray>("className");
        QTest::newRow("module content") << 34 << kStockAccount << QByteArray("Velm_Space::SchedOrd_ModifySubTaskParamWidStpStock");
        QTest::newRow("type without a factory") << 33 << kStockAccount << QByteArray();
    }
    void contentFromTheRegisteredFactory()
    {
        QFETCH(int, type);
        QFETCH(int, accountId);
        QFETCH(QByteArray, className);
        auto* dialog = new FramelessFloatDlg(accountId, static_cast<Subwin_Type>(type), kFrameless, nullptr);
        QCOMPARE(int(dialog->subwinType()), type);
        QPointer<ISubModuleDlg> content = dialog->content();
        QCOMPARE(content ? QByteArray(content->metaObject()->className()) : QByteArray(), className);
        delete dialog;
        QVERIFY(!content);
    }

    void modalRunEndsOnTheContentsSignals_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::newRow("ok") << true;
        QTest::newRow("cancel") << false;
    }
    void modalRunEndsOnTheContentsSignals()
    {
        QFETCH(bool, ok);
        FramelessFloatDlg dialog(kStockAccount, Subwin_FramelessFloatDlg, kFrameless, nullptr);
        ISubModuleDlg* content = dialog.content();
        QVERIFY(content);
        bool modal = false;
        QTimer::singleShot(0, content, [&] {
            modal = QTest::qWaitFor([&] { return QApplication::activeModalWidget() == &dialog; }, 2000);
            ok ? emit content->signal_pushbutton_ok() : emit content->signal_pushbutton_cancel();
        });
        QCOMPARE(dialog.exec(), ok ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QVERIFY(modal && !dialog.isVisible());
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
};

QTEST_MAIN(FramelessDlgTest)
#include "tst_framelessdlg.moc"
