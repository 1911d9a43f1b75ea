// Winsock. The library is started once, lazily, before the first call that
// needs it, and left running for the life of the process.
#include "net/ftp/socket_platform.h"

#include <mutex>

namespace nsSocket {
namespace platform {
namespace {

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

void EnsureStarted() {
  static std::once_flag started;
  std::call_once(started, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

NativeHandle OpenSocket(int type) {
  EnsureStarted();
  return Adopt(socket(AF_INET, type, 0));
}

int CloseSocket(NativeHandle handle) { return closesocket(Raw(handle)); }

int LastError() { return WSAGetLastError(); }

bool IsInterrupted(int error) { return error == WSAEINTR; }

int WaitReady(NativeHandle handle, bool forWrite, int milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(Raw(handle), &set);
  timeval wait{};
  if (milliseconds > 0) {
    wait.tv_sec = milliseconds / 1000;
    wait.tv_usec = (milliseconds % 1000) * 1000;
  }
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

}  // namespace platform
}  // namespace nsSocket
