#pragma once
// AES with a 256-bit key (FIPS-197), forward cipher only. The inverse cipher
// lives in the unsealing library, which the program does not link.

#include <array>
#include <cstddef>
#include <cstdint>

namespace halvora {

class Aes256 {
 public:
  static constexpr int kRounds = 14;
  using Block = std::array<uint8_t, 16>;

  explicit Aes256(const uint8_t key[32]);

  Block EncryptBlock(const Block& in) const;

  // Round keys, 4 words per round plus the initial one; the inverse cipher
  // uses the same schedule in reverse.
  const std::array<uint32_t, 4 * (kRounds + 1)>& RoundKeys() const { return roundKeys_; }

 private:
  std::array<uint32_t, 4 * (kRounds + 1)> roundKeys_;
};

namespace aes_detail {
extern const uint8_t kSBox[256];
uint8_t Xtime(uint8_t x);
// XORs the four round-key words `w` into the state, which is kept column by
// column (s[4 * c + r] is row r of column c, the order of the input bytes).
// The step is its own inverse, so both ciphers use it.
void AddRoundKey(uint8_t s[16], const uint32_t* w);
}  // namespace aes_detail

}  // namespace halvora
