#include "net/http/seal.h"

#include <cstring>
#include <vector>

#include "net/http/aes256.h"
#include "net/http/base64.h"
#include "net/http/md5.h"

namespace halvora {

namespace {
const char kKeyText[] = "Kq7#vR!z_p2$Lm&9xT^wB*4cN(e8)Hj~t@Yu";
}

void DeriveSealingKey(uint8_t key[32]) {
  char hex[33];
  Md5Hex(kKeyText, hex);
  std::memcpy(key, hex, 32);
}

int SealRequestText(const unsigned char* bytes, int32_t length, std::string& sealed) {
  if (length < 0) return -1;
  uint8_t key[32];
  DeriveSealingKey(key);
  const Aes256 aes(key);

  const size_t full = static_cast<size_t>(length) / 16;
  std::vector<unsigned char> cipher((full + 1) * 16);
  Aes256::Block chain{};  // zero initialisation vector

  for (size_t b = 0; b <= full; ++b) {
    Aes256::Block block;
    if (b < full) {
      std::memcpy(block.data(), bytes + 16 * b, 16);
    } else {
      // PKCS#7: r remaining bytes, then 16 - r bytes of value 16 - r.
      const size_t r = static_cast<size_t>(length) % 16;
      if (r) std::memcpy(block.data(), bytes + 16 * b, r);
      std::memset(block.data() + r, static_cast<int>(16 - r), 16 - r);
    }
    for (int i = 0; i < 16; ++i) block[i] ^= chain[i];
    chain = aes.EncryptBlock(block);
    std::memcpy(cipher.data() + 16 * b, chain.data(), 16);
  }

  std::string text = Base64Encode(cipher.data(), cipher.size());
  if (text.empty()) return -1;
  sealed = std::move(text);
  return 0;
}

}  // namespace halvora
