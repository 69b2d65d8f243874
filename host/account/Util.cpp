#include "Util.h"


#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QAbstractItemView>
#include <QHash>
#include <QTextCodec>

#include <cmath>


namespace {

QTextCodec* gbkCodec()
{
    static QTextCodec* const codec = QTextCodec::codecForName("GBK");
    return codec;
}

} // namespace

QTextCodec* Util::GetLocalCodec()
{
    return gbkCodec();
}

QString Util::Str2QStr(const std::string& text)
{
    return gbkCodec()->toUnicode(text.data(), static_cast<int>(text.size()));
}

std::string Util::QStr2str(const QString& text)
{
    const QByteArray bytes = gbkCodec()->fromUnicode(text);
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString Util::ExchangePrefix(char exchangeID)
{
    switch (exchangeID) {
    case '1': return QStringLiteral("SH");
    case '2': return QStringLiteral("SZ");
    case '4': return QStringLiteral("BJ");
    default: return QString();
    }
}

QString Util::GetSecurityKey(QString securityID, char exchangeID)
{
    QString prefix = ExchangePrefix(exchangeID);
    if (prefix.isEmpty())
        prefix = QString(QLatin1Char(exchangeID));
    return securityID + QLatin1Char('.') + prefix;
}

QString Util::ParseDirection(int apiType, char direction)
{
    if (apiType == 2) {
        switch (direction) {
        case '0': return QStringLiteral("担保品买入");
        case '1': return QStringLiteral("担保品卖出");
        case 'i': return QStringLiteral("融资买入");
        case 'j': return QStringLiteral("融券卖出");
        case 'l': return QStringLiteral("买券还券");
        case 'k': return QStringLiteral("卖券还款");
        default: return QString();
        }
    }
    switch (direction) {
    case '0': return QStringLiteral("买入");
    case '1': return QStringLiteral("卖出");
    default: return QString();
    }
}

QString Util::ParseOrderInsertPriceType(int gear)
{
    // The gear codes are the entry form's; the host only names them.
    switch (gear) {
    case 0: return QStringLiteral("最新价");
    case 1: return QStringLiteral("涨停价");
    case 2: return QStringLiteral("卖五价");
    case 3: return QStringLiteral("卖四价");
    case 4: return QStringLiteral("卖三价");
    case 5: return QStringLiteral("卖二价");
    case 6: return QStringLiteral("卖一价");
    case 7: return QStringLiteral("买一价");
    case 8: return QStringLiteral("买二价");
    case 9: return QStringLiteral("买三价");
    case 10: return QStringLiteral("买四价");
    case 11: return QStringLiteral("买五价");
    case 12: return QStringLiteral("跌停价");
    case 13: return QStringLiteral("笼子买上限");
    case 14: return QStringLiteral("笼子卖下限");
    case 15: return QStringLiteral("自定价");
    case 21: return QStringLiteral("市价");
    default: return QString();
    }
}

QString Util::ParsePriceTypeName(int priceType)
{
    switch (priceType) {
    case 0: return QStringLiteral("最新价");
    case 1: return QStringLiteral("卖一价");
    case 2: return QStringLiteral("买一价");
    case 3: return QStringLiteral("市价");
    case 4: return QStringLiteral("卖二价");
    case 5: return QStringLiteral("买二价");
    case 6: return QStringLiteral("卖三价");
    case 7: return QStringLiteral("买三价");
    case 8: return QStringLiteral("卖四价");
    case 9: return QStringLiteral("买四价");
    case 10: return QStringLiteral("卖五价");
    case 11: return QStringLiteral("买五价");
    case 12: return QStringLiteral("自定价");
    case 13: return QStringLiteral("昨收盘价");
    case 14: return QStringLiteral("涨停价");
    case 15: return QStringLiteral("跌停价");
    case 16: return QStringLiteral("笼子买上限");
    case 17: return QStringLiteral("笼子卖下限");
    default: return QString();
    }
}

QString Util::ParseOrderInsertPriceFloatType(int floatType)
{
    switch (floatType) {
    case 1: return QStringLiteral("tick");
    case 2: return QStringLiteral("%");
    default: return QString();
    }
}

QString Util::ParseOrderUnit(int apiType, char securityType)
{
    Q_UNUSED(apiType)
    switch (securityType) {
    case '2': return QStringLiteral("份");
    case '3': return QStringLiteral("张");
    default: return QStringLiteral("股");
    }
}

bool Util::JudgeEffectivePrice(const double& price)
{
    // Above any listed price on these exchanges, yet far below where doubles lose cents.
    constexpr double kAbsurdPrice = 10000000.0;
    return std::isfinite(price) && price > 0.00001 && price < kAbsurdPrice;
}

void Util::SetExchangeOrderPriceType(int apiType, int priceType, char& orderPriceType,
                                     char& timeCondition, char& volumeCondition)
{
    Q_UNUSED(apiType)
    // Limit order good for the day, any volume; a market order is immediate-or-cancel.
    const bool market = priceType == 3;
    orderPriceType = market ? '1' : '2';
    timeCondition = market ? '1' : '3';
    volumeCondition = '1';
}

int Util::GetFileCodec(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    // A prefix decides: reading a whole file of any size could take all memory.
    constexpr qint64 kCodecPrefix = 64 * 1024;
    const QByteArray bytes = file.read(kCodecPrefix);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return 2;
    QTextCodec::ConverterState state;
    QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    // A character cut by the prefix's end is no fault; one cut by the file's end is.
    const bool cutAtTheEnd = state.remainingChars != 0 && file.atEnd();
    return (state.invalidChars == 0 && !cutAtTheEnd) ? 2 : 1;
}

void Util::setCustomComboBoxStyleSheet(QEvent::Type type, QComboBox* comboBox)
{
    if (!comboBox || type != QEvent::Show)
        return;
    QAbstractItemView* view = comboBox->view();
    if (view) {
        const QFontMetrics metrics(view->font());
        int widest = comboBox->width();
        for (int i = 0; i < comboBox->count(); ++i)
            widest = qMax(widest, metrics.horizontalAdvance(comboBox->itemText(i)) + 24);
        view->setMinimumWidth(widest);
    }
    comboBox->setProperty("customStyled", true);
}

namespace {

// GB2312 level-1 characters are ordered by pinyin, so the first letter of a character follows
// from where its GBK code falls.
struct InitialRange {
    int firstCode;
    char initial;
};
constexpr InitialRange kInitialRanges[] = {
    {0xB0A1, 'A'}, {0xB0C5, 'B'}, {0xB2C1, 'C'}, {0xB4EE, 'D'}, {0xB6EA, 'E'}, {0xB7A2, 'F'},
    {0xB8C1, 'G'}, {0xB9FE, 'H'}, {0xBBF7, 'J'}, {0xBFA6, 'K'}, {0xC0AC, 'L'}, {0xC2E8, 'M'},
    {0xC4C3, 'N'}, {0xC5B6, 'O'}, {0xC5BE, 'P'}, {0xC6DA, 'Q'}, {0xC8BB, 'R'}, {0xC8F6, 'S'},
    {0xCBFA, 'T'}, {0xCDDA, 'W'}, {0xCEF4, 'X'}, {0xD1B9, 'Y'}, {0xD4D1, 'Z'},
};
constexpr int kLevel1End = 0xD7F9;

// Characters outside level 1 that occur in security names, and polyphones whose level-1 place
// gives the wrong reading there (行 of 银行 reads hang).
const QHash<QChar, char>& initialOverrides()
{
    static const QHash<QChar, char> overrides = [] {
        QHash<QChar, char> map;
        const struct { const char* chars; char initial; } table[] = {
            {"行骅癀", 'H'}, {"璟钜", 'J'}, {"昇晟", 'S'}, {"鑫萱", 'X'}, {"赟曜", 'Y'},
            {"珑泸锂", 'L'}, {"橦", 'T'}, {"璞", 'P'},
        };
        for (const auto& entry : table) {
            for (const QChar ch : QString::fromUtf8(entry.chars))
                map.insert(ch, entry.initial);
        }
        return map;
    }();
    return overrides;
}

char initialOf(QChar ch)
{
    const auto overridden = initialOverrides().constFind(ch);
    if (overridden != initialOverrides().constEnd())
        return *overridden;
    const QByteArray bytes = gbkCodec()->fromUnicode(QString(ch));
    if (bytes.size() != 2)
        return 0;
    const int code = (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1]);
    if (code < kInitialRanges[0].firstCode || code > kLevel1End)
        return 0;
    char initial = 0;
    for (const InitialRange& range : kInitialRanges) {
        if (code < range.firstCode)
            break;
        initial = range.initial;
    }
    return initial;
}

} // namespace

QString Util::PinyinInitials(const QString& text)
{
    QString initials;
    initials.reserve(text.size());
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80) {
            initials.append(ch.toUpper());
            continue;
        }
        const char initial = initialOf(ch);
        initials.append(initial ? QChar(QLatin1Char(initial)) : ch);
    }
    return initials;
}
