// Stamped copies of halvora.exe under Wine against the reference server
// (tests/http/with-refserver, catalog tests/app/catalog): the window titled
// with the application's name, the prepared download list on the debugger
// output, one copy per application id, and the notice when the platform
// does not know the application.

#include <windows.h>
#include <wininet.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "env/platform_client.h"
#include "tests/fixtures/fake_setup.h"
#include "tests/support/peer_files.h"
#include "tests/support/win_peer.h"
#include "tests/support/win_process.h"

namespace halvora::test {
namespace {

std::wstring Wide(const std::string& text) { return AnsiToWide(text); }

// "http://127.0.0.1:PORT/" -> "127.0.0.1:PORT"
std::string ServerOf(std::string url) {
  url = url.substr(url.find("://") + 3);
  return url.substr(0, url.find('/'));
}

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool HasWindowTitled(DWORD processId, const std::wstring& title) {
  for (const ShownWindow& window : WindowsOf(processId))
    if (window.title == title && IsWindowVisible(window.handle)) return true;
  return false;
}

HWND WindowTitled(DWORD processId, const std::wstring& title) {
  for (const ShownWindow& window : WindowsOf(processId))
    if (window.title == title) return window.handle;
  return nullptr;
}

// Visible top-level windows of any process with this title.
int CountVisibleTitled(const std::wstring& title) {
  struct Search {
    const std::wstring& title;
    int count;
  } search{title, 0};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        wchar_t text[256] = {};
        GetWindowTextW(window, text, 256);
        if (s.title == text && IsWindowVisible(window)) ++s.count;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.count;
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  for (const std::string& line : lines)
    if (line.find(part) != std::string::npos) return true;
  return false;
}

TEST(ProgramInstances, OneCopyPerApplicationWithItsWindowAndDownloadList) {
  const std::string url = Env("HALVORA_REFSERVER_URL");
  const std::string work = Env("HALVORA_TEST_WORKDIR");
  ASSERT_FALSE(url.empty()) << "run through tests/http/with-refserver";
  const std::wstring server = Wide(ServerOf(url));
  const std::wstring folder = Wide(WinePath(work));
  const std::wstring first = folder + L"\\first.exe";
  const std::wstring second = folder + L"\\second.exe";
  const std::wstring unknown = folder + L"\\unknown.exe";
  const std::wstring stamp = Wide(WinePath(HALVORA_STAMP));
  const std::wstring program = Wide(WinePath(HALVORA_PROGRAM));
  for (const auto& [id, copy] : {std::pair{L"first-app", first}, std::pair{L"second-app", second},
                                 std::pair{L"no-such-app", unknown}}) {
    const ProcessOutput run =
        RunProcess({stamp, L"--appid", id, L"--server", server, program, copy});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
  }
  HttpGet(url + "_control/reset");

  // The copies stay in their sessions while they are looked at: the platform
  // client is present, so none of its files is listed, and the first
  // application's package is large and comes slowly. (A file that cannot be
  // fetched ends a session, and one of unknown size is never complete.)
  const bool clientPresent = IsPlatformClientInstalled();
  if (!clientPresent) {
    const ProcessOutput setup =
        RunProcess({Wide(WinePath(HALVORA_FIXTURE_DIR "/fake-client-setup.exe")), L"-silent"});
    ASSERT_EQ(setup.exitCode, 0u) << setup.err;
  }
  const std::filesystem::path packages =
      std::filesystem::path(WinePath(Env("HALVORA_REFSERVER_CATALOG"))) / "files" / "packages";
  std::filesystem::create_directories(packages);
  WriteBytes((packages / "first-app.zip").string(), std::string(size_t{32} << 20, 'p'));
  HttpGet(url + "_control/fault?trickle=512");

  // The first copy opens its window, titled with the application's name, and
  // prints the download list it prepared.
  DebuggedProcess firstCopy({first});
  ASSERT_TRUE(firstCopy.Started());
  ASSERT_TRUE(WaitUntil([&] { return HasWindowTitled(firstCopy.Id(), L"First App"); }))
      << "no window titled First App";
  const std::vector<std::string> listed = firstCopy.DebugStrings();
  EXPECT_TRUE(Contains(listed, "download list: "));
  EXPECT_TRUE(Contains(listed, "kind=http remote=" + url + "packages/first-app.zip local=") &&
              Contains(listed, "\\apps\\~~tmp\\first-app\\first-app.zip"))
      << ::testing::PrintToString(listed);
  // The platform client's package, listed when the client is absent, comes
  // from the public file host the build names.
  for (const std::string& line : listed) {
    if (line.find("OrbantaCenter_Client.zip") == std::string::npos) continue;
    EXPECT_NE(line.find(std::string("remote=http://") + build_config::kPublicFileHost + "/"),
              std::string::npos)
        << line;
  }

  // A second copy for the same application ends at once, silently: no
  // request, no output, no window; the first one runs on.
  DebuggedProcess secondCopy({first});
  ASSERT_TRUE(secondCopy.Started());
  DWORD exitCode = 0;
  ASSERT_TRUE(secondCopy.WaitForExit(exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(secondCopy.DebugStrings().empty())
      << ::testing::PrintToString(secondCopy.DebugStrings());
  EXPECT_TRUE(firstCopy.Running());
  EXPECT_EQ(CountVisibleTitled(L"First App"), 1);
  EXPECT_EQ(Count(HttpGet(url + "_control/log"), "<AppItem appId=\"first-app\" />"), 1u);

  // A copy for another application runs beside it.
  DebuggedProcess other({second});
  ASSERT_TRUE(other.Started());
  ASSERT_TRUE(WaitUntil([&] { return HasWindowTitled(other.Id(), L"Second App"); }))
      << "no window titled Second App";
  EXPECT_TRUE(Contains(other.DebugStrings(), "download list: "));
  EXPECT_TRUE(firstCopy.Running());

  // An application the platform does not know: the notice, once, and the
  // run ends without a session.
  DebuggedProcess failing({unknown});
  ASSERT_TRUE(failing.Started());
  HWND notice = nullptr;
  ASSERT_TRUE(WaitUntil([&] {
    notice = WindowTitled(failing.Id(), L"\u63d0\u793a");  // 提示
    return notice && IsWindowVisible(notice);
  })) << "no notice";
  RECT box{};
  GetWindowRect(notice, &box);  // the program's own message box, text drawn
  EXPECT_EQ(box.right - box.left, 262);
  EXPECT_EQ(box.bottom - box.top, 160);
  int visible = 0;
  for (const ShownWindow& window : WindowsOf(failing.Id()))
    visible += IsWindowVisible(window.handle);
  EXPECT_EQ(visible, 1) << "only the notice shows";
  PostMessageW(notice, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  ASSERT_TRUE(failing.WaitForExit(exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(Contains(failing.DebugStrings(), "download list: "));

  // Closing a window ends its copy; while the session runs it asks first,
  // and the answer yes ends it.
  for (DebuggedProcess* copy : {&firstCopy, &other}) {
    for (const ShownWindow& window : WindowsOf(copy->Id()))
      if (IsWindowVisible(window.handle)) PostMessageW(window.handle, WM_CLOSE, 0, 0);
    HWND question = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      question = WindowTitled(copy->Id(), L"\u63d0\u793a");  // 提示
      return (question && IsWindowVisible(question)) || !copy->Running();
    })) << "neither a question nor the end";
    if (question) PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ASSERT_TRUE(copy->WaitForExit(exitCode));
    EXPECT_EQ(exitCode, 0u);
  }
  std::error_code error;
  std::filesystem::remove_all(
      std::filesystem::path(GetUserAppDataFolder()) / "apps" / "~~tmp" / "first-app", error);
  if (!clientPresent) {
    std::filesystem::remove_all(SpecialFolder(CSIDL_PROGRAMS) / L"Orbanta", error);
    std::filesystem::remove_all(std::filesystem::path(GetUserAppDataFolder()) / kClientFolder,
                                error);
  }
}

}  // namespace
}  // namespace halvora::test
