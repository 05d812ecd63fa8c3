#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvp {

// What the edges must do after the cycle has handled one event.
struct CycleActions {
    // A command to put on the line. Input still waiting on the port is discarded
    // first, so that nothing left over from an earlier reply joins the next one.
    std::optional<std::string> send;
    // New text for the value display.
    std::optional<std::string> show;
    // The value behind `show`, as the module sent it.
    std::optional<std::int32_t> value;
    // The module whose reply was judged: the one `show`, `timeoutGrown` and
    // `answersAgain` speak of.
    int address = 0;
    // Replies came after the time-out, so it was made this long (once per module).
    std::optional<std::chrono::milliseconds> timeoutGrown;
    // On a bus: modules now set aside, silent or late, asked in the share of the line
    // the silent ones have; or the module answers again and is back in the turn.
    // Each said once.
    std::vector<int> setAside;
    bool answersAgain = false;
    // Read was refused because the address box holds no address 0..31.
    bool invalidAddress = false;
};

} // namespace kvp
