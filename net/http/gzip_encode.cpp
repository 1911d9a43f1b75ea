#include "net/http/gzip_encode.h"

#include <zlib.h>

namespace halvora {

std::string GzipCompress(const std::string& data) {
  z_stream stream{};
  // windowBits 15 + 16: the gzip wrapper.
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return std::string();
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int ret = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return ret == Z_STREAM_END ? out : std::string();
}

}  // namespace halvora
