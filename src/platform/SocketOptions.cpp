#include "SocketOptions.h"

#include "SystemErrorText.h"

#include <cerrno>
#include <cstddef>

#include <sys/ioctl.h>
#include <sys/socket.h>
#ifdef __linux__
#include <linux/tcp.h>
#endif
#include <netinet/in.h>

namespace kvp {

void ackPromptly(qintptr socket)
{
#ifdef __linux__
    const int on = 1;
    ::setsockopt(int(socket), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
    (void)socket;
#endif
}

std::optional<std::uint64_t> bytesTaken(qintptr socket)
{
#ifdef __linux__
    // Arrived, then waiting, then arrived again: equal twice, nothing came in between.
    const auto arrived = [socket]() -> std::optional<std::uint64_t> {
        tcp_info info{};
        socklen_t size = sizeof info;
        if (::getsockopt(int(socket), IPPROTO_TCP, TCP_INFO, &info, &size) != 0
            || size < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
            return std::nullopt;
        return info.tcpi_bytes_received;
    };
    for (int attempt = 0; attempt < 4; ++attempt) {
        const auto before = arrived();
        int waiting = 0;
        if (!before || ::ioctl(int(socket), FIONREAD, &waiting) != 0)
            return std::nullopt;
        if (arrived() == before)
            return *before - std::uint64_t(waiting);
    }
#else
    (void)socket;
#endif
    return std::nullopt;
}

void limitReceiveBuffer(qintptr socket, int bytes)
{
    ::setsockopt(int(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

int pendingError(qintptr socket)
{
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(int(socket), SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return 0;
    return error;
}

SocketFailure socketFailure(int error)
{
    switch (error) {
    case 0:
        return SocketFailure::none;
    case EINPROGRESS:
        return SocketFailure::inProgress;
    case ECONNREFUSED:
        return SocketFailure::refused;
    case ECONNRESET:
        return SocketFailure::reset;
    default:
        return SocketFailure::other;
    }
}

QString socketErrorText(int error)
{
    return error ? systemErrorText(error) : QString();
}

} // namespace kvp
