#include "UserData.h"

#include "MarketSimulator.h"
#include "MaxOrderVolumeReq.h"
#include "SchedOrdCodes.h"
#include "SecurityCatalogue.h"
#include "ServiceScheduledOrder.h"
#include "SimBroker.h"
#include "UserDataManager.h"
#include "Util.h"

#include <QTimer>

#include <cmath>
#include <cstring>

namespace {

// Error ids of the maximum-quantity answer.
constexpr int kInquiryOk = 0;
constexpr int kInquiryUnknownSecurity = 1;
constexpr int kInquiryBadAccount = 2;
constexpr int kInquiryBadPrice = 3;
constexpr int kInquiryBadDirection = 4;

// The account string is at most 10 characters and at least 4.
constexpr int kMinShareholderIdLength = 4;

QString fixedText(const char* field, size_t capacity)
{
    return QString::fromLatin1(field, static_cast<int>(strnlen(field, capacity)));
}

} // namespace

UserData::UserData(int accountId, int apiType, const QString& accountName, MarketSimulator& market,
                   QObject* parent)
    : QObject(parent)
    , AccountID(accountId)
    , ApiType(apiType)
    , AccountName(accountName)
    , m_catalogue(SecurityCatalogue::instance())
    , m_market(market)
    , m_broker(new SimBroker(apiType, this))
{
    connect(&m_market, &MarketSimulator::quoteUpdated, this, &UserData::onQuoteUpdated);
    // The engine trades on its own thread; the account's signal reaches the GUI queued.
    connect(m_broker, &SimBroker::signalAccountChanged, this, &UserData::signal_updateTradingAccount,
            Qt::QueuedConnection);
    fillCompleterLists();
}

UserData::~UserData()
{
    // The service's engine trades through the broker: stop it first.
    delete m_service;
    m_service = nullptr;
}

void UserData::initScheduledOrderApi()
{
    if (m_service)
        return;
    m_service = new ServiceScheduledOrder(AccountID, ApiType, m_catalogue, m_market, *m_broker, this);
    m_service->setShareholderAccounts(MapShareholderID);
    m_service->setOrderRoute(m_route);
    const QString databasePath = UserDataManager::instance()->databasePath();
    if (!databasePath.isEmpty())
        m_service->openStorage(databasePath);
}

void UserData::closeScheduledOrderApi()
{
    delete m_service;
    m_service = nullptr;
}

QString UserData::GetSecurityNameByKey(QString securityKey)
{
    const SecurityInfo* info = m_catalogue.find(securityKey);
    return info ? info->SecurityName : QString();
}

bool UserData::GetSecurityInfoByKey(QString securityKey, SecurityInfo& info)
{
    const SecurityInfo* found = m_catalogue.find(securityKey);
    if (!found)
        return false;
    info = *found;
    return true;
}

int UserData::GetPriceDecimalsByKey(QString securityKey)
{
    const SecurityInfo* info = m_catalogue.find(securityKey);
    return info ? info->PriceDecimals : 2;
}

QString UserData::GetDisplaySecurityID(const QString& securityID, char exchangeID)
{
    Q_UNUSED(exchangeID)
    return securityID;
}

QString UserData::Translate2SecurityName(const QString& securityID, char exchangeID)
{
    const SecurityInfo* info = m_catalogue.find(securityID, exchangeID);
    return info ? info->SecurityName : QString();
}

const QMap<QString, Lev1MarketData>& UserData::GetLev1MarketDataMap()
{
    return m_lev1;
}

void UserData::ReqSubLev1(QString securityID, char exchangeID)
{
    const QString key = Util::GetSecurityKey(securityID, exchangeID);
    if (!m_catalogue.find(key))
        return;
    if (m_lev1Subscriptions[key]++ > 0)
        return;
    // Like a real feed, the first snapshot arrives after the request returns.
    QTimer::singleShot(0, this, [this, key] { onQuoteUpdated(key); });
}

