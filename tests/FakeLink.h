#pragma once

#include "platform/Link.h"
#include "sim/ModuleSimulator.h"

#include <QTimer>

// A line whose driver the test controls: the simulated module answers each command,
// and `lagging` holds bytes that reached the driver after the last notification, so
// that the next one reports them ahead of the next reply. A real port can be in that
// state at any moment, and a pseudo-terminal cannot be made to show it on cue.
class FakeLink : public kvp::Link
{
public:
    explicit FakeLink(kvp::SimulatorSettings module) : m_module(module) {}

    kvp::ModuleSimulator &module() { return m_module; }
    // Each reply reaches the driver a second time after it was reported, as a
    // module that repeats itself, or one that answered late, leaves it.
    bool echoLater = false;
    QByteArray lagging;

    kvp::Condition InitPort(const kvp::PortSettings &) override
    {
        m_open = true;
        return kvp::Condition::none;
    }
    void WritePort(const std::string &command) override
    {
        QByteArray reply;
        for (const auto &write : m_module.receive(
                 {reinterpret_cast<const std::uint8_t *>(command.data()), command.size()}))
            reply.append(reinterpret_cast<const char *>(write.bytes.data()), qsizetype(write.bytes.size()));
        QTimer::singleShot(1, this, [this, reply] {
            const QByteArray block = lagging + reply;
            lagging = echoLater ? reply : QByteArray();
            if (!block.isEmpty())
                emit received(block, qint16(block.size()));
        });
    }
    void discardInput() override { lagging.clear(); }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    QString errorDetail() const override { return {}; }

private:
    kvp::ModuleSimulator m_module;
    bool m_open = false;
};
