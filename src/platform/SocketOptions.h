#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace kvp {

// What the network code asks of a TCP socket beyond what Qt offers, by its descriptor.
// Each does nothing (or knows nothing) where the system has no such thing.

// Acknowledge what arrives at once rather than up to 40 ms later. A server that holds
// the rest of a reply back until its first piece is acknowledged (Nagle's algorithm)
// then sends it at once. The kernel forgets this after a while: ask after every read.
void ackPromptly(qintptr socket);

// The bytes the program has taken from the connection so far: what arrived less what
// still waits to be read.
std::optional<std::uint64_t> bytesTaken(qintptr socket);

// Keeps the kernel's receive buffer to about `bytes`, so that one read takes no more.
void limitReceiveBuffer(qintptr socket, int bytes);

// The error a connection in progress ended with (errno's value, or Winsock's), 0 for none.
int pendingError(qintptr socket);

// What a socket's error (errno's value, or Winsock's) means to a connection. Windows
// says the same things in codes of its own, and a network library there hands those
// on through errno.
enum class SocketFailure { none, inProgress, refused, reset, other };
SocketFailure socketFailure(int error);
// The system's wording of such an error, for a message's detail; empty for 0.
QString socketErrorText(int error);

} // namespace kvp
