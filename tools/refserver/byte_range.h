#pragma once
// The server's reading of a Range header: one range, "bytes=FIRST-" or
// "bytes=FIRST-LAST". Other forms are ignored and the whole file is sent, as
// a server without range support would. And the validators a resuming client
// sends back in If-Range to make sure its part belongs to the same file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace halvora::refserver {

struct RangeAnswer {
  int status = 200;     // 200 whole file, 206 part, 416 range starts at or after the end
  uint64_t first = 0;   // first byte sent
  uint64_t length = 0;  // bytes sent
};

RangeAnswer AnswerRange(const std::optional<std::string>& rangeHeader, uint64_t size);

// One version of a file: its size and validators derived from the size and
// the modification time, so replacing or touching the file changes them.
// Overwriting a file with as many bytes within one tick of the file system's
// clock (a few milliseconds) keeps them.
struct FileVersion {
  uint64_t size = 0;
  std::string etag;          // strong, quotes included
  std::string lastModified;  // HTTP-date of the modification time
};

// Nothing when the file cannot be examined.
std::optional<FileVersion> VersionOf(const std::filesystem::path& path);

// Whether a Range counts: always without If-Range, otherwise only when the
// value is exactly the current ETag or Last-Modified text (a weak tag never
// matches), else the client gets the whole file.
bool RangeStillApplies(const std::optional<std::string>& ifRange, const FileVersion& version);

}  // namespace halvora::refserver
