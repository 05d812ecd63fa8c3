#include "SimulatedModule.h"

namespace kvp {
namespace {

// The simulated module is served on a pseudo-terminal, which Windows does not have.
class NoSimulatedPort : public SimulatedPort
{
public:
    bool isValid() const override { return false; }
    QString errorString() const override
    {
        return QStringLiteral("this Windows build has no simulated module; read a real port, or use the Linux build");
    }
    QString devicePath() const override { return {}; }
};

} // namespace

SimulatedPortMaker SimulatedModule::maker()
{
    return [](int) -> std::unique_ptr<SimulatedPort> { return std::make_unique<NoSimulatedPort>(); };
}

} // namespace kvp
