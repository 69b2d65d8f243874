#pragma once

#include "VelmBaseExport.h"

#include <QEvent>
#include <QString>

#include <string>

class QComboBox;
class QTextCodec;

// Conversions and display texts shared by every module of the host.
class VELM_BASE_EXPORT Util
{
public:
    // Record strings are GBK on every system, whatever the machine's locale.
    static QString Str2QStr(const std::string& text);
    static std::string QStr2str(const QString& text);
    // The host's local 8-bit code page (GBK, as on the trading desks, whatever the machine's
    // locale): the codec of the two conversions above and of task files that are not UTF-8.
    static QTextCodec* GetLocalCodec();

    // "<code>.<SH|SZ|BJ>" (another exchange code gives "<code>.<code char>").
    static QString GetSecurityKey(QString securityID, char exchangeID);
    // "SH", "SZ", "BJ", or empty for an unknown exchange.
    static QString ExchangePrefix(char exchangeID);

    // Text of a direction code for the account kind; empty for an unknown code.
    static QString ParseDirection(int apiType, char direction);
    // Text of a price-gear code (entry form, modify dialog).
    static QString ParseOrderInsertPriceType(int gear);
    // Name of a sub-task PriceType (最新价, 卖一价, ...); empty for an unknown type.
    static QString ParsePriceTypeName(int priceType);
    // "tick" for 1, "%" for 2.
    static QString ParseOrderInsertPriceFloatType(int floatType);
    // Unit of order quantities for a security category: 股, 份 or 张.
    static QString ParseOrderUnit(int apiType, char securityType);

    // False for 0, negative, NaN, infinite and absurdly large prices.
    static bool JudgeEffectivePrice(const double& price);
    // The exchange's order price type, time and volume conditions of a host price type (0 = limit).
    static void SetExchangeOrderPriceType(int apiType, int priceType, char& orderPriceType,
                                          char& timeCondition, char& volumeCondition);

    // 2 when the file is UTF-8 (a BOM, or bytes that are all valid UTF-8), 1 otherwise (local 8-bit),
    // 0 when it cannot be read.
    static int GetFileCodec(const QString& path);

    // Restyles a combo box from its owner's event filter: on Show it sizes the popup to its
    // widest item and marks the box with the property "customStyled".
    static void setCustomComboBoxStyleSheet(QEvent::Type type, QComboBox* comboBox);

    // Upper-case pinyin initials of a name ("浦发银行" -> "PFYH"); other characters kept as they are.
    static QString PinyinInitials(const QString& text);
};
