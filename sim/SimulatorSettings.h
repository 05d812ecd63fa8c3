#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace kvp {

// What one module on a simulated bus does otherwise than the others.
struct ModuleDifferences {
    std::optional<int> replyBytes;
    std::optional<double> drop;
    std::optional<double> corrupt;
    std::optional<int> turnaroundMs;
    std::optional<double> clash;
};

// How the simulated module behaves, and which faults it puts on the line. Every
// probability is per reply, from 0 to 1.
struct SimulatorSettings {
    static constexpr int kMinReplyBytes = 6;
    static constexpr int kMaxReplyBytes = 32;
    static constexpr int kMaxMs = 60'000; // the longest delay of any kind

    int address = 0;
    // More modules on the same line, as on a bus: each answers only its own
    // address, with a value wave of its own.
    std::vector<int> moreAddresses{};
    std::uint32_t seed = 1;
    double split = 0.0;   // send the reply in several pieces with short pauses
    double drop = 0.0;    // send no reply at all
    double corrupt = 0.0; // flip a bit of a value or check byte
    double stray = 0.0;   // add a byte that does not belong before or after the reply
    double lead = 0.0;    // a spurious 0x00 or 0xFF ahead of a reply, as RS-485 drivers make
    double pause = 0.0;   // one pause of pauseMs somewhere inside a reply
    double repeat = 0.0;  // send a value reply a second time, right behind the first
    double clash = 0.0;   // a second module at the same address answers at the same time
    int pauseMs = 0;      // the pause inside split replies (0: 1 to 5 ms) and of `pause`
    int replyBytes = 6;   // the length of a value reply: value, check byte, filler, CR LF
    bool statusByte = false; // the byte after the check byte changes with every reply
    std::uint8_t filler = ' '; // the bytes between the check byte and CR LF
    int amplitude = 3'000'000; // of the value wave; below 65536 the top value byte is 00 or FF
    int noise = 99;            // on top of the wave, either way
    // After this many value replies (0: never) the module changes its replies, as a
    // module reconfigured or swapped under the reader does:
    int changeAfter = 0;
    int thenReplyBytes = 0;       // to this length (0: the same)
    bool thenStatusByte = false;  // and its status byte begins to change
    int turnaroundMs = 0; // time the module takes to answer
    bool pace = false;    // take as long as a real line at 19200 bit/s, 8E1
    int usbMs = 0;        // bytes held back for a USB adapter's latency timer of this period
    bool echo = false;    // hear our own transmission, as two-wire RS-485 adapters do
    int floodSeconds = 0; // stream garbage this long, answering nothing...
    int floodAfter = 0;   // ...once this many value queries were answered (0: at the first command)
    // By address: modules on one bus that differ from the settings above.
    std::map<int, ModuleDifferences> differences{};
};

} // namespace kvp
