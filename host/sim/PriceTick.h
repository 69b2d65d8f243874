#pragma once

// Prices on the exchange grid. The small tolerance keeps 11.385 (stored as 11.38499999...)
// rounding up as the exchanges round it, and the result is the double nearest the decimal
// price so that equal prices compare equal.
class PriceTick final
{
public:
    // Nearest multiple of `tick`, halves rounded up.
    static double round(double price, double tick);
    // Largest multiple of `tick` not above `price`.
    static double floor(double price, double tick);
    // Smallest multiple of `tick` not below `price`.
    static double ceil(double price, double tick);

private:
    static double fromTicks(double ticks, double tick);
};
