// Unzipper against real archives written with minizip's zip interface and
// real folders in the test's temporary directory.
#include <windows.h>
#include <zip.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/unzipper.h"
#include "base/text.h"

namespace {

namespace fs = std::filesystem;
using halvora::AnsiToWide;
using halvora::WideToAnsi;

constexpr uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) | (month << 5) | day;
  const uint32_t time = (hour << 11) | (minute << 5) | (second / 2);
  return (date << 16) | time;
}

constexpr uint32_t kSomeTime = DosDateTime(2019, 6, 15, 13, 45, 30);

struct Entry {
  std::string name;  // bytes as stored
  std::string data;
  uint32_t attributes = FILE_ATTRIBUTE_ARCHIVE;
  uint32_t dosDateTime = kSomeTime;
  int method = Z_DEFLATED;
};

Entry Folder(std::string name, uint32_t attributes = FILE_ATTRIBUTE_DIRECTORY) {
  return Entry{std::move(name), "", attributes, kSomeTime, 0};
}

void WriteZip(const std::string& path, const std::vector<Entry>& entries) {
  zipFile zip = zipOpen(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zip, nullptr) << path;
  for (const Entry& e : entries) {
    zip_fileinfo info{};
    info.dosDate = e.dosDateTime;
    info.external_fa = e.attributes;
    ASSERT_EQ(zipOpenNewFileInZip(zip, e.name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  e.method, e.method ? Z_DEFAULT_COMPRESSION : 0),
              ZIP_OK);
    if (!e.data.empty()) {
      ASSERT_EQ(zipWriteInFileInZip(zip, e.data.data(), static_cast<unsigned>(e.data.size())),
                ZIP_OK);
    }
    ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  }
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

// An entry written byte by byte, for what minizip's writer refuses to make:
// other compression methods, and data that does not match its declared size.
struct RawEntry {
  std::string name;
  uint16_t method;
  std::string data;   // as stored
  std::string plain;  // what the declared size and checksum describe
};

void AppendLittleEndian(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xff);
}

std::string RawZip(const std::vector<RawEntry>& entries) {
  std::string local, central;
  for (const RawEntry& e : entries) {
    const uint32_t crc =
        crc32(0, reinterpret_cast<const Bytef*>(e.plain.data()), static_cast<uInt>(e.plain.size()));
    const auto fields = [&](std::string& out) {  // method .. name length, both headers
      AppendLittleEndian(out, e.method, 2);
      AppendLittleEndian(out, kSomeTime & 0xffff, 2);
      AppendLittleEndian(out, kSomeTime >> 16, 2);
      AppendLittleEndian(out, crc, 4);
      AppendLittleEndian(out, static_cast<uint32_t>(e.data.size()), 4);
      AppendLittleEndian(out, static_cast<uint32_t>(e.plain.size()), 4);
      AppendLittleEndian(out, static_cast<uint32_t>(e.name.size()), 2);
      AppendLittleEndian(out, 0, 2);  // extra field length
    };
    AppendLittleEndian(central, 0x02014b50, 4);
    AppendLittleEndian(central, 20, 2);  // made by
    AppendLittleEndian(central, 20, 2);  // needed
    AppendLittleEndian(central, 0, 2);   // flags
    fields(central);
    AppendLittleEndian(central, 0, 2);  // comment length
    AppendLittleEndian(central, 0, 2);  // disk
    AppendLittleEndian(central, 0, 2);  // internal attributes
    AppendLittleEndian(central, FILE_ATTRIBUTE_ARCHIVE, 4);
    AppendLittleEndian(central, static_cast<uint32_t>(local.size()), 4);
    central += e.name;
    AppendLittleEndian(local, 0x04034b50, 4);
    AppendLittleEndian(local, 20, 2);  // needed
    AppendLittleEndian(local, 0, 2);   // flags
    fields(local);
    local += e.name + e.data;
  }
  std::string end;
  AppendLittleEndian(end, 0x06054b50, 4);
  AppendLittleEndian(end, 0, 4);  // disk numbers
  AppendLittleEndian(end, static_cast<uint32_t>(entries.size()), 2);
  AppendLittleEndian(end, static_cast<uint32_t>(entries.size()), 2);
  AppendLittleEndian(end, static_cast<uint32_t>(central.size()), 4);
  AppendLittleEndian(end, static_cast<uint32_t>(local.size()), 4);
  AppendLittleEndian(end, 0, 2);  // comment length
  return local + central + end;
}

