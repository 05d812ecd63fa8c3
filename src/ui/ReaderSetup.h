#pragma once

#include "Options.h"
#include "platform/ValueLog.h"
#include "reader/CycleSettings.h"
#include "serial/PortSettings.h"
#include "sim/SimulatedModule.h"

#include <memory>

namespace kvp {

// The port and cycle settings the command line asks for, and the simulated module
// behind the port when --simulate was given. Shared by the window and the console.
class ReaderSetup
{
public:
    explicit ReaderSetup(const Options &options);

    // False when the simulated module could not start or the value log cannot be
    // written; errorString() says why.
    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    const PortSettings &port() const { return m_port; }
    const CycleSettings &cycle() const { return m_cycle; }
    bool simulated() const { return m_simulated != nullptr; }
    // The value log of --log, or null.
    ValueLog *valueLog() { return m_log.isOpen() ? &m_log : nullptr; }

private:
    std::unique_ptr<SimulatedModule> m_simulated;
    PortSettings m_port;
    CycleSettings m_cycle;
    ValueLog m_log;
    QString m_error;
};

} // namespace kvp
