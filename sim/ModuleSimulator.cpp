#include "ModuleSimulator.h"

#include "protocol/ValueReply.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace kvp {
namespace {

constexpr std::string_view kSetupTail = ";COF8;";
constexpr std::string_view kQueryTail = ";MSV?;";
constexpr size_t kLongestCommand = 32;

} // namespace

ModuleSimulator::ModuleSimulator(SimulatorSettings settings)
    : m_settings(settings), m_random(settings.seed)
{
    m_phase = std::uniform_real_distribution<double>(0.0, 2 * std::numbers::pi)(m_random);
}

std::vector<ModuleSimulator::Write> ModuleSimulator::receive(std::span<const std::uint8_t> bytes)
{
    std::vector<Write> out;
    if (m_settings.echo)
        out.push_back({std::chrono::microseconds(0), {bytes.begin(), bytes.end()}});

    m_pending.append(bytes.begin(), bytes.end());
    for (;;) {
        const size_t setup = m_pending.find(kSetupTail);
        const size_t query = m_pending.find(kQueryTail);
        const size_t tail = std::min(setup, query);
        if (tail == std::string::npos)
            break;
        answer(m_pending.substr(0, tail + kSetupTail.size()), out);
        m_pending.erase(0, tail + kSetupTail.size());
    }
    // Noise that never becomes a command must not pile up.
    if (m_pending.size() > kLongestCommand)
        m_pending.erase(0, m_pending.size() - kLongestCommand);

    // The module cannot answer before the command has crossed the line.
    std::chrono::microseconds start(m_settings.turnaroundMs * 1000);
    if (m_settings.pace)
        start += kByteTime * static_cast<int>(bytes.size());
    for (Write &w : out)
        w.delay += start;
    return out;
}

void ModuleSimulator::answer(const std::string &command, std::vector<Write> &out)
{
    // "S<address>;COF8;" or "S<address>;MSV?;", possibly after noise.
    const size_t tailAt = command.size() - kSetupTail.size();
    const size_t s = command.rfind('S', tailAt);
    int address = -1;
    if (s != std::string::npos && s + 1 < tailAt) {
        const auto [end, ec] = std::from_chars(command.data() + s + 1, command.data() + tailAt, address);
        if (ec != std::errc() || end != command.data() + tailAt)
            address = -1;
    }
    if (address != m_settings.address) {
        ++m_counters.ignored;
        return;
    }

    if (command.compare(tailAt, kSetupTail.size(), kSetupTail) == 0) {
        ++m_counters.setups;
        reply({'O', 'K', '\r', '\n'}, false, out);
        return;
    }
    ++m_counters.queries;
    Reply event;
    event.value = nextValue();
    if (chance(m_settings.drop)) {
        ++m_counters.dropped;
        event.dropped = true;
        if (m_observer)
            m_observer(event);
        return;
    }
    const auto encoded = encodeValueReply(event.value);
    std::vector<std::uint8_t> bytes(encoded.begin(), encoded.end());
    if (chance(m_settings.corrupt)) {
        // Any flipped bit among the first four bytes breaks the check.
        bytes[m_random() % 4] ^= static_cast<std::uint8_t>(1u << (m_random() % 8));
        ++m_counters.corrupted;
        event.corrupted = true;
    } else {
        ++m_counters.intactValues;
    }
    if (chance(m_settings.stray)) {
        const auto junk = static_cast<std::uint8_t>(m_random());
        if (m_random() % 2)
            bytes.insert(bytes.begin(), junk);
        else
            bytes.push_back(junk);
        ++m_counters.strays;
        event.stray = true;
    }
    reply(std::move(bytes), true, out, &event.split);
    if (m_observer)
        m_observer(event);
}

void ModuleSimulator::reply(std::vector<std::uint8_t> bytes, bool isValue, std::vector<Write> &out, bool *split)
{
    std::chrono::microseconds at(0);
    const auto lineTime = [this](size_t n) {
        return m_settings.pace ? kByteTime * static_cast<int>(n) : std::chrono::microseconds(0);
    };
    if (isValue && chance(m_settings.split)) {
        ++m_counters.split;
        if (split)
            *split = true;
        // Two or three pieces, pauses well inside the reader's byte gap.
        const int pieces = 2 + static_cast<int>(m_random() % 2);
        size_t from = 0;
        for (int i = 1; i < pieces && from + 1 < bytes.size(); ++i) {
            const size_t cut = from + 1 + m_random() % (bytes.size() - from - 1);
            at += lineTime(cut - from);
            out.push_back({at, {bytes.begin() + from, bytes.begin() + cut}});
            at += std::chrono::microseconds(1000 + m_random() % 4000);
            from = cut;
        }
        bytes.erase(bytes.begin(), bytes.begin() + from);
    }
    at += lineTime(bytes.size());
    out.push_back({at, std::move(bytes)});
}

std::int32_t ModuleSimulator::nextValue()
{
    // A slow sine that crosses zero, with a little noise on top.
    const double t = static_cast<double>(m_sample++);
    const double wave = 3'000'000.0 * std::sin(2 * std::numbers::pi * t / 600.0 + m_phase);
    const int noise = static_cast<int>(m_random() % 199) - 99;
    return static_cast<std::int32_t>(std::lround(wave)) + noise;
}

bool ModuleSimulator::chance(double p)
{
    return p > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < p;
}

} // namespace kvp
