#include "net/http/seal.h"

#include <gtest/gtest.h>

#include <string>

#include "net/http/aes256.h"
#include "net/http/base64.h"
#include "net/http/unseal.h"
#include "tests/http/sealing_vectors.inc"

namespace halvora {
namespace {

Aes256::Block BlockFromHex(const char* hex) {
  Aes256::Block b{};
  for (int i = 0; i < 16; ++i)
    b[i] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
  return b;
}

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

std::string Seal(const std::string& text) {
  std::string sealed;
  EXPECT_EQ(SealRequestText(Bytes(text), static_cast<int32_t>(text.size()), sealed), 0);
  return sealed;
}

std::string CipherOf(const std::string& text) { return Base64Decode(Seal(text)).value_or(""); }

TEST(Aes256, Fips197AppendixC3) {
  uint8_t key[32];
  for (int i = 0; i < 32; ++i) key[i] = static_cast<uint8_t>(i);
  const Aes256 aes(key);
  const auto plain = BlockFromHex("00112233445566778899aabbccddeeff");
  const auto cipher = BlockFromHex("8ea2b7ca516745bfeafc49904b496089");
  EXPECT_EQ(aes.EncryptBlock(plain), cipher);
  EXPECT_EQ(DecryptBlock(aes, cipher), plain);
}

TEST(Base64, PaddingFollowsTheFinalGroup) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"\xfb\xff\xbf", "+/+/"},  // both non-alphanumeric characters
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(Base64Encode(Bytes(c.in), c.in.size()), c.out);
    EXPECT_EQ(Base64Decode(c.out), c.in);
  }
}

TEST(Base64, DecodingRejectsMalformedText) {
  for (const char* bad : {"Zg=", "Zg=a", "Z===", "Zm9v!A==", "=Zm9", "Zg==Zg=="}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(Base64Decode(bad).has_value());
  }
}

TEST(SealRequestText, CipherLengthIsWholeBlocksWithPadding) {
  const struct {
    size_t length, cipherBytes, base64Chars;
    const char* tail;
  } cases[] = {
      {1, 16, 24, "=="},
      {15, 16, 24, "=="},
      {16, 32, 44, "="},
      {32, 48, 64, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    const std::string sealed = Seal(std::string(c.length, 'x'));
    EXPECT_EQ(sealed.size(), c.base64Chars);
    EXPECT_EQ(CipherOf(std::string(c.length, 'x')).size(), c.cipherBytes);
    const std::string tail = c.tail;
    EXPECT_EQ(sealed.substr(sealed.size() - tail.size()), tail);
    if (tail.empty()) {
      EXPECT_NE(sealed.back(), '=');
    }
  }
}

// The vectors come from md5sum and openssl (make-sealing-vectors), so a
// changed key text or cipher step fails here even though the server, which
// unseals with our own code, would still agree.
TEST(SealRequestText, KeyIsTheHexDigestOfTheKeyText) {
  uint8_t key[32];
  DeriveSealingKey(key);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(key), 32), test::kSealingKey);
}

TEST(SealRequestText, MatchesIndependentlyComputedVectors) {
  for (const auto& v : test::kSealingVectors) {
    SCOPED_TRACE(v.name);
    EXPECT_EQ(Seal(v.text), v.sealed);
    EXPECT_EQ(UnsealRequestText(v.sealed), v.text);
  }
}

TEST(SealRequestText, DeterministicWithSharedPrefixes) {
  const std::string a = "<?xml version=\"1.0\"?><request appid=\"1\"/>";
  const std::string b = "<?xml version=\"1.0\"?><request appid=\"2\"/>";
  EXPECT_EQ(Seal(a), Seal(a));

  // Same first 16 bytes: the first cipher block, hence 20 base64 characters, agree.
  const std::string sa = Seal(a), sb = Seal(b);
  EXPECT_EQ(sa.substr(0, 20), sb.substr(0, 20));
  EXPECT_NE(sa, sb);

  // A change in the first byte changes every block that follows it.
  std::string changed = a;
  changed[0] = '!';
  const std::string ca = CipherOf(a), cc = CipherOf(changed);
  ASSERT_EQ(ca.size(), cc.size());
  for (size_t off = 0; off < ca.size(); off += 16) {
    SCOPED_TRACE(off);
    EXPECT_NE(ca.substr(off, 16), cc.substr(off, 16));
  }
}

TEST(SealRequestText, UnsealingReturnsTheInput) {
  for (size_t length : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 1000u}) {
    SCOPED_TRACE(length);
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(i * 7 + 3);
    EXPECT_EQ(UnsealRequestText(Seal(text)), text);
  }
}

TEST(SealRequestText, UnsealingRefusesBadPadding) {
  // Whole blocks of valid base64 whose last byte is no PKCS#7 pad after decryption
  // are rejected rather than cut at a random length.
  const std::string sealed = Seal("0123456789abcdef0123");
  std::string cipher = Base64Decode(sealed).value();
  cipher[cipher.size() - 17] ^= 0x5a;  // flips the padding bytes of the last block
  EXPECT_FALSE(UnsealRequestText(Base64Encode(cipher)).has_value());
  EXPECT_FALSE(UnsealRequestText("").has_value());
  EXPECT_FALSE(UnsealRequestText("Zm9v").has_value());  // 3 bytes: not a whole block
}

TEST(SealRequestText, NegativeLengthGivesNoText) {
  std::string sealed = "kept";
  EXPECT_EQ(SealRequestText(Bytes("x"), -1, sealed), -1);
  EXPECT_EQ(sealed, "kept");
}

}  // namespace
}  // namespace halvora
