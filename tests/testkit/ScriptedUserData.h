#pragma once

#include "UserData.h"

#include <QMap>

// An account whose host answers can be scripted: extra securities the catalogue does not hold
// (odd codes, long codes) and fixed Level-1 records, on top of the real ones.
class ScriptedUserData final : public UserData
{
    Q_OBJECT
public:
    ScriptedUserData(int accountId, int apiType);

    void addSecurity(const QString& securityKey, const SecurityInfo& info);
    void setQuote(const QString& securityKey, const Lev1MarketData& quote);

    QString GetSecurityNameByKey(QString securityKey) override;
    bool GetSecurityInfoByKey(QString securityKey, SecurityInfo& info) override;
    const QMap<QString, Lev1MarketData>& GetLev1MarketDataMap() override;

private:
    QMap<QString, SecurityInfo> m_extraSecurities;
    QMap<QString, Lev1MarketData> m_scriptedQuotes;
    QMap<QString, Lev1MarketData> m_mergedQuotes;
};
