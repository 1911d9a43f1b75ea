// Whole runs of a stamped halvora.exe under Wine against the reference
// server, one per application kind and per way a session can go, in one
// sequence that shares the prefix's user folders as a real machine would:
// the records file grows run by run and is compared byte for byte after each.
// The launcher (with-e2e-servers) provides the catalog with real packages,
// the FTP server and a display. The window has no buttons yet: the test
// posts their commands, as the buttons will.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
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
namespace {

namespace fs = std::filesystem;

constexpr UINT kCancelCommand = 1124;
constexpr UINT kPauseCommand = 1125;
constexpr UINT kLaunchCommand = 1126;

std::vector<std::string> JournalLines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());  // the client setup runs alongside
  return lines;
}

// The offsets of the Range requests the server logged for `path`.
std::vector<long> RangeOffsets(const std::string& log, const std::string& path) {
  std::vector<long> offsets;
  const std::regex request("> GET " + path + " HTTP/1.1\n((?:> .*\n)*)");
  const std::regex range("> Range: bytes=(\\d+)-");
  for (auto it = std::sregex_iterator(log.begin(), log.end(), request);
       it != std::sregex_iterator(); ++it) {
    const std::string headers = (*it)[1];
    std::smatch match;
    if (std::regex_search(headers, match, range)) offsets.push_back(std::stol(match[1]));
  }
  return offsets;
}

class EndToEnd : public testing::Test {
 protected:
  void SetUp() override {
    url = Env("HALVORA_E2E_URL");
    ASSERT_FALSE(url.empty()) << "run through tests/e2e/with-e2e-servers";
    server = AnsiToWide(url.substr(7, url.size() - 8));  // http://HOST:PORT/
    work = WinePath(Env("HALVORA_E2E_WORK"));
    catalogFiles = fs::path(WinePath(Env("HALVORA_E2E_CATALOG"))) / "files";
    journal = work / "journal.txt";
    SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", journal.c_str());
    appData = GetUserAppDataFolder();
    apps = appData / "apps";
    temp = apps / "~~tmp";
    records = appData / "Orbanta Apps" / "installedApp.xml";
    CleanUp();
  }
  void TearDown() override {
    CleanUp();
    SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", nullptr);
  }

  void CleanUp() {
    std::error_code error;
    for (const char* id : {"e2e-program", "e2e-program-http", "e2e-portable", "e2e-viewer",
                           "e2e-suite", "e2e-other"}) {
      fs::remove_all(apps / id, error);
      fs::remove_all(temp / id, error);
    }
    fs::remove(records, error);
    fs::remove_all(appData / kProgramFolder, error);
    fs::remove_all(SpecialFolder(CSIDL_PROGRAMS) / L"Halvora Sample", error);
    RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
    RemoveClient();
  }

  void RemoveClient() {
    std::error_code error;
    fs::remove_all(appData / kClientFolder, error);
    fs::remove_all(SpecialFolder(CSIDL_PROGRAMS) / L"Orbanta", error);
  }

  // Installs the platform client as its own setup would.
  void InstallClient() {
    const fs::path setup = WinePath(HALVORA_FIXTURE_DIR "/fake-client-setup.exe");
    ASSERT_EQ(RunProcess({setup.wstring(), L"-silent"}).exitCode, 0u);
    ASSERT_TRUE(IsPlatformClientInstalled());
  }

  fs::path Stamp(const std::string& id) {
    const fs::path copy = work / (id + ".exe");
    if (!fs::exists(copy)) {
      const ProcessOutput run =
          RunProcess({AnsiToWide(WinePath(HALVORA_STAMP)), L"--appid", AnsiToWide(id), L"--server",
                      server, AnsiToWide(WinePath(HALVORA_PROGRAM)), copy.wstring()});
      EXPECT_EQ(run.exitCode, 0u) << run.err;
    }
    return copy;
  }

  void Control(const std::string& request) { HttpGet(url + "_control/" + request); }

  // What the server logged since the last reset.
  std::string ServerLog() { return HttpGet(url + "_control/log"); }

  std::string url;
  std::wstring server;
  fs::path work, catalogFiles, journal, appData, apps, temp, records;
};

// A run of one stamped copy: the window is found, the test drives it, and
// the program must end by itself.
struct SessionRun {
  const char* what;
  std::string id;
  std::wstring title;
  bool clientPresent;
  std::string faults;            // switched on before the run
  std::function<void()> before;  // prepares the machine
  std::function<void(DebuggedProcess&, HWND)> drive;
  std::vector<std::string> journal;  // setups started, sorted
  bool appFolder;                    // apps\ID with LocalCfg.xml
  bool tempKept;
  const char* record;  // the type text appended, or none
  std::function<void(const std::string& log)> checkLog;
};

