#include "ConsoleProgram.h"

#include "ConsoleFrontEnd.h"
#include "ConsoleText.h"
#include "MqttFeed.h"
#include "ReadSession.h"
#include "ReaderSetup.h"
#include "platform/StandardStreams.h"
#include "platform/StderrLine.h"
#include "mqtt/BrokerText.h"

#include <QCoreApplication>

#include <memory>
#include <utility>

namespace kvp {

int runConsole(const Options &options, const SimulatedPortMaker &simulated)
{
    if (stdoutWasClosed()) {
        writeStderrLine(consoleText(Condition::stdoutClosed, {}));
        return 1;
    }
    ReaderSetup setup(options, simulated);
    if (setup.failure() != Condition::none) {
        writeStderrLine(consoleText(setup.failure(), setup.facts()));
        return 1;
    }
    if (setup.simulated())
        writeStderrLine(consoleText(Condition::simulatedModule, setup.facts()));
    ReadSession session(setup.port(), setup.cycle());
    session.setValueLog(setup.valueLog());
    session.setReadoutDefaults(options.readout);
    for (const auto &[address, settings] : options.readoutByAddress)
        session.setReadout(address, settings);
    session.setAddressText(options.address);
    if (options.bus.size() > 1)
        session.setBus(options.bus);
    // Before the port opens, so that its signal handling is in place by then.
    ConsoleFrontEnd console(session, options.count, options.giveUpSeconds, setup.valueLog());
    // A serial server's connection is made while the loop runs (ConsoleFrontEnd ends
    // the run if it fails), so that a signal meanwhile is handled.
    if (const Condition failure = session.open(); failure != Condition::none && failure != Condition::connecting) {
        writeStderrLine(consoleText(failure, session.facts()));
        return 1;
    }
    std::unique_ptr<MqttPublisher> publisher;
    std::unique_ptr<MqttFeed> feed;
    if (options.mqtt) {
        publisher = std::make_unique<MqttPublisher>(*options.mqtt, options.mqttCa);
        feed = std::make_unique<MqttFeed>(session, *publisher);
        QObject::connect(&console, &ConsoleFrontEnd::valuePrinted, feed.get(), &MqttFeed::publishValue);
        // Once when the broker goes away, in the words of the first failure; once when it is back.
        auto away = std::make_shared<bool>(false);
        QObject::connect(publisher.get(), &MqttPublisher::trouble, publisher.get(),
                         [away, url = *options.mqtt](BrokerTrouble trouble, const QString &detail) {
                             if (!std::exchange(*away, true))
                                 writeStderrLine(brokerText(trouble, url, detail));
                         });
        QObject::connect(publisher.get(), &MqttPublisher::connected, publisher.get(), [away, url = *options.mqtt] {
            if (std::exchange(*away, false))
                writeStderrLine(brokerBackText(url));
        });
        publisher->start();
    }
    console.start();
    const int exitCode = QCoreApplication::exec();
    if (publisher) {
        using namespace std::chrono_literals;
        const std::size_t left = publisher->finish(2s);
        writeStderrLine(brokerSummary(*options.mqtt, publisher->delivered(), publisher->dropped(), left));
    }
    return exitCode;
}

} // namespace kvp
