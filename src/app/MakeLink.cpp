#include "MakeLink.h"

#include "network/NetworkAddress.h"
#include "network/NetworkLink.h"
#include "serial/NewSerialLink.h"

namespace kvp {

std::unique_ptr<Link> makeLink(const QString &portName)
{
    if (NetworkAddress::isServer(portName))
        return std::make_unique<NetworkLink>();
    return newSerialLink();
}

} // namespace kvp