TEST_F(EndToEnd, EveryKindAndEveryWayASessionEnds) {
  const fs::path package = temp / "e2e-portable" / "portable.zip";
  const fs::path viewerPackage = temp / "e2e-viewer" / "viewer.zip";
  const std::string sampleApp = ReadBytes(HALVORA_FIXTURE_DIR "/sample-app.exe");
  ASSERT_FALSE(sampleApp.empty());

  auto waitForBytes = [](const fs::path& file, std::uintmax_t bytes) {
    ASSERT_TRUE(WaitUntil([&] { return SizeOf(file) >= bytes; })) << file;
  };
  auto command = [](HWND window, UINT id) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0, SMTO_NORMAL, 30000,
                        &result);
  };
  // The question is the program's message box, titled 提示 (over a mask):
  // its OK command is 是, its cancel command 否.
  auto answer = [](DebuggedProcess& program, HWND main, bool yes) {
    HWND question = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      for (const ShownWindow& window : WindowsOf(program.Id()))
        if (window.handle != main && window.title == L"\u63d0\u793a" &&
            IsWindowVisible(window.handle))
          question = window.handle;
      return question != nullptr;
    })) << "no question";
    PostMessageW(question, WM_COMMAND, MAKEWPARAM(yes ? IDOK : IDCANCEL, BN_CLICKED), 0);
  };
  auto requested = [](const std::string& log, const std::string& path) {
    return log.find("> GET " + path + " ") != std::string::npos;
  };

  const std::vector<SessionRun> runs = {
      {"setup-installed program over FTP, platform client missing",
       "e2e-program",
       L"Sample Program",
       false,
       "",
       nullptr,
       nullptr,
       {"client|-silent", "program"},
       false,
       false,
       "3|1",
       [&](const std::string& log) {
         EXPECT_FALSE(requested(log, "/downloadclientprog/clients/program.zip"));
         EXPECT_TRUE(requested(log, "/manufacturing/files/OrbantaCenter_Client.zip"));
       }},
      {"setup-installed program over the HTTP fallback",
       "e2e-program-http",
       L"Sample Program (HTTP)",
       true,
       "",
       nullptr,
       nullptr,
       {"program"},
       false,
       false,
       "3|1",
       [&](const std::string& log) {
         EXPECT_EQ(RangeOffsets(log, "/downloadclientprog/clients/program.zip"),
                   std::vector<long>{0});
         EXPECT_FALSE(requested(log, "/manufacturing/files/OrbantaCenter_Client.zip"));
       }},
      {"portable application, paused and resumed on a slow line",
       "e2e-portable",
       L"Sample Portable",
       true,
       "stall=200000",
       nullptr,
       [&](DebuggedProcess&, HWND window) {
         // The server holds the package after 200000 bytes: the pause is
         // raised while the transfer waits, and takes effect at its next read.
         waitForBytes(package, 64 * 1024);
         command(window, kPauseCommand);
         Control("reset");
         command(window, kPauseCommand);
       },
       {"portable|-appid|e2e-portable"},
       true,
       false,
       "3|3",
       [&](const std::string& log) {
         // Since the reset: only the continuation, from where the file ended.
         const std::vector<long> offsets = RangeOffsets(log, "/packages/portable/portable.zip");
         ASSERT_EQ(offsets.size(), 1u) << log;
         EXPECT_GE(offsets[0], 64 * 1024);
         EXPECT_LE(offsets[0], 200000);
       }},
      {"spreadsheet viewer",
       "e2e-viewer",
       L"Sample Viewer",
       true,
       "",
       nullptr,
       nullptr,
       {"viewer|-appid|e2e-viewer"},
       true,
       false,
       "6|0",
       nullptr},
      {"everything present: nothing is fetched, the launch command installs",
       "e2e-viewer",
       L"Sample Viewer",
       true,
       "",
       [&] {
         fs::create_directories(viewerPackage.parent_path());
         fs::copy_file(catalogFiles / "packages" / "viewer.zip", viewerPackage);
       },
       [&](DebuggedProcess& program, HWND window) {
         // Ignored until the sizing has found everything present.
         ASSERT_TRUE(WaitUntil([&] {
           PostMessageW(window, WM_COMMAND, MAKEWPARAM(kLaunchCommand, BN_CLICKED), 0);
           return !program.Running() || !JournalLines(journal).empty();
         }));
       },
       {"viewer|-appid|e2e-viewer"},
       true,
       false,
       "6|0",
       [&](const std::string& log) {
         EXPECT_TRUE(RangeOffsets(log, "/packages/viewer.zip").empty());
       }},
      {"cancel answered no, then yes, with the application present",
       "e2e-viewer",
       L"Sample Viewer",
       true,
       "stall=200000",
       nullptr,
       [&](DebuggedProcess& program, HWND window) {
         waitForBytes(viewerPackage, 64 * 1024);
         PostMessageW(window, WM_COMMAND, MAKEWPARAM(kCancelCommand, BN_CLICKED), 0);
         answer(program, window, false);
         // Released, the interrupted transfer goes on where it stopped, and
         // is held again 400000 bytes further.
         Control("reset");
         Control("fault?stall=400000");
         ASSERT_TRUE(WaitUntil(
             [&] { return RangeOffsets(ServerLog(), "/packages/viewer.zip").size() == 1; }));
         PostMessageW(window, WM_COMMAND, MAKEWPARAM(kCancelCommand, BN_CLICKED), 0);
         answer(program, window, true);
         Control("reset");  // the held transfer ends at its next read
       },
       {},
       true,
       false,
       nullptr,
       nullptr},
      {"a kind never found present: the temporary folder stays",
       "e2e-suite",
       L"Sample Suite",
       true,
       "",
       nullptr,
       nullptr,
       {"portable|-appid|e2e-suite"},
       true,
       true,
       nullptr,
       nullptr},
      {"no package, platform client missing",
       "e2e-other",
       L"Sample Other",
       false,
       "",
       nullptr,
       nullptr,
       {"client|-silent"},
       false,
       true,
       nullptr,
       nullptr},
      {"a transfer cut midway: nothing is installed",
       "e2e-portable",
       L"Sample Portable",
       true,
       "cut=300000",
       [&] {
         std::error_code error;
         fs::remove_all(apps / "e2e-portable", error);
       },
       nullptr,
       {},
       false,
       true,
       nullptr,
       [&](const std::string&) { EXPECT_LT(SizeOf(package), 1000000u); }},
      {"the next run completes the cut transfer",
       "e2e-portable",
       L"Sample Portable",
       true,
       "",
       nullptr,
       nullptr,
       {"portable|-appid|e2e-portable"},
       true,
       false,
       "3|3",
       nullptr},
  };

  std::string expectedRecords;
  for (const SessionRun& run : runs) {
    SCOPED_TRACE(run.what);
    if (run.clientPresent && !IsPlatformClientInstalled()) InstallClient();
    if (!run.clientPresent) RemoveClient();
    if (run.before) run.before();
    Control("reset");
    if (!run.faults.empty()) Control("fault?" + run.faults);
    std::error_code error;
    fs::remove(journal, error);

    DebuggedProcess program({Stamp(run.id).wstring()});
    ASSERT_TRUE(program.Started());
    HWND window = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
      for (const ShownWindow& shown : WindowsOf(program.Id()))
        if (shown.title == run.title) window = shown.handle;
      return window != nullptr || !program.Running();
    }));
    if (run.drive && window) run.drive(program, window);
    DWORD exitCode = 1;
    ASSERT_TRUE(program.WaitForExit(exitCode)) << "the program did not end";
    EXPECT_EQ(exitCode, 0u);

    // The platform client's setup may outlive the program (it is waited for
    // only when the application is found present).
    WaitUntil([&] { return JournalLines(journal).size() >= run.journal.size(); });
    EXPECT_EQ(JournalLines(journal), run.journal);
    if (std::count(run.journal.begin(), run.journal.end(), "client|-silent")) {
      EXPECT_TRUE(WaitUntil([] { return IsPlatformClientInstalled(); }));
    }
    EXPECT_EQ(fs::exists(apps / run.id / "LocalCfg.xml"), run.appFolder);
    if (run.appFolder) {
      EXPECT_TRUE(Bytes(apps / run.id / "1.0" / "SampleApp.exe") == sampleApp);
    }
    if (run.id.rfind("e2e-program", 0) == 0 && run.record) {
      EXPECT_TRUE(Bytes(appData / kProgramFolder / kProgramFile) == sampleApp);
      EXPECT_TRUE(fs::exists(SpecialFolder(CSIDL_PROGRAMS) / kProgramShortcut));
    }
    EXPECT_EQ(fs::exists(temp / run.id), run.tempKept);
    if (run.record) {
      expectedRecords += "    <item appid=\"" + run.id + "\" type=\"" + run.record + "\" />\r\n";
    }
    EXPECT_EQ(ReadBytes(WideToAnsi(records.wstring())),
              expectedRecords.empty() ? "" : "<root>\r\n" + expectedRecords + "</root>\r\n");
    if (run.checkLog) run.checkLog(ServerLog());
  }
}

}  // namespace
}  // namespace halvora::test
