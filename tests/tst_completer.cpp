#include "MyCompleterEdit.h"
#include "SecurityCatalogue.h"
#include "Util.h"
#include "VelmTest.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// What a keyboard sends, character by character (QTest::keyClicks cannot type Chinese).
static void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Typed, then popup `line` moved to (or clicked, for key 0; -1 for none) and `key` pressed; `chosenKey` emitted, if any.
struct Choice { QString typed; int line; int key; QString chosenKey; };
Q_DECLARE_METATYPE(Choice)

class CompleterTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    // The catalogue, plus the index that shares 000001 with a Shenzhen share.
    void init()
    {
        QStringList keys{"000001.SH"}, codes{"000001"}, names{"上证指数"};
        for (const SecurityInfo& info : SecurityCatalogue::instance().all()) {
            keys.append(Util::GetSecurityKey(info.SecurityID, info.ExchangeID));
            codes.append(info.SecurityID);
            names.append(info.SecurityName);
        }
        m_edit = std::make_unique<MyCompleterEdit>();
        m_edit->updateModel(keys, codes, names, QStringLiteral("catalogue"));
        m_edit->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_edit.get()));
    }

    void popupListsBestFirst_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("leadingLines");
        QTest::addColumn<int>("count");
        QTest::newRow("code prefix") << "6000" << QStringList{"600000 浦发银行", "600016 民生银行", "600028 中国石化"} << 8;
        QTest::newRow("initials of a polyphone") << "cjdl" << QStringList{"600900 长江电力"} << 1;
        QTest::newRow("no match") << "zzzz" << QStringList{} << 0;
    }
    void popupListsBestFirst()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, leadingLines);
        QFETCH(int, count);
        typeText(m_edit.get(), typed);
        const QAbstractItemView* popup = m_edit->completer()->popup();
        QCOMPARE(popup->isVisible(), count > 0);
        QCOMPARE(popup->model()->rowCount(), count);
        for (int i = 0; i < leadingLines.size(); ++i)
            QCOMPARE(popup->model()->index(i, 0).data().toString(), leadingLines[i]);
        QVERIFY(!popup->currentIndex().isValid());
    }

    void eachChoiceEmitsOnce_data()
    {
        QTest::addColumn<Choice>("row");
        QTest::newRow("exact code") << Choice{"600000", -1, Qt::Key_Return, "600000.SH"};
        QTest::newRow("exact key, keypad Enter") << Choice{"600000.sh", -1, Qt::Key_Enter, "600000.SH"};
        QTest::newRow("two names alike") << Choice{"沪深300", -1, Qt::Key_Return, ""};
        QTest::newRow("code on two exchanges") << Choice{"000001", -1, Qt::Key_Return, ""};
        QTest::newRow("third line, Enter") << Choice{"6000", 2, Qt::Key_Return, "600028.SH"};
        QTest::newRow("second line clicked") << Choice{"银行", 1, 0, "600016.SH"};
    }
    void eachChoiceEmitsOnce()
    {
        QFETCH(Choice, row);
        const auto& [typed, line, key, chosenKey] = row;
        QSignalSpy chosen(m_edit.get(), &MyCompleterEdit::signalTextComplete);
        typeText(m_edit.get(), typed);
        QAbstractItemView* popup = m_edit->completer()->popup();
        if (key == 0) {
            QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, popup->visualRect(popup->model()->index(line, 0)).center());
        } else {
            // With a line highlighted the open popup has the keyboard, as when typing.
            for (int i = 0; i <= line; ++i)
                QTest::keyClick(popup, Qt::Key_Down);
            QTest::keyClick(line >= 0 ? static_cast<QWidget*>(popup) : m_edit.get(), Qt::Key(key));
        }
        QCOMPARE(chosen.count(), chosenKey.isEmpty() ? 0 : 1);
        QCOMPARE(chosen.isEmpty() ? QString() : chosen.first().first().toString(), chosenKey);
        QCOMPARE(m_edit->text(), chosenKey.isEmpty() ? typed : chosenKey.left(6));
        QCOMPARE(popup->isVisible(), chosenKey.isEmpty());
    }

    void candidatesRankAndReplace()
    {
        const QStringList keys{"K0", "K1", "K2", "K3", "K4", "K5", "K6", "K7"};
        const QStringList codes{"zg01", "111111", "222222", "333333", "zg", "444444", "555555", "666666"};
        const QStringList names{"其他", "中国平安", "ZG", "zg测试", "某某", "一zg", "中国", "新中国"};
        m_edit->updateModel(keys, codes, names, QStringLiteral("catalogue"));
        QVERIFY2(m_edit->candidateCount() > 100, "the same version must not rebuild");
        m_edit->updateModel(keys, codes, names, QStringLiteral("ranking"));
        // Exact code, code prefix, exact name, initials prefix (list order), name prefix, name substring.
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("ZG")), (QStringList{"K4", "K0", "K2", "K1", "K3", "K6", "K5"}));
        QCOMPARE(m_edit->matchingKeys(QStringLiteral("中国")), (QStringList{"K6", "K1", "K7"}));

        QTest::ignoreMessage(QtWarningMsg, "MyCompleterEdit::updateModel: 2 keys, 1 codes and 3 names differ in number; "
                                           "no candidates kept");
        m_edit->updateModel({"A.SH", "B.SH"}, {"1"}, {"甲", "乙", "丙"}, QStringLiteral("ranking"));
        QCOMPARE(m_edit->candidateCount(), 0);
        // The refused lists left no version behind.
        m_edit->updateModel(keys, codes, names, QStringLiteral("ranking"));
        QCOMPARE(m_edit->candidateCount(), keys.size());
    }

private:
    std::unique_ptr<MyCompleterEdit> m_edit;
};

QTEST_MAIN(CompleterTest)
#include "tst_completer.moc"