void UserData::ReqUnsubLev1(QString securityKey)
{
    auto it = m_lev1Subscriptions.find(securityKey);
    if (it == m_lev1Subscriptions.end())
        return;
    if (--*it > 0)
        return;
    m_lev1Subscriptions.erase(it);
    m_lev1.remove(securityKey);
}

int UserData::lev1SubscriptionCount(const QString& securityKey) const
{
    return m_lev1Subscriptions.value(securityKey, 0);
}

void UserData::onQuoteUpdated(const QString& securityKey)
{
    if (!m_lev1Subscriptions.contains(securityKey))
        return;
    Lev1MarketData quote;
    if (!m_market.snapshot(securityKey, quote))
        return;
    m_lev1.insert(securityKey, quote);
    emit signal_RtnLev1MarketData(securityKey);
}

int UserData::reqInquiryMaxOrderVolume(void* request, int& requestId)
{
    requestId = m_nextRequestId++;
    ++m_inquiryRequestCount;
    m_lastInquiryRequest = QByteArray(static_cast<const char*>(request), sizeof(MaxOrderVolumeReq));
    const QByteArray copy = m_lastInquiryRequest;
    const int id = requestId;
    QTimer::singleShot(0, this, [this, copy, id] { answerInquiry(copy, id); });
    return 0;
}

void UserData::answerInquiry(const QByteArray& raw, int requestId)
{
    MaxOrderVolumeReq request;
    std::memcpy(&request, raw.constData(), sizeof request);
    const QString securityID = fixedText(request.SecurityID, sizeof request.SecurityID);
    const QString key = Util::GetSecurityKey(securityID, request.ExchangeID);
    const QString shareholder = fixedText(request.ShareholderID, sizeof request.ShareholderID);
    auto reply = [&](int volume, int errorId, const QString& message) {
        emit signal_RspInquiryMaxOrderVolumeFinished(key, volume, errorId, message, requestId);
    };

    const SecurityInfo* info = m_catalogue.find(key);
    if (!info) {
        reply(0, kInquiryUnknownSecurity, tr("证券代码不存在"));
        return;
    }
    if (shareholder.size() < kMinShareholderIdLength || MapShareholderID.value(request.ExchangeID) != shareholder) {
        reply(0, kInquiryBadAccount, tr("股东账号无效"));
        return;
    }
    if (!Util::JudgeEffectivePrice(request.LimitPrice)) {
        reply(0, kInquiryBadPrice, tr("委托价格无效"));
        return;
    }
    const char direction = request.Direction;
    if (VELMSCHEDORDAPI::isBuyDirection(direction)) {
        const double money = direction == VELMSCHEDORDAPI::Direction::FinancedBuy ? m_broker->creditLine()
                                                                                    : m_broker->availableFunds();
        const int affordable = static_cast<int>(std::floor(money / request.LimitPrice + 1e-9));
        int volume = affordable - affordable % info->VolumeStep;
        if (volume < info->MinVolume)
            volume = 0;
        reply(volume, kInquiryOk, QString());
    } else if (VELMSCHEDORDAPI::isSellDirection(direction)) {
        const bool shortSell = direction == VELMSCHEDORDAPI::Direction::ShortSell;
        reply(shortSell ? m_broker->shortQuota(key) : m_broker->positionAvailable(key), kInquiryOk, QString());
    } else {
        reply(0, kInquiryBadDirection, tr("买卖方向无效"));
    }
}

void UserData::fillCompleterLists()
{
    const QVector<SecurityInfo>& all = m_catalogue.all();
    m_completerKeys.reserve(all.size());
    m_completerCodes.reserve(all.size());
    m_completerNames.reserve(all.size());
    for (const SecurityInfo& info : all) {
        m_completerKeys.append(Util::GetSecurityKey(info.SecurityID, info.ExchangeID));
        m_completerCodes.append(info.SecurityID);
        m_completerNames.append(info.SecurityName);
    }
    m_completerVersion = QStringLiteral("catalogue-%1").arg(all.size());
}
