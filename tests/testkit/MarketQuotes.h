#pragma once

struct Lev1MarketData;

namespace VelmTest {

// A still book: bids from `bid1Cents` down and asks from `ask1Cents` up, a cent a level, each
// `depth` deep; no last price or limits.
Lev1MarketData ladderQuote(int bid1Cents, int ask1Cents, double depth);

// 600000.SH as the engine prices against it: last 10.35, previous close 10.20, limits 11.22 / 9.18,
// bids 10.34 .. 10.30 and asks 10.36 .. 10.40, each 1e5 deep.
Lev1MarketData pufaQuote();

} // namespace VelmTest
