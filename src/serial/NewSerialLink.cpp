#include "NewSerialLink.h"

#include "SerialLink.h"

namespace kvp {

std::unique_ptr<Link> newSerialLink()
{
    return std::make_unique<SerialLink>();
}

} // namespace kvp
