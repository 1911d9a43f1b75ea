#pragma once
// How a service request travels: its text and its optional target are encoded
// into the path below the service path of one server. Nothing is
// percent-escaped; "+", "/", "=" and the target's "*" go into the path as they
// are, and the platform server splits them off again.

#include <cstdint>
#include <string>

namespace halvora {

enum class BodyEncoding : int32_t {
  Sealed = 0,  // AES-256-CBC, then base64 (SealRequestText)
  Base64 = 1,  // base64 of the text's bytes
};

// "http://%s:%d/%s/" of host, port and service path.
std::string BuildBaseUrl(const std::string& host, int32_t port, const std::string& servicePath);

// Encodes the bytes of `body` up to its terminator. An empty text encodes to
// empty text. Returns false (and leaves `encoded` alone) when it cannot be
// encoded.
bool EncodeRequestText(const char* body, BodyEncoding encoding, std::string& encoded);

// A target that is absent, empty or only white space contributes nothing (it
// is trimmed for that test only); any other contributes the base64 of all its
// bytes followed by "*".
std::string EncodeTarget(const char* target);

// baseUrl, then the encoded target, then the encoded request text. Returns
// false when the request text cannot be encoded.
bool BuildServiceUrl(const std::string& baseUrl, const char* body, BodyEncoding encoding,
                     const char* target, std::string& url);

}  // namespace halvora
