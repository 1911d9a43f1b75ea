// Whole runs of a stamped halvora.exe under Wine against the reference
// server, one per application kind, per way a session can go and per way
// copies of the program meet, in one sequence that shares the prefix's user
// folders as a real machine would: the records file grows run by run and is
// compared byte for byte after each. The launcher (with-e2e-servers)
// provides the catalog with real packages, the FTP server and a display. The
// test posts the buttons' commands to the window. The test is the program's
// debugger and reads its debugger output.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "app/build_config.h"
#include "base/text.h"
#include "env/platform_client.h"
#include "tests/fixtures/fake_setup.h"
#include "tests/support/peer_files.h"
#include "tests/support/stamped_program.h"
#include "tests/support/win_peer.h"
#include "tests/support/win_process.h"

namespace halvora::test {
namespace {

namespace fs = std::filesystem;

constexpr UINT kCloseCommand = 1123;
constexpr UINT kCancelCommand = 1124;
constexpr UINT kPauseCommand = 1125;
constexpr UINT kLaunchCommand = 1126;
// Far beyond any run here (the longest waits for a stalled answer to be let
// go), and well within the suite's time-out: a run that takes longer hangs.
constexpr auto kRunLimit = std::chrono::seconds(120);
constexpr wchar_t kBroadcastVariable[] = L"HALVORA_FIXTURE_BROADCAST";
const std::vector<std::string> kE2eIds = {"e2e-program", "e2e-program-http", "e2e-portable",
                                          "e2e-viewer",  "e2e-suite",        "e2e-other",
                                          "no-such-app"};

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

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

bool Contains(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return line.find(part) != std::string::npos; });
}

// The text a window holds for screen readers.
std::wstring TextOf(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
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

class EndToEnd : public StampedProgramTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(UsePeers("HALVORA_E2E", "tests/e2e/with-e2e-servers"));
    catalogFiles = fs::path(WinePath(Env("HALVORA_E2E_CATALOG"))) / "files";
    CleanUp();
  }
  void TearDown() override {
    CleanUp();
    SetEnvironmentVariableW(kBroadcastVariable, nullptr);
    StampedProgramTest::TearDown();
  }

  void CleanUp() {
    RemoveRuns(kE2eIds);
    RemoveClient();
  }

  fs::path catalogFiles;
};

// A run of one stamped copy: the window is found, the test drives it, and
// the program must end by itself.
struct SessionRun {
  const char* what;
  std::string id;
  std::wstring title;  // of the main window, or kMessageBoxTitle for a notice alone
  bool clientPresent;
  std::string faults;            // switched on before the run
  std::function<void()> before;  // prepares the machine
  std::function<void(ProgramRun&)> drive;
  std::vector<std::string> journal;  // setups started, sorted
  bool appFolder;                    // apps\ID with LocalCfg.xml
  bool tempKept;
  const char* record;  // the type text appended, or none
  std::function<void(const std::string& log)> checkLog;
  bool broadcast = false;      // the setups tell every window of a setting change
  bool killed = false;         // the drive kills the program
  std::string publisher = "";  // the copy is pinned to it
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
  // The question is the program's message box (over a mask).
  auto answer = [](ProgramRun& program, bool yes) {
    const HWND question = program.WaitForMessageBox();
    ASSERT_TRUE(question) << "no question";
    ProgramRun::Answer(question, yes);
  };
  auto requested = [](const std::string& log, const std::string& path) {
    return log.find("> GET " + path + " ") != std::string::npos;
  };
  // Everything present: nothing is fetched, the launch command installs.
  auto launchedWithAllPresent = [&](const char* what, bool broadcast) {
    return SessionRun{what,
                      "e2e-viewer",
                      L"Sample Viewer",
                      true,
                      "",
                      [&] {
                        fs::create_directories(viewerPackage.parent_path());
                        fs::copy_file(catalogFiles / "packages" / "viewer.zip", viewerPackage);
                      },
                      [&](ProgramRun& program) {
                        // Ignored until the sizing has found everything present.
                        ASSERT_TRUE(WaitUntil([&] {
                          PostMessageW(program.window, WM_COMMAND,
                                       MAKEWPARAM(kLaunchCommand, BN_CLICKED), 0);
                          return !program.process.Running() || !JournalLines(journal).empty();
                        }));
                      },
                      {"viewer|-appid|e2e-viewer"},
                      true,
                      false,
                      "6|0",
                      [&](const std::string& log) {
                        EXPECT_TRUE(RangeOffsets(log, "/packages/viewer.zip").empty());
                      },
                      broadcast};
  };

