#include "SignalWatcher.h"

#include <QMetaObject>

#include <windows.h>

#include <atomic>

namespace kvp {
namespace {

std::atomic<SignalWatcher *> s_watcher{nullptr};
HANDLE s_ended = nullptr; // set when the run has said its summary

// Runs on a thread of the system's: the event loop is asked, nothing else is touched.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    SignalWatcher *watcher = s_watcher.load();
    if (!watcher)
        return FALSE;
    QMetaObject::invokeMethod(watcher, [watcher] { emit watcher->terminationRequested(); }, Qt::QueuedConnection);
    // The console being closed, the user logging off: Windows ends the process as soon
    // as this returns, so it waits for the summary (Windows allows five seconds).
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(s_ended, 4000);
    return TRUE;
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    if (!s_ended)
        s_ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(s_ended);
    s_watcher = this;
    SetConsoleCtrlHandler(&onConsoleEvent, TRUE);
}

SignalWatcher::~SignalWatcher()
{
    s_watcher = nullptr;
    SetEvent(s_ended);
}

} // namespace kvp
