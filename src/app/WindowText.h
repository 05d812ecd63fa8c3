#pragma once

#include "condition/Condition.h"
#include "mqtt/BrokerTrouble.h"
#include "mqtt/BrokerUrl.h"
#include "reader/CycleCounters.h"

namespace kvp {

// What the window shows for a condition. Every text the window has besides its
// form is made here, so that the window's language is decided in one place.
struct WindowText {
    QString title;
    QString status;  // the state on the status line; empty: it stays as it is
    QString port;    // the port on the status line, as the user knows it
    QString message; // for a notice; empty: none is needed
    QString hint;    // the tooltip over the value before anything was read
};

WindowText windowText(Condition condition, const Facts &facts);

// The window's fixed words besides its form: tooltips, the port list, the menu.
enum class WindowWord {
    addressTip,
    readTip,
    stopTip,
    quitTip,
    portTip,
    menuTip,
    portListTip,
    portPathPlaceholder,
    portPathOpen,
    portPathOpenTip,
    noPorts,
    systemConsole, // the mark of the kernel's console in the port list
    portMenuEntry,
    echoMenuEntry,
    timeoutMenuEntry,
    timeoutTitle,
    timeoutQuestion, // %1 and %2: the shortest and the longest time-out
    boxNotOnBus, // reading a bus that the address box's module is not part of
};

QString windowWord(WindowWord word);

// The broker out of reach, and a broker address that is none, in the window's
// language; `part` is what the address got wrong, when it can be quoted.
QString windowBrokerText(BrokerTrouble trouble, const BrokerUrl &url, const QString &detail);
QString windowBrokerUrlText(BrokerUrlFault fault, const QString &part);

// The counts of a run, for the value's tooltip, in the window's language.
QString windowCounterSummary(const CycleCounters &counters, TimePoint now);

} // namespace kvp
