#pragma once

#include <QList>
#include <QString>

#include <sys/types.h>

namespace kvp {

// What makes a device node the device the user picked, so that a path reused by
// another device after an unplug is never written to.
struct DeviceIdentity {
    dev_t device = 0;
    // When a pseudo-terminal was made: its number alone comes back for the next
    // terminal window that gets the same /dev/pts slot.
    qint64 createdNs = 0;
    // The /dev/serial/by-id name udev gives the adapter; it outlives a replug into
    // another socket, where the device number may change.
    QString byId;
};

enum class Sameness { same, other, notYetKnown };

// Whether `now` is the device first opened as `first`. An adapter known by its
// by-id name is not judged until udev has given the new node that name too.
Sameness sameDevice(const DeviceIdentity &first, const DeviceIdentity &now);

bool isPseudoTerminal(dev_t device);
// /dev/tty, the console and the virtual consoles, or one of `ours`: the terminals
// this process runs in. Opening one as a port would take the user's terminal over.
bool isTerminalOfUser(dev_t device, const QList<dev_t> &ours);

// The controlling terminal and the terminals on standard input, output and error.
QList<dev_t> terminalsOfThisProcess();

// The devices the kernel writes its console to, as /sys/class/tty/console/active
// names them (ttyS0 on many servers, boards and virtual machines). Commands written
// there land on the console, and a login may be running on it. KVP_SYS_CLASS_TTY
// stands in for /sys/class/tty, so that a test can name a device of its own.
QList<dev_t> systemConsoles();

// What is at `path` now, following links: errno of the look-up (0 when found),
// whether it is a character device, and its identity.
struct DeviceLookup {
    int error = 0;
    bool characterDevice = false;
    DeviceIdentity identity;
};
DeviceLookup lookUpDevice(const QString &path);

} // namespace kvp
