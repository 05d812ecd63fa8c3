#pragma once

#include "CycleSettings.h"

#include <cstddef>
#include <string>

namespace kvp {

// One line of the traffic view: a command put on the line, or what came back and
// how the reader judged it.
struct TrafficEntry {
    enum class Kind {
        sent,
        goodValue,
        timeout,
        badCheck,
        badTrailer,   // checked, but ended otherwise than the module's replies do
        shortReply,   // stopped partway
        late,         // came after the time-out, while the line was left to fall silent
        acknowledged, // the module's short answer to the parameter command
        thrownAway,   // came when nothing was asked, or behind a reply
    };
    // Bytes kept of one entry; a flood is counted, not kept.
    static constexpr std::size_t kMostBytes = 48;

    TimePoint at{};
    int address = 0;
    Kind kind = Kind::sent;
    std::string bytes;         // the first kMostBytes
    std::size_t byteCount = 0; // all of them
};

} // namespace kvp
