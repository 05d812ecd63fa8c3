#pragma once

#include <QString>

#include <functional>
#include <memory>

namespace kvp {

// The module behind --simulate, as the reader sees it: a device to open like any
// serial port, or the reason there is none. The programs that link the simulator
// hand the reader a maker of it; the reader itself links no simulator.
class SimulatedPort
{
public:
    virtual ~SimulatedPort() = default;
    virtual bool isValid() const = 0;
    virtual QString errorString() const = 0;
    // The device path a reader opens.
    virtual QString devicePath() const = 0;
};

// Makes the simulated module at an address; empty in a program without one.
using SimulatedPortMaker = std::function<std::unique_ptr<SimulatedPort>(int address)>;

} // namespace kvp
