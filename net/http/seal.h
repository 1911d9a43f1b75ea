#pragma once
// Sealing of service request texts: AES-256-CBC under a key derived from a
// fixed key text, zero IV, PKCS#7 padding, then base64. The platform server
// unseals with the same fixed key, so every step is byte-exact.

#include <cstdint>
#include <string>

namespace halvora {

// The 32 lowercase hex digits of MD5(key text), used as the 32 key bytes.
void DeriveSealingKey(uint8_t key[32]);

// Seals `length` bytes into `sealed` (replacing its contents). Returns 0, or -1
// when no sealed text came out (a negative length).
int SealRequestText(const unsigned char* bytes, int32_t length, std::string& sealed);

}  // namespace halvora
