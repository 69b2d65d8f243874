#pragma once

// Status, trigger and direction codes of the task records.
namespace VELMSCHEDORDAPI {

namespace MainTaskStatus {
constexpr char NotStarted = '1';
constexpr char Running = '2';
constexpr char Paused = '3';
constexpr char AllTriggered = '4';
constexpr char Stopped = '5';
}

namespace MainTriggerStatus {
constexpr char None = '1';
constexpr char Partial = '2';
constexpr char All = '3';
}

namespace SubTaskStatus {
constexpr char NotStarted = '1';
constexpr char Running = '2';
constexpr char Triggered = '3';
constexpr char Completed = '4';
constexpr char Paused = '5';
constexpr char Stopped = '6';
}

namespace SubTriggerStatus {
constexpr char NotTriggered = '1';
constexpr char Failed = '2';
constexpr char Sent = '3';
constexpr char Rejected = '4';
constexpr char Filled = '5';
}

namespace Direction {
constexpr char Buy = '0';            // stock buy, credit collateral buy
constexpr char Sell = '1';           // stock sell, credit collateral sell
constexpr char FinancedBuy = 'i';
constexpr char ShortSell = 'j';
constexpr char CreditOtherBuy = 'l';
constexpr char CreditOtherSell = 'k';
}

namespace Exchange {
constexpr char Shanghai = '1';
constexpr char Shenzhen = '2';
constexpr char Beijing = '4';
}

namespace PriceFloatType {
constexpr char Tick = '0';
constexpr char Percent = '1';
}

// True for the directions that buy (the limit-down guard applies to them).
constexpr bool isBuyDirection(char direction)
{
    return direction == Direction::Buy || direction == Direction::FinancedBuy
        || direction == Direction::CreditOtherBuy;
}

constexpr bool isSellDirection(char direction)
{
    return direction == Direction::Sell || direction == Direction::ShortSell
        || direction == Direction::CreditOtherSell;
}

} // namespace VELMSCHEDORDAPI
