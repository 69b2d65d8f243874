#pragma once

#include "BrokerRoute.h"

#include <QString>

#include <vector>

// The least a FIX 4.4 order round trip costs with QuickFIX on this machine: the socket
// initiator the route uses and QuickFIX's threaded acceptor on loopback, with the file store and file log the order route uses,
// and nothing else. The acceptor answers every NewOrderSingle with one filled ExecutionReport,
// or, when asked to, with a New one first, as the simulated exchange does.
class BareFixExchange final
{
public:
    struct Result {
        bool finished = false;
        double elapsedMs = 0.0;     // first send -> last report received by the initiator
        QString problem;            // why it did not finish
    };

    enum class Answer { Filled, NewThenFilled };

    // Both ends keep their store and log under `folder`; `port` must be free on 127.0.0.1.
    BareFixExchange(const QString& folder, int port, Answer answer);
    ~BareFixExchange();
    BareFixExchange(const BareFixExchange&) = delete;
    BareFixExchange& operator=(const BareFixExchange&) = delete;

    // Logs on, sends every order and waits for a filled report of each, at most `timeoutMs`.
    Result exchange(const std::vector<BrokerOrderRequest>& orders, int timeoutMs);

private:
    const QString m_folder;
    const int m_port;
    const Answer m_answer;
};
