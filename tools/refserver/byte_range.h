#pragma once
// The server's reading of a Range header: one range, "bytes=FIRST-" or
// "bytes=FIRST-LAST". Other forms are ignored and the whole file is sent, as
// a server without range support would.

#include <cstdint>
#include <optional>
#include <string>

namespace halvora::refserver {

struct RangeAnswer {
  int status = 200;     // 200 whole file, 206 part, 416 range starts at or after the end
  uint64_t first = 0;   // first byte sent
  uint64_t length = 0;  // bytes sent
};

RangeAnswer AnswerRange(const std::optional<std::string>& rangeHeader, uint64_t size);

}  // namespace halvora::refserver
