#include "ScriptedUserData.h"

#include "UserDataManager.h"

ScriptedUserData::ScriptedUserData(int accountId, int apiType)
    : UserData(accountId, apiType, QStringLiteral("scripted %1").arg(accountId), UserDataManager::instance()->market())
{
}

void ScriptedUserData::addSecurity(const QString& securityKey, const SecurityInfo& info)
{
    m_extraSecurities.insert(securityKey, info);
}

void ScriptedUserData::setQuote(const QString& securityKey, const Lev1MarketData& quote)
{
    m_scriptedQuotes.insert(securityKey, quote);
}

QString ScriptedUserData::GetSecurityNameByKey(QString securityKey)
{
    const auto it = m_extraSecurities.constFind(securityKey);
    return it != m_extraSecurities.constEnd() ? it->SecurityName : UserData::GetSecurityNameByKey(securityKey);
}

bool ScriptedUserData::GetSecurityInfoByKey(QString securityKey, SecurityInfo& info)
{
    const auto it = m_extraSecurities.constFind(securityKey);
    if (it == m_extraSecurities.constEnd())
        return UserData::GetSecurityInfoByKey(securityKey, info);
    info = *it;
    return true;
}

const QMap<QString, Lev1MarketData>& ScriptedUserData::GetLev1MarketDataMap()
{
    m_mergedQuotes = UserData::GetLev1MarketDataMap();
    for (auto it = m_scriptedQuotes.constBegin(); it != m_scriptedQuotes.constEnd(); ++it)
        m_mergedQuotes.insert(it.key(), it.value());
    return m_mergedQuotes;
}
