#pragma once

#include "SimulatorSettings.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace kvp {

// The module's side of the protocol, without any I/O: fed the bytes the reader sent,
// it answers with the pieces to write and when. Deterministic for a given seed.
class ModuleSimulator
{
public:
    struct Write {
        std::chrono::microseconds delay; // after the bytes were received
        std::vector<std::uint8_t> bytes;
        int from = -1; // the module that sends them; -1: the line itself (an echo)
    };

    struct Counters {
        std::uint64_t setups = 0;
        std::uint64_t queries = 0;
        std::uint64_t intactValues = 0;
        std::uint64_t dropped = 0;
        std::uint64_t corrupted = 0;
        std::uint64_t split = 0;
        std::uint64_t strays = 0;
        std::uint64_t leads = 0;
        std::uint64_t pauses = 0;
        std::uint64_t repeats = 0;
        std::uint64_t clashes = 0;
        std::uint64_t ignored = 0; // commands for another address
    };

    explicit ModuleSimulator(SimulatorSettings settings);

    std::vector<Write> receive(std::span<const std::uint8_t> bytes);

    // What became of one value query.
    struct Reply {
        int address = 0;
        std::int32_t value = 0;
        bool dropped = false;
        bool corrupted = false;
        bool stray = false;
        bool split = false;
        bool lead = false;
        bool pause = false;
        bool repeated = false;
        bool clashed = false;
        bool intact() const { return !dropped && !corrupted && !clashed; }
    };
    // Called for every value query answered (or not), in order.
    void setReplyObserver(std::function<void(const Reply &)> observer) { m_observer = std::move(observer); }
    const Counters &counters() const { return m_counters; }
    // Faults can be switched while the module runs.
    SimulatorSettings &settings() { return m_settings; }
    // Line time of one byte: start, 8 data, parity and stop bit at 19200 bit/s.
    static constexpr std::chrono::microseconds kByteTime{11 * 1000000 / 19200};

private:
    // Returns the answering module's turnaround, by which its writes are late.
    int answer(const std::string &command, std::vector<Write> &out);
    void reply(std::vector<std::uint8_t> bytes, bool isValue, std::vector<Write> &out, Reply &event);
    void holdBackForLatencyTimer(std::vector<Write> &out);
    // One module's own wave and status byte.
    struct Module {
        std::uint64_t sample = 0;
        double phase = 0.0;
        std::uint8_t status = 0;
        std::uint64_t replies = 0; // value replies made, for changeAfter
        int address = 0;
    };
    std::vector<std::uint8_t> valueReply(std::int32_t value, Module &module);
    const ModuleDifferences *differencesOf(int address) const;
    int turnaroundOf(int address) const;
    std::int32_t nextValue(Module &module);
    bool chance(double p);

    SimulatorSettings m_settings;
    Module m_twin; // the second module at an address, for clash
    std::mt19937 m_random;
    std::string m_pending;
    std::map<int, Module> m_modules; // by address
    Counters m_counters;
    std::function<void(const Reply &)> m_observer;
    int m_answering = -1; // the module the command just worked out is for
};

} // namespace kvp
