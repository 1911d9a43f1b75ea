#include "net/http/md5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Hex(MD5& md5) {
  char out[33];
  const char* text = md5.hex_digest(out);
  return text ? std::string(text) : std::string();
}

std::string DigestInPieces(const std::string& data, std::initializer_list<size_t> cuts) {
  MD5 md5;
  size_t start = 0;
  for (size_t cut : cuts) {
    md5.update(reinterpret_cast<const unsigned char*>(data.data()) + start,
               static_cast<uint32_t>(cut - start));
    start = cut;
  }
  md5.update(reinterpret_cast<const unsigned char*>(data.data()) + start,
             static_cast<uint32_t>(data.size() - start));
  md5.finalize();
  return Hex(md5);
}

TEST(Md5, Rfc1321TestSuite) {
  const struct {
    const char* input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    char out[33];
    EXPECT_STREQ(Md5Hex(c.input, out), c.digest);
  }
}

TEST(Md5, SameDigestWhateverThePieces) {
  // Lengths around the padding boundaries (55/56 bytes into a block) and the
  // block size, cut at awkward places inside and across 64-byte blocks.
  for (size_t length : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 200u}) {
    std::string data(length, '\0');
    for (size_t i = 0; i < length; ++i) data[i] = static_cast<char>(i * 37 + 11);
    char whole[33];
    MD5 once;
    once.update(reinterpret_cast<const unsigned char*>(data.data()),
                static_cast<uint32_t>(data.size()));
    once.finalize();
    ASSERT_NE(once.hex_digest(whole), nullptr);

    for (auto cuts : {std::initializer_list<size_t>{1},
                      {55},
                      {56},
                      {63},
                      {64},
                      {1, 2, 3},
                      {55, 56},
                      {63, 64, 65},
                      {30, 90}}) {
      bool fits = true;
      for (size_t cut : cuts) fits = fits && cut <= length;
      if (!fits) continue;
      SCOPED_TRACE("length " + std::to_string(length) + " first cut " +
                   std::to_string(*cuts.begin()));
      EXPECT_EQ(DigestInPieces(data, cuts), whole);
    }
  }
}

TEST(Md5, EmptyUpdatesChangeNothing) {
  MD5 md5;
  md5.update(reinterpret_cast<const unsigned char*>("ab"), 1);
  md5.update(nullptr, 0);
  md5.update(reinterpret_cast<const unsigned char*>("bc"), 2);
  md5.update(nullptr, 0);
  md5.finalize();
  EXPECT_EQ(Hex(md5), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5, MisuseIsReportedOnceAndLeavesTheObjectAsItWas) {
  MD5 fresh;
  char out[33] = "untouched";
  testing::internal::CaptureStderr();
  EXPECT_EQ(fresh.hex_digest(out), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MD5::hex_digest:  Can't get digest if you haven't finalized the digest!\n");
  EXPECT_STREQ(out, "untouched");

  MD5 done;
  done.update(reinterpret_cast<const unsigned char*>("abc"), 3);
  done.finalize();
  testing::internal::CaptureStderr();
  done.update(reinterpret_cast<const unsigned char*>("more"), 4);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MD5::update:  Can't update a finalized digest!\n");
  testing::internal::CaptureStderr();
  done.finalize();
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "MD5::finalize:  Already finalized this digest!\n");
  EXPECT_EQ(Hex(done), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
