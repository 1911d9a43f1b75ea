#include "net/http/unseal.h"

#include <cstring>

#include "net/http/seal.h"

namespace halvora {

namespace {

using aes_detail::AddRoundKey;

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

uint8_t Multiply(uint8_t x, uint8_t y) {
  uint8_t product = 0;
  while (y) {
    if (y & 1) product ^= x;
    x = aes_detail::Xtime(x);
    y >>= 1;
  }
  return product;
}

struct InverseSBox {
  uint8_t table[256];
  InverseSBox() {
    for (int i = 0; i < 256; ++i) table[aes_detail::kSBox[i]] = static_cast<uint8_t>(i);
  }
};

void InvSubBytes(uint8_t s[16]) {
  static const InverseSBox inverse;
  for (int i = 0; i < 16; ++i) s[i] = inverse.table[s[i]];
}

void InvShiftRows(uint8_t s[16]) {
  uint8_t t[16];
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) t[4 * ((c + r) % 4) + r] = s[4 * c + r];
  std::memcpy(s, t, 16);
}

void InvMixColumns(uint8_t s[16]) {
  for (int c = 0; c < 4; ++c) {
    uint8_t* col = s + 4 * c;
    const uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
    col[0] = Multiply(a0, 14) ^ Multiply(a1, 11) ^ Multiply(a2, 13) ^ Multiply(a3, 9);
    col[1] = Multiply(a0, 9) ^ Multiply(a1, 14) ^ Multiply(a2, 11) ^ Multiply(a3, 13);
    col[2] = Multiply(a0, 13) ^ Multiply(a1, 9) ^ Multiply(a2, 14) ^ Multiply(a3, 11);
    col[3] = Multiply(a0, 11) ^ Multiply(a1, 13) ^ Multiply(a2, 9) ^ Multiply(a3, 14);
  }
}

}  // namespace

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++pad;
        continue;
      }
      if (pad) return std::nullopt;  // data after padding
      v[k] = Base64Value(c);
      if (v[k] < 0) return std::nullopt;
    }
    const unsigned bits = unsigned(v[0]) << 18 | unsigned(v[1]) << 12 | unsigned(v[2]) << 6 | v[3];
    out += static_cast<char>(bits >> 16);
    if (pad < 2) out += static_cast<char>((bits >> 8) & 0xff);
    if (pad < 1) out += static_cast<char>(bits & 0xff);
  }
  return out;
}

Aes256::Block DecryptBlock(const Aes256& aes, const Aes256::Block& in) {
  const auto& w = aes.RoundKeys();
  Aes256::Block s = in;
  AddRoundKey(s.data(), &w[4 * Aes256::kRounds]);
  for (int round = Aes256::kRounds - 1; round > 0; --round) {
    InvShiftRows(s.data());
    InvSubBytes(s.data());
    AddRoundKey(s.data(), &w[4 * round]);
    InvMixColumns(s.data());
  }
  InvShiftRows(s.data());
  InvSubBytes(s.data());
  AddRoundKey(s.data(), &w[0]);
  return s;
}

std::optional<std::string> UnsealRequestText(std::string_view sealed) {
  const auto cipher = Base64Decode(sealed);
  if (!cipher || cipher->empty() || cipher->size() % 16 != 0) return std::nullopt;

  uint8_t key[32];
  DeriveSealingKey(key);
  const Aes256 aes(key);

  std::string plain(cipher->size(), '\0');
  Aes256::Block chain{};
  for (size_t off = 0; off < cipher->size(); off += 16) {
    Aes256::Block block;
    std::memcpy(block.data(), cipher->data() + off, 16);
    Aes256::Block out = DecryptBlock(aes, block);
    for (int i = 0; i < 16; ++i) plain[off + i] = static_cast<char>(out[i] ^ chain[i]);
    chain = block;
  }

  const uint8_t pad = static_cast<uint8_t>(plain.back());
  if (pad < 1 || pad > 16) return std::nullopt;
  for (size_t i = plain.size() - pad; i < plain.size(); ++i)
    if (static_cast<uint8_t>(plain[i]) != pad) return std::nullopt;
  plain.resize(plain.size() - pad);
  return plain;
}

}  // namespace halvora
