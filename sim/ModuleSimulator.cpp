#include "ModuleSimulator.h"

#include "protocol/ValueReply.h"

#include <algorithm>
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
    std::uniform_real_distribution<double> anyPhase(0.0, 2 * std::numbers::pi);
    m_modules[settings.address].phase = anyPhase(m_random);
    m_modules[settings.address].address = settings.address;
    // The other modules draw their phase from a generator of their own, so that
    // adding one leaves the first module's values and faults as they were.
    for (const int address : settings.moreAddresses) {
        std::mt19937 own(settings.seed ^ (0x9E3779B9u * static_cast<std::uint32_t>(address + 1)));
        m_modules[address].phase = anyPhase(own);
        m_modules[address].address = address;
    }
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
        const size_t before = out.size();
        const int turnaroundMs = answer(m_pending.substr(0, tail + kSetupTail.size()), out);
        // The module cannot answer before it has worked the command out.
        for (size_t i = before; i < out.size(); ++i) {
            out[i].delay += std::chrono::milliseconds(turnaroundMs);
            out[i].from = m_answering;
        }
        m_pending.erase(0, tail + kSetupTail.size());
    }
    // Noise that never becomes a command must not pile up.
    if (m_pending.size() > kLongestCommand)
        m_pending.erase(0, m_pending.size() - kLongestCommand);

    // Nor before the command has crossed the line.
    std::chrono::microseconds start(0);
    if (m_settings.pace)
        start += kByteTime * static_cast<int>(bytes.size());
    for (Write &w : out)
        w.delay += start;
    holdBackForLatencyTimer(out);
    return out;
}

void ModuleSimulator::holdBackForLatencyTimer(std::vector<Write> &out)
{
    // A USB adapter passes bytes on only when its latency timer fires, a timer that
    // runs on its own: every piece waits for the next tick, and pieces that wait
    // for the same tick arrive together.
    if (m_settings.usbMs <= 0 || out.empty())
        return;
    const std::chrono::microseconds period(std::chrono::milliseconds(m_settings.usbMs));
    const std::chrono::microseconds phase(m_random() % period.count());
    std::vector<Write> held;
    for (Write &w : out) {
        const auto ticks = (w.delay + phase + period - std::chrono::microseconds(1)) / period;
        const auto due = ticks * period - phase;
        if (!held.empty() && held.back().delay == due)
            held.back().bytes.insert(held.back().bytes.end(), w.bytes.begin(), w.bytes.end());
        else
            held.push_back({due, std::move(w.bytes), w.from});
    }
    out = std::move(held);
}

int ModuleSimulator::answer(const std::string &command, std::vector<Write> &out)
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
    m_answering = address;
    const auto module = m_modules.find(address);
    if (module == m_modules.end()) {
        ++m_counters.ignored;
        return 0;
    }

    if (command.compare(tailAt, kSetupTail.size(), kSetupTail) == 0) {
        ++m_counters.setups;
        Reply ack;
        reply({'O', 'K', '\r', '\n'}, false, out, ack);
        return turnaroundOf(address);
    }
    ++m_counters.queries;
    Reply event;
    event.address = address;
    event.value = nextValue(module->second);
    // Read afresh every time: the faults can be switched while the module runs.
    const ModuleDifferences *own = differencesOf(address);
    if (chance(own && own->drop ? *own->drop : m_settings.drop)) {
        ++m_counters.dropped;
        event.dropped = true;
        if (m_observer)
            m_observer(event);
        return turnaroundOf(address);
    }
    std::vector<std::uint8_t> bytes = valueReply(event.value, module->second);
    if (chance(own && own->corrupt ? *own->corrupt : m_settings.corrupt)) {
        // Any flipped bit among the first four bytes breaks the check.
        bytes[m_random() % 4] ^= static_cast<std::uint8_t>(1u << (m_random() % 8));
        ++m_counters.corrupted;
        event.corrupted = true;
    } else {
        ++m_counters.intactValues;
    }
    if (chance(own && own->clash ? *own->clash : m_settings.clash)) {
        // Both modules drive the line at once: the reader gets a mix of the two
        // replies, and a byte or two whose start bit was lost in the fight never
        // arrives at all.
        m_twin.address = address;
        const std::vector<std::uint8_t> theirs = valueReply(nextValue(m_twin), m_twin);
        for (size_t i = 0; i < bytes.size() && i < theirs.size(); ++i)
            bytes[i] &= theirs[i];
        for (int lost = 1 + int(m_random() % 2); lost > 0 && bytes.size() > 1; --lost)
            bytes.erase(bytes.begin() + std::ptrdiff_t(m_random() % bytes.size()));
        if (!event.corrupted)
            --m_counters.intactValues;
        ++m_counters.clashes;
        event.clashed = true;
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
    const std::vector<std::uint8_t> sent = bytes;
    reply(std::move(bytes), true, out, event);
    if (chance(m_settings.repeat)) {
        // The same frame again with no gap, as a module that repeats itself does:
        // it is on the line before any next command could be.
        const auto lineTime = m_settings.pace ? kByteTime * static_cast<int>(sent.size()) : std::chrono::microseconds(0);
        out.push_back({out.back().delay + lineTime, sent});
        ++m_counters.repeats;
        event.repeated = true;
    }
    if (m_observer)
        m_observer(event);
    return turnaroundOf(address);
}

