#include "SecurityCatalogue.h"
#include "Util.h"
#include "VelmTest.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {

QString writeTempFile(const QString& name, const QByteArray& bytes)
{
    const QString path = VelmTest::tempDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes);
    return path;
}

} // namespace

class UtilTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { VelmTest::installStrictMessageHandler(); }

    void recordTextIsGbk()
    {
        const std::string bytes = Util::QStr2str(QStringLiteral("浦发银行"));
        QCOMPARE(QByteArray::fromStdString(bytes), QByteArray("\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0"));
        QCOMPARE(Util::Str2QStr(std::string("\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0")), QStringLiteral("浦发银行"));
    }

    void gbkRoundTrip_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("byteCount");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("ascii") << "600000_SH" << 9;
        QTest::newRow("task name") << "600519_贵州茅台" << 15;
        QTest::newRow("latin and chinese") << "TCL科技" << 7;
        QTest::newRow("level-2 character") << "片仔癀" << 6;
        QTest::newRow("full-width punctuation") << "证券代码（600000）无效，请检查。" << 32;
    }
    void gbkRoundTrip()
    {
        QFETCH(QString, text);
        QFETCH(int, byteCount);
        const std::string bytes = Util::QStr2str(text);
        QCOMPARE(int(bytes.size()), byteCount);
        QCOMPARE(Util::Str2QStr(bytes), text);
    }

    void securityKeyPerExchange_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<char>("exchange");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("Shanghai") << "600000" << '1' << "600000.SH" << "SH";
        QTest::newRow("Shenzhen") << "000001" << '2' << "000001.SZ" << "SZ";
        QTest::newRow("Beijing") << "920185" << '4' << "920185.BJ" << "BJ";
        QTest::newRow("unknown exchange keeps its code") << "123456" << '9' << "123456.9" << "";
        QTest::newRow("empty code") << "" << '1' << ".SH" << "SH";
    }
    void securityKeyPerExchange()
    {
        QFETCH(QString, code);
        QFETCH(char, exchange);
        QFETCH(QString, key);
        QFETCH(QString, prefix);
        QCOMPARE(Util::GetSecurityKey(code, exchange), key);
        QCOMPARE(Util::ExchangePrefix(exchange), prefix);
    }

    void directionTexts_data()
    {
        QTest::addColumn<int>("apiType");
        QTest::addColumn<char>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("stock buy") << 1 << '0' << "买入";
        QTest::newRow("stock sell") << 1 << '1' << "卖出";
        QTest::newRow("stock has no financed buy") << 1 << 'i' << "";
        QTest::newRow("stock has no short sell") << 1 << 'j' << "";
        QTest::newRow("stock unknown") << 1 << 'x' << "";
        QTest::newRow("stock zero") << 1 << '\0' << "";
        QTest::newRow("credit collateral buy") << 2 << '0' << "担保品买入";
        QTest::newRow("credit collateral sell") << 2 << '1' << "担保品卖出";
        QTest::newRow("credit financed buy") << 2 << 'i' << "融资买入";
        QTest::newRow("credit short sell") << 2 << 'j' << "融券卖出";
        QTest::newRow("credit third buy kind") << 2 << 'l' << "买券还券";
        QTest::newRow("credit third sell kind") << 2 << 'k' << "卖券还款";
        QTest::newRow("credit unknown") << 2 << '2' << "";
    }
    void directionTexts()
    {
        QFETCH(int, apiType);
        QFETCH(char, code);
        QFETCH(QString, text);
        QCOMPARE(Util::ParseDirection(apiType, code), text);
    }

    void effectivePrice_data()
    {
        QTest::addColumn<double>("price");
        QTest::addColumn<bool>("effective");
        QTest::newRow("zero") << 0.0 << false;
        QTest::newRow("negative") << -10.35 << false;
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << false;
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false;
        QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << false;
        QTest::newRow("ten million") << 1e7 << false;
        QTest::newRow("double max") << std::numeric_limits<double>::max() << false;
        QTest::newRow("below a thousandth of a cent") << 0.000001 << false;
        QTest::newRow("a tenth of a cent") << 0.001 << true;
        QTest::newRow("a share price") << 10.35 << true;
        QTest::newRow("highest listed price") << 9999999.99 << true;
    }
    void effectivePrice()
    {
        QFETCH(double, price);
        QFETCH(bool, effective);
        QCOMPARE(Util::JudgeEffectivePrice(price), effective);
    }

    void fileCodec_data()
    {
        const QString text = QStringLiteral("证券代码,买卖方向,委托数量\n600000,买入,1000\n");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("codec");
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + text.toUtf8() << 2;
        QTest::newRow("UTF-8 without BOM") << text.toUtf8() << 2;
        QTest::newRow("GBK") << QByteArray::fromStdString(Util::QStr2str(text)) << 1;
        QTest::newRow("GBK name only") << QByteArray("\xC6\xD6\xB7\xA2\xD2\xF8\xD0\xD0") << 1;
        QTest::newRow("ASCII") << QByteArray("600000,1,1000\n") << 2;
        QTest::newRow("UTF-8 cut inside a character") << text.toUtf8().left(4) << 1;
        QTest::newRow("BOM only") << QByteArray("\xEF\xBB\xBF") << 2;
    }
    void fileCodec()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, codec);
        const QString path = writeTempFile(QStringLiteral("codec_%1.csv").arg(QTest::currentDataTag()), bytes);
        QVERIFY(!path.isEmpty());
        QCOMPARE(Util::GetFileCodec(path), codec);
        QFile::remove(path);
    }

    void fileCodecOfMissingFileIsZero()
    {
        QCOMPARE(Util::GetFileCodec(VelmTest::tempDir() + QStringLiteral("/no_such_file.csv")), 0);
    }

    void comboBoxIsRestyledOnShowOnly_data()
    {
        QTest::addColumn<int>("eventType");
        QTest::addColumn<bool>("styled");
        QTest::newRow("show") << int(QEvent::Show) << true;
        QTest::newRow("hide") << int(QEvent::Hide) << false;
        QTest::newRow("paint") << int(QEvent::Paint) << false;
        QTest::newRow("polish") << int(QEvent::Polish) << false;
        QTest::newRow("mouse press") << int(QEvent::MouseButtonPress) << false;
    }
    void comboBoxIsRestyledOnShowOnly()
    {
        QFETCH(int, eventType);
        QFETCH(bool, styled);
        QComboBox combo;
        const QString longest = QStringLiteral("笼子买上限（仅买入方向可用的价格）");
        combo.addItems({QStringLiteral("最新价"), longest});
        combo.resize(60, 22);
        Util::setCustomComboBoxStyleSheet(QEvent::Type(eventType), &combo);
        QCOMPARE(combo.property("customStyled").isValid(), styled);
        if (styled) {
            QCOMPARE(combo.property("customStyled").toBool(), true);
            const int needed = QFontMetrics(combo.view()->font()).horizontalAdvance(longest);
            QVERIFY2(combo.view()->minimumWidth() >= needed,
                     qPrintable(QStringLiteral("popup %1 px, item %2 px").arg(combo.view()->minimumWidth()).arg(needed)));
        }
    }

    void comboBoxNullIsIgnored()
    {
        Util::setCustomComboBoxStyleSheet(QEvent::Show, nullptr);
    }

    // The completer matches pinyin initials: a name with a character left unmapped could not be
    // found by them.
    void everyCatalogueNameHasPinyinInitials()
    {
        const QRegularExpression lettersAndDigits(QStringLiteral("^[A-Z0-9]+$"));
        QStringList unmapped;
        for (const SecurityInfo& info : SecurityCatalogue::instance().all()) {
            const QString initials = Util::PinyinInitials(info.SecurityName);
            if (!lettersAndDigits.match(initials).hasMatch())
                unmapped.append(info.SecurityName + QStringLiteral(" -> ") + initials);
        }
        QVERIFY2(unmapped.isEmpty(), qPrintable(unmapped.join(QStringLiteral(", "))));
        QVERIFY(SecurityCatalogue::instance().all().size() > 100);
    }

    void pinyinInitials_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("initials");
        QTest::newRow("bank: 行 reads hang") << "浦发银行" << "PFYH";
        QTest::newRow("贵州茅台") << "贵州茅台" << "GZMT";
        QTest::newRow("长 reads chang") << "长江电力" << "CJDL";
        QTest::newRow("重 reads zhong") << "三一重工" << "SYZG";
        QTest::newRow("level-2 character 癀") << "片仔癀" << "PZH";
        QTest::newRow("latin letters kept") << "TCL科技" << "TCLKJ";
        QTest::newRow("level-2 character 锂") << "赣锋锂业" << "GFLY";
        QTest::newRow("level-2 character 泸") << "泸州老窖" << "LZLJ";
        QTest::newRow("digits kept") << "沪深300ETF" << "HS300ETF";
        QTest::newRow("share class letter") << "万科A" << "WKA";
        QTest::newRow("lower case latin raised") << "etf基金" << "ETFJJ";
        QTest::newRow("first level-1 character") << "啊" << "A";
        QTest::newRow("last level-1 character") << "座" << "Z";
        QTest::newRow("overridden level-2 characters") << "鑫晟璟" << "XSJ";
        QTest::newRow("unmapped character kept") << "亍" << "亍";
        QTest::newRow("empty") << "" << "";
    }
    void pinyinInitials()
    {
        QFETCH(QString, name);
        QFETCH(QString, initials);
        QCOMPARE(Util::PinyinInitials(name), initials);
    }
};

QTEST_MAIN(UtilTest)
#include "tst_util.moc"
