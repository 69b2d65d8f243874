#pragma once

#include "FixSessionSettings.h"

namespace VelmTest {

// A loopback port nobody listens on right now.
int freeLoopbackPort();

// One end of a loopback FIX session as tests and benchmarks run it: one-second heartbeat and
// reconnect, so that a test waits on the session no longer than that.
FixSessionSettings loopbackSession(const QString& sender, const QString& target, int port, const QString& folder);

} // namespace VelmTest
