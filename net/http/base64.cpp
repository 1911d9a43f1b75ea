#include "net/http/base64.h"

namespace halvora {

std::string Base64Encode(const unsigned char* data, size_t length) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((length + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= length; i += 3) {
    const unsigned v = unsigned(data[i]) << 16 | unsigned(data[i + 1]) << 8 | data[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const size_t rest = length - i;
  if (rest > 0) {
    const unsigned v = unsigned(data[i]) << 16 | (rest == 2 ? unsigned(data[i + 1]) << 8 : 0u);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string Base64Encode(std::string_view bytes) {
  return Base64Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

}  // namespace halvora
