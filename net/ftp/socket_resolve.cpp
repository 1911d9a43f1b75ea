// Name resolution: getaddrinfo and getnameinfo behave alike in Winsock and BSD
// sockets, so one copy serves both.
#include "net/ftp/socket_platform.h"

namespace nsSocket {
namespace platform {

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
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&query), sizeof query, name, sizeof name,
                  nullptr, 0, NI_NAMEREQD) != 0)
    return nullptr;
  return name;
}

}  // namespace platform
}  // namespace nsSocket
