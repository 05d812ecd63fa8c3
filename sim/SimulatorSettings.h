#pragma once

#include <cstdint>

namespace kvp {

// How the simulated module behaves, and which faults it puts on the line. Every
// probability is per reply, from 0 to 1.
struct SimulatorSettings {
    int address = 0;
    std::uint32_t seed = 1;
    double split = 0.0;   // send the reply in several pieces with short pauses
    double drop = 0.0;    // send no reply at all
    double corrupt = 0.0; // flip a bit of a value or check byte
    double stray = 0.0;   // add a byte that does not belong before or after the reply
    int turnaroundMs = 0; // time the module takes to answer
    bool pace = false;    // take as long as a real line at 19200 bit/s, 8E1
    bool echo = false;    // hear our own transmission, as two-wire RS-485 adapters do
    int floodSeconds = 0; // after the first command, stream garbage this long, answering nothing
};

} // namespace kvp
