#include "FixBrokerRoute.h"

#include "FixOrderMessages.h"
#include "WindowManager.h"

#include <quickfix/Application.h>
#include <quickfix/FileLog.h>
#include <quickfix/FileStore.h>
#include <quickfix/Session.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/SocketInitiator.h>
#include <quickfix/fix44/NewOrderSingle.h>
#include <quickfix/fix44/OrderStatusRequest.h>

#include <atomic>
#include <map>
#include <mutex>

namespace {

constexpr int kFixRouteLogType = 7;

void logRoute(const QString& text, spdlog::level::level_enum level = spdlog::level::info)
{
    WindowManager::LogStgy(text, kFixRouteLogType, level);
}

bool isPossibleDuplicate(const FIX::Message& message)
{
    FIX::PossDupFlag possDup;
    return message.getHeader().getFieldIfSet(possDup) && possDup.getValue();
}

bool isNewOrder(const FIX::Message& message)
{
    FIX::MsgType type;
    return message.getHeader().getFieldIfSet(type) && type.getValue() == FIX::MsgType_NewOrderSingle;
}

QString textOf(const FIX::Message& message)
{
    return message.isSetField(FIX::FIELD::Text) ? QString::fromStdString(message.getField(FIX::FIELD::Text)) : QString();
}

} // namespace

// QuickFIX's side of the route: its callbacks run on the initiator's thread.
class FixBrokerRoute::Session final : public FIX::Application
{
public:
    Session(FixBrokerRoute& owner, const FixSessionSettings& settings)
        : m_owner(owner)
        , m_id(FIX::BeginString_FIX44, settings.senderCompId.toStdString(), settings.targetCompId.toStdString())
        , m_settings(settings.toQuickFix(FixSessionSettings::Role::Initiator))
        , m_storeFactory(m_settings)
        , m_logFactory(m_settings)
        , m_initiator(*this, m_storeFactory, m_settings, m_logFactory)
    {
    }

    ~Session() override { m_initiator.stop(); }

    void start() { m_initiator.start(); }
    void stop() { m_initiator.stop(); }
    bool isLoggedOn() const { return m_loggedOn; }

    bool send(FIX::Message& message)
    {
        try {
            return FIX::Session::sendToTarget(message, m_id);
        } catch (const FIX::SessionNotFound&) {
            return false;
        }
    }

    void remember(const BrokerOrderRequest& request)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_sent[request.clientOrderRef] = request;
    }

    void forget(const std::string& clientOrderRef)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_sent.erase(clientOrderRef);
    }

    bool sentRequest(const std::string& clientOrderRef, BrokerOrderRequest* out) const
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        const auto it = m_sent.find(clientOrderRef);
        if (it == m_sent.end())
            return false;
        *out = it->second;
        return true;
    }

    void onCreate(const FIX::SessionID&) override {}

    void onLogon(const FIX::SessionID&) override
    {
        m_loggedOn = true;
        m_logonFailing = false;
        logRoute(QStringLiteral("FIX路由已登录：%1").arg(m_owner.name()));
        askForReconcile();
        emit m_owner.signalLoggedOn();
    }

    // QuickFIX also calls this for each attempt that did not log on: told once, not once a retry.
    void onLogout(const FIX::SessionID&) override
    {
        if (!m_loggedOn.exchange(false)) {
            if (!m_logonFailing.exchange(true))
                problem(QStringLiteral("FIX路由登录未成功：%1，每%2秒重试").arg(m_owner.name()).arg(m_owner.m_settings.reconnectSeconds));
            return;
        }
        logRoute(QStringLiteral("FIX路由已断开：%1").arg(m_owner.name()), spdlog::level::warn);
        emit m_owner.signalLoggedOut();
    }

    void toAdmin(FIX::Message&, const FIX::SessionID&) override {}

    // An order leaves now or never: a resend of one that the counterparty asks for (after a
    // reconnect, or when both ends found a gap at logon) becomes a gap fill instead of a late
    // duplicate order. The counterparty has not taken it, so the engine asks about its open
    // orders, unless a pass asked for after the order left covers it already: it fails as unknown
    // now, not at the next logon. A status request may go again: its answer is the same, and the
    // requests sent right after logon are often inside the range the counterparty asks to be
    // resent.
    void toApp(FIX::Message& message, const FIX::SessionID&) throw(FIX::DoNotSend) override
    {
        if (!m_loggedOn)
            throw FIX::DoNotSend();
        if (!isPossibleDuplicate(message) || !isNewOrder(message))
            return;
        if (sequenceNumberOf(message) >= m_reconcileCoversBelow) {
            logRoute(QStringLiteral("FIX对方要求重发已发出的委托（参考号 %1 起），为免迟发以序号填补，随即查询未完结委托的状态")
                         .arg(QString::fromStdString(message.getField(FIX::FIELD::ClOrdID))),
                     spdlog::level::warn);
            askForReconcile();
        }
        throw FIX::DoNotSend();
    }

    void fromAdmin(const FIX::Message& message, const FIX::SessionID&)
        throw(FIX::FieldNotFound, FIX::IncorrectDataFormat, FIX::IncorrectTagValue, FIX::RejectLogon) override
    {
        FIX::MsgType type;
        message.getHeader().getFieldIfSet(type);
        if (type.getValue() == FIX::MsgType_Reject)
            problem(QStringLiteral("FIX会话拒绝了消息：%1").arg(textOf(message)));
        else if (type.getValue() == FIX::MsgType_Logout && message.isSetField(FIX::FIELD::Text))
            logRoute(QStringLiteral("FIX对方退出登录：%1").arg(textOf(message)), spdlog::level::warn);
    }

    void fromApp(const FIX::Message& message, const FIX::SessionID&)
        throw(FIX::FieldNotFound, FIX::IncorrectDataFormat, FIX::IncorrectTagValue, FIX::UnsupportedMessageType) override
    {
        FIX::MsgType type;
        message.getHeader().getFieldIfSet(type);
        if (type.getValue() == FIX::MsgType_BusinessMessageReject) {
            problem(QStringLiteral("FIX对方拒绝了业务消息：%1").arg(textOf(message)));
            return;
        }
        if (type.getValue() != FIX::MsgType_ExecutionReport)
            throw FIX::UnsupportedMessageType();
        BrokerExecutionReport report;
        QString whyNot;
        if (!FixOrderMessages::toBrokerReport(message, &report, &whyNot)) {
            problem(QStringLiteral("无法处理的执行报告：%1").arg(whyNot));
            return;
        }
        if (report.state == BrokerExecutionReport::State::Rejected)
            logRoute(QStringLiteral("委托被拒绝：%1 %2").arg(QString::fromStdString(report.clientOrderRef), report.text));
        m_owner.deliver(report);
    }

