#pragma once
// A service request as it arrives: the path below "/zan_requests/" holds an
// optional base64 target followed by "*", then the request text, either
// sealed or plainly base64-encoded.

#include <optional>
#include <string>
#include <string_view>

namespace halvora::refserver {

struct ServiceRequest {
  std::string encoding;               // "sealed", "base64" or "empty"
  std::optional<std::string> target;  // decoded target, when the path carries one
  std::string text;                   // the request text
};

// Decodes the part of the path after "/zan_requests/". Returns nothing, with
// a reason in `error`, when the target or the text does not decode.
std::optional<ServiceRequest> DecodeServicePath(std::string_view encoded, std::string& error);

// The fields the server answers by, read from the request text.
struct RequestFields {
  std::optional<long> requestId;  // RequestId="N"
  std::string appId;              // appId="X" or <appId>X</appId>
  std::string os;                 // <OS>X</OS>
};
RequestFields ReadRequestFields(const std::string& text);

}  // namespace halvora::refserver
