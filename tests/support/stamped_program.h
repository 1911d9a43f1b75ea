#pragma once
// For suites that run stamped copies of halvora.exe under Wine against the
// reference server a launcher started: a copy stamped per application id, its
// run as the test's debuggee with its window found, the server's control
// paths and log, and the user's folders a run writes.
//
// The suite defines HALVORA_STAMP, HALVORA_PROGRAM and HALVORA_FIXTURE_DIR
// (where the build put halvora-stamp, halvora.exe and the fixture programs)
// and links halvora_env, halvora_base, wininet and shell32.

#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "env/platform_client.h"
#include "tests/fixtures/fake_setup.h"
#include "tests/support/peer_files.h"
#include "tests/support/win_peer.h"
#include "tests/support/win_process.h"

namespace halvora::test {

// The title of the program's message boxes, notices and questions alike.
inline constexpr wchar_t kMessageBoxTitle[] = L"\u63d0\u793a";  // 提示

// A visible top-level window of the process with this title, other than
// `except`; null when there is none.
inline HWND VisibleWindowTitled(DWORD processId, const std::wstring& title, HWND except = nullptr) {
  for (const ShownWindow& window : WindowsOf(processId))
    if (window.handle != except && window.title == title && IsWindowVisible(window.handle))
      return window.handle;
  return nullptr;
}

inline int VisibleWindows(DWORD processId) {
  int visible = 0;
  for (const ShownWindow& window : WindowsOf(processId)) visible += IsWindowVisible(window.handle);
  return visible;
}

// A stamped copy running as the test's debuggee; the destructor ends it if
// it still runs.
class ProgramRun {
 public:
  // Starts `exe` and waits until it shows a window titled `title`, shows a
  // notice, or ends. `window` is then its main window: titled with the
  // application's name once the platform has described it, untitled
  // before; or the notice when `title` is kMessageBoxTitle (a copy that
  // cannot learn what to install); else null.
  ProgramRun(std::filesystem::path program, const std::wstring& title)
      : exe(std::move(program)), process({exe.wstring()}), started(Clock::now()) {
    if (!process.Started()) return;
    WaitUntil([&] {
      // One look for the notice: looking twice could see it appear between
      // the looks and stop with no window when `title` names the notice.
      const HWND notice = VisibleWindowTitled(process.Id(), kMessageBoxTitle);
      window = title == kMessageBoxTitle ? notice : VisibleWindowTitled(process.Id(), title);
      return window || notice || !process.Running();
    });
  }

  // Clicks the window's button with this command id: the button takes the
  // press and release and tells the window, as for a click of the mouse.
  bool Press(UINT command) {
    const HWND button = GetDlgItem(window, static_cast<int>(command));
    DWORD_PTR result = 0;
    return button &&
           SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 30000, &result) != 0;
  }

  // Ends the process as a kill by its id would.
  void Kill() {
    win::KernelHandle handle(OpenProcess(PROCESS_TERMINATE, FALSE, process.Id()));
    if (handle) TerminateProcess(handle.Get(), 9);
  }

  // Waits for the program's end until `limit` after its start. A program
  // still running then is ended, and the answer is false: a hang fails the
  // test instead of holding it until the suite's time-out.
  bool WaitForEnd(DWORD& exitCode, std::chrono::milliseconds limit) {
    if (process.WaitForExit(exitCode, std::max(std::chrono::milliseconds(0), limit - Age())))
      return true;
    Kill();
    process.WaitForExit(exitCode, std::chrono::seconds(30));
    return false;
  }

  std::chrono::milliseconds Age() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
  }

  // Waits until the program shows a message box besides its main window, or
  // ends: the box, or null.
  HWND WaitForMessageBox(std::chrono::milliseconds timeout = std::chrono::seconds(90)) {
    HWND box = nullptr;
    WaitUntil(
        [&] {
          box = VisibleWindowTitled(process.Id(), kMessageBoxTitle, window);
          return box || !process.Running();
        },
        timeout);
    return box;
  }

  // Answers a message box as a click of its button would: yes (是, or the
  // notice's 确定) or no (否). Enter (IDOK) would answer a question no.
  static void Answer(HWND box, bool yes) {
    constexpr UINT kYesCommand = 1127;  // ui/msg_dlg.h
    constexpr UINT kNoCommand = 1128;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(yes ? kYesCommand : kNoCommand, BN_CLICKED), 0);
  }

  const std::filesystem::path exe;
  DebuggedProcess process;
  HWND window = nullptr;

 private:
  using Clock = std::chrono::steady_clock;
  Clock::time_point started;
};

