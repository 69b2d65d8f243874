#pragma once

#include "FixSessionSettings.h"

#include <string>

struct BrokerExecutionReport;
struct BrokerOrderRequest;

namespace VelmTest {

// A loopback port nobody listens on right now.
int freeLoopbackPort();

// One end of a loopback FIX session as tests and benchmarks run it: one-second heartbeat and
// reconnect, so that a test waits on the session no longer than that.
FixSessionSettings loopbackSession(const QString& sender, const QString& target, int port, const QString& folder);

// A limit order of 600000 in Shanghai as the engine hands it to a route: shareholder account
// ShanghaiShareholder, sent at 2026-12-07 01:30:00.123 UTC.
BrokerOrderRequest brokerOrder(const std::string& ref, char direction, double price, int volume, int apiType = 1);

// A report in one line, "<ref> <state> <traded>/<ordered> <text>", e.g. "10001-1-3 PartFilled 300/500".
QString reportLine(const BrokerExecutionReport& report);

} // namespace VelmTest
