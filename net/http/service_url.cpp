#include "net/http/service_url.h"

#include <cctype>
#include <cstring>

#include "net/http/base64.h"
#include "net/http/seal.h"

namespace halvora {

std::string BuildBaseUrl(const std::string& host, int32_t port, const std::string& servicePath) {
  return "http://" + host + ":" + std::to_string(port) + "/" + servicePath + "/";
}

bool EncodeRequestText(const char* body, BodyEncoding encoding, std::string& encoded) {
  const size_t length = body ? std::strlen(body) : 0;
  if (length == 0) {
    encoded.clear();
    return true;
  }
  if (length > INT32_MAX) return false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(body);
  switch (encoding) {
    case BodyEncoding::Sealed:
      return SealRequestText(bytes, static_cast<int32_t>(length), encoded) == 0;
    case BodyEncoding::Base64:
      encoded = Base64Encode(bytes, length);
      return true;
  }
  return false;
}

std::string EncodeTarget(const char* target) {
  if (!target) return std::string();
  const size_t length = std::strlen(target);
  bool blank = true;
  for (size_t i = 0; i < length && blank; ++i)
    blank = std::isspace(static_cast<unsigned char>(target[i])) != 0;
  if (blank) return std::string();
  return Base64Encode(std::string_view(target, length)) + "*";
}

bool BuildServiceUrl(const std::string& baseUrl, const char* body, BodyEncoding encoding,
                     const char* target, std::string& url) {
  std::string encodedBody;
  if (!EncodeRequestText(body, encoding, encodedBody)) return false;
  url = baseUrl + EncodeTarget(target) + encodedBody;
  return true;
}

}  // namespace halvora
