#include "MyCompleterEdit.h"
#include "SecurityCatalogue.h"
#include "Util.h"
#include "VelmTest.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

struct Candidates
{
    QStringList keys;
    QStringList codes;
    QStringList names;
};

Candidates catalogueCandidates()
{
    Candidates candidates;
    for (const SecurityInfo& info : SecurityCatalogue::instance().all()) {
        candidates.keys.append(Util::GetSecurityKey(info.SecurityID, info.ExchangeID));
        candidates.codes.append(info.SecurityID);
        candidates.names.append(info.SecurityName);
    }
    return candidates;
}

// Candidates of every match kind, listed out of rank order.
Candidates rankingCandidates()
{
    Candidates c;
    c.codes = QStringList{"zg01", "111111", "222222", "333333", "zg", "444444",
                          "555555", "666666", "777777", "888888", "999999"};
    c.names = QStringList{"其他", "中国平安", "ZG", "zg测试", "某某", "一zg",
                          "中国", "Spa", "平安银行", "PA科技", "新中国"};
    for (int i = 0; i < c.codes.size(); ++i)
        c.keys.append(QStringLiteral("K%1").arg(i));
    return c;
}

// What a keyboard sends, character by character (QTest::keyClicks cannot type Chinese).
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

QStringList popupLines(const QAbstractItemView* popup)
{
    QStringList lines;
    for (int row = 0; row < popup->model()->rowCount(); ++row)
        lines.append(popup->model()->index(row, 0).data().toString());
    return lines;
}

} // namespace

class CompleterTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    void init()
    {
        m_edit = std::make_unique<MyCompleterEdit>();
        const Candidates all = catalogueCandidates();
        m_edit->updateModel(all.keys, all.codes, all.names, QStringLiteral("catalogue"));
        m_edit->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_edit.get()));
        m_spy = std::make_unique<QSignalSpy>(m_edit.get(), &MyCompleterEdit::signalTextComplete);
    }

    void cleanup()
    {
        m_spy.reset();
        m_edit.reset();
    }

    void catalogueMatchesBestFirst_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("leadingKeys");
        QTest::addColumn<int>("count");
        QTest::newRow("code prefix") << "6000" << QStringList{"600000.SH", "600016.SH", "600028.SH"} << 8;
        QTest::newRow("whole code") << "600519" << QStringList{"600519.SH"} << 1;
        QTest::newRow("key, any case") << "000001.sz" << QStringList{"000001.SZ"} << 1;
        QTest::newRow("initials, lower case") << "pfyh" << QStringList{"600000.SH"} << 1;
        QTest::newRow("initials, upper case") << "GZMT" << QStringList{"600519.SH"} << 1;
        QTest::newRow("initials of a polyphone") << "cjdl" << QStringList{"600900.SH"} << 1;
        QTest::newRow("initials of a rare character") << "pzh" << QStringList{"600436.SH"} << 1;
        QTest::newRow("initials prefix") << "zgs" << QStringList{"600028.SH", "601088.SH", "601857.SH"} << 3;
        QTest::newRow("name substring") << "茅台" << QStringList{"600519.SH"} << 1;
        QTest::newRow("name with latin letters") << "tcl" << QStringList{"000100.SZ"} << 1;
        QTest::newRow("same name on two exchanges") << "沪深300" << QStringList{"510300.SH", "159919.SZ"} << 2;
        QTest::newRow("surrounding blanks") << "  pfyh " << QStringList{"600000.SH"} << 1;
        QTest::newRow("no match") << "zzzz" << QStringList{} << 0;
        QTest::newRow("blank") << "   " << QStringList{} << 0;
    }
    void catalogueMatchesBestFirst()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, leadingKeys);
        QFETCH(int, count);
        const QStringList keys = m_edit->matchingKeys(typed, 100);
        QCOMPARE(keys.mid(0, leadingKeys.size()), leadingKeys);
        QCOMPARE(keys.size(), count);
    }

    void matchKindsRankInOrder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("keys");
        // exact code, code prefix, exact name, initials prefix (list order), name substring
        QTest::newRow("latin") << "zg" << QStringList{"K4", "K0", "K2", "K1", "K3", "K6", "K5"};
        QTest::newRow("upper case ranks alike") << "ZG" << QStringList{"K4", "K0", "K2", "K1", "K3", "K6", "K5"};
        // exact name, name prefix, name substring
        QTest::newRow("chinese") << "中国" << QStringList{"K6", "K1", "K10"};
        // initials prefix before a name that starts with the text, before a substring
        QTest::newRow("initials before name") << "pa" << QStringList{"K8", "K9", "K7"};
    }
    void matchKindsRankInOrder()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, keys);
        const Candidates c = rankingCandidates();
        m_edit->updateModel(c.keys, c.codes, c.names, QStringLiteral("ranking"));
        QCOMPARE(m_edit->matchingKeys(typed), keys);
    }

    void popupListsCodeAndNameLimited()
    {
        typeText(m_edit.get(), QStringLiteral("6"));
        QAbstractItemView* popup = m_edit->completer()->popup();
        QVERIFY(popup->isVisible());
        const QStringList lines = popupLines(popup);
        QCOMPARE(lines.size(), MyCompleterEdit::PopupLimit);
        QCOMPARE(lines.first(), QStringLiteral("600000 浦发银行"));
        QVERIFY(!popup->currentIndex().isValid());

        typeText(m_edit.get(), QStringLiteral("00519"));
        QCOMPARE(popupLines(popup), QStringList{QStringLiteral("600519 贵州茅台")});
        QCOMPARE(m_edit->text(), QStringLiteral("600519"));
        QCOMPARE(m_spy->count(), 0);
    }

    void popupHidesWhenNothingMatches()
    {
        typeText(m_edit.get(), QStringLiteral("pf"));
        QVERIFY(m_edit->completer()->popup()->isVisible());
        typeText(m_edit.get(), QStringLiteral("q"));
        QVERIFY(!m_edit->completer()->popup()->isVisible());
    }

    void enterChoosesOnlyAnUnambiguousText_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("chosenKey");
        QTest::addColumn<QString>("textAfter");
        QTest::newRow("exact code") << "600000" << "600000.SH" << "600000";
        QTest::newRow("exact key") << "600000.sh" << "600000.SH" << "600000";
        QTest::newRow("single initials match") << "pfyh" << "600000.SH" << "600000";
        QTest::newRow("single name match") << "贵州茅台" << "600519.SH" << "600519";
        QTest::newRow("Beijing code") << "920185" << "920185.BJ" << "920185";
        QTest::newRow("two names alike") << "沪深300" << "" << "沪深300";
        QTest::newRow("code prefix of many") << "6000" << "" << "6000";
        QTest::newRow("no match") << "zzzz" << "" << "zzzz";
        QTest::newRow("nothing typed") << "" << "" << "";
    }
    void enterChoosesOnlyAnUnambiguousText()
    {
        QFETCH(QString, typed);
        QFETCH(QString, chosenKey);
        QFETCH(QString, textAfter);
        typeText(m_edit.get(), typed);
        QTest::keyClick(m_edit.get(), Qt::Key_Return);
        QCOMPARE(m_spy->count(), chosenKey.isEmpty() ? 0 : 1);
        if (!chosenKey.isEmpty())
            QCOMPARE(m_spy->first().first().toString(), chosenKey);
        QCOMPARE(m_edit->text(), textAfter);
        QCOMPARE(m_edit->completer()->popup()->isVisible(), chosenKey.isEmpty() && m_edit->matchingKeys(typed).size() > 1);
    }

    void enterOnKeypadWorksAlike()
    {
        typeText(m_edit.get(), QStringLiteral("gzmt"));
        QTest::keyClick(m_edit.get(), Qt::Key_Enter);
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(m_spy->first().first().toString(), QStringLiteral("600519.SH"));
    }

    void exactCodeWinsOverLongerCodes()
    {
        m_edit->updateModel({"12.SH", "123.SH", "124.SZ"}, {"12", "123", "124"}, {"甲", "乙", "丙"}, "short");
        typeText(m_edit.get(), QStringLiteral("12"));
        QTest::keyClick(m_edit.get(), Qt::Key_Return);
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(m_spy->first().first().toString(), QStringLiteral("12.SH"));
    }

    void codeOnTwoExchangesIsAmbiguous()
    {
        m_edit->updateModel({"000001.SH", "000001.SZ"}, {"000001", "000001"}, {"上证指数", "平安银行"}, "twins");
        typeText(m_edit.get(), QStringLiteral("000001"));
        QTest::keyClick(m_edit.get(), Qt::Key_Return);
        QCOMPARE(m_spy->count(), 0);
        QCOMPARE(popupLines(m_edit->completer()->popup()),
                 (QStringList{QStringLiteral("000001 上证指数"), QStringLiteral("000001 平安银行")}));

        // Picking the line settles it.
        QAbstractItemView* popup = m_edit->completer()->popup();
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(m_spy->first().first().toString(), QStringLiteral("000001.SZ"));
    }

    void enterOnHighlightedLineChoosesItOnce_data()
    {
        QTest::addColumn<int>("downPresses");
        QTest::addColumn<bool>("enterThroughPopup");
        QTest::addColumn<QString>("chosenKey");
        // As typed: the open popup has the keyboard and its completer passes keys on.
        QTest::newRow("first line, through the popup") << 1 << true << "600000.SH";
        QTest::newRow("third line, through the popup") << 3 << true << "600028.SH";
        // Where the popup does not own the keyboard the key reaches the edit itself.
        QTest::newRow("second line, to the edit") << 2 << false << "600016.SH";
    }
    void enterOnHighlightedLineChoosesItOnce()
    {
        QFETCH(int, downPresses);
        QFETCH(bool, enterThroughPopup);
        QFETCH(QString, chosenKey);
        typeText(m_edit.get(), QStringLiteral("6000"));
        QAbstractItemView* popup = m_edit->completer()->popup();
        QVERIFY(popup->isVisible());
        for (int i = 0; i < downPresses; ++i)
            QTest::keyClick(popup, Qt::Key_Down);
        if (enterThroughPopup)
            QTest::keyClick(popup, Qt::Key_Return);
        else
            QTest::keyClick(m_edit.get(), Qt::Key_Return);
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(m_spy->first().first().toString(), chosenKey);
        QCOMPARE(m_edit->text(), chosenKey.left(6));
        QVERIFY(!popup->isVisible());
    }

    void clickOnLineChoosesItOnce()
    {
        typeText(m_edit.get(), QStringLiteral("银行"));
        QAbstractItemView* popup = m_edit->completer()->popup();
        QVERIFY(popup->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(popup));
        const QModelIndex second = popup->model()->index(1, 0);
        QCOMPARE(second.data().toString(), QStringLiteral("600016 民生银行"));
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, Qt::NoModifier, popup->visualRect(second).center());
        QCOMPARE(m_spy->count(), 1);
        QCOMPARE(m_spy->first().first().toString(), QStringLiteral("600016.SH"));
        QCOMPARE(m_edit->text(), QStringLiteral("600016"));
        QVERIFY(!popup->isVisible());
    }

    void settingTextDoesNotOpenThePopup()
    {
        m_edit->setText(QStringLiteral("6000"));
        QVERIFY(!m_edit->completer()->popup()->isVisible());
        QCOMPARE(m_spy->count(), 0);
    }

    void clearHidesPopupAndForgetsText()
    {
        typeText(m_edit.get(), QStringLiteral("6000"));
        QVERIFY(m_edit->completer()->popup()->isVisible());
        m_edit->clear();
        QVERIFY(m_edit->text().isEmpty());
        QVERIFY(!m_edit->completer()->popup()->isVisible());
        QTest::keyClick(m_edit.get(), Qt::Key_Return);
        QCOMPARE(m_spy->count(), 0);
        QCOMPARE(m_edit->candidateCount(), SecurityCatalogue::instance().all().size());
    }

    void sameVersionKeepsCandidates()
    {
        const int catalogueSize = SecurityCatalogue::instance().all().size();
        m_edit->updateModel({"X.SH"}, {"999999"}, {"新证券"}, QStringLiteral("catalogue"));
        QCOMPARE(m_edit->candidateCount(), catalogueSize);
        QVERIFY(m_edit->matchingKeys(QStringLiteral("999999")).isEmpty());

        m_edit->updateModel({"X.SH"}, {"999999"}, {"新证券"}, QStringLiteral("catalogue+1"));
        QCOMPARE(m_edit->candidateCount(), 1);
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("xzq")), QStringList{"X.SH"});
    }

    void emptyVersionAlwaysRebuilds()
    {
        m_edit->updateModel({"A.SH"}, {"100001"}, {"甲"}, QString());
        m_edit->updateModel({"B.SH"}, {"100002"}, {"乙"}, QString());
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("1000")), QStringList{"B.SH"});
    }

    void newCandidatesCloseTheStalePopup()
    {
        typeText(m_edit.get(), QStringLiteral("6000"));
        QVERIFY(m_edit->completer()->popup()->isVisible());
        m_edit->updateModel({"B.SH"}, {"100002"}, {"乙"}, QStringLiteral("other"));
        QVERIFY(!m_edit->completer()->popup()->isVisible());
        QTest::keyClick(m_edit.get(), Qt::Key_Return);
        QCOMPARE(m_spy->count(), 0);
    }

    void listsOfDifferentLengthKeepNothing_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("warning");
        const QString warning = QStringLiteral(
            "MyCompleterEdit::updateModel: %1 keys, %2 codes and %3 names differ in number; no candidates kept");
        QTest::newRow("a code missing") << QStringList{"A.SH", "B.SH"} << QStringList{"1"} << QStringList{"甲", "乙"}
                                        << warning.arg(2).arg(1).arg(2);
        QTest::newRow("a name missing") << QStringList{"A.SH", "B.SH"} << QStringList{"1", "2"} << QStringList{"甲"}
                                        << warning.arg(2).arg(2).arg(1);
        QTest::newRow("keys missing") << QStringList{} << QStringList{"1", "2"} << QStringList{"甲", "乙"}
                                      << warning.arg(0).arg(2).arg(2);
    }
    void listsOfDifferentLengthKeepNothing()
    {
        QFETCH(QStringList, keys);
        QFETCH(QStringList, codes);
        QFETCH(QStringList, names);
        QFETCH(QString, warning);
        QTest::ignoreMessage(QtWarningMsg, warning.toUtf8().constData());
        m_edit->updateModel(keys, codes, names, QStringLiteral("broken"));
        QCOMPARE(m_edit->candidateCount(), 0);
        QVERIFY(m_edit->matchingKeys(QStringLiteral("6")).isEmpty());
        typeText(m_edit.get(), QStringLiteral("600000"));
        QTest::keyClick(m_edit.get(), Qt::Key_Return);
        QCOMPARE(m_spy->count(), 0);

        // The refused lists left no version behind: the catalogue loads again under its old one.
        const Candidates all = catalogueCandidates();
        m_edit->updateModel(all.keys, all.codes, all.names, QStringLiteral("catalogue"));
        QCOMPARE(m_edit->candidateCount(), all.keys.size());
    }

    // A full market list has a few thousand candidates; ranking and the popup limit hold there too.
    void thousandsOfCandidatesStayCorrect()
    {
        const Candidates all = catalogueCandidates();
        Candidates many;
        for (int i = 0; i < 5000; ++i) {
            const QString code = QStringLiteral("%1").arg(100000 + i);
            many.keys.append(code + QStringLiteral(".SZ"));
            many.codes.append(code);
            many.names.append(all.names[i % all.keys.size()] + QString::number(i / all.keys.size()));
        }
        m_edit->updateModel(many.keys, many.codes, many.names, QStringLiteral("5000"));
        QCOMPARE(m_edit->candidateCount(), 5000);
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("104999")), QStringList{"104999.SZ"});
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("pfyh")).size(), MyCompleterEdit::PopupLimit);
        const QStringList sameName = m_edit->matchingKeys(QStringLiteral("浦发银行4"), 100);
        QCOMPARE(sameName.size(), 5);
        QCOMPARE(sameName.first(), QStringLiteral("100460.SZ"));
    }

private:
    std::unique_ptr<MyCompleterEdit> m_edit;
    std::unique_ptr<QSignalSpy> m_spy;
};

QTEST_MAIN(CompleterTest)
#include "tst_completer.moc"