// Deflate data without a zlib header, as zip entries hold it.
std::string RawDeflate(const std::string& plain) {
  z_stream stream{};
  EXPECT_EQ(
      deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY),
      Z_OK);
  std::string out(deflateBound(&stream, static_cast<uLong>(plain.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  stream.avail_in = static_cast<uInt>(plain.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string ReadAll(const fs::path& path) {
  std::string data;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) data.append(buffer, got);
  CloseHandle(file);
  return data;
}

void WriteAll(const fs::path& path, const std::string& data) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(file);
}

std::vector<std::wstring> Listing(const fs::path& folder) {
  std::vector<std::wstring> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::end(it); ++it) {
    names.push_back(fs::relative(it->path(), folder).wstring());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Year, month, day, hour, minute, second.
std::vector<WORD> Fields(const FILETIME& time) {
  SYSTEMTIME t{};
  EXPECT_TRUE(FileTimeToSystemTime(&time, &t));
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

class UnzipperTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    root = fs::path(temp) / (L"halvora-unzip-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                             AnsiToWide(test->name()));
    RemoveTree(root);
    ASSERT_TRUE(fs::create_directories(root));
  }
  void TearDown() override { RemoveTree(root); }

  static void RemoveTree(const fs::path& folder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); it != fs::end(it); ++it) {
      SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(folder, ec);
  }

  // Narrow form of a path below the root, for the unzipper and minizip.
  std::string Narrow(const fs::path& path) const { return WideToAnsi(path.wstring()); }
  std::string At(const wchar_t* relative) const { return Narrow(root / relative); }

  fs::path root;
};

TEST_F(UnzipperTest, WritesTheStructureEvenWithoutFolderEntries) {
  std::string big;
  for (int i = 0; big.size() < 10000; ++i) big += std::to_string(i * 7919) + ",";
  WriteZip(At(L"pkg.zip"), {{"a.txt", "alpha"},
                            {"sub/deep/b.txt", "beta"},
                            {"sub/big.bin", big},
                            {"stored.txt", "kept as is", FILE_ATTRIBUTE_ARCHIVE, kSomeTime, 0}});
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(At(L"pkg.zip").c_str()));
  EXPECT_EQ(unzipper.OutputFolder(), At(L"pkg"));
  ASSERT_TRUE(unzipper.ExtractAll());
  unzipper.CloseArchive();
  EXPECT_TRUE(unzipper.OutputFolder().empty());

  const fs::path out = root / L"pkg";
  EXPECT_EQ(ReadAll(out / L"a.txt"), "alpha");
  EXPECT_EQ(ReadAll(out / L"sub" / L"deep" / L"b.txt"), "beta");
  EXPECT_EQ(ReadAll(out / L"sub" / L"big.bin"), big);  // many 2048-byte pieces
  EXPECT_EQ(ReadAll(out / L"stored.txt"), "kept as is");
  EXPECT_EQ(Listing(out),
            (std::vector<std::wstring>{L"a.txt", L"stored.txt", L"sub", L"sub\\big.bin",
                                       L"sub\\deep", L"sub\\deep\\b.txt"}));
}

TEST_F(UnzipperTest, FolderEntriesCreateFoldersAndNoFiles) {
  WriteZip(At(L"pkg.zip"), {Folder("empty/"),
                            Folder("flagged"),
                            Folder("unflagged/", 0),  // folder marked only by the slash
                            Folder("nested/inner/"),
                            {"nested/inner/file.txt", "x"}});
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(At(L"pkg.zip").c_str()));
  ASSERT_TRUE(unzipper.ExtractAll(At(L"target").c_str()));
  const fs::path out = root / L"target";
  for (const wchar_t* folder : {L"empty", L"flagged", L"unflagged", L"nested\\inner"}) {
    EXPECT_TRUE(fs::is_directory(out / folder)) << folder;
  }
  EXPECT_EQ(Listing(out),
            (std::vector<std::wstring>{L"empty", L"flagged", L"nested", L"nested\\inner",
                                       L"nested\\inner\\file.txt", L"unflagged"}));
}

