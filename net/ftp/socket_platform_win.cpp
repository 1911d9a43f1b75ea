// Winsock. The library is started once, lazily, before the first call that
// needs it, and left running for the life of the process.
#include "net/ftp/socket_platform.h"

#include <ws2tcpip.h>

#include <mutex>

namespace nsSocket {
namespace platform {
namespace {

void EnsureStarted() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

SOCKET Raw(NativeHandle handle) { return static_cast<SOCKET>(handle); }

const sockaddr* Generic(const sockaddr_in& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

// Winsock never returns 0 as a socket in practice; should it, keep the layer's
// "0 = closed" marker meaningful anyway.
NativeHandle Adopt(SOCKET raw) {
  if (raw == INVALID_SOCKET) return kInvalidHandle;
  if (raw == 0) {
    closesocket(raw);
    WSASetLastError(WSAEMFILE);
    return kInvalidHandle;
  }
  return static_cast<NativeHandle>(raw);
}

}  // namespace

NativeHandle OpenSocket(int type) {
  EnsureStarted();
  return Adopt(socket(AF_INET, type, 0));
}

int CloseSocket(NativeHandle handle) { return closesocket(Raw(handle)); }

int LastError() { return WSAGetLastError(); }

bool IsInterrupted(int error) { return error == WSAEINTR; }

int WaitReady(NativeHandle handle, bool forWrite, int seconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Raw(handle), &set);
  timeval wait{};
  wait.tv_sec = seconds > 0 ? seconds : 0;
  return select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, nullptr, &wait);
}

int SendSome(NativeHandle handle, const char* data, int length) {
  return send(Raw(handle), data, length, 0);
}

int ReceiveSome(NativeHandle handle, char* buffer, int size) {
  return recv(Raw(handle), buffer, size, 0);
}

int ConnectTo(NativeHandle handle, const sockaddr_in& address) {
  return connect(Raw(handle), Generic(address), sizeof address);
}

int BindTo(NativeHandle handle, const sockaddr_in& address) {
  return bind(Raw(handle), Generic(address), sizeof address);
}

int ListenOn(NativeHandle handle, int backlog) { return listen(Raw(handle), backlog); }

NativeHandle AcceptOn(NativeHandle handle, sockaddr_in& peer) {
  int length = sizeof peer;
  return Adopt(accept(Raw(handle), reinterpret_cast<sockaddr*>(&peer), &length));
}

int LocalName(NativeHandle handle, sockaddr_in& address) {
  int length = sizeof address;
  return getsockname(Raw(handle), reinterpret_cast<sockaddr*>(&address), &length);
}

bool ResolveHost(const char* host, in_addr& address) {
  EnsureStarted();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

const char* ResolveAddress(const sockaddr_in& address) {
  EnsureStarted();
  thread_local char name[NI_MAXHOST];
  sockaddr_in query{};
  query.sin_family = AF_INET;
  query.sin_addr = address.sin_addr;
  if (getnameinfo(Generic(query), sizeof query, name, sizeof name, nullptr, 0, NI_NAMEREQD) != 0)
    return nullptr;
  return name;
}

}  // namespace platform
}  // namespace nsSocket
