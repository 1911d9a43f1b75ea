#include "tools/refserver/byte_range.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <ctime>

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

// The fixed-format HTTP-date, in English whatever the locale.
std::string HttpDate(time_t time) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  struct tm t {};
  gmtime_r(&time, &t);
  char text[40];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[t.tm_wday],
                t.tm_mday, kMonths[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
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

std::optional<FileVersion> VersionOf(const std::filesystem::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::nullopt;
  const auto size = static_cast<unsigned long long>(info.st_size);
  // Nanoseconds, so two versions written within the same second differ.
  const auto mtime = static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ull +
                     static_cast<unsigned long long>(info.st_mtim.tv_nsec);
  char etag[48];
  std::snprintf(etag, sizeof etag, "\"%llx-%llx\"", size, mtime);
  return FileVersion{size, etag, HttpDate(info.st_mtim.tv_sec)};
}

bool RangeStillApplies(const std::optional<std::string>& ifRange, const FileVersion& version) {
  return !ifRange || *ifRange == version.etag || *ifRange == version.lastModified;
}

}  // namespace halvora::refserver