// The stored time is local time: the file carries it moved to UTC by the
// zone's bias. ctest runs this suite at UTC+8 (Wine takes its zone from TZ);
// in UTC a skipped conversion would go unnoticed.
TEST_F(UnzipperTest, AppliesStoredTimeAsLocalTimeAndSettableAttributes) {
  TIME_ZONE_INFORMATION zone;
  const DWORD zoneState = GetTimeZoneInformation(&zone);
  ASSERT_NE(zoneState, TIME_ZONE_ID_INVALID);
  const LONG biasMinutes =
      zone.Bias + (zoneState == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : zone.StandardBias);
  ASSERT_NE(biasMinutes, 0) << "needs a time zone other than UTC (ctest sets TZ)";
  WriteZip(At(L"pkg.zip"),
           {{"ro.txt", "r", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
             DosDateTime(2019, 6, 15, 13, 45, 30)},
            {"unix.txt", "u", 0x81A40000u, DosDateTime(2001, 12, 31, 23, 59, 58)},
            {"plain.txt", "p", FILE_ATTRIBUTE_ARCHIVE, DosDateTime(1995, 2, 3, 4, 5, 6)}});
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(At(L"pkg.zip").c_str()));
  ASSERT_TRUE(unzipper.ExtractAll());

  const struct {
    const wchar_t* name;
    WORD year, month, day, hour, minute, second;
    bool readOnly;
  } expected[] = {{L"ro.txt", 2019, 6, 15, 13, 45, 30, true},
                  {L"unix.txt", 2001, 12, 31, 23, 59, 58, false},
                  {L"plain.txt", 1995, 2, 3, 4, 5, 6, false}};
  for (const auto& e : expected) {
    const fs::path path = root / L"pkg" / e.name;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_EQ((attributes & FILE_ATTRIBUTE_READONLY) != 0, e.readOnly) << path;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME creation, access, lastWrite;
    ASSERT_TRUE(GetFileTime(file, &creation, &access, &lastWrite));
    CloseHandle(file);
    const SYSTEMTIME stored = {e.year, e.month, 0, e.day, e.hour, e.minute, e.second, 0};
    FILETIME storedUtc;
    ASSERT_TRUE(SystemTimeToFileTime(&stored, &storedUtc));
    ULARGE_INTEGER ticks{{storedUtc.dwLowDateTime, storedUtc.dwHighDateTime}};
    ticks.QuadPart += biasMinutes * 60LL * 10000000;  // UTC = local + bias
    storedUtc = {ticks.LowPart, ticks.HighPart};
    for (const FILETIME& utc : {creation, lastWrite}) {
      EXPECT_EQ(Fields(utc), Fields(storedUtc)) << path;
    }
  }
}

TEST_F(UnzipperTest, ReplacesExistingFilesEvenReadOnlyOnes) {
  WriteZip(At(L"pkg.zip"),
           {{"a.txt", "new", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN}, {"b.txt", "short"}});
  ASSERT_TRUE(fs::create_directories(root / L"pkg"));
  WriteAll(root / L"pkg" / L"b.txt", "a much longer previous content");
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(At(L"pkg.zip").c_str()));
  ASSERT_TRUE(unzipper.ExtractAll());
  EXPECT_EQ(ReadAll(root / L"pkg" / L"b.txt"), "short");
  // A second run over its own output. On Windows a read-only or hidden file
  // refuses to be created anew; Wine running as root lets it through.
  WriteAll(root / L"pkg" / L"b.txt", "changed");
  ASSERT_TRUE(unzipper.ExtractAll());
  EXPECT_EQ(ReadAll(root / L"pkg" / L"a.txt"), "new");
  EXPECT_EQ(ReadAll(root / L"pkg" / L"b.txt"), "short");
}

TEST_F(UnzipperTest, EmptyArchiveFailsAndWritesNothing) {
  WriteZip(At(L"empty.zip"), {});
  Unzipper unzipper;
  // minizip takes an end record at offset 0 for no archive at all.
  EXPECT_FALSE(unzipper.OpenArchive(At(L"empty.zip").c_str()));
  // Behind a self-extractor stub the same empty archive opens, and has nothing.
  WriteAll(root / L"stub.zip", "MZ-stub-bytes" + ReadAll(root / L"empty.zip"));
  ASSERT_TRUE(unzipper.OpenArchive(At(L"stub.zip").c_str()));
  EXPECT_FALSE(unzipper.GoToFirstEntry());
  EXPECT_FALSE(unzipper.ExtractAll());
  EXPECT_EQ(Listing(root), (std::vector<std::wstring>{L"empty.zip", L"stub.zip"}));
}

