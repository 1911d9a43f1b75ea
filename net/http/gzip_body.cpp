#include "net/http/gzip_body.h"

#include <zlib.h>

#include <climits>

namespace halvora {

bool InflateGzipBody(const char* data, size_t size, std::vector<char>& out, size_t limit) {
  out.clear();
  if (size > UINT_MAX) return false;
  z_stream stream{};
  // windowBits 15 + 16: the gzip wrapper only, no raw or zlib streams.
  if (inflateInit2(&stream, 31) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  stream.avail_in = static_cast<uInt>(size);

  std::vector<char> inflated;
  int ret = Z_OK;
  bool failed = false;
  size_t produced = 0;
  do {
    char pass[kInflatePassBytes];
    stream.next_out = reinterpret_cast<Bytef*>(pass);
    stream.avail_out = sizeof pass;
    ret = inflate(&stream, Z_FINISH);
    if (ret == Z_NEED_DICT || ret == Z_DATA_ERROR || ret == Z_MEM_ERROR) {
      failed = true;
      break;
    }
    produced = sizeof pass - stream.avail_out;
    if (inflated.size() + produced > limit) {
      failed = true;
      break;
    }
    inflated.insert(inflated.end(), pass, pass + produced);
  } while (produced == kInflatePassBytes);
  inflateEnd(&stream);

  if (failed || ret != Z_STREAM_END) return false;
  inflated.push_back('\0');
  out.swap(inflated);
  return true;
}

}  // namespace halvora
