#include "Commands.h"

#include "Address.h"

namespace kvp {
namespace {

std::string command(std::string_view addressText, std::string_view tail)
{
    return "S" + addressField(addressText) + std::string(tail);
}

} // namespace

std::string BuildParameterCommand(std::string_view addressText)
{
    return command(addressText, ";COF8;");
}

std::string BuildValueQuery(std::string_view addressText)
{
    return command(addressText, ";MSV?;");
}

} // namespace kvp
