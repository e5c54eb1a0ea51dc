#pragma once
// The engine's two clocks, both replaceable (tests inject them): a monotonic one
// in milliseconds that every wait is measured on, and a calendar one that gives
// today's date (the two-digit-year pivot, header dates, GetTodayParts).

#include <cstdint>
#include <functional>

namespace xf {

struct TXfDate {
    int Year = 0, Month = 0, Day = 0;
};

struct TXfClocks {
    std::function<std::int64_t()> MonotonicMs;     // never goes back
    std::function<void(std::int64_t ms)> SleepMs;  // waits on the monotonic clock
    std::function<TXfDate()> Today;                // local calendar date
};

// The clocks in use (the system's unless replaced).
const TXfClocks& XfClocks();
// Replaces the clocks; a missing function keeps the system's.
void XfSetClocks(TXfClocks clocks);

// Puts the system clocks back on scope exit.
class TXfClocksGuard {
public:
    explicit TXfClocksGuard(TXfClocks clocks) { XfSetClocks(std::move(clocks)); }
    ~TXfClocksGuard() { XfSetClocks({}); }
    TXfClocksGuard(const TXfClocksGuard&) = delete;
    TXfClocksGuard& operator=(const TXfClocksGuard&) = delete;
};

}  // namespace xf
