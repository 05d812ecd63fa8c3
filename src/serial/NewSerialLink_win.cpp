#include "NewSerialLink.h"

#include "CommPortLink.h"

namespace kvp {

std::unique_ptr<Link> newSerialLink()
{
    return std::make_unique<CommPortLink>();
}

} // namespace kvp
