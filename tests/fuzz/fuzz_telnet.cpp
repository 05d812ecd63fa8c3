// Any bytes from a serial server: the Telnet layer must not crash, must read them the
// same however TCP cuts them, and must hand back exactly what was escaped for it.
#include "network/TelnetCodec.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

kvp::TelnetCodec::Output decodeInTwo(std::span<const std::uint8_t> bytes, size_t cut)
{
    kvp::TelnetCodec codec;
    codec.start();
    kvp::TelnetCodec::Output first = codec.decode(bytes.first(cut));
    const kvp::TelnetCodec::Output second = codec.decode(bytes.subspan(cut));
    first.data.insert(first.data.end(), second.data.begin(), second.data.end());
    first.reply.insert(first.reply.end(), second.reply.begin(), second.reply.end());
    return first;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);
    const auto whole = decodeInTwo(bytes, 0);
    const auto cut = decodeInTwo(bytes, data[0] % (bytes.size() + 1));
    if (whole.data != cut.data || whole.reply != cut.reply)
        std::abort();
    // What the reader escapes arrives as it was, with nothing to answer.
    const std::vector<std::uint8_t> escaped = kvp::TelnetCodec::encode(bytes);
    kvp::TelnetCodec codec;
    const auto back = codec.decode(escaped);
    if (!std::equal(back.data.begin(), back.data.end(), bytes.begin(), bytes.end()) || !back.reply.empty())
        std::abort();
    return 0;
}
