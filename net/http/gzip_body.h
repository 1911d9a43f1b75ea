#pragma once
// Inflation of gzip-encoded service answers, with a ceiling on what the
// output may grow to, so a small hostile stream cannot exhaust the memory.

#include <cstddef>
#include <vector>

namespace halvora {

// Size of one inflation output pass.
constexpr size_t kInflatePassBytes = 1024;

// Inflates a complete gzip stream (gzip wrapper only) from `data` into `out`,
// which receives the inflated bytes followed by one zero byte. Passes of
// kInflatePassBytes repeat while a pass fills its area completely; the result
// is true only when the last pass reached the end of the stream. Returns false
// (and leaves `out` empty) on a corrupt, truncated or empty stream, or when the
// output would exceed `limit` bytes.
bool InflateGzipBody(const char* data, size_t size, std::vector<char>& out, size_t limit);

}  // namespace halvora
