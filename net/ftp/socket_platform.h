#pragma once
// The one place that knows which socket library sits underneath: Winsock on
// Windows, BSD sockets elsewhere. Everything above it (the blocking socket and
// the FTP client) is written once against these narrow calls.
//
// Every call reports failure the way the socket library does (a negative
// result or the invalid handle) and leaves the reason in LastError().

#include <atomic>
#include <cstdint>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

namespace nsSocket {

// A socket handle wide enough for both libraries (Winsock's SOCKET is a
// pointer-sized unsigned value, a BSD descriptor a small int).
using NativeHandle = std::uintptr_t;

namespace platform {

// What the library returns for "no socket" (INVALID_SOCKET; -1 on BSD).
constexpr NativeHandle kInvalidHandle = ~NativeHandle{0};

// Starts the socket library once, before the first call that needs it, and
// leaves it running for the life of the process (Winsock; nothing elsewhere).
void EnsureStarted();

// socket(AF_INET, type, 0). Never returns handle 0: the layer above uses 0 as
// its "closed" marker.
NativeHandle OpenSocket(int type);
// closesocket/close; 0 on success.
int CloseSocket(NativeHandle handle);
// WSAGetLastError/errno.
int LastError();
// True for the "interrupted call" error (WSAEINTR, EINTR).
bool IsInterrupted(int error);

// A pending connect looks at its stop flag this often.
inline constexpr int kConnectSliceMs = 50;

// Waits until the socket is writable (forWrite) or readable, at most
// `milliseconds` (0 polls). Returns >0 when ready, 0 when the time ran out, <0
// when the wait itself failed.
int WaitReady(NativeHandle handle, bool forWrite, int milliseconds);
// One send/recv with flags 0 (no SIGPIPE on BSD); the count, or -1.
int SendSome(NativeHandle handle, const char* data, int length);
int ReceiveSome(NativeHandle handle, char* buffer, int size);

// Connects within `milliseconds`, looking at `*stop` (null: none) between
// short waits; 0 when connected. The socket is blocking again afterwards.
int ConnectTo(NativeHandle handle, const sockaddr_in& address, int milliseconds,
              const std::atomic<bool>* stop);
int BindTo(NativeHandle handle, const sockaddr_in& address);
int ListenOn(NativeHandle handle, int backlog);
// accept(); the new handle (never 0) or kInvalidHandle.
NativeHandle AcceptOn(NativeHandle handle, sockaddr_in& peer);
int LocalName(NativeHandle handle, sockaddr_in& address);

// The resolver calls are the same in both libraries (socket_resolve.cpp).
// IPv4 address of a host name (or dotted text), network order; false when it
// does not resolve.
bool ResolveHost(const char* host, in_addr& address);
// Canonical name of an IPv4 address, or null. The text belongs to the calling
// thread and stays valid until its next call.
const char* ResolveAddress(const sockaddr_in& address);

}  // namespace platform
}  // namespace nsSocket
