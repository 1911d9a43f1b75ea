#include "net/http/http_reply.h"

#include <cctype>
#include <algorithm>
#include <climits>

namespace halvora {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Decimal digits between optional blanks, saturated at UINT64_MAX.
std::optional<uint64_t> ParseDecimal(const std::string& text) {
  size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  if (i == end) return std::nullopt;
  uint64_t value = 0;
  for (; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    value = value > (UINT64_MAX - digit) / 10 ? UINT64_MAX : value * 10 + digit;
  }
  return value;
}

}  // namespace

std::optional<int32_t> ParseContentLength(const std::string& text) {
  const auto value = ParseDecimal(text);
  if (!value || *value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<int64_t> ParseContentRangeStart(const std::string& text) {
  // The unit is a token, and tokens compare without regard to case.
  const std::string unit = "bytes ";
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (text.size() - i < unit.size()) return std::nullopt;
  for (size_t k = 0; k < unit.size(); ++k, ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != unit[k]) return std::nullopt;
  const size_t dash = text.find('-', i);
  const size_t slash = text.find('/', i);
  if (dash == std::string::npos || slash == std::string::npos || slash < dash) return std::nullopt;
  const auto first = ParseDecimal(text.substr(i, dash - i));
  const auto last = ParseDecimal(text.substr(dash + 1, slash - dash - 1));
  if (!first || !last || *last < *first || *first > INT64_MAX) return std::nullopt;
  return static_cast<int64_t>(*first);
}

DownloadPlan PlanDownload(const std::string& status,
                          const std::optional<std::string>& contentLength,
                          const std::optional<std::string>& contentRange, int64_t offset,
                          bool headersReadable) {
  using Action = DownloadPlan::Action;
  DownloadPlan plan;
  if (status == "416") {
    plan.action = Action::RangeEnd;
    return plan;
  }
  if ((status != "200" && status != "206") || !headersReadable || offset < 0 || offset > INT32_MAX)
    return plan;

  int32_t length = 0;
  if (contentLength) {
    const auto parsed = ParseContentLength(*contentLength);
    if (!parsed) return plan;
    length = *parsed;
  }
  if (status == "206" && contentRange && ParseContentRangeStart(*contentRange) != offset)
    return plan;

  // A 200 carries the whole file whatever range was asked for: appending it
  // to a partial file would repeat the file's head.
  const bool startOver = status == "200" && offset > 0;
  const int64_t kept = startOver ? 0 : offset;
  if (kept + length > INT32_MAX) return plan;
  plan.action = startOver ? Action::StartOver : Action::Transfer;
  plan.offset = static_cast<int32_t>(kept);
  plan.total = static_cast<int32_t>(kept + length);
  plan.bounded = contentLength.has_value();
  return plan;
}

std::optional<uint32_t> RemoteSizeFromAnswer(uint32_t status,
                                             const std::optional<std::string>& contentLength) {
  if (status != 200 || !contentLength) return std::nullopt;
  const auto value = ParseDecimal(*contentLength);
  if (!value) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

uint32_t RetryAfterSeconds(const std::optional<std::string>& retryAfter) {
  const auto value = retryAfter ? ParseDecimal(*retryAfter) : std::nullopt;
  if (!value) return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(*value, kMaxRetryAfterSeconds));
}

std::string FileValidator(const std::optional<std::string>& etag,
                          const std::optional<std::string>& lastModified) {
  auto trimmed = [](const std::string& text) {
    size_t i = 0, end = text.size();
    while (i < end && IsBlank(text[i])) ++i;
    while (end > i && IsBlank(text[end - 1])) --end;
    return text.substr(i, end - i);
  };
  if (etag) {
    const std::string tag = trimmed(*etag);
    if (!tag.empty() && tag.rfind("W/", 0) != 0) return tag;
  }
  return lastModified ? trimmed(*lastModified) : std::string();
}

}  // namespace halvora