const ModuleDifferences *ModuleSimulator::differencesOf(int address) const
{
    const auto d = m_settings.differences.find(address);
    return d == m_settings.differences.end() ? nullptr : &d->second;
}

int ModuleSimulator::turnaroundOf(int address) const
{
    const ModuleDifferences *d = differencesOf(address);
    return d && d->turnaroundMs ? *d->turnaroundMs : m_settings.turnaroundMs;
}

std::vector<std::uint8_t> ModuleSimulator::valueReply(std::int32_t value, Module &module)
{
    const auto encoded = encodeValueReply(value);
    // Value and check byte, filler, and the line end of the six-byte reply.
    std::vector<std::uint8_t> bytes(encoded.begin(), encoded.begin() + 4);
    const ModuleDifferences *own = differencesOf(module.address);
    const bool changed = m_settings.changeAfter > 0 && module.replies++ >= std::uint64_t(m_settings.changeAfter);
    const int replyBytes = changed && m_settings.thenReplyBytes > 0 ? m_settings.thenReplyBytes
        : own && own->replyBytes                          ? *own->replyBytes
                                                          : m_settings.replyBytes;
    const auto length = static_cast<size_t>(replyBytes);
    while (bytes.size() + 2 < length)
        bytes.push_back(m_settings.filler);
    bytes.insert(bytes.end(), encoded.begin() + 4, encoded.end());
    if (m_settings.statusByte || (changed && m_settings.thenStatusByte))
        bytes[4] = module.status++;
    return bytes;
}

void ModuleSimulator::reply(std::vector<std::uint8_t> bytes, bool isValue, std::vector<Write> &out, Reply &event)
{
    if (chance(m_settings.lead)) {
        bytes.insert(bytes.begin(), m_random() % 2 ? 0xFF : 0x00);
        ++m_counters.leads;
        event.lead = true;
    }
    // Where the reply is cut, and the pause after each cut.
    std::vector<std::pair<size_t, std::chrono::microseconds>> cuts;
    const std::chrono::microseconds pauseMs{std::chrono::milliseconds(m_settings.pauseMs)};
    if (isValue && chance(m_settings.split)) {
        ++m_counters.split;
        event.split = true;
        // Two or three pieces; by default the pauses stay well inside the reader's byte gap.
        const int pieces = 2 + static_cast<int>(m_random() % 2);
        size_t from = 0;
        for (int i = 1; i < pieces && from + 1 < bytes.size(); ++i) {
            from = from + 1 + m_random() % (bytes.size() - from - 1);
            cuts.emplace_back(from, m_settings.pauseMs > 0 ? pauseMs : std::chrono::microseconds(1000 + m_random() % 4000));
        }
    }
    if (isValue && chance(m_settings.pause)) {
        ++m_counters.pauses;
        event.pause = true;
        const size_t at = 1 + m_random() % (bytes.size() - 1);
        cuts.emplace_back(at, m_settings.pauseMs > 0 ? pauseMs : std::chrono::microseconds(40'000));
        std::sort(cuts.begin(), cuts.end());
    }

    const auto lineTime = [this](size_t n) {
        return m_settings.pace ? kByteTime * static_cast<int>(n) : std::chrono::microseconds(0);
    };
    std::chrono::microseconds at(0);
    size_t from = 0;
    for (const auto &[cut, pause] : cuts) {
        if (cut <= from)
            continue;
        at += lineTime(cut - from);
        out.push_back({at, {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(cut)}});
        at += pause;
        from = cut;
    }
    at += lineTime(bytes.size() - from);
    out.push_back({at, {bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.end()}});
}

std::int32_t ModuleSimulator::nextValue(Module &module)
{
    // A slow sine that crosses zero, with a little noise on top.
    const double t = static_cast<double>(module.sample++);
    const double wave = m_settings.amplitude * std::sin(2 * std::numbers::pi * t / 600.0 + module.phase);
    const int noise = static_cast<int>(m_random() % std::uint32_t(2 * m_settings.noise + 1)) - m_settings.noise;
    return static_cast<std::int32_t>(std::lround(wave)) + noise;
}

bool ModuleSimulator::chance(double p)
{
    return p > 0 && std::uniform_real_distribution<double>(0.0, 1.0)(m_random) < p;
}

} // namespace kvp
