#include "ReaderSetup.h"

#include "platform/Failure.h"
#include "protocol/Address.h"

namespace kvp {

ReaderSetup::ReaderSetup(const Options &options)
{
    m_cycle.replyTimeout = milliseconds(options.timeoutMs);
    m_cycle.dropEcho = options.echo;
    if (!options.port.isEmpty())
        m_port.portName = options.port;
    if (!options.logFile.isEmpty() && !m_log.open(options.logFile)) {
        m_error = failureMessage(Failure::logFile, options.logFile, m_log.errorString());
        return;
    }
    if (!options.simulate)
        return;

    // The simulated module answers at the address the reader starts with.
    const int address = validAddress(options.address.toStdString()).value_or(0);
    // Paced like a real line, so the values change at the speed a real module gives them.
    m_simulated = std::make_unique<SimulatedModule>(SimulatorSettings{.address = address, .pace = true});
    if (!m_simulated->isValid())
        m_error = QStringLiteral("Cannot start the simulated module: %1").arg(m_simulated->errorString());
    else
        m_port.portName = m_simulated->devicePath();
}

} // namespace kvp
