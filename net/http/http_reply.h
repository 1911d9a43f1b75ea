#pragma once
// Reading the few response headers the transfers act on, and the decision a
// download takes once the status and headers of its answer are known. Kept
// apart from the platform calls so that every branch is tested on its own.

#include <cstdint>
#include <optional>
#include <string>

namespace halvora {

// A Content-Length that the download counters can hold: decimal digits only
// (blanks around them tolerated), at most INT32_MAX. Anything else (negative,
// not a number, too large) gives nothing.
std::optional<int32_t> ParseContentLength(const std::string& text);

// First byte position of "bytes FIRST-LAST/TOTAL" (TOTAL may be "*"; the
// unit in any letter case).
std::optional<int64_t> ParseContentRangeStart(const std::string& text);

// What a download does with the answer it got.
struct DownloadPlan {
  enum class Action {
    Transfer,   // write the body after `offset` bytes already present
    StartOver,  // a resumed request drew the whole file: truncate, write from 0
    RangeEnd,   // 416: the range starts at or after the end; write nothing
    Reject,     // any other status, or headers that cannot be trusted
  };
  Action action = Action::Reject;
  int32_t offset = 0;  // bytes of the local file kept
  int32_t total = 0;   // size the local file will have when complete
  // The answer announced its length: no byte past `total` is written. Without
  // one the body runs to the connection's end, up to what the counters hold.
  bool bounded = false;
};

// `status` is the status code as text; `contentLength` and `contentRange` are
// the header values, absent when the answer has none. A missing Content-Length
// counts as 0. A 206 whose Content-Range starts elsewhere than `offset` is
// rejected; one without Content-Range is taken at its word. `headersReadable`
// is false when one of the two was there but could not be read (longer than
// the platform call allows, say): a 416 is decided on its status alone, any
// other answer is then rejected.
DownloadPlan PlanDownload(const std::string& status,
                          const std::optional<std::string>& contentLength,
                          const std::optional<std::string>& contentRange, int64_t offset,
                          bool headersReadable);

// The size a 200 answer to a size query declares: the decimal Content-Length
// cut to 32 bits. Nothing for another status, a missing header, or a value
// that is not a decimal number.
std::optional<uint32_t> RemoteSizeFromAnswer(uint32_t status,
                                             const std::optional<std::string>& contentLength);

// Longest Retry-After the transfers pass on; the session caps it again itself.
constexpr uint32_t kMaxRetryAfterSeconds = 3600;

// Retry-After in seconds when it is a decimal number (capped at
// kMaxRetryAfterSeconds); 0 for none, a date, or anything else.
uint32_t RetryAfterSeconds(const std::optional<std::string>& retryAfter);

// What names this version of the file for a later conditional resume: the
// ETag when it is strong, else the Last-Modified text, else nothing. A weak
// tag may stay the same while the bytes change, so it cannot vouch for a range.
std::string FileValidator(const std::optional<std::string>& etag,
                          const std::optional<std::string>& lastModified);

}  // namespace halvora
