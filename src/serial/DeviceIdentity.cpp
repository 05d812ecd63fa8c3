#include "DeviceIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <initializer_list>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace kvp {
namespace {

QString byIdNameOf(dev_t device)
{
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    for (const QFileInfo &link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        struct stat st {};
        if (::stat(QFile::encodeName(link.absoluteFilePath()).constData(), &st) == 0 && S_ISCHR(st.st_mode)
            && st.st_rdev == device)
            return link.fileName();
    }
    return {};
}

// The kernel's encoding of tty_nr in /proc/<pid>/stat.
dev_t decodeTtyNr(unsigned long nr)
{
    return makedev((nr >> 8) & 0xfff, (nr & 0xff) | ((nr >> 12) & 0xfff00));
}

} // namespace

QList<dev_t> systemConsoles()
{
    const QString root = qEnvironmentVariableIsSet("KVP_SYS_CLASS_TTY") ? qEnvironmentVariable("KVP_SYS_CLASS_TTY")
                                                                       : QStringLiteral("/sys/class/tty");
    QList<dev_t> consoles;
    QFile active(root + QStringLiteral("/console/active"));
    if (!active.open(QIODevice::ReadOnly))
        return consoles;
    for (const QByteArray &name : active.readAll().simplified().split(' ')) {
        if (name.isEmpty() || name.contains('/'))
            continue;
        // By the number the kernel gives, never by name: /dev/ttyS0 may be reached by
        // a link or another node.
        QFile number(root + QLatin1Char('/') + QString::fromLocal8Bit(name) + QStringLiteral("/dev"));
        if (!number.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> parts = number.readAll().trimmed().split(':');
        bool majorOk = false;
        bool minorOk = false;
        const uint majorNumber = parts.value(0).toUInt(&majorOk);
        const uint minorNumber = parts.value(1).toUInt(&minorOk);
        if (parts.size() == 2 && majorOk && minorOk)
            consoles << makedev(majorNumber, minorNumber);
    }
    return consoles;
}

Sameness sameDevice(const DeviceIdentity &first, const DeviceIdentity &now)
{
    if (!first.byId.isEmpty()) {
        if (now.byId.isEmpty())
            return Sameness::notYetKnown;
        return now.byId == first.byId ? Sameness::same : Sameness::other;
    }
    if (now.device != first.device)
        return Sameness::other;
    if (isPseudoTerminal(first.device) && now.createdNs != first.createdNs)
        return Sameness::other;
    return Sameness::same;
}

bool isPseudoTerminal(dev_t device)
{
    // Unix 98 pseudo-terminal slaves: majors 136 to 143.
    return major(device) >= 136 && major(device) <= 143;
}

bool isTerminalOfUser(dev_t device, const QList<dev_t> &ours)
{
    if (major(device) == 5 && minor(device) <= 2) // /dev/tty, /dev/console, /dev/ptmx
        return true;
    if (major(device) == 4 && minor(device) < 64) // virtual consoles; 64 and up are ttyS*
        return true;
    return ours.contains(device);
}

QList<dev_t> terminalsOfThisProcess()
{
    QList<dev_t> ours;
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        struct stat st {};
        if (::isatty(fd) && ::fstat(fd, &st) == 0)
            ours << st.st_rdev;
    }
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        // The command name may hold spaces and parentheses; the fields follow its last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        // state, ppid, pgrp, session, tty_nr
        if (fields.size() > 4) {
            if (const unsigned long nr = fields[4].toULong(); nr != 0)
                ours << decodeTtyNr(nr);
        }
    }
    return ours;
}

DeviceLookup lookUpDevice(const QString &path)
{
    DeviceLookup found;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) {
        found.error = errno;
        return found;
    }
    found.characterDevice = S_ISCHR(st.st_mode);
    if (!found.characterDevice)
        return found;
    found.identity.device = st.st_rdev;
    if (isPseudoTerminal(st.st_rdev))
        found.identity.createdNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    else
        found.identity.byId = byIdNameOf(st.st_rdev);
    return found;
}

} // namespace kvp
