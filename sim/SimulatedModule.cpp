#include "SimulatedModule.h"

namespace kvp {

SimulatedModule::SimulatedModule(SimulatorSettings settings, QObject *parent) : QObject(parent)
{
    m_endpoint = std::make_unique<SimulatorEndpoint>(m_pty.masterFd(), settings);
    if (!m_pty.isValid())
        m_endpoint->detach();
}

SimulatedPortMaker SimulatedModule::maker()
{
    return [](int address) -> std::unique_ptr<SimulatedPort> {
        return std::make_unique<SimulatedModule>(SimulatorSettings{.address = address, .pace = true});
    };
}

void SimulatedModule::unplug()
{
    m_endpoint->detach();
    m_pty.close();
}

} // namespace kvp
