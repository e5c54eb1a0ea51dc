#include "dbfengine/platform/XfClock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace xf {

namespace {

TXfClocks SystemClocks()
{
    TXfClocks clocks;
    clocks.MonotonicMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    clocks.SleepMs = [](std::int64_t ms) {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
    clocks.Today = [] {
        const std::time_t now = std::time(nullptr);
        std::tm tm {};
        localtime_r(&now, &tm);
        return TXfDate {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
    };
    return clocks;
}

TXfClocks& Current()
{
    static TXfClocks clocks = SystemClocks();
    return clocks;
}

}  // namespace

const TXfClocks& XfClocks() { return Current(); }

void XfSetClocks(TXfClocks clocks)
{
    TXfClocks system = SystemClocks();
    if (!clocks.MonotonicMs) clocks.MonotonicMs = system.MonotonicMs;
    if (!clocks.SleepMs) clocks.SleepMs = system.SleepMs;
    if (!clocks.Today) clocks.Today = system.Today;
    Current() = std::move(clocks);
}

}  // namespace xf
