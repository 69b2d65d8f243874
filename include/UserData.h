#pragma once

#include "Lev1MarketData.h"
#include "SecurityInfo.h"
#include "VelmBaseExport.h"

#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class MarketSimulator;
class SecurityCatalogue;
class BrokerRoute;
class ServiceScheduledOrder;
class SimBroker;

namespace ApiTypes {
constexpr int Stock = 1;
constexpr int Credit = 2;
}

// One trading account as the host knows it: its kind, securities, Level-1 data, the maximum-
// quantity inquiry, its simulated broker and its scheduled-order service.
class VELM_BASE_EXPORT UserData : public QObject
{
    Q_OBJECT
public:
    UserData(int accountId, int apiType, const QString& accountName, MarketSimulator& market,
             QObject* parent = nullptr);
    ~UserData() override;

    int AccountID;
    int ApiType;
    QString AccountName;
    // Shareholder account string per exchange code; the inquiry needs the one of the security's exchange.
    QMap<char, QString> MapShareholderID;

    int getApiType() const { return ApiType; }

    // Creates the account's scheduled-order service once; later calls keep it. When the host has
    // a database (UserDataManager::setDatabasePath) the service keeps its tasks there.
    void initScheduledOrderApi();
    // Host side: stops and deletes the service (its windows must be closed first); the next
    // initScheduledOrderApi() starts it again from the database.
    void closeScheduledOrderApi();
    ServiceScheduledOrder* getServiceScheduledOrder() const { return m_service; }
    // Host side: the route the account's scheduled orders take from the next
    // initScheduledOrderApi() on (null: the simulated broker). Not owned; it must outlive the
    // service.
    void setOrderRoute(BrokerRoute* route) { m_route = route; }
    BrokerRoute* orderRoute() const { return m_route; }
    SimBroker& broker() const { return *m_broker; }
    MarketSimulator& market() const { return m_market; }

    virtual QString GetSecurityNameByKey(QString securityKey);
    virtual bool GetSecurityInfoByKey(QString securityKey, SecurityInfo& info);
    virtual int GetPriceDecimalsByKey(QString securityKey);
    virtual QString GetDisplaySecurityID(const QString& securityID, char exchangeID);
    virtual QString Translate2SecurityName(const QString& securityID, char exchangeID);
    // Subscribed securities only, by security key; updated on the GUI thread.
    virtual const QMap<QString, Lev1MarketData>& GetLev1MarketDataMap();

    // Level-1 subscription, counted per key; the first quote arrives from the event loop.
    void ReqSubLev1(QString securityID, char exchangeID);
    void ReqUnsubLev1(QString securityKey);
    int lev1SubscriptionCount(const QString& securityKey) const;

    // Reads a MaxOrderVolumeReq, writes the request id into `requestId` and answers later through
    // signal_RspInquiryMaxOrderVolumeFinished. Returns 0.
    int reqInquiryMaxOrderVolume(void* request, int& requestId);
    QByteArray lastInquiryRequest() const { return m_lastInquiryRequest; }
    int inquiryRequestCount() const { return m_inquiryRequestCount; }

    // Completion lists handed to MyCompleterEdit::updateModel, and their version stamp.
    const QStringList& completerKeys() const { return m_completerKeys; }
    const QStringList& completerCodes() const { return m_completerCodes; }
    const QStringList& completerNames() const { return m_completerNames; }
    const QString& completerVersion() const { return m_completerVersion; }

signals:
    void signal_RtnLev1MarketData(QString securityKey);
    void signal_RspInquiryMaxOrderVolumeFinished(QString securitykey, int maxvolume, int error_id,
                                                 QString error_msg, int requestID);
    void signal_updateTradingAccount();
    void signal_UpdateAllSecurity();
    void signal_PosQuotaTypeNormalChanged();

private:
    void onQuoteUpdated(const QString& securityKey);
    void answerInquiry(const QByteArray& request, int requestId);
    void fillCompleterLists();

    const SecurityCatalogue& m_catalogue;
    MarketSimulator& m_market;
    SimBroker* m_broker = nullptr;
    ServiceScheduledOrder* m_service = nullptr;
    BrokerRoute* m_route = nullptr;
    QMap<QString, Lev1MarketData> m_lev1;
    QHash<QString, int> m_lev1Subscriptions;
    QByteArray m_lastInquiryRequest;
    int m_inquiryRequestCount = 0;
    int m_nextRequestId = 1;
    QStringList m_completerKeys;
    QStringList m_completerCodes;
    QStringList m_completerNames;
    QString m_completerVersion;
};
