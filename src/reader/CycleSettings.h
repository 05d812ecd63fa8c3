#pragma once

#include <chrono>

namespace kvp {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using std::chrono::milliseconds;

struct CycleSettings {
    // How long a command may wait for its complete reply before it is sent again.
    milliseconds replyTimeout{500};
    // Let replyTimeout grow when the module's replies come after it, up to
    // longestTimeout. Off when the user chose the time-out.
    bool adaptTimeout = true;
    milliseconds longestTimeout{5000};
    // Silence on the line that ends a reply shorter than a value reply.
    milliseconds byteGap{20};
    // Failed replies in a row after which the module is set up again.
    int failuresBeforeSetup = 3;
    // Two-wire RS-485 adapters hear their own transmission: drop that echo.
    bool dropEcho = false;
    // A command leaves no sooner than this after the one before it on the line (on a
    // bus, after any module's), but the query that follows a module's set-up goes at
    // once. Zero: as soon as the module has answered.
    milliseconds pollInterval{0};
    static constexpr milliseconds kLongestPollInterval{3'600'000};
};

} // namespace kvp
