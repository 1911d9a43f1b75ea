// halvora-stamp against the real program as template: what a stamped copy
// holds, read back the way the program reads it, and what every bad input
// leaves behind.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "res/resource.h"
#include "tests/support/peer_files.h"
#include "tests/support/win_process.h"

namespace halvora::test {
namespace {

std::wstring Wide(const std::string& text) { return AnsiToWide(text); }

const std::wstring kStamp = Wide(WinePath(HALVORA_STAMP));
const std::wstring kTemplate = Wide(WinePath(HALVORA_PROGRAM));

struct Entry {
  WORD language;
  std::string bytes;
};

// Every language entry of one resource of an executable.
std::vector<Entry> EntriesOf(const std::wstring& file, const wchar_t* type, WORD id) {
  std::vector<Entry> entries;
  const win::ModuleHandle image(LoadLibraryExW(
      file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!image) return entries;
  std::vector<WORD> languages;
  EnumResourceLanguagesW(
      image.Get(), type, MAKEINTRESOURCEW(id),
      [](HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) -> BOOL {
        reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&languages));
  for (WORD language : languages) {
    const HRSRC info = FindResourceExW(image.Get(), type, MAKEINTRESOURCEW(id), language);
    const void* bytes = info ? LockResource(LoadResource(image.Get(), info)) : nullptr;
    entries.push_back({language, bytes ? std::string(static_cast<const char*>(bytes),
                                                     SizeofResource(image.Get(), info))
                                       : std::string("<unreadable>")});
  }
  return entries;
}

class StampTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    folder = std::wstring(temp) + L"halvora-stamp-test-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  }
  void TearDown() override {
    for (const std::wstring& name : FilesInFolder()) {
      SetFileAttributesW((folder + L"\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW((folder + L"\\" + name).c_str());
      RemoveDirectoryW((folder + L"\\" + name).c_str());
    }
    RemoveDirectoryW(folder.c_str());
  }

  std::wstring Path(const wchar_t* name) const { return folder + L"\\" + name; }

  std::vector<std::wstring> FilesInFolder() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    const win::FindHandle find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!find) return names;
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find.Get(), &found));
    return names;
  }

  ProcessOutput Stamp(const std::wstring& appId, const std::wstring& server,
                      const std::wstring& from, const std::wstring& to,
                      const std::wstring& publisher = std::wstring()) {
    std::vector<std::wstring> command = {kStamp, L"--appid", appId, L"--server", server};
    if (!publisher.empty()) command.insert(command.end(), {L"--publisher", publisher});
    command.insert(command.end(), {from, to});
    return RunProcess(command);
  }

  // The stamped values, each required to be the only entry of its resource
  // and in the language of the template's own placeholder.
  void ExpectStamped(const std::wstring& file, const std::string& appId,
                     const std::string& server) {
    const struct {
      const wchar_t* type;
      WORD id;
      const std::string& value;
    } resources[] = {{L"APPID", IDR_APPID, appId}, {L"SERVER_INFO", IDR_SERVER_INFO, server}};
    for (const auto& resource : resources) {
      SCOPED_TRACE(WideToAnsi(resource.type));
      const std::vector<Entry> placeholder = EntriesOf(kTemplate, resource.type, resource.id);
      const std::vector<Entry> stamped = EntriesOf(file, resource.type, resource.id);
      ASSERT_EQ(placeholder.size(), 1u);
      ASSERT_EQ(stamped.size(), 1u);
      EXPECT_EQ(stamped[0].language, placeholder[0].language);
      EXPECT_EQ(stamped[0].bytes, resource.value);  // raw ASCII, no terminator
    }
  }

  std::wstring folder;
};

TEST_F(StampTest, HelpPrintsTheUsage) {
  const ProcessOutput run = RunProcess({kStamp, L"--help"});
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_NE(
      run.out.find("halvora-stamp --appid ID --server HOST[:PORT] [--publisher HEX[,HEX...]]"),
      std::string::npos)
      << run.out;
}

TEST_F(StampTest, StampsAndRestampsWithOneEntryOfEachResource) {
  const std::wstring first = Path(L"first.exe");
  const std::wstring second = Path(L"second.exe");

  ProcessOutput run = Stamp(L"demo-app", L"127.0.0.1:8080", kTemplate, first);
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  ExpectStamped(first, "demo-app", "127.0.0.1:8080");

  // A stamped copy as template, a longer and a shorter value.
  run = Stamp(L"another-application-id", L"h", first, second);
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  ExpectStamped(second, "another-application-id", "h");

  // In place: the output is the template itself.
  run = Stamp(L"x", L"platform.example:81", second, second);
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  ExpectStamped(second, "x", "platform.example:81");
  ExpectStamped(first, "demo-app", "127.0.0.1:8080");  // untouched

  const std::vector<std::wstring> left = FilesInFolder();
  EXPECT_EQ(left.size(), 2u) << "temporary files left behind";
}