private:
    // The pass it starts asks about every order open by then, so about every one sent before now.
    void askForReconcile()
    {
        FIX::Session* session = FIX::Session::lookupSession(m_id);
        m_reconcileCoversBelow = session ? session->getExpectedSenderNum() : 0;
        m_owner.askForReconcile();
    }

    static int sequenceNumberOf(const FIX::Message& message)
    {
        FIX::MsgSeqNum number;
        return message.getHeader().getFieldIfSet(number) ? number.getValue() : 0;
    }

    void problem(const QString& text)
    {
        logRoute(text, spdlog::level::warn);
        emit m_owner.signalProblem(text);
    }

    FixBrokerRoute& m_owner;
    const FIX::SessionID m_id;
    FIX::SessionSettings m_settings;
    FIX::FileStoreFactory m_storeFactory;
    FIX::FileLogFactory m_logFactory;
    FIX::SocketInitiator m_initiator;
    std::atomic<bool> m_loggedOn{false};
    std::atomic<bool> m_logonFailing{false};
    std::atomic<int> m_reconcileCoversBelow{0};    // sequence numbers the last asked-for pass covers
    mutable std::mutex m_mutex;
    std::map<std::string, BrokerOrderRequest> m_sent;
};

FixBrokerRoute::FixBrokerRoute(const FixSessionSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
{
}

FixBrokerRoute::~FixBrokerRoute()
{
    stop();
}

bool FixBrokerRoute::start(QString* whyNot)
{
    if (m_session)
        return true;
    *whyNot = m_settings.problem(FixSessionSettings::Role::Initiator);
    if (!whyNot->isEmpty())
        return false;
    try {
        m_session = std::make_unique<Session>(*this, m_settings);
        m_session->start();
    } catch (const FIX::ConfigError& error) {
        *whyNot = QStringLiteral("FIX路由无法启动（%1）：%2").arg(name(), QString::fromStdString(error.detail));
    } catch (const FIX::RuntimeError& error) {
        *whyNot = QStringLiteral("FIX路由无法启动（%1）：%2").arg(name(), QString::fromStdString(error.detail));
    }
    if (whyNot->isEmpty())
        return true;
    m_session.reset();
    logRoute(*whyNot, spdlog::level::err);
    return false;
}

void FixBrokerRoute::stop()
{
    if (!m_session)
        return;
    m_session->stop();
    m_session.reset();
}

QString FixBrokerRoute::name() const
{
    return QStringLiteral("FIX %1→%2").arg(m_settings.senderCompId, m_settings.targetCompId);
}

bool FixBrokerRoute::isConnected() const
{
    return m_session && m_session->isLoggedOn();
}

bool FixBrokerRoute::sendOrder(const BrokerOrderRequest& request, QString* whyNot)
{
    if (!isConnected()) {
        *whyNot = QStringLiteral("路由未连接：%1，委托未发出").arg(name());
        return false;
    }
    FIX44::NewOrderSingle order;
    if (!FixOrderMessages::newOrderSingle(request, &order, whyNot))
        return false;
    m_session->remember(request);
    if (m_session->send(order))
        return true;
    m_session->forget(request.clientOrderRef);
    *whyNot = QStringLiteral("路由未连接：%1，委托未发出").arg(name());
    return false;
}

bool FixBrokerRoute::requestStatus(const std::string& clientOrderRef)
{
    if (!isConnected())
        return false;
    BrokerOrderRequest known;
    const bool isKnown = m_session->sentRequest(clientOrderRef, &known);
    FIX44::OrderStatusRequest request = FixOrderMessages::orderStatusRequest(clientOrderRef, isKnown ? &known : nullptr);
    return m_session->send(request);
}

void FixBrokerRoute::setReportHandler(ReportHandler handler)
{
    std::lock_guard<std::mutex> guard(m_handlerMutex);
    m_handler = std::move(handler);
}

void FixBrokerRoute::deliver(const BrokerExecutionReport& report)
{
    ReportHandler handler;
    {
        std::lock_guard<std::mutex> guard(m_handlerMutex);
        handler = m_handler;
    }
    if (handler)
        handler(report);
}

void FixBrokerRoute::setReconcileHandler(ReconcileHandler handler)
{
    std::lock_guard<std::mutex> guard(m_handlerMutex);
    m_reconcileHandler = std::move(handler);
}

void FixBrokerRoute::askForReconcile()
{
    ReconcileHandler handler;
    {
        std::lock_guard<std::mutex> guard(m_handlerMutex);
        handler = m_reconcileHandler;
    }
    if (handler)
        handler();
}
