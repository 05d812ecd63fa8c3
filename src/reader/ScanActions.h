#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kvp {

struct ScanProgress {
    int address = 0; // the address being asked now (the last one once finished)
    int done = 0;    // addresses finished, answered or not
    int total = 0;
    bool operator==(const ScanProgress &) const = default;
};

struct ScanAnswer {
    int address = 0;
    std::int32_t value = 0;
    bool operator==(const ScanAnswer &) const = default;
};

// What the edges must do after the scan has handled one event.
struct ScanActions {
    // A value query to put on the line; input still waiting on the port is
    // discarded first, as for the read cycle.
    std::optional<std::string> send;
    std::optional<ScanProgress> progress;
    // An address that answered with a value reply that passed its check.
    std::optional<ScanAnswer> found;
    // The last address is done, or the scan was cancelled: nothing more is sent.
    bool finished = false;
};

} // namespace kvp
