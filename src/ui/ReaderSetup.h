#pragma once

#include "Options.h"
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

    // False when the simulated module could not start; errorString() says why.
    bool isValid() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }

    const PortSettings &port() const { return m_port; }
    const CycleSettings &cycle() const { return m_cycle; }
    bool simulated() const { return m_simulated != nullptr; }

private:
    std::unique_ptr<SimulatedModule> m_simulated;
    PortSettings m_port;
    CycleSettings m_cycle;
    QString m_error;
};

} // namespace kvp
