// The records file under Wine: its exact bytes, files that must stay as they
// are, no temporary file left behind, and two processes appending at once
// while a reader watches the file.

#include <windows.h>

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "app/records/installed_apps.h"
#include "base/win/scoped_handle.h"

namespace halvora {
namespace {

using win::FileHandle;
using win::FindHandle;
using win::KernelHandle;

const wchar_t kChildVariable[] = L"HALVORA_RECORDS_CHILD";
constexpr int kAppendsPerChild = 50;

AppInfo App(const std::wstring& appId, int appType, int installTypeId) {
  AppInfo app;
  app.appId = appId;
  app.appType = appType;
  app.installTypeId = installTypeId;
  return app;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts(1);
  for (wchar_t c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  return parts;
}

// Started by the concurrency case as a child ("FOLDER|EVENT|NAME|PARENT-ID"
// in the environment): waits for the parent's go, appends its records and
// leaves before the test runner starts. A parent that ends first ends it.
[[maybe_unused]] const int kChildExit = [] {
  wchar_t spec[2048];
  const DWORD n = GetEnvironmentVariableW(kChildVariable, spec, ARRAYSIZE(spec));
  if (n == 0 || n >= ARRAYSIZE(spec)) return 0;
  const std::vector<std::wstring> parts = Split(std::wstring(spec, n), L'|');
  if (parts.size() != 4) ExitProcess(2);
  const KernelHandle go(OpenEventW(SYNCHRONIZE, FALSE, parts[1].c_str()));
  const KernelHandle parent(
      OpenProcess(SYNCHRONIZE, FALSE, std::wcstoul(parts[3].c_str(), nullptr, 10)));
  const HANDLE waits[] = {go.Get(), parent.Get()};
  if (!go || !parent || WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
    ExitProcess(2);
  UINT failures = 0;
  for (int i = 0; i < kAppendsPerChild; ++i)
    if (!AddInstalledAppRecord(parts[0], App(parts[2] + L"-" + std::to_wstring(i), 3, 1)))
      ++failures;
  ExitProcess(failures == 0 ? 0 : 3);
}();

std::string ReadAll(const std::wstring& path) {
  // Full sharing, so a reader never stands in a writer's way.
  const FileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
  std::string bytes;
  if (!file) return "<none>";
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file.Get(), chunk, sizeof chunk, &read, nullptr) && read > 0)
    bytes.append(chunk, read);
  return bytes;
}

void WriteAll(const std::wstring& path, const std::string& bytes) {
  const FileHandle file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written, nullptr));
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  const FindHandle find(FindFirstFileW((folder + L"*").c_str(), &found));
  if (!find) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(find.Get(), &found));
  return names;
}

class RecordsFile : public testing::Test {
 protected:
  void SetUp() override { NewFolder(); }
  void TearDown() override { RemoveFolder(); }

  void NewFolder() {
    base.clear();
    folder.clear();
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    // A folder left by an earlier run that failed half-way is skipped.
    std::wstring candidate;
    bool created = false;
    for (int tries = 0; !created && tries < 100; ++tries) {
      candidate = std::wstring(temp) + L"halvora-records-" +
                  std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) +
                  L"\\";
      created = CreateDirectoryW(candidate.c_str(), nullptr);
    }
    ASSERT_TRUE(created);
    base = candidate;
    // The records folder itself is created by the first append.
    folder = base + L"Orbanta Apps\\";
    path = folder + L"installedApp.xml";
  }
  // Removes only what NewFolder made (nothing when it failed).
  void RemoveFolder() {
    if (base.empty()) return;
    for (const std::wstring& name : FolderEntries(folder)) DeleteFileW((folder + name).c_str());
    RemoveDirectoryW(folder.c_str());
    RemoveDirectoryW(base.c_str());
    base.clear();
    folder.clear();
  }

  static int counter;
  std::wstring base;
  std::wstring folder;
  std::wstring path;
};
int RecordsFile::counter = 0;

