#include "tools/refserver/connection_reset.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace halvora::refserver {

namespace {

constexpr auto kDrainLimit = std::chrono::seconds(5);
constexpr auto kDrainPoll = std::chrono::milliseconds(1);

int PortOf(const sockaddr_in& address) { return ntohs(address.sin_port); }

// The descriptor of the TCP connection between the two ports, or -1.
int FindConnection(int localPort, int remotePort) {
  DIR* fds = opendir("/proc/self/fd");
  if (!fds) return -1;
  int found = -1;
  while (const dirent* entry = readdir(fds)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || fd == dirfd(fds)) continue;
    sockaddr_in local{}, remote{};
    socklen_t localSize = sizeof local, remoteSize = sizeof remote;
    if (getsockname(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&local), &localSize) != 0 ||
        getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&remote), &remoteSize) != 0 ||
        local.sin_family != AF_INET || remote.sin_family != AF_INET)
      continue;
    if (PortOf(local) == localPort && PortOf(remote) == remotePort) {
      found = static_cast<int>(fd);
      break;
    }
  }
  closedir(fds);
  return found;
}

}  // namespace

bool ResetConnection(int localPort, int remotePort) {
  const int fd = FindConnection(localPort, remotePort);
  if (fd < 0) return false;
  // A reset throws away what the client has not acknowledged yet: wait until
  // the bytes sent so far have arrived.
  const auto limit = std::chrono::steady_clock::now() + kDrainLimit;
  int unacknowledged = 0;
  while (ioctl(fd, SIOCOUTQ, &unacknowledged) == 0 && unacknowledged > 0 &&
         std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(kDrainPoll);

  // Closing the last descriptor of a socket that lingers for 0 s sends RST.
  // The library still holds `fd`: it is pointed at a fresh socket first, and
  // the connection is closed through a copy.
  const int connection = dup(fd);
  const int placeholder = socket(AF_INET, SOCK_STREAM, 0);
  if (connection < 0 || placeholder < 0 || dup2(placeholder, fd) < 0) {
    if (connection >= 0) close(connection);
    if (placeholder >= 0) close(placeholder);
    return false;
  }
  close(placeholder);
  const linger abort{1, 0};
  setsockopt(connection, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  close(connection);
  return true;
}

}  // namespace halvora::refserver
