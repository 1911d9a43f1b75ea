// BSD sockets: poll() instead of select() so that descriptors above
// FD_SETSIZE cannot overrun an fd_set.
#include "net/ftp/socket_platform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

namespace nsSocket {
namespace platform {
namespace {

// Descriptor 0 can be handed out when standard input is closed; move it so
// that 0 keeps meaning "no socket".
NativeHandle Adopt(int fd) {
  if (fd < 0) return kInvalidHandle;
  if (fd == 0) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    const int saved = errno;
    close(fd);
    errno = saved;
    if (moved < 0) return kInvalidHandle;
    fd = moved;
  }
  return static_cast<NativeHandle>(fd);
}

int Fd(NativeHandle handle) { return static_cast<int>(handle); }

const sockaddr* Generic(const sockaddr_in& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

}  // namespace

void EnsureStarted() {}

NativeHandle OpenSocket(int type) { return Adopt(socket(AF_INET, type | SOCK_CLOEXEC, 0)); }

int CloseSocket(NativeHandle handle) { return close(Fd(handle)); }

int LastError() { return errno; }

bool IsInterrupted(int error) { return error == EINTR; }

int WaitReady(NativeHandle handle, bool forWrite, int milliseconds) {
  pollfd entry{};
  entry.fd = Fd(handle);
  entry.events = forWrite ? POLLOUT : POLLIN;
  int result;
  do {
    result = poll(&entry, 1, milliseconds > 0 ? milliseconds : 0);
  } while (result < 0 && errno == EINTR);
  return result;
}

int SendSome(NativeHandle handle, const char* data, int length) {
  ssize_t sent;
  do {
    sent = send(Fd(handle), data, static_cast<size_t>(length), MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return static_cast<int>(sent);
}

int ReceiveSome(NativeHandle handle, char* buffer, int size) {
  ssize_t received;
  do {
    received = recv(Fd(handle), buffer, static_cast<size_t>(size), 0);
  } while (received < 0 && errno == EINTR);
  return static_cast<int>(received);
}

int ConnectTo(NativeHandle handle, const sockaddr_in& address, int milliseconds,
              const std::atomic<bool>* stop) {
  const int fd = Fd(handle);
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return -1;
  int result = connect(fd, Generic(address), sizeof address);
  if (result != 0 && errno == EINPROGRESS) {
    int error = ETIMEDOUT;
    for (int waited = 0; waited < milliseconds && !(stop && *stop); waited += kConnectSliceMs) {
      const int ready = WaitReady(handle, true, kConnectSliceMs);
      if (ready == 0) continue;
      socklen_t length = sizeof error;
      if (ready < 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      break;
    }
    result = error == 0 ? 0 : -1;
    errno = error;
  }
  const int saved = errno;
  fcntl(fd, F_SETFL, flags);
  errno = saved;
  return result;
}

int BindTo(NativeHandle handle, const sockaddr_in& address) {
  return bind(Fd(handle), Generic(address), sizeof address);
}

int ListenOn(NativeHandle handle, int backlog) { return listen(Fd(handle), backlog); }

NativeHandle AcceptOn(NativeHandle handle, sockaddr_in& peer) {
  socklen_t length = sizeof peer;
  return Adopt(accept4(Fd(handle), reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC));
}

int LocalName(NativeHandle handle, sockaddr_in& address) {
  socklen_t length = sizeof address;
  return getsockname(Fd(handle), reinterpret_cast<sockaddr*>(&address), &length);
}

}  // namespace platform
}  // namespace nsSocket