TEST_F(RecordsFile, AppendsOrLeavesTheFileAsItWas) {
  const char kOne[] = "<root>\r\n    <item appid=\"a1\" type=\"3|1\" />\r\n</root>\r\n";
  const struct {
    const char* name;
    const char* existing;  // null: no file
    bool held;             // open without FILE_SHARE_DELETE during the append
    std::vector<AppInfo> apps;
    bool written;
    std::string bytes;  // empty: unchanged
  } cases[] = {
      // clang-format off
      {"new file, escaped id", nullptr, false, {App(L"a&b", 3, 1)}, true,
       "<root>\r\n    <item appid=\"a&amp;b\" type=\"3|1\" />\r\n</root>\r\n"},
      {"appended twice", kOne, false, {App(L"a1", 3, 1), App(L"b\"2", 8, 0)}, true,
       "<root>\r\n    <item appid=\"a1\" type=\"3|1\" />\r\n"
       "    <item appid=\"a1\" type=\"3|1\" />\r\n"
       "    <item appid='b&quot;2' type=\"8|0\" />\r\n</root>\r\n"},
      {"malformed", "<root>\r\n    <item appid=\"a1\" type=\"3|1\" />\r\n", false,
       {App(L"x", 3, 1)}, false, ""},
      {"empty", "", false, {App(L"x", 3, 1)}, false, ""},
      // The replacement fails: the old file stays and the new copy goes.
      {"held by a reader", kOne, true, {App(L"x", 3, 1)}, false, ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveFolder();
    NewFolder();
    if (c.existing) {
      ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
      WriteAll(path, c.existing);
    }
    const FileHandle reader(c.held ? CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                                 nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE);
    ASSERT_EQ(reader.IsValid(), c.held);
    for (const AppInfo& app : c.apps) EXPECT_EQ(AddInstalledAppRecord(folder, app), c.written);
    EXPECT_EQ(ReadAll(path), c.bytes.empty() ? std::string(c.existing) : c.bytes);
    EXPECT_EQ(FolderEntries(folder), std::vector<std::wstring>{L"installedApp.xml"});
  }
}

TEST_F(RecordsFile, LeftoverOfACrashedWriterGoes) {
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  WriteAll(folder + L"installedApp.xml.4242.tmp", "<root>");
  WriteAll(folder + L"other.tmp", "not ours");
  ASSERT_TRUE(AddInstalledAppRecord(folder, App(L"a1", 3, 1)));
  auto entries = FolderEntries(folder);
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::wstring>{L"installedApp.xml", L"other.tmp"}));
}

TEST_F(RecordsFile, TwoProcessesAppendingAtOnceLoseNothing) {
  const std::wstring eventName = L"HalvoraRecordsTestGo-" + std::to_wstring(GetCurrentProcessId());
  const KernelHandle go(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
  ASSERT_TRUE(go);
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);

  std::vector<KernelHandle> children;
  for (const wchar_t* name : {L"first", L"second"}) {
    const std::wstring spec =
        folder + L"|" + eventName + L"|" + name + L"|" + std::to_wstring(GetCurrentProcessId());
    ASSERT_TRUE(SetEnvironmentVariableW(kChildVariable, spec.c_str()));
    std::wstring command = L"\"" + std::wstring(self) + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(self, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    CloseHandle(process.hThread);
    children.emplace_back(process.hProcess);
  }
  SetEnvironmentVariableW(kChildVariable, nullptr);
  ASSERT_TRUE(SetEvent(go.Get()));

  // While they write, every look at the file finds a whole document that
  // never holds fewer records than before.
  const HANDLE handles[] = {children[0].Get(), children[1].Get()};
  int seen = 0;
  int looks = 0;
  bool running = true;
  while (running) {
    running = WaitForMultipleObjects(2, handles, TRUE, 0) == WAIT_TIMEOUT;
    const std::string bytes = ReadAll(path);
    if (bytes == "<none>") continue;
    TiXmlDocument document;
    document.Parse(bytes.c_str());
    ASSERT_FALSE(document.Error()) << "a reader saw a partial file: " << bytes;
    int count = 0;
    for (const TiXmlElement* item = document.FirstChildElement()->FirstChildElement(); item;
         item = item->NextSiblingElement())
      ++count;
    ASSERT_GE(count, seen);
    seen = count;
    ++looks;
  }
  for (const KernelHandle& child : children) {
    DWORD code = 1;
    ASSERT_TRUE(GetExitCodeProcess(child.Get(), &code));
    EXPECT_EQ(code, 0u);
  }

  TiXmlDocument document;
  document.Parse(ReadAll(path).c_str());
  ASSERT_FALSE(document.Error());
  std::vector<std::string> first;
  std::vector<std::string> second;
  for (const TiXmlElement* item = document.FirstChildElement("root")->FirstChildElement("item");
       item; item = item->NextSiblingElement("item")) {
    const std::string id = item->Attribute("appid");
    (id.rfind("first-", 0) == 0 ? first : second).push_back(id);
  }
  ASSERT_EQ(first.size(), size_t(kAppendsPerChild));
  ASSERT_EQ(second.size(), size_t(kAppendsPerChild));
  for (int i = 0; i < kAppendsPerChild; ++i) {
    EXPECT_EQ(first[i], "first-" + std::to_string(i));
    EXPECT_EQ(second[i], "second-" + std::to_string(i));
  }
  EXPECT_EQ(FolderEntries(folder), std::vector<std::wstring>{L"installedApp.xml"});
  EXPECT_GT(looks, 0);
}

}  // namespace
}  // namespace halvora