  // The viewer's setup is signed by the publisher of HALVORA_E2E_PIN.
  auto pinnedViewer = [&](const char* what, const std::string& pin, bool runs) {
    SessionRun run{what,
                   "e2e-viewer",
                   L"Sample Viewer",
                   true,
                   "",
                   [&] {
                     std::error_code error;
                     fs::remove_all(apps / "e2e-viewer", error);
                   },
                   nullptr,
                   {},
                   false,
                   false,
                   nullptr,
                   nullptr};
    run.publisher = pin;
    if (runs) {
      run.journal = {"viewer|-appid|e2e-viewer"};
      run.appFolder = true;
      run.record = "6|0";
    } else {
      run.drive = [](ProgramRun& program) {
        const HWND notice = program.WaitForMessageBox();
        ASSERT_TRUE(notice) << "no notice";
        EXPECT_TRUE(Contains(program.process.DebugStrings(), "publisher check refused "));
        ProgramRun::Answer(notice, true);
      };
    }
    return run;
  };

  const std::string portablePath = "/packages/portable/portable.zip";
  // Neither installed nor partly fetched.
  auto freshPortable = [&] {
    std::error_code error;
    fs::remove_all(apps / "e2e-portable", error);
    fs::remove_all(temp / "e2e-portable", error);
  };
  // The server holds the package after 400000 bytes; past a quarter of a
  // mebibyte the program is killed.
  auto killedAtHalf = [&](const char* what, std::function<void()> before) {
    SessionRun run{
        what,
        "e2e-portable",
        L"Sample Portable",
        true,
        "stall=400000",
        std::move(before),
        [&](ProgramRun& program) {
          waitForBytes(package, 256 * 1024);
          program.Kill();
        },
        {},
        false,
        true,
        nullptr,
        [&](const std::string&) { EXPECT_TRUE(fs::exists(package.wstring() + L".part.xml")); }};
    run.killed = true;
    return run;
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
      {"the description held: the window shows at once, and its close button ends the run at "
       "once",
       "e2e-program",
       L"",
       true,
       "hold=on",
       nullptr,
       [&](ProgramRun& program) {
         RECT box{}, work{};
         GetWindowRect(program.window, &box);
         SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
         EXPECT_EQ(box.right - box.left, 396);
         EXPECT_EQ(box.bottom - box.top, 234);
         // Centred in the work area (to the pixel that an odd margin leaves).
         EXPECT_LE(std::abs((box.left - work.left) - (work.right - box.right)), 1);
         EXPECT_LE(std::abs((box.top - work.top) - (work.bottom - box.bottom)), 1);
         EXPECT_FALSE(IsWindowEnabled(GetDlgItem(program.window, kCancelCommand)));
         // What screen readers call the buttons and the bar.
         const std::pair<UINT, const wchar_t*> names[] = {{kCloseCommand, L"关闭"},
                                                          {kPauseCommand, L"暂停"},
                                                          {kCancelCommand, L"取消"},
                                                          {kLaunchCommand, L"运行"}};
         for (const auto& [id, name] : names)
           EXPECT_EQ(TextOf(GetDlgItem(program.window, id)), name) << id;
         EXPECT_EQ(TextOf(FindWindowExW(program.window, nullptr, L"#32770", nullptr)),
                   L"下载进度 0%");
         // No question: nothing has been fetched. The server goes on holding
         // the answer.
         command(program.window, kCloseCommand);
       },
       {},
       false,
       false,
       nullptr,
       nullptr},
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
       [&](ProgramRun& program) {
         // The server holds the package after 200000 bytes: the pause is
         // raised while the transfer waits, and takes effect at its next read.
         waitForBytes(package, 64 * 1024);
         const HWND bar = FindWindowExW(program.window, nullptr, L"#32770", nullptr);
         EXPECT_TRUE(WaitUntil([&] { return TextOf(bar) != L"下载进度 0%"; })) << "the bar's name";
         const HWND pause = GetDlgItem(program.window, kPauseCommand);
         command(program.window, kPauseCommand);
         EXPECT_TRUE(WaitUntil([&] { return TextOf(pause) == L"继续"; }));
         Control("reset");
         command(program.window, kPauseCommand);
         EXPECT_TRUE(WaitUntil([&] { return TextOf(pause) == L"暂停"; }));
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
      pinnedViewer("pinned to another publisher than the setup's: the notice, nothing runs, and "
                   "nothing fetched is kept",
                   Env("HALVORA_E2E_OTHER_PIN"), false),
      pinnedViewer("pinned to the setup's publisher among others: it runs",
                   Env("HALVORA_E2E_OTHER_PIN") + "," + Env("HALVORA_E2E_PIN"), true),
      launchedWithAllPresent("everything present: nothing is fetched, the launch command installs",
                             false),
      // The setup waits for every window to take its message, the program's
      // own included: the installation must not hold up the window's thread.
      launchedWithAllPresent("everything present, the launch command installs with a setup that "
                             "broadcasts a setting change",
                             true),
      {"cancel answered no, then yes, with the application present",
       "e2e-viewer",
       L"Sample Viewer",
       true,
       "stall=200000",
       nullptr,
       [&](ProgramRun& program) {
         waitForBytes(viewerPackage, 64 * 1024);
         PostMessageW(program.window, WM_COMMAND, MAKEWPARAM(kCancelCommand, BN_CLICKED), 0);
         answer(program, false);
         // Released, the interrupted transfer goes on where it stopped, and
         // is held again 400000 bytes further.
         Control("reset");
         Control("fault?stall=400000");
         ASSERT_TRUE(WaitUntil(
             [&] { return RangeOffsets(ServerLog(), "/packages/viewer.zip").size() == 1; }));
         PostMessageW(program.window, WM_COMMAND, MAKEWPARAM(kCancelCommand, BN_CLICKED), 0);
         answer(program, true);
         // The server goes on holding the transfer: the cancel must reach
         // it all the same, or the process stays.
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
      {"a line cut every 300000 bytes: each cut is retried from where it ended, and installs",
       "e2e-portable",
       L"Sample Portable",
       true,
       "cut=300000",
       freshPortable,
       nullptr,
       {"portable|-appid|e2e-portable"},
       true,
       false,
       "3|3",
       [&](const std::string& log) {
         const std::vector<long> offsets = RangeOffsets(log, portablePath);
         const auto size = fs::file_size(catalogFiles / "packages" / "portable" / "portable.zip");
         ASSERT_GE(size, 3 * 300000u);  // cut three times at least
         ASSERT_EQ(offsets.size(), (size + 299999) / 300000) << log;
         for (size_t i = 0; i < offsets.size(); ++i) EXPECT_EQ(offsets[i], long(i) * 300000);
       }},
      killedAtHalf("killed mid-transfer: the partial file and its record stay", freshPortable),
      {"the next run continues the partial file, if it is still the same version",
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
       [&](const std::string& log) {
         const std::vector<long> offsets = RangeOffsets(log, portablePath);
         ASSERT_EQ(offsets.size(), 1u) << log;
         EXPECT_GE(offsets[0], 256 * 1024);
         EXPECT_NE(log.find("> If-Range: "), std::string::npos) << log;
       }},
      killedAtHalf("killed mid-transfer once more", freshPortable),
      {"the package changed on the server since: the next run starts over",
       "e2e-portable",
       L"Sample Portable",
       true,
       "",
       [&] {
         const fs::path served = catalogFiles / "packages" / "portable" / "portable.zip";
         fs::last_write_time(served, fs::last_write_time(served) + std::chrono::hours(1));
       },
       nullptr,
       {"portable|-appid|e2e-portable"},
       true,
       false,
       "3|3",
       [&](const std::string& log) {
         EXPECT_EQ(RangeOffsets(log, portablePath), std::vector<long>{0}) << log;
       }},
      {"a package the server refuses: the session pauses, and the user's resume installs",
       "e2e-portable",
       L"Sample Portable",
       true,
       "",
       [&] {
         freshPortable();
         fs::rename(catalogFiles / "packages" / "portable" / "portable.zip",
                    catalogFiles / "packages" / "portable" / "away.zip");
       },
       [&](ProgramRun& program) {
         ASSERT_TRUE(WaitUntil([&] {
           return Contains(program.process.DebugStrings(),
                           "download paused: refused by the server");
         }));
         EXPECT_TRUE(program.process.Running()) << "the window must stay";
         fs::rename(catalogFiles / "packages" / "portable" / "away.zip",
                    catalogFiles / "packages" / "portable" / "portable.zip");
         command(program.window, kPauseCommand);
       },
       {"portable|-appid|e2e-portable"},
       true,
       false,
       "3|3",
       nullptr},
      {"copies meet: a second one of a running copy ends silently, one for another id runs "
       "beside it, and closing a window asks first",
       "e2e-portable",
       L"Sample Portable",
       true,
       "stall=200000",
       nullptr,
       [&](ProgramRun& first) {
         const std::vector<std::string> listed = first.process.DebugStrings();
         EXPECT_TRUE(Contains(listed, "download list: "));
         EXPECT_TRUE(Contains(
             listed, "download item: kind=http remote=" + url +
                         "packages/portable/portable.zip local=" + WideToAnsi(package.wstring())))
             << ::testing::PrintToString(listed);

         // A second copy for the same application ends at once, silently:
         // no request, no output, no window; the first one runs on.
         DebuggedProcess second({first.exe.wstring()});
         ASSERT_TRUE(second.Started());
         DWORD exitCode = 1;
         ASSERT_TRUE(second.WaitForExit(exitCode));
         EXPECT_EQ(exitCode, 0u);
         EXPECT_TRUE(second.DebugStrings().empty())
             << ::testing::PrintToString(second.DebugStrings());
         EXPECT_TRUE(first.process.Running());
         EXPECT_EQ(CountVisibleTitled(L"Sample Portable"), 1);
         EXPECT_EQ(Count(ServerLog(), "<AppItem appId=\"e2e-portable\" />"), 1u);

         // A copy for another application runs beside it.
         ProgramRun other(Stamp("e2e-viewer"), L"Sample Viewer");
         ASSERT_TRUE(other.window) << "no window titled Sample Viewer";
         EXPECT_TRUE(Contains(other.process.DebugStrings(), "download list: "));
         EXPECT_TRUE(first.process.Running());

         // Closing a window ends its copy; while the session runs it asks
         // first, and the answer yes ends it (with the application present,
         // its temporary folder goes).
         for (ProgramRun* copy : {&first, &other}) {
           PostMessageW(copy->window, WM_CLOSE, 0, 0);
           answer(*copy, true);
         }
         Control("reset");  // the held transfers end at their next read
         ASSERT_TRUE(other.WaitForEnd(exitCode, kRunLimit)) << "the other copy did not end";
         EXPECT_EQ(exitCode, 0u);
       },
       {},
       true,
       false,
       nullptr,
       nullptr},
      {"an application the platform does not know: its notice alone, and no session",
       "no-such-app",
       kMessageBoxTitle,
       true,
       "",
       nullptr,
       [&](ProgramRun& program) {
         RECT box{}, main{};
         GetWindowRect(program.window, &box);  // the program's own message box, text drawn
         EXPECT_EQ(box.right - box.left, 262);
         EXPECT_EQ(box.bottom - box.top, 160);
         // Over the main window, which has shown since the start, untitled.
         GetWindowRect(VisibleWindowTitled(program.process.Id(), L""), &main);
         EXPECT_EQ(box.left + box.right, main.left + main.right);
         EXPECT_EQ(box.top + box.bottom, main.top + main.bottom);
         EXPECT_EQ(VisibleWindows(program.process.Id()), 2) << "the window and the notice";
         ProgramRun::Answer(program.window, true);
         DWORD exitCode = 1;
         ASSERT_TRUE(program.WaitForEnd(exitCode, kRunLimit));
         EXPECT_FALSE(Contains(program.process.DebugStrings(), "download list: "));
       },
       {},
       false,
       false,
       nullptr,
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
    SetEnvironmentVariableW(kBroadcastVariable, run.broadcast ? L"1" : nullptr);

    ProgramRun program(Stamp(run.id, run.publisher), run.title);
    ASSERT_TRUE(program.process.Started());
    if (run.drive) {
      ASSERT_TRUE(program.window) << "no window titled " << WideToAnsi(run.title);
      run.drive(program);
    }
    DWORD exitCode = 1;
    ASSERT_TRUE(program.WaitForEnd(exitCode, kRunLimit))
        << "the program did not end within " << kRunLimit.count() << " s";
    EXPECT_EQ(exitCode, run.killed ? 9u : 0u);
    // The platform client's package comes from the public file host the
    // build names.
    for (const std::string& said : program.process.DebugStrings()) {
      if (said.find("OrbantaCenter_Client.zip") == std::string::npos) continue;
      EXPECT_NE(said.find(std::string("remote=http://") + build_config::kPublicFileHost + "/"),
                std::string::npos)
          << said;
    }

    // A copy that pins no publisher says so for each program it starts.
    EXPECT_EQ(Contains(program.process.DebugStrings(), "started without a publisher check: "),
              run.publisher.empty() && !run.journal.empty());
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

// A copy started from a folder where someone planted libraries under the
// names of the system DLLs it uses, with Wine told to prefer such files to
// its own (WINEDLLOVERRIDES, which Wine reads only from the environment the
// suite started with: tests/e2e/CMakeLists.txt): it loads none of them, and
// installs.
TEST_F(EndToEnd, LibrariesPlantedBesideTheProgramAreNotLoaded) {
  const fs::path folder = work / "planted";
  fs::create_directories(folder);
  const fs::path copy = folder / "e2e-viewer.exe";
  fs::copy_file(Stamp("e2e-viewer"), copy);
  for (const wchar_t* name :
       {L"wininet", L"wtsapi32", L"wintrust", L"crypt32", L"bcrypt", L"comctl32"}) {
    fs::copy_file(WinePath(HALVORA_FIXTURE_DIR "/planted.dll"),
                  folder / (name + std::wstring(L".dll")));
  }
  auto loaded = [&] {
    std::vector<std::string> markers;
    for (const auto& entry : fs::directory_iterator(folder))
      if (entry.path().extension() == ".loaded")
        markers.push_back(entry.path().filename().string());
    return markers;
  };

  // A program that takes no care loads the planted one.
  fs::copy_file(WinePath(HALVORA_FIXTURE_DIR "/load-probe.exe"), folder / "load-probe.exe");
  RunProcess({(folder / "load-probe.exe").wstring(), L"wtsapi32.dll"});
  ASSERT_EQ(loaded(), std::vector<std::string>{"wtsapi32.dll.loaded"})
      << "the planting does not take";
  fs::remove(folder / "wtsapi32.dll.loaded");

  InstallClient();
  ProgramRun program(copy, L"Sample Viewer");
  DWORD exitCode = 1;
  ASSERT_TRUE(program.WaitForEnd(exitCode, kRunLimit));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(loaded(), std::vector<std::string>{});
  EXPECT_TRUE(fs::exists(apps / "e2e-viewer" / "LocalCfg.xml"));
}

}  // namespace
}  // namespace halvora::test
