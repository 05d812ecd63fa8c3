#pragma once

#include "PseudoTerminal.h"
#include "SimulatorEndpoint.h"

#include <QObject>

#include <memory>

namespace kvp {

// A simulated module on a fresh pseudo-terminal, ready for a reader to open.
class SimulatedModule : public QObject
{
    Q_OBJECT

public:
    explicit SimulatedModule(SimulatorSettings settings, QObject *parent = nullptr);

    bool isValid() const { return m_pty.isValid(); }
    QString errorString() const { return m_pty.errorString(); }
    // The device path a reader opens.
    QString devicePath() const { return m_pty.slavePath(); }
    ModuleSimulator &module() { return m_endpoint->module(); }
    // The line goes dead for the reader, as when its adapter is pulled.
    void unplug();

private:
    PseudoTerminal m_pty;
    std::unique_ptr<SimulatorEndpoint> m_endpoint;
};

} // namespace kvp