// The fixture of such suites: the peers, the copies stamped for them, and the
// user's folders the runs write.
class StampedProgramTest : public testing::Test {
 public:
  // Takes over what the launcher hands the suite: the server's address in
  // PREFIX_URL ("http://HOST:PORT/") and an empty folder in PREFIX_WORK.
  // The fake setups journal their command lines into the folder's
  // journal.txt.
  void UsePeers(const std::string& prefix, const char* launcher) {
    url = Env((prefix + "_URL").c_str());
    ASSERT_FALSE(url.empty()) << "run through " << launcher;
    server = AnsiToWide(url.substr(7, url.size() - 8));
    work = WinePath(Env((prefix + "_WORK").c_str()));
    journal = work / "journal.txt";
    SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", journal.c_str());
  }
  void TearDown() override { SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", nullptr); }

  // A copy stamped for `id` and the server, and pinned to `publisher` when
  // one is given, made on first use.
  std::filesystem::path Stamp(const std::string& id, const std::string& publisher = "") {
    const std::filesystem::path copy =
        work /
        (id + (publisher.empty() ? "" : "-" + std::to_string(std::hash<std::string>{}(publisher))) +
         ".exe");
    if (!std::filesystem::exists(copy)) {
      std::vector<std::wstring> command = {AnsiToWide(WinePath(HALVORA_STAMP)), L"--appid",
                                           AnsiToWide(id), L"--server", server};
      if (!publisher.empty())
        command.insert(command.end(), {L"--publisher", AnsiToWide(publisher)});
      command.insert(command.end(), {AnsiToWide(WinePath(HALVORA_PROGRAM)), copy.wstring()});
      const ProcessOutput run = RunProcess(command);
      EXPECT_EQ(run.exitCode, 0u) << run.err;
    }
    return copy;
  }

  // "reset", "fault?stall=200000", ...
  void Control(const std::string& request) {
    EXPECT_EQ(HttpGet(url + "_control/" + request), "ok\n") << request;
  }
  // What the server logged since the last reset.
  std::string ServerLog() { return HttpGet(url + "_control/log"); }

  // Removes what runs of these applications left (their folders, the
  // records, the setup-installed program, the journal).
  void RemoveRuns(const std::vector<std::string>& ids) {
    std::error_code error;
    for (const std::string& id : ids) {
      std::filesystem::remove_all(apps / id, error);
      std::filesystem::remove_all(temp / id, error);
    }
    std::filesystem::remove_all(recordFolder, error);
    RemoveProgram();
    std::filesystem::remove(journal, error);
  }
  void RemoveProgram() {
    std::error_code error;
    std::filesystem::remove_all(appData / kProgramFolder, error);
    std::filesystem::remove_all(SpecialFolder(CSIDL_PROGRAMS) / L"Halvora Sample", error);
    RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
  }
  void RemoveClient() {
    std::error_code error;
    std::filesystem::remove_all(appData / kClientFolder, error);
    std::filesystem::remove_all(SpecialFolder(CSIDL_PROGRAMS) / L"Orbanta", error);
  }
  // Installs the platform client as its own setup would.
  void InstallClient() {
    const std::filesystem::path setup = WinePath(HALVORA_FIXTURE_DIR "/fake-client-setup.exe");
    ASSERT_EQ(RunProcess({setup.wstring(), L"-silent"}).exitCode, 0u);
    ASSERT_TRUE(IsPlatformClientInstalled());
  }

  std::string url;
  std::wstring server;  // HOST:PORT
  std::filesystem::path work, journal;
  const std::filesystem::path appData = GetUserAppDataFolder();
  const std::filesystem::path apps = appData / "apps";
  const std::filesystem::path temp = apps / "~~tmp";
  const std::filesystem::path recordFolder = appData / "Orbanta Apps";
  const std::filesystem::path records = recordFolder / "installedApp.xml";
};

}  // namespace halvora::test
