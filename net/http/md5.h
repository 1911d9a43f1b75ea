#pragma once
// MD5 message digest (RFC 1321) over bytes fed in any number of pieces.
// Used to derive the request-sealing key, so it must match the platform
// server bit for bit.

#include <cstdint>

class MD5 {
 public:
  MD5();

  // Feeds `length` bytes. Refused (message on standard error) once finalized.
  void update(const unsigned char* input, uint32_t length);
  // Appends padding and length and fixes the digest. Refused a second time.
  void finalize();
  // Writes 32 lowercase hex digits and a terminating zero into `out` (33
  // bytes) and returns it; before finalize() writes nothing and returns null.
  char* hex_digest(char* out) const;

 private:
  void transform(const unsigned char block[64]);

  uint32_t state[4];
  uint32_t count[2];  // bits fed so far, low word first
  unsigned char buffer[64];
  unsigned char digest[16];
  bool finalized;
};

// Digest of the bytes of a zero-terminated text, as 32 hex digits into `out`
// (33 bytes). Returns `out`.
char* Md5Hex(const char* text, char* out);
