#include "net/http/zan_http_session.h"

#include <algorithm>
#include <cstring>

#include "base/text.h"

namespace halvora {

namespace {
const char kServicePath[] = "zan_requests";
}

std::unique_ptr<ZanHttpSession> ZanHttpSession::Create(const std::wstring& host, int32_t port) {
  return std::make_unique<ZanHttpSession>(CreateKey(), WideToAnsi(host), port);
}

ZanHttpSession::ZanHttpSession(CreateKey, const std::string& narrowHost, int32_t port)
    : port(port) {
  // Cutting may split a double-byte character; the address is then unusable
  // either way, and the area stays zero-terminated.
  std::memcpy(host, narrowHost.data(), std::min(narrowHost.size(), sizeof host - 1));
  std::memcpy(servicePath, kServicePath, sizeof kServicePath);
  baseUrl = BuildBaseUrl(host, port, servicePath);
}
}  // namespace halvora
