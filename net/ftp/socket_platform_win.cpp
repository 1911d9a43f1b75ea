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

int ConnectTo(NativeHandle handle, const sockaddr_in& address, int milliseconds,
              const std::atomic<bool>* stop) {
  const SOCKET s = Raw(handle);
  u_long nonBlocking = 1;
  if (ioctlsocket(s, FIONBIO, &nonBlocking) != 0) return -1;
  int result = connect(s, Generic(address), sizeof address);
  if (result != 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
    int error = WSAETIMEDOUT;
    for (int waited = 0; waited < milliseconds && !(stop && *stop); waited += kConnectSliceMs) {
      // A refused connection shows in the exception set, not as writable.
      fd_set writable, failed;
      FD_ZERO(&writable);
      FD_ZERO(&failed);
      FD_SET(s, &writable);
      FD_SET(s, &failed);
      timeval wait{0, kConnectSliceMs * 1000};
      const int ready = select(0, nullptr, &writable, &failed, &wait);
      if (ready == 0) continue;
      if (ready > 0 && FD_ISSET(s, &writable)) {
        error = 0;
      } else {
        int length = sizeof error;
        if (ready < 0 ||
            getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
          error = WSAGetLastError();
      }
      break;
    }
    result = error == 0 ? 0 : -1;
    WSASetLastError(error);
  }
  const int saved = WSAGetLastError();
  u_long blocking = 0;
  ioctlsocket(s, FIONBIO, &blocking);
  WSASetLastError(saved);
  return result;
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