TEST_F(StampTest, BadInputFailsWithOneLineAndLeavesNoOutput) {
  const std::wstring text = Path(L"notes.txt");
  WriteBytes(WideToAnsi(text), "just text\r\n");
  const std::wstring dosOnly = Path(L"dos.exe");
  WriteBytes(WideToAnsi(dosOnly), std::string("MZ") + std::string(200, '\0'));
  const std::wstring readOnly = Path(L"readonly.exe");
  const std::wstring subfolder = Path(L"subfolder");
  ASSERT_TRUE(CreateDirectoryW(subfolder.c_str(), nullptr));
  const std::wstring output = Path(L"out.exe");
  const std::string previous = "previous output";

  struct Case {
    const char* name;
    std::wstring appId;
    std::wstring server;
    std::wstring from;
    std::wstring to;
    bool outputExists;  // the output holds `previous` before the run
    const char* message;
    std::wstring publisher = L"";
  };
  const std::wstring pin(64, L'a');
  const Case cases[] = {
      {"missing template", L"a", L"h", Path(L"missing.exe"), output, false, "cannot read template"},
      {"text file as template", L"a", L"h", text, output, true, "is not a Windows executable"},
      {"DOS header only", L"a", L"h", dosOnly, output, false, "is not a Windows executable"},
      {"empty id", L"", L"h", kTemplate, output, true, "--appid is empty"},
      {"non-ASCII id", L"\u5e94\u7528", L"h", kTemplate, output, false,
       "--appid must be printable ASCII"},
      {"control character in the id", L"a\tb", L"h", kTemplate, output, false,
       "--appid must be printable ASCII"},
      {"path character in the id", L"a\\b", L"h", kTemplate, output, false, "--appid must not"},
      {"id of the parent folder", L"..", L"h", kTemplate, output, false, "--appid must not be"},
      {"device name with an extension", L"COM1.app", L"h", kTemplate, output, false,
       "--appid must not be"},
      {"id ending in a space", L"app ", L"h", kTemplate, output, false, "--appid must not be"},
      {"empty server", L"a", L"", kTemplate, output, true, "--server is empty"},
      {"non-ASCII server", L"a", L"\u670d\u52a1:80", kTemplate, output, false,
       "--server must be printable ASCII"},
      {"port 0", L"a", L"h:0", kTemplate, output, false, "--server port"},
      {"port not a number", L"a", L"h:http", kTemplate, output, true, "--server port"},
      {"port too large", L"a", L"h:65536", kTemplate, output, false, "--server port"},
      {"no host", L"a", L":80", kTemplate, output, false, "--server has no host"},
      {"output folder missing", L"a", L"h", kTemplate, Path(L"missing\\out.exe"), false,
       "cannot write"},
      {"output is a folder", L"a", L"h", kTemplate, subfolder, false, "cannot write"},
      {"output is read-only", L"a", L"h", kTemplate, readOnly, true, "cannot write"},
      {"publisher in upper case", L"a", L"h", kTemplate, output, true, "--publisher must be",
       std::wstring(64, L'A')},
      {"publisher list with an empty item", L"a", L"h", kTemplate, output, false,
       "--publisher must be", pin + L","},
      {"publisher hash too short", L"a", L"h", kTemplate, output, false, "--publisher must be",
       pin.substr(1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string target = WideToAnsi(c.to);
    if (c.outputExists) {
      WriteBytes(target, previous);
      if (c.to == readOnly) SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY);
    }
    const size_t filesBefore = FilesInFolder().size();

    const ProcessOutput run = Stamp(c.appId, c.server, c.from, c.to, c.publisher);
    EXPECT_NE(run.exitCode, 0u);
    EXPECT_EQ(run.err.find("halvora-stamp: "), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;

    if (c.outputExists) {
      EXPECT_TRUE(ReadBytes(target) == previous) << "the existing output was changed";
    } else if (c.to != subfolder) {
      EXPECT_EQ(GetFileAttributesW(c.to.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    EXPECT_EQ(FilesInFolder().size(), filesBefore) << "a temporary file was left behind";

    SetFileAttributesW(c.to.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (c.to != subfolder) DeleteFileW(c.to.c_str());
  }
}

// Programs signed at test time (the launcher, tests/support/signed_fixtures.py).
TEST_F(StampTest, PrintsAndPinsPublishers) {
  const std::string signedFolder = WinePath(Env("HALVORA_SIGNED"));
  ASSERT_NE(signedFolder, "Z:") << "run through tests/support/signed_fixtures.py";
  const std::string a = ReadBytes(signedFolder + "\\a.pin").substr(0, 64);
  const std::string b = ReadBytes(signedFolder + "\\b.pin").substr(0, 64);
  ASSERT_EQ(a.size(), 64u);

  ProcessOutput run =
      RunProcess({kStamp, L"--print-publisher", Wide(signedFolder + "\\signed-a.exe")});
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_EQ(run.out, a + "\r\n");
  for (const char* file : {"unsigned.exe", "tampered.exe", "missing.exe"}) {
    run = RunProcess({kStamp, L"--print-publisher", Wide(signedFolder + "\\" + file)});
    EXPECT_NE(run.exitCode, 0u) << file;
    EXPECT_EQ(run.out, "") << file;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
  }

  // Two pins, as one list in the copy's "PUBLISHER" resource.
  const std::string list = a + "," + b;
  const std::wstring copy = Path(L"pinned.exe");
  run = Stamp(L"pinned-app", L"h", kTemplate, copy, Wide(list));
  ASSERT_EQ(run.exitCode, 0u) << run.err;
  ExpectStamped(copy, "pinned-app", "h");
  const std::vector<Entry> publisher = EntriesOf(copy, L"PUBLISHER", IDR_PUBLISHER);
  ASSERT_EQ(publisher.size(), 1u);
  EXPECT_EQ(publisher[0].bytes, list);
  EXPECT_TRUE(EntriesOf(kTemplate, L"PUBLISHER", IDR_PUBLISHER).empty());
}

}  // namespace
}  // namespace halvora::test
