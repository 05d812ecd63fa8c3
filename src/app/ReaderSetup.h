#pragma once

#include "Options.h"
#include "condition/Condition.h"
#include "platform/ValueLog.h"
#include "reader/CycleSettings.h"
#include "serial/PortSettings.h"
#include "platform/SimulatedPort.h"

#include <memory>

namespace kvp {

// The port and cycle settings the command line asks for, and the simulated module
// behind the port when --simulate was given. Shared by the window and the console.
class ReaderSetup
{
public:
    // `simulated` makes the module of --simulate; a program without one passes none.
    explicit ReaderSetup(const Options &options, const SimulatedPortMaker &simulated = {});

    // Condition::logFile or Condition::simulatorFailed when the value log cannot be
    // written or the simulated module could not start; facts() says more.
    Condition failure() const { return m_failure; }
    const Facts &facts() const { return m_facts; }

    const PortSettings &port() const { return m_port; }
    const CycleSettings &cycle() const { return m_cycle; }
    bool simulated() const { return m_simulated != nullptr; }
    // The value log of --log, or null.
    ValueLog *valueLog() { return m_log.isOpen() ? &m_log : nullptr; }

private:
    std::unique_ptr<SimulatedPort> m_simulated;
    PortSettings m_port;
    CycleSettings m_cycle;
    ValueLog m_log;
    Condition m_failure = Condition::none;
    Facts m_facts;
};

} // namespace kvp
