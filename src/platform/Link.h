#pragma once

#include "condition/Condition.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace kvp {

// A block received, as the pure cycles take it.
inline std::span<const std::uint8_t> byteSpan(const QByteArray &bytes)
{
    return {reinterpret_cast<const std::uint8_t *>(bytes.constData()), static_cast<size_t>(bytes.size())};
}

struct PortSettings;

// Where the module's bytes come from and go to: a serial port, or a serial server
// on the network. The sessions and the search work on this alone.
//
// The method names keep the old port code's convention (InitPort, WritePort).
class Link : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    ~Link() override = default;

    // Opens the line unless it is open, sets it up, and throws away whatever was
    // received before; the condition says why not. A line that takes its time to
    // come up (a serial server) answers Condition::connecting at once and opened()
    // later, so that nothing waits for the network; asked again meanwhile, it
    // answers Condition::connecting again. close() abandons it, and opened() never comes.
    virtual Condition InitPort(const PortSettings &settings) = 0;
    // InitPort for a line the user chose (Read, the port list): a serial link takes
    // whatever device is at the path now, where its automatic reopen insists on the
    // device it had.
    virtual Condition openChosen(const PortSettings &settings) { return InitPort(settings); }
    virtual void WritePort(const std::string &str) = 0;
    // Input that arrived but was not asked for.
    virtual void discardInput() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // An open that answered Condition::connecting is still under way.
    virtual bool opening() const { return false; }
    // The system's wording of the last failure, for the message's detail.
    virtual QString errorDetail() const = 0;
    // How long to wait before the next attempt to open the line again, after
    // `failures` attempts that failed since it went away.
    virtual std::chrono::milliseconds retryAfter(int failures) const
    {
        (void)failures;
        return std::chrono::seconds(1);
    }

signals:
    // All bytes waiting at a receive notification; `count` was read before the take.
    void received(const QByteArray &bytInput, qint16 intInputLenth);
    void failed(kvp::Condition condition);
    // How an open that answered Condition::connecting went: Condition::none when the
    // line is up. The link is not to be destroyed by whoever takes this.
    void opened(kvp::Condition outcome);
};

} // namespace kvp
