#pragma once

#include "PortSettings.h"
#include "condition/Condition.h"
#include "platform/Link.h"

#include <QByteArray>
#include <QTimer>

#include <windows.h>

#include <string>

class QWinEventNotifier;

namespace kvp {

// The serial port on Windows, on Win32 alone: CreateFile on \\.\COMn with overlapped
// I/O, the line set with SetCommState, and an overlapped WaitCommEvent for EV_RXCHAR
// watched from the event loop (QWinEventNotifier); when it fires, ClearCommError
// says how much waits and ReadFile takes exactly that, so no call ever waits for
// the line. Writes are overlapped too and queued while one is under way.
//
// An aborted wait (995) is armed again: Windows' CDC driver gives it with the
// adapter attached. A failing read, wait or write of a removed adapter, or its COM
// port gone from the system's list, is the one "device gone". Once an adapter has
// been opened, the name is opened again only while the same adapter (its device
// instance ID) answers to it.
class CommPortLink : public Link
{
    Q_OBJECT

public:
    explicit CommPortLink(QObject *parent = nullptr);
    ~CommPortLink() override;

    Condition InitPort(const PortSettings &settings) override;
    Condition openChosen(const PortSettings &settings) override;
    void WritePort(const std::string &str) override;
    void discardInput() override;
    void close() override;
    bool isOpen() const override { return m_port != INVALID_HANDLE_VALUE; }
    QString errorDetail() const override { return m_errorDetail; }

private:
    Condition setUpLine();
    void armWait();
    void onWaitDone();
    void readWaiting();
    void startWrite();
    void onWriteDone();
    void checkStillThere();
    void fail(Condition condition, DWORD error);

    HANDLE m_port = INVALID_HANDLE_VALUE;
    OVERLAPPED m_wait{};
    DWORD m_events = 0;
    OVERLAPPED m_read{};
    OVERLAPPED m_write{};
    QWinEventNotifier *m_waitDone = nullptr;
    QWinEventNotifier *m_writeDone = nullptr;
    bool m_waiting = false;
    bool m_writing = false;
    QByteArray m_inFlight; // the bytes of the write under way, which must outlive it
    QByteArray m_queued;
    QTimer m_presence; // the port still in the system's list
    PortSettings m_settings;
    QString m_errorDetail;
    QString m_instanceId;  // of the adapter first opened under this name; empty: none known
    bool m_listed = false; // the port was in the system's list when it was opened
};

} // namespace kvp
