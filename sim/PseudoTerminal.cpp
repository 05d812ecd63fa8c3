#include "PseudoTerminal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace kvp {

PseudoTerminal::PseudoTerminal()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        close();
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    m_slaveKeeper = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (m_slaveKeeper < 0) {
        m_error = QString::fromLocal8Bit(std::strerror(errno));
        close();
        return;
    }
    // Raw from the start: a slave that echoes would answer every command with itself.
    termios tio{};
    ::tcgetattr(m_slaveKeeper, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slaveKeeper, TCSANOW, &tio);
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

void PseudoTerminal::close()
{
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeeper = m_master = -1;
}

} // namespace kvp
