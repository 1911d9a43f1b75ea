#include "net/http/md5.h"

#include <cstdio>
#include <cstring>
#include <iostream>

namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadLE(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void StoreLE(uint32_t v, unsigned char* p) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

void Complain(const char* message) { std::cerr << message << std::endl; }

}  // namespace

MD5::MD5()
    : state{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476},
      count{0, 0},
      buffer{},
      digest{},
      finalized(false) {}

void MD5::update(const unsigned char* input, uint32_t length) {
  if (finalized) {
    Complain("MD5::update:  Can't update a finalized digest!");
    return;
  }
  uint32_t index = (count[0] >> 3) & 0x3F;
  const uint32_t addedBits = length << 3;
  count[0] += addedBits;
  if (count[0] < addedBits) ++count[1];
  count[1] += length >> 29;

  const uint32_t partLen = 64 - index;
  uint32_t i = 0;
  if (length >= partLen) {
    std::memcpy(buffer + index, input, partLen);
    transform(buffer);
    for (i = partLen; i + 63 < length; i += 64) transform(input + i);
    index = 0;
  }
  if (length > i) std::memcpy(buffer + index, input + i, length - i);
}

void MD5::finalize() {
  if (finalized) {
    Complain("MD5::finalize:  Already finalized this digest!");
    return;
  }
  unsigned char bits[8];
  StoreLE(count[0], bits);
  StoreLE(count[1], bits + 4);

  static const unsigned char kPadding[64] = {0x80};
  const uint32_t index = (count[0] >> 3) & 0x3F;
  const uint32_t padLen = index < 56 ? 56 - index : 120 - index;
  update(kPadding, padLen);
  update(bits, 8);

  for (int i = 0; i < 4; ++i) StoreLE(state[i], digest + 4 * i);
  finalized = true;
}

char* MD5::hex_digest(char* out) const {
  if (!finalized) {
    Complain("MD5::hex_digest:  Can't get digest if you haven't finalized the digest!");
    return nullptr;
  }
  for (int i = 0; i < 16; ++i) std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
  out[32] = '\0';
  return out;
}

void MD5::transform(const unsigned char block[64]) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLE(block + 4 * i);

  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int step = 0; step < 64; ++step) {
    const int round = step / 16;
    uint32_t f;
    int g;
    switch (round) {
      case 0:
        f = (b & c) | (~b & d);
        g = step;
        break;
      case 1:
        f = (b & d) | (c & ~d);
        g = (5 * step + 1) % 16;
        break;
      case 2:
        f = b ^ c ^ d;
        g = (3 * step + 5) % 16;
        break;
      default:
        f = c ^ (b | ~d);
        g = (7 * step) % 16;
        break;
    }
    const uint32_t rotated = RotateLeft(a + f + kSine[step] + x[g], kShift[round][step % 4]);
    a = d;
    d = c;
    c = b;
    b += rotated;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

char* Md5Hex(const char* text, char* out) {
  MD5 md5;
  md5.update(reinterpret_cast<const unsigned char*>(text),
             static_cast<uint32_t>(std::strlen(text)));
  md5.finalize();
  return md5.hex_digest(out);
}
