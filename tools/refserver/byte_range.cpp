#include "tools/refserver/byte_range.h"

#include <cctype>

namespace halvora::refserver {

namespace {

std::optional<uint64_t> Digits(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  return value;
}

}  // namespace

RangeAnswer AnswerRange(const std::optional<std::string>& rangeHeader, uint64_t size) {
  RangeAnswer whole{200, 0, size};
  const std::string unit = "bytes=";
  if (!rangeHeader || rangeHeader->compare(0, unit.size(), unit) != 0) return whole;
  const std::string spec = rangeHeader->substr(unit.size());
  const size_t dash = spec.find('-');
  if (dash == std::string::npos) return whole;
  const auto first = Digits(spec.substr(0, dash));
  if (!first) return whole;
  std::optional<uint64_t> last;
  if (dash + 1 < spec.size()) {
    last = Digits(spec.substr(dash + 1));
    if (!last || *last < *first) return whole;
  }
  if (*first >= size) return RangeAnswer{416, 0, 0};
  const uint64_t end = last && *last < size ? *last + 1 : size;
  return RangeAnswer{206, *first, end - *first};
}

}  // namespace halvora::refserver
