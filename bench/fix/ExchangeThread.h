#pragma once

#include "FixSessionSettings.h"
#include "Lev1MarketData.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <chrono>
#include <functional>
#include <memory>

class FixSimExchange;
class MarketSimulator;
class SimBroker;

// The simulated exchange, its market and its broker on a thread of their own, as the separate
// process it is in use: none of its work lands on the GUI thread being measured. Its market is
// pinned to one quote of 600000.SH, its broker has funds for any burst.
class ExchangeThread final
{
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    ExchangeThread();
    ~ExchangeThread();
    ExchangeThread(const ExchangeThread&) = delete;
    ExchangeThread& operator=(const ExchangeThread&) = delete;

    // False, with the reason, when the exchange cannot listen.
    bool start(const FixSessionSettings& settings, const QString& securityKey, const Lev1MarketData& quote,
               QString* whyNot);
    // Logs the client out and ends the thread; the times below stay readable.
    void stop();

    // When the broker booked its first and its last order (a default time point: none).
    TimePoint firstBooked() const { return m_firstBooked; }
    TimePoint lastBooked() const { return m_lastBooked; }

private:
    void runOnThread(const std::function<void()>& work);

    QThread m_thread;
    QObject m_home;                 // lives on m_thread: what runs there is queued to it
    std::unique_ptr<MarketSimulator> m_market;
    std::unique_ptr<SimBroker> m_broker;
    std::unique_ptr<FixSimExchange> m_exchange;
    // Written on m_thread only; read once stop() has joined it.
    TimePoint m_firstBooked;
    TimePoint m_lastBooked;
};
