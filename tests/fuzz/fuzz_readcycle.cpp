// The read cycle fed arbitrary bytes, cut arbitrarily, at arbitrary times, between
// arbitrary presses of Read and Stop and edits of the address (or on a bus of three),
// with the time-out fixed or growing, and well-formed replies
// of any length among them, so that the framing is learned, relearned and attacked.
// Whatever happens:
// only well-formed commands go out, only 24-bit values are shown, and a cycle that
// is reading always has a deadline, so it can never stall, and never one before now,
// so that it never spins.
#include "protocol/ValueReply.h"
#include "reader/ReadCycle.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

kvp::TimePoint now = kvp::TimePoint{} + std::chrono::hours(1000);

void check(const kvp::CycleActions &a, const kvp::ReadCycle &cycle)
{
    if (a.send) {
        const std::string &c = *a.send;
        if (c.size() != 9 || c[0] != 'S' || c[3] != ';' || (c.substr(4) != "COF8;" && c.substr(4) != "MSV?;"))
            std::abort();
        const int address = std::stoi(c.substr(1, 2));
        if (address < 0 || address > 31)
            std::abort();
    }
    if (a.show) {
        const long value = std::stol(*a.show);
        if (value < -8388608 || value > 8388607 || std::to_string(value) != *a.show)
            std::abort();
    }
    if (cycle.reading() && (!cycle.deadline() || *cycle.deadline() < now))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    kvp::CycleSettings settings;
    settings.dropEcho = data[0] & 1;
    settings.adaptTimeout = data[0] & 4;
    kvp::ReadCycle cycle(settings);
    // A bus of three modules, asked in turn, or the address box.
    if (data[0] & 2)
        cycle.setAddresses({1, 2, 3});
    now = kvp::TimePoint{} + std::chrono::hours(1000);
    size_t i = 1;
    const auto take = [&](size_t n) {
        n = std::min(n, size - i);
        const std::uint8_t *p = data + i;
        i += n;
        return std::span<const std::uint8_t>(p, n);
    };
    while (i < size) {
        const std::uint8_t op = data[i++];
        switch (op % 7) {
        case 0:
            check(cycle.Read_Click(now), cycle);
            break;
        case 1:
            check(cycle.Stop_Click(now), cycle);
            break;
        case 2: {
            const auto text = take(op / 7 % 8);
            // As the caller does when told the next command may go sooner.
            if (cycle.setAddressText(std::string(text.begin(), text.end())))
                check(cycle.tick(now), cycle);
            break;
        }
        case 3:
        case 4: {
            // Case 3 hands the bytes with a negative count, which must be ignored.
            const auto bytes = take(op / 7 % 12);
            const auto count = static_cast<std::int16_t>(op % 7 == 3 ? -1 : static_cast<int>(bytes.size()));
            check(cycle.ShowData(bytes, count, now), cycle);
            break;
        }
        case 6: {
            // A well-formed reply, 6 to 13 bytes long, the value from the input.
            const auto v = take(3);
            std::int32_t value = 0;
            for (std::uint8_t b : v)
                value = value << 8 | b;
            const auto encoded = kvp::encodeValueReply(value);
            std::vector<std::uint8_t> reply(encoded.begin(), encoded.begin() + 4);
            reply.insert(reply.end(), op / 7 % 8, ' ');
            reply.insert(reply.end(), {'\r', '\n'});
            check(cycle.ShowData(reply, static_cast<std::int16_t>(reply.size()), now), cycle);
            break;
        }
        case 5: {
            const kvp::TimePoint until = now + std::chrono::milliseconds(op / 7 * 13);
            // Wake the cycle wherever it asked to be woken on the way. A deadline that
            // does not move after its tick would spin the program's timer.
            int wakeUps = 0;
            while (const auto due = cycle.deadline()) {
                if (*due > until)
                    break;
                now = std::max(now, *due);
                check(cycle.tick(now), cycle);
                if (++wakeUps > 100)
                    std::abort();
            }
            now = until;
            check(cycle.tick(now), cycle);
            break;
        }
        }
    }
    return 0;
}
