#pragma once

#include <QString>

namespace kvp {

// A pseudo-terminal pair: the simulator talks on the master, the reader opens the
// slave path as if it were a serial port.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    QString errorString() const { return m_error; }
    // Hangs the line up, as when a USB adapter is pulled.
    void close();

private:
    int m_master = -1;
    // Held open so the master never sees a hang-up while the reader has the slave
    // closed, and so the slave stays raw between readers.
    int m_slaveKeeper = -1;
    QString m_slavePath;
    QString m_error;
};

} // namespace kvp