TEST_F(UnzipperTest, RefusesWhatIsNotAnArchive) {
  WriteAll(root / L"not.zip", "this is not a zip file at all");
  Unzipper unzipper;
  EXPECT_FALSE(unzipper.OpenArchive(At(L"not.zip").c_str()));
  EXPECT_FALSE(unzipper.OpenArchive(At(L"missing.zip").c_str()));
  EXPECT_FALSE(unzipper.OpenArchive(""));
  EXPECT_FALSE(unzipper.OpenArchive(nullptr));
  EXPECT_TRUE(unzipper.OutputFolder().empty());
  EXPECT_FALSE(unzipper.ExtractAll(At(L"out").c_str()));
  UnzipEntryInfo info;
  EXPECT_FALSE(unzipper.ReadEntryInfo(info));
}

TEST_F(UnzipperTest, RefusesTargetFoldersWithoutDriveLetter) {
  WriteZip(At(L"pkg.zip"), {{"a.txt", "alpha"}});
  wchar_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive("pkg.zip"));  // relative archive paths are made absolute
  EXPECT_EQ(unzipper.OutputFolder(), At(L"pkg"));
  for (const char* folder : {"relative\\out", "out", "\\\\127.0.0.1\\share\\out", "\\out"}) {
    EXPECT_FALSE(unzipper.ExtractAll(folder)) << folder;
    EXPECT_FALSE(unzipper.EnsureFolder(folder)) << folder;
  }
  SetCurrentDirectoryW(cwd);
  EXPECT_EQ(Listing(root), std::vector<std::wstring>{L"pkg.zip"});
}

// Every refused form stops the extraction at that entry: the entry before it
// stays, nothing after it is written, and nothing appears outside the target.
TEST_F(UnzipperTest, RefusedEntryNamesStopExtractionAndWriteNothingOutside) {
  const std::string target = At(L"target");
  const std::string rootNoDrive = At(L"").substr(2);  // "\users\...\<test>\"
  const std::string refused[] = {
      "../escaped.txt",
      "..\\escaped.txt",
      "sub/../../escaped.txt",
      ".. /escaped.txt",
      "/" + rootNoDrive.substr(1) + "escaped.txt",
      rootNoDrive + "escaped.txt",
      At(L"escaped.txt"),
      "C:escaped.txt",
      "\\\\?\\" + At(L"escaped.txt"),
      "\\\\.\\" + At(L"escaped.txt"),
      "\\\\127.0.0.1\\share\\escaped.txt",
      "first.txt:stream",
      "CON",
      "sub/nul.txt",
      "aux",
      "COM1.log",
      "LPT2",
      std::string(300, 'n'),  // longer than the name area: never cut
  };
  for (const std::string& name : refused) {
    SCOPED_TRACE(name);
    WriteZip(At(L"evil.zip"), {{"first.txt", "1"}, {name, "evil"}, {"last.txt", "3"}});
    Unzipper unzipper;
    ASSERT_TRUE(unzipper.OpenArchive(At(L"evil.zip").c_str()));
    EXPECT_FALSE(unzipper.ExtractAll(target.c_str()));
    EXPECT_EQ(ReadAll(root / L"target" / L"first.txt"), "1");
    EXPECT_EQ(Listing(root),
              (std::vector<std::wstring>{L"evil.zip", L"target", L"target\\first.txt"}));
    unzipper.CloseArchive();
    RemoveTree(root / L"target");
  }
}

TEST_F(UnzipperTest, ChecksumMismatchFailsTheEntryAndRemovesItsFile) {
  const std::string payload = "PAYLOAD-TO-CORRUPT-0123456789";
  WriteZip(At(L"bad.zip"), {{"good.txt", "fine"},
                            {"bad.txt", payload, FILE_ATTRIBUTE_ARCHIVE, kSomeTime, 0},
                            {"after.txt", "never"}});
  std::string bytes = ReadAll(root / L"bad.zip");
  const size_t at = bytes.find(payload);
  ASSERT_NE(at, std::string::npos);
  bytes[at + 3] ^= 0x20;
  WriteAll(root / L"bad.zip", bytes);

  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(At(L"bad.zip").c_str()));
  EXPECT_FALSE(unzipper.ExtractAll());
  EXPECT_EQ(Listing(root / L"bad"), std::vector<std::wstring>{L"good.txt"});
}

