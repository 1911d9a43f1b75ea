#include "app/startup_config.h"

#include <climits>

#include "base/text.h"

namespace halvora {

std::string ResourceText(std::string_view bytes) {
  return std::string(bytes.substr(0, bytes.find('\0')));
}

uint32_t PortFromText(std::string_view text) {
  size_t i = 0;
  // The C library's blanks: space, \t, \n, \v, \f, \r.
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > int64_t{INT_MAX} + 1) break;  // clamped below; more digits change nothing
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<uint32_t>(static_cast<int32_t>(value));
}

ServerAddress SplitServerText(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos) return ServerAddress{AnsiToWide(text), 80};
  return ServerAddress{AnsiToWide(text.substr(0, colon)), PortFromText(text.substr(colon + 1))};
}

std::string ServerText(ResourceState state, std::string_view bytes, std::string_view defaultHost) {
  switch (state) {
    case ResourceState::kLoaded:
      return ResourceText(bytes);
    case ResourceState::kNotLockable:
      return std::string();
    case ResourceState::kMissing:
      break;
  }
  return std::string(defaultHost) + ":80";
}

}  // namespace halvora
