#include "ExchangeThread.h"

#include "FixSimExchange.h"
#include "MarketSimulator.h"
#include "SecurityCatalogue.h"
#include "SimBroker.h"

namespace {

constexpr double kFunds = 1e12;
constexpr uint32_t kMarketSeed = 1;

} // namespace

ExchangeThread::ExchangeThread()
{
    m_thread.setObjectName(QStringLiteral("simulated exchange"));
    m_home.moveToThread(&m_thread);
}

ExchangeThread::~ExchangeThread()
{
    stop();
}

bool ExchangeThread::start(const FixSessionSettings& settings, const QString& securityKey, const Lev1MarketData& quote,
                           QString* whyNot)
{
    m_thread.start();
    bool started = false;
    runOnThread([&] {
        m_market = std::make_unique<MarketSimulator>(SecurityCatalogue::instance(), kMarketSeed);
        m_market->setQuote(securityKey, quote);
        m_broker = std::make_unique<SimBroker>(1);
        m_broker->setAvailableFunds(kFunds);
        m_broker->setPlacedOrderObserver([this](const SimOrder&) {
            m_lastBooked = std::chrono::steady_clock::now();
            if (m_firstBooked == TimePoint())
                m_firstBooked = m_lastBooked;
        });
        m_exchange = std::make_unique<FixSimExchange>(settings, *m_broker, *m_market, SecurityCatalogue::instance());
        started = m_exchange->start(whyNot);
    });
    if (!started)
        stop();
    return started;
}

void ExchangeThread::stop()
{
    if (!m_thread.isRunning())
        return;
    runOnThread([this] {
        m_exchange.reset();
        m_broker.reset();
        m_market.reset();
    });
    m_thread.quit();
    m_thread.wait();
}

void ExchangeThread::runOnThread(const std::function<void()>& work)
{
    QMetaObject::invokeMethod(&m_home, work, Qt::BlockingQueuedConnection);
}