// Only stored and deflated entries are extracted, and only whole: anything
// else stops the extraction at that entry and leaves no file of it.
TEST_F(UnzipperTest, EntriesThatCannotBeExtractedWholeFailAndLeaveNoFile) {
  std::string text;
  for (int i = 0; text.size() < 20000; ++i) text += std::to_string(i * 104729 % 99991) + ";";
  const std::string half = text.substr(0, text.size() / 2);
  const std::string deflated = RawDeflate(text);
  const struct {
    const char* what;
    uint16_t method;
    std::string data;
  } cases[] = {
      // Never decoded, so any bytes stand for the compressed data.
      {"bzip2", 12, "BZh91AY&SY" + half},
      {"LZMA", 14, half},
      {"deflate64", 9, deflated},  // a short deflate64 stream reads as deflate
      {"stored, data shorter than declared", 0, half},
      {"deflated, stream ends before the declared size", 8, RawDeflate(half)},
      {"deflated, data cut inside the stream", 8, deflated.substr(0, deflated.size() / 2)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(root / L"odd.zip", RawZip({{"first.txt", 0, "1", "1"},
                                        {"odd.txt", c.method, c.data, text},
                                        {"last.txt", 8, RawDeflate("3"), "3"}}));
    Unzipper unzipper;
    ASSERT_TRUE(unzipper.OpenArchive(At(L"odd.zip").c_str()));
    EXPECT_FALSE(unzipper.ExtractAll());
    EXPECT_EQ(Listing(root / L"odd"), std::vector<std::wstring>{L"first.txt"});
    unzipper.CloseArchive();
    RemoveTree(root / L"odd");
  }
  // The same entries whole are extracted.
  WriteAll(root / L"odd.zip",
           RawZip({{"stored.txt", 0, text, text}, {"deflated.txt", 8, deflated, text}}));
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(At(L"odd.zip").c_str()));
  ASSERT_TRUE(unzipper.ExtractAll());
  EXPECT_EQ(ReadAll(root / L"odd" / L"stored.txt"), text);
  EXPECT_EQ(ReadAll(root / L"odd" / L"deflated.txt"), text);
}

TEST_F(UnzipperTest, ReadsEntryInformation) {
  WriteZip(At(L"pkg.zip"), {{"dir/f.txt", "12345", FILE_ATTRIBUTE_HIDDEN, kSomeTime, 0}});
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(At(L"pkg.zip").c_str()));
  ASSERT_TRUE(unzipper.GoToFirstEntry());
  UnzipEntryInfo info;
  ASSERT_TRUE(unzipper.ReadEntryInfo(info));
  EXPECT_EQ(info.fileName, "dir\\f.txt");
  EXPECT_EQ(info.dosDateTime, kSomeTime);
  EXPECT_EQ(info.compressionMethod, 0u);
  EXPECT_EQ(info.uncompressedSize, 5u);
  EXPECT_EQ(info.externalAttributes, static_cast<uint32_t>(FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(info.isFolder);
}

// Runs meaningfully in the GBK code page (the text suites' second run); in
// other code pages the names cannot be written as narrow text.
TEST_F(UnzipperTest, GbkEntryNamesAndArchivePaths) {
  if (GetACP() != 936) GTEST_SKIP() << "needs the GBK code page";
  // 誠 ends in the byte '\\' in GBK: only a character-aware split keeps it whole.
  const std::wstring wideEntry = L"\u8aa0\u4fe1/\u8b00\u7565.txt";
  const std::string entry = WideToAnsi(wideEntry);
  ASSERT_NE(entry.find('\x5c'), std::string::npos);
  const fs::path folder = root / L"\u538b\u7f29\u5305";  // 压缩包
  ASSERT_TRUE(fs::create_directories(folder));
  WriteZip(Narrow(folder / L"\u5e94\u7528.zip"), {{entry, "gbk"}});  // 应用.zip
  Unzipper unzipper;
  ASSERT_TRUE(unzipper.OpenArchive(Narrow(folder / L"\u5e94\u7528.zip").c_str()));
  ASSERT_TRUE(unzipper.ExtractAll());
  EXPECT_EQ(ReadAll(folder / L"\u5e94\u7528" / L"\u8aa0\u4fe1" / L"\u8b00\u7565.txt"), "gbk");
}

}  // namespace
