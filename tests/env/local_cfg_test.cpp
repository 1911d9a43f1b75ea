#include "env/local_cfg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/text.h"

namespace {

namespace fs = std::filesystem;

class LocalCfgTest : public testing::Test {
 protected:
  void SetUp() override {
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    folder = fs::temp_directory_path() / ("halvora-localcfg-" + std::string(test->name()));
    fs::remove_all(folder);
    ASSERT_TRUE(fs::create_directories(folder));
  }
  void TearDown() override { fs::remove_all(folder); }

  std::wstring Write(const std::string& content) {
    const fs::path path = folder / "LocalCfg.xml";
    std::ofstream(path, std::ios::binary) << content;
    return path.wstring();
  }

  fs::path folder;
};

TEST_F(LocalCfgTest, ReadsTheFirstMainProgUnderTheFirstVersion) {
  const struct {
    const char* xml;
    bool ok;
    const wchar_t* name;
    const wchar_t* ver;
  } cases[] = {
      {"<Cfg><Version><MainProg name=\"app.exe\" ver=\"2.1\"/></Version></Cfg>", true, L"app.exe",
       L"2.1"},
      {"<?xml version=\"1.0\"?><!-- c --><Other a=\"1\"><X/><Version>text<MainProg ver=\"3\" "
       "name=\"b.exe\" extra=\"y\"/><MainProg name=\"second.exe\" ver=\"9\"/></Version></Other>",
       true, L"b.exe", L"3"},
      {"<Cfg><Version><MainProg name=\"app.exe\"/></Version></Cfg>", false, L"app.exe", L""},
      {"<Cfg><Version><MainProg name=\"app.exe\" ver=\"\"/></Version></Cfg>", false, L"app.exe",
       L""},
      {"<Cfg><Version><MainProg ver=\"1\"/></Version></Cfg>", false, L"", L"1"},
      {"<Cfg><MainProg name=\"app.exe\" ver=\"2.1\"/></Cfg>", false, L"", L""},
      {"<Cfg><Version/><Version><MainProg name=\"a\" ver=\"1\"/></Version></Cfg>", false, L"", L""},
      {"<Cfg><version><MainProg name=\"a\" ver=\"1\"/></version></Cfg>", false, L"", L""},
      {"<Cfg><Version><MainProg name=\"a\" ver=\"1\"/></Version>", false, L"", L""},
      {"", false, L"", L""},
  };
  for (const auto& c : cases) {
    std::wstring name, ver;
    EXPECT_EQ(ReadLocalCfg(Write(c.xml), name, ver), c.ok) << c.xml;
    EXPECT_EQ(name, c.name) << c.xml;
    EXPECT_EQ(ver, c.ver) << c.xml;
  }
}

TEST_F(LocalCfgTest, MissingFileIsNotRead) {
  std::wstring name, ver;
  EXPECT_FALSE(ReadLocalCfg((folder / "absent.xml").wstring(), name, ver));
  EXPECT_TRUE(name.empty());
  EXPECT_TRUE(ver.empty());
}

// Files not marked as UTF-8 are taken in the active ANSI code page, whatever
// else they declare: meaningful in the GBK run of the text suites.
TEST_F(LocalCfgTest, ValuesInTheAnsiCodePage) {
  const std::wstring wideName = L"\u7a0b\u5e8f.exe";  // 程序.exe
  const std::string gbkName = "\xb3\xcc\xd0\xf2.exe";
  if (halvora::WideToAnsi(wideName) != gbkName) GTEST_SKIP() << "needs the GBK code page";
  // 版 is B0 E6 in GBK; E6 would open a three-byte sequence in UTF-8 and take
  // the closing quote with it.
  const std::string body =
      "<Cfg><Version><MainProg name=\"" + gbkName + "\" ver=\"\xb0\xe6\"/></Version></Cfg>";
  for (const std::string declaration :
       {"", "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"GBK\"?>"}) {
    std::wstring name, ver;
    EXPECT_TRUE(ReadLocalCfg(Write(declaration + body), name, ver)) << declaration;
    EXPECT_EQ(name, wideName) << declaration;
    EXPECT_EQ(ver, L"\u7248") << declaration;  // 版
  }
}

// A byte-order mark or a declared UTF-8 encoding makes the values UTF-8, in
// any code page.
TEST_F(LocalCfgTest, Utf8FilesAreReadAsUtf8) {
  const std::string utf8Name = "\xe7\xa8\x8b\xe5\xba\x8f.exe";  // 程序.exe
  const std::string body = "<Cfg><Version><MainProg name=\"" + utf8Name +
                           "\" ver=\"\xe7\x89\x88\"/></Version></Cfg>";  // ver 版
  const struct {
    std::string xml;
    const wchar_t* name;
    const wchar_t* ver;
  } cases[] = {
      {"\xef\xbb\xbf<Cfg><Version><MainProg name=\"a.exe\" ver=\"1\"/></Version></Cfg>", L"a.exe",
       L"1"},
      {"\xef\xbb\xbf" + body, L"\u7a0b\u5e8f.exe", L"\u7248"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body, L"\u7a0b\u5e8f.exe", L"\u7248"},
      {"<?xml version='1.0' encoding='utf-8' standalone='yes'?>\r\n" + body, L"\u7a0b\u5e8f.exe",
       L"\u7248"},
      {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Cfg><Version><MainProg "
       "name=\"&#x7A0B;&#24207;.exe\" ver=\"\xf0\xa0\xae\xb7\"/></Version></Cfg>",
       L"\u7a0b\u5e8f.exe", L"\U00020BB7"},  // references; a character beyond 16 bits
  };
  for (const auto& c : cases) {
    std::wstring name, ver;
    EXPECT_TRUE(ReadLocalCfg(Write(c.xml), name, ver)) << c.xml;
    EXPECT_EQ(name, c.name) << c.xml;
    EXPECT_EQ(ver, c.ver) << c.xml;
  }
}

}  // namespace
