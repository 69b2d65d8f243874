#include "SecurityCatalogue.h"
#include "Util.h"
#include "VelmTest.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

class UtilTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    void texts_data()
    {
        QTest::addColumn<QString>("actual");
        QTest::addColumn<QString>("expected");
        QTest::newRow("to GBK, level-2 too") << QString(QByteArray::fromStdString(Util::QStr2str("浦发银行癀")).toHex()) << "c6d6b7a2d2f8d0d0f1a5";
        QTest::newRow("from GBK") << Util::Str2QStr("\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0") << "浦发银行";
        QTest::newRow("key Beijing") << Util::GetSecurityKey("920185", '4') << "920185.BJ";
        QTest::newRow("key, unknown exchange") << Util::GetSecurityKey("123456", '9') << "123456.9";
        QTest::newRow("stock sell") << Util::ParseDirection(1, '1') << "卖出";
        QTest::newRow("stock has no short sell") << Util::ParseDirection(1, 'j') << "";
        QTest::newRow("credit short sell") << Util::ParseDirection(2, 'j') << "融券卖出";
    }
    void texts()
    {
        QFETCH(QString, actual);
        QFETCH(QString, expected);
        QCOMPARE(actual, expected);
    }

    void effectivePrice_data()
    {
        QTest::addColumn<double>("price");
        QTest::addColumn<bool>("effective");
        QTest::newRow("zero") << 0.0 << false;
        QTest::newRow("NaN") << qQNaN() << false;
        QTest::newRow("ten million") << 1e7 << false;
        QTest::newRow("below a thousandth") << 0.000001 << false;
        QTest::newRow("a thousandth") << 0.001 << true;
    }
    void effectivePrice()
    {
        QFETCH(double, price);
        QFETCH(bool, effective);
        QCOMPARE(Util::JudgeEffectivePrice(price), effective);
    }

    void fileCodec_data()
    {
        const QString text = QStringLiteral("证券代码,买卖方向\n600000,买入\n");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codec");
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + text.toUtf8() << 2;
        QTest::newRow("UTF-8") << text.toUtf8() << 2;
        QTest::newRow("GBK") << QByteArray::fromStdString(Util::QStr2str(text)) << 1;
        QTest::newRow("UTF-8 cut inside a character") << text.toUtf8().left(4) << 1;
        QTest::newRow("missing file") << QByteArray() << 0;
        // Only a prefix is read: a character cut by its end is no fault, and what lies past it is not seen.
        const QByteArray ascii(64 * 1024 - 1, 'a');
        QTest::newRow("prefix ends inside a character") << ascii + text.toUtf8() << 2;
        QTest::newRow("GBK past the prefix") << ascii + 'a' + QByteArray::fromStdString(Util::QStr2str(text)) << 2;
    }
    void fileCodec()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, codec);
        const QString name = QStringLiteral("codec_%1.csv").arg(QTest::currentDataTag());
        const QString path = bytes.isNull() ? VelmTest::tempDir() + "/" + name : VelmTest::writeTempFile(name, bytes);
        QVERIFY(QFile::exists(path) != bytes.isNull());
        QCOMPARE(Util::GetFileCodec(path), codec);
    }

    // An unmapped character would hide the name from the completer.
    void everyCatalogueNameHasAsciiInitials()
    {
        const QRegularExpression ascii(QStringLiteral("^[A-Z0-9]+$"));
        QStringList unmapped;
        for (const SecurityInfo& info : SecurityCatalogue::instance().all()) {
            if (!ascii.match(Util::PinyinInitials(info.SecurityName)).hasMatch())
                unmapped.append(info.SecurityName);
        }
        QVERIFY2(unmapped.isEmpty(), qPrintable(unmapped.join(QLatin1Char(','))));
        QVERIFY(SecurityCatalogue::instance().all().size() > 100);
    }
};

QTEST_MAIN(UtilTest)
#include "tst_util.moc"
