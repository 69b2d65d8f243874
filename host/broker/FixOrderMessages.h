#pragma once

#include "BrokerRoute.h"
#include "VelmBaseExport.h"

#include <string>

namespace FIX {
class Message;
}
namespace FIX44 {
class NewOrderSingle;
class OrderStatusRequest;
}

// The FIX 4.4 form of the route's orders and reports, without a session.
//
// Exchanges travel as ISO 10383 MICs in SecurityExchange (207): Shanghai XSHG, Shenzhen XSHE,
// Beijing BJSE. A credit account's kind travels in CashMargin (544): 1 cash (collateral buy or
// sell), 2 margin open (financed buy, short sell with Side 5), 3 margin close (the third buy and
// sell kinds); a stock account's orders carry no 544. Text (58) holds UTF-8.
class VELM_BASE_EXPORT FixOrderMessages final
{
public:
    // Empty / 0 for an exchange the route does not know.
    static std::string micOf(char exchangeId);
    static char exchangeOf(const std::string& mic);

    // Side (54) and CashMargin (544, 0 when absent) of a direction; false for a direction the
    // account kind does not have.
    static bool sideOf(char direction, int apiType, char* side, char* cashMargin);
    // The direction code back from Side and CashMargin (0 for no such pair).
    static char directionOf(char side, char cashMargin);

    // A limit order for the day. False, with the reason for the trader, when the request cannot
    // be expressed.
    static bool newOrderSingle(const BrokerOrderRequest& request, FIX44::NewOrderSingle* out, QString* whyNot);
    // Side and Symbol are required by FIX 4.4: those of `known` when the route still has the
    // order, else Undisclosed (7) and "[N/A]", and the counterparty goes by ClOrdID.
    static FIX44::OrderStatusRequest orderStatusRequest(const std::string& clientOrderRef,
                                                        const BrokerOrderRequest* known);
    // An ExecutionReport (35=8) as the route reports it. OrdStatus Rejected with OrdRejReason 5
    // (unknown order) is State::Unknown. False, with the reason, for anything else or a report
    // that lacks ClOrdID, OrdStatus or CumQty.
    static bool toBrokerReport(const FIX::Message& message, BrokerExecutionReport* out, QString* whyNot);
};
