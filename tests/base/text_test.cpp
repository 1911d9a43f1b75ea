#include "base/text.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#endif

#include <cstring>

namespace halvora {
namespace {

bool ActiveCodePageIsGbk() {
#ifdef _WIN32
  return GetACP() == 936;
#else
  const char* codeset = nl_langinfo(CODESET);
  return std::strcmp(codeset, "GBK") == 0 || std::strcmp(codeset, "GB2312") == 0;
#endif
}

TEST(TextConversion, AsciiRoundTripsInAnyCodePage) {
  const std::string narrow = "zan_requests/ABC+/=*\\path with spaces";
  const std::wstring wide = AnsiToWide(narrow);
  EXPECT_EQ(wide, L"zan_requests/ABC+/=*\\path with spaces");
  EXPECT_EQ(WideToAnsi(wide), narrow);
}

TEST(TextConversion, EmptyTextStaysEmpty) {
  EXPECT_TRUE(AnsiToWide("").empty());
  EXPECT_TRUE(WideToAnsi(L"").empty());
}

struct GbkCase {
  const char* name;
  std::string gbk;     // bytes in code page 936
  std::wstring utf16;  // the same text in UTF-16
};

TEST(TextConversion, ChineseTextRoundTripsThroughCodePage936) {
  if (!ActiveCodePageIsGbk()) GTEST_SKIP() << "active code page is not 936 (GBK)";
  const GbkCase cases[] = {
      // "获取应用信息失败！"
      {"notice", "\xbb\xf1\xc8\xa1\xd3\xa6\xd3\xc3\xd0\xc5\xcf\xa2\xca\xa7\xb0\xdc\xa3\xa1",
       L"\u83b7\u53d6\u5e94\u7528\u4fe1\u606f\u5931\u8d25\uff01"},
      // "Orbanta云平台.lnk": ASCII and double-byte characters mixed
      {"mixed", "Orbanta\xd4\xc6\xc6\xbd\xcc\xa8.lnk", L"Orbanta\u4e91\u5e73\u53f0.lnk"},
      // a trail byte equal to '\\' (0x5c) belongs to its character: "乗\\"
      {"trail byte 0x5c", "\x81\x5c\\", L"\u4e57\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AnsiToWide(c.gbk), c.utf16);
    EXPECT_EQ(WideToAnsi(c.utf16), c.gbk);
  }
}

TEST(TextConversion, UnmappableCharacterBecomesQuestionMarkInGbk) {
  if (!ActiveCodePageIsGbk()) GTEST_SKIP() << "active code page is not 936 (GBK)";
  // U+0E01 (Thai) has no GBK form.
  EXPECT_EQ(WideToAnsi(L"a\u0e01b"), "a?b");
}

}  // namespace
}  // namespace halvora
