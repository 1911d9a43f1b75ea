#include "app/install/publisher_pins.h"

#include <algorithm>

namespace halvora {

namespace {

constexpr std::size_t kKeyHashDigits = 64;  // SHA-256 in hexadecimal

}  // namespace

bool IsPublisherKeyHash(std::string_view text) {
  return text.size() == kKeyHashDigits && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::optional<std::vector<std::string>> ParsePublisherList(std::string_view text) {
  std::vector<std::string> keys;
  for (;;) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    if (!IsPublisherKeyHash(item)) return std::nullopt;
    keys.emplace_back(item);
    if (comma == std::string_view::npos) return keys;
    text.remove_prefix(comma + 1);
  }
}

TrustDecision DecideTrust(const PublisherPolicy& policy, std::string_view signerKeyHash) {
  if (!policy.pinned) return TrustDecision::kUnchecked;
  if (signerKeyHash.empty()) return TrustDecision::kRefused;
  const bool listed =
      std::find(policy.keys.begin(), policy.keys.end(), signerKeyHash) != policy.keys.end();
  return listed ? TrustDecision::kTrusted : TrustDecision::kRefused;
}

}  // namespace halvora
