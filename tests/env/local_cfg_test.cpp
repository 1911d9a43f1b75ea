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

// Values without a declared encoding are taken in the active ANSI code page:
// meaningful in the GBK run of the text suites.
TEST_F(LocalCfgTest, ValuesInTheAnsiCodePage) {
  const std::wstring wideName = L"\u7a0b\u5e8f.exe";  // 程序.exe
  const std::string gbkName = "\xb3\xcc\xd0\xf2.exe";
  if (halvora::WideToAnsi(wideName) != gbkName) GTEST_SKIP() << "needs the GBK code page";
  std::wstring name, ver;
  EXPECT_TRUE(ReadLocalCfg(
      Write("<Cfg><Version><MainProg name=\"" + gbkName + "\" ver=\"\xb0\xe6\"/></Version></Cfg>"),
      name, ver));
  EXPECT_EQ(name, wideName);
  EXPECT_EQ(ver, L"\u7248");  // 版
}

// A UTF-8 byte-order mark is skipped by the loader, not taken for content.
TEST_F(LocalCfgTest, ByteOrderMarkIsAccepted) {
  std::wstring name, ver;
  EXPECT_TRUE(ReadLocalCfg(
      Write("\xef\xbb\xbf<Cfg><Version><MainProg name=\"a.exe\" ver=\"1\"/></Version></Cfg>"), name,
      ver));
  EXPECT_EQ(name, L"a.exe");
}

}  // namespace
