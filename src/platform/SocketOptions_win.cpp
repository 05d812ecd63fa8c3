#include "SocketOptions.h"

#include "SystemErrorText.h"
#include "WinErrorText.h"

#include <winsock2.h>

#include <cerrno>

namespace kvp {

// Windows acknowledges at once or after its own delayed-ACK timer, with no per-socket
// switch like Linux's; nothing to ask.
void ackPromptly(qintptr socket)
{
    (void)socket;
}

// Winsock counts no bytes received per socket; the caller then relies on what it read.
std::optional<std::uint64_t> bytesTaken(qintptr socket)
{
    (void)socket;
    return std::nullopt;
}

void limitReceiveBuffer(qintptr socket, int bytes)
{
    ::setsockopt(SOCKET(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char *>(&bytes), sizeof bytes);
}

int pendingError(qintptr socket)
{
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(SOCKET(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &size) != 0)
        return 0;
    return error;
}

// Winsock's codes first; the C library's own are there too, for code that sets errno
// from them.
SocketFailure socketFailure(int error)
{
    switch (error) {
    case 0:
        return SocketFailure::none;
    case WSAEINPROGRESS:
    case WSAEWOULDBLOCK:
    case EINPROGRESS:
        return SocketFailure::inProgress;
    case WSAECONNREFUSED:
    case ECONNREFUSED:
        return SocketFailure::refused;
    case WSAECONNRESET:
    case WSAECONNABORTED:
    case ECONNRESET:
        return SocketFailure::reset;
    default:
        return SocketFailure::other;
    }
}

QString socketErrorText(int error)
{
    if (error >= WSABASEERR)
        return winErrorText(static_cast<unsigned long>(error));
    return error ? systemErrorText(error) : QString();
}

} // namespace kvp
