#include "archive/zip_paths.h"

#include <gtest/gtest.h>

namespace {

using halvora::zip::EndsWithSeparator;
using halvora::zip::FolderForArchive;
using halvora::zip::IsSafeEntryName;
using halvora::zip::JoinEntryPath;
using halvora::zip::SettableFileAttributes;

// Names as the unzipper sees them, '/' already turned into '\\' (forward
// slashes are checked too, for callers that have not converted).
TEST(ZipEntryName, RefusesNamesThatLeaveTheFolderOrNameADevice) {
  const char* const refused[] = {
      "",
      "\\evil.txt",
      "/evil.txt",
      "\\\\server\\share\\evil.txt",
      "\\\\?\\C:\\evil.txt",
      "\\\\.\\PhysicalDrive0",
      "C:\\evil.txt",
      "C:evil.txt",
      "a\\b:stream",
      "..",
      "..\\evil.txt",
      "../evil.txt",
      "a\\..\\..\\evil.txt",
      "a\\..",
      ".. \\evil.txt",
      "..\x20.\\evil.txt",
      "...\\evil.txt",
      ".\\a.txt",
      " \\a.txt",
      "CON",
      "con",
      "a\\NUL",
      "nul.txt",
      "NUL .txt",
      "aux.tar.gz",
      "prn.",
      "COM1",
      "sub\\com9.log",
      "LPT1",
      "lpt5\\x.txt",
      "CONIN$",
      "conout$.txt",
  };
  for (const char* name : refused) EXPECT_FALSE(IsSafeEntryName(name)) << '"' << name << '"';
}

TEST(ZipEntryName, AcceptsOrdinaryNames) {
  const char* const accepted[] = {
      "a.txt",
      "sub\\deep\\b.txt",
      "sub/deep/b.txt",
      "folder\\",
      "a\\\\b.txt",     // doubled separator: collapsed by the platform
      "..a\\b..\\c.d",  // dots inside names are ordinary
      ".hidden",
      "CONFIG.SYS",
      "console.txt",
      "COM",
      "COM0",
      "LPT10",
      "nul-device.txt",
      "\xd6\xd0\xce\xc4\\\xce\xc4\xbc\xfe.txt",  // GBK: 中文\文件.txt
      "\x81\x5c\\x.txt",                         // GBK character whose trail byte is '\\'
  };
  for (const char* name : accepted) EXPECT_TRUE(IsSafeEntryName(name)) << '"' << name << '"';
}

TEST(ZipPaths, OutputFolderDropsOnlyTheLastComponentsExtension) {
  const struct {
    const char* archive;
    const char* folder;
  } cases[] = {
      {"C:\\down\\app.zip", "C:\\down\\app"},
      {"C:\\down\\app.v2.zip", "C:\\down\\app.v2"},
      {"C:\\down.d\\app", "C:\\down.d\\app"},
      {"C:\\down\\.zip", "C:\\down\\"},
      {"app.zip", "app"},
  };
  for (const auto& c : cases) EXPECT_EQ(FolderForArchive(c.archive), c.folder) << c.archive;
}

TEST(ZipPaths, JoinAddsOneSeparatorOnlyWhenNeeded) {
  EXPECT_EQ(JoinEntryPath("C:\\out", "a\\b.txt"), "C:\\out\\a\\b.txt");
  EXPECT_EQ(JoinEntryPath("C:\\out\\", "a.txt"), "C:\\out\\a.txt");
  EXPECT_EQ(JoinEntryPath("C:\\out/", "a.txt"), "C:\\out/a.txt");
  EXPECT_TRUE(EndsWithSeparator("dir\\"));
  EXPECT_TRUE(EndsWithSeparator("dir/"));
  EXPECT_FALSE(EndsWithSeparator("dir"));
  EXPECT_FALSE(EndsWithSeparator(""));
}

TEST(ZipPaths, OnlySettableAttributeBitsAreApplied) {
  const struct {
    uint32_t stored;
    uint32_t applied;
  } cases[] = {
      {0x00000000, 0x80},    // nothing set: normal
      {0x00000020, 0x20},    // archive
      {0x00000023, 0x23},    // archive, hidden, read-only
      {0x81A40000, 0x80},    // Unix mode 0100644 only
      {0x81ED0020, 0x20},    // Unix mode plus archive
      {0x00000010, 0x80},    // directory bit is not a file attribute
      {0x000000A1, 0x21},    // normal does not combine
      {0x00003104, 0x3104},  // system, temporary, offline, not indexed
      {0x00000840, 0x80},    // compressed, device: not settable
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SettableFileAttributes(c.stored), c.applied) << std::hex << c.stored;
  }
}

}  // namespace
