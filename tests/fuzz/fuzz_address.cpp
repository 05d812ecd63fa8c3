// Any text in the address box: the conversion must not crash, and whatever it calls
// valid must make a well-formed command.
#include "platform/NumericPrefix.h"
#include "protocol/Address.h"
#include "protocol/Commands.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    (void)kvp::parseNumericPrefix(text);
    const std::string field = kvp::addressField(text);
    if (const auto address = kvp::validAddress(text)) {
        if (*address < 0 || *address > 31)
            std::abort();
        const std::string expected = std::string(*address < 10 ? "0" : "") + std::to_string(*address);
        if (field != expected)
            std::abort();
        if (kvp::BuildValueQuery(text) != "S" + expected + ";MSV?;")
            std::abort();
    }
    return 0;
}
