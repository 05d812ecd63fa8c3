#include "ReaderSetup.h"

#include "DefaultPort.h"
#include "protocol/Address.h"

namespace kvp {

ReaderSetup::ReaderSetup(const Options &options, const SimulatedPortMaker &makeSimulated)
{
    m_cycle.replyTimeout = milliseconds(options.timeoutMs);
    // A time-out the user chose is kept; the default one grows for a slow module.
    m_cycle.adaptTimeout = !options.timeoutGiven && m_cycle.replyTimeout == CycleSettings{}.replyTimeout;
    m_cycle.dropEcho = options.echo;
    m_cycle.pollInterval = milliseconds(options.intervalMs);
    if (!options.port.isEmpty())
        m_port.portName = options.port;
    else if (!options.simulate)
        m_port.portName = firstSerialPort(serialPorts());
    // The simulated module answers at the address the reader starts with.
    m_facts.address = validAddress(options.address.toStdString()).value_or(0);
    m_facts.file = options.logFile;
    if (!options.logFile.isEmpty() && !m_log.open(options.logFile)) {
        m_failure = m_log.writeFailed() ? Condition::logWriteFailed : Condition::logFile;
        m_facts.detail = m_log.errorString();
        m_facts.error = m_log.error();
        return;
    }
    if (options.simulate) {
        m_simulated = makeSimulated ? makeSimulated(m_facts.address) : nullptr;
        if (!m_simulated) {
            m_failure = Condition::simulatorFailed;
            m_facts.detail = QStringLiteral("this program has no simulated module");
        } else if (!m_simulated->isValid()) {
            m_failure = Condition::simulatorFailed;
            m_facts.detail = m_simulated->errorString();
        } else {
            m_port.portName = m_simulated->devicePath();
        }
    }
    m_facts.port = m_port.portName;
    m_facts.simulated = simulated();
}

} // namespace kvp
