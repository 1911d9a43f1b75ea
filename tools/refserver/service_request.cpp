#include "tools/refserver/service_request.h"

#include <cstdlib>

#include "net/http/unseal.h"

namespace halvora::refserver {

namespace {

bool LooksLikeXml(const std::string& text) { return !text.empty() && text[0] == '<'; }

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const size_t start = text.find(open);
  if (start == std::string::npos) return std::string();
  const size_t from = start + open.size();
  const size_t end = text.find(close, from);
  if (end == std::string::npos) return std::string();
  return text.substr(from, end - from);
}

}  // namespace

std::optional<ServiceRequest> DecodeServicePath(std::string_view encoded, std::string& error) {
  ServiceRequest request;
  // Base64 never holds "*", so the first one ends the target.
  const size_t star = encoded.find('*');
  if (star != std::string_view::npos) {
    request.target = Base64Decode(encoded.substr(0, star));
    if (!request.target) {
      error = "target is not base64";
      return std::nullopt;
    }
    encoded.remove_prefix(star + 1);
  }
  if (encoded.empty()) {
    request.encoding = "empty";
    return request;
  }
  // A sealed text unseals to XML; a plainly encoded one decodes to XML. The
  // chance that plain base64 also unseals to text starting with "<" is nil.
  if (auto unsealed = UnsealRequestText(encoded); unsealed && LooksLikeXml(*unsealed)) {
    request.encoding = "sealed";
    request.text = std::move(*unsealed);
    return request;
  }
  if (auto plain = Base64Decode(encoded); plain && LooksLikeXml(*plain)) {
    request.encoding = "base64";
    request.text = std::move(*plain);
    return request;
  }
  error = "request text is neither sealed nor base64 XML";
  return std::nullopt;
}

RequestFields ReadRequestFields(const std::string& text) {
  RequestFields fields;
  const std::string id = Between(text, "RequestId=\"", "\"");
  if (!id.empty()) {
    char* end = nullptr;
    const long value = std::strtol(id.c_str(), &end, 10);
    if (end && *end == '\0') fields.requestId = value;
  }
  fields.appId = Between(text, "appId=\"", "\"");
  if (fields.appId.empty()) fields.appId = Between(text, "<appId>", "</appId>");
  fields.os = Between(text, "<OS>", "</OS>");
  return fields;
}

}  // namespace halvora::refserver
