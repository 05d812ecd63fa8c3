#pragma once

#include "PseudoTerminal.h"
#include "SimulatorEndpoint.h"
#include "platform/SimulatedPort.h"

#include <QObject>

#include <memory>

namespace kvp {

// A simulated module on a fresh pseudo-terminal, ready for a reader to open.
class SimulatedModule : public QObject, public SimulatedPort
{
    Q_OBJECT

public:
    explicit SimulatedModule(SimulatorSettings settings, QObject *parent = nullptr);

    // The reader's --simulate: a module at `address`, paced like a real line so that
    // its values change at the speed a real module gives them.
    static SimulatedPortMaker maker();

    bool isValid() const override { return m_pty.isValid(); }
    QString errorString() const override { return m_pty.errorString(); }
    // The device path a reader opens.
    QString devicePath() const override { return m_pty.slavePath(); }
    ModuleSimulator &module() { return m_endpoint->module(); }
    // The line goes dead for the reader, as when its adapter is pulled.
    void unplug();

private:
    PseudoTerminal m_pty;
    std::unique_ptr<SimulatorEndpoint> m_endpoint;
};

} // namespace kvp
