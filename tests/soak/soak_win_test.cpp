// Reliability of the whole program under abuse: stamped copies of halvora.exe
// under Wine against the peers of tests/soak/with-soak-servers, each package
// 20 MiB on a throttled line.
//
//  - Pause and resume: a driver presses pause and resume at seeded random
//    moments while the package downloads over HTTP (reference server) and
//    FTP (pyftpdlib). The servers hold every request for the package until a
//    watcher has compared the offset asked with the bytes the partial file
//    holds; every completed run must install byte-identical files.
//  - Kills: runs killed by process id at random moments from the sizing pass
//    to the record write, then started again: the installation is
//    byte-identical, installedApp.xml parses and grows by exactly one record
//    per completed installation, and no temporary file of its writer stays.
//  - Hostile servers: each answered without a crash, a hang, or a package
//    taken for complete when it is not.
//
// A watchdog bounds every run: a run that does not end fails the test, and
// the launcher keeps the servers' logs.
//
// HALVORA_SOAK_SEED fixes the seed (printed either way); HALVORA_SOAK_CYCLES
// and HALVORA_SOAK_KILLS set the counts (default: the short form).
#include <windows.h>

#include <tinyxml.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "env/platform_client.h"
#include "tests/fixtures/fake_setup.h"
#include "tests/support/peer_files.h"
#include "tests/support/stamped_program.h"
#include "tests/support/win_peer.h"
#include "tests/support/win_process.h"

namespace halvora::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr UINT kPauseCommand = 1125;
constexpr UINT kLaunchCommand = 1126;
constexpr int kShortFormCycles = 50;
constexpr int kShortFormKills = 5;
// Pauses come after up to this long of running, and last up to this long.
constexpr int kMaxRunningMs = 400;
constexpr int kMaxPausedMs = 150;
// Far beyond any run here; a run that takes longer has hung.
constexpr auto kRunLimit = 240s;
constexpr auto kWatcherPoll = 5ms;
// A kill aimed at the record write comes up to this long after the temporary
// folder is gone: the record is written next, then the program ends.
constexpr int kMaxKillAfterCleanUpMs = 20;
constexpr size_t kServiceCeiling = size_t{64} << 20;

int EnvNumber(const char* name, int fallback) {
  const std::string text = Env(name);
  return text.empty() ? fallback : std::stoi(text);
}

// Processes whose program file is named `exe`: setups that a killed run
// started go on by themselves.
int CountProcesses(const wchar_t* exe) {
  win::KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry))
    count += _wcsicmp(entry.szExeFile, exe) == 0;
  return count;
}

// One application of the soak catalog.
struct SoakApp {
  std::string id;
  std::wstring title;
  bool ftp;
  std::string record;  // the type text of its record
};

const SoakApp kHttpApp{"soak-http", L"Soak HTTP", false, "3|3"};
const SoakApp kFtpApp{"soak-ftp", L"Soak FTP", true, "3|1"};

// What the watcher saw of one request for the package.
struct Resume {
  std::uintmax_t asked;    // offset the request asked for
  std::uintmax_t present;  // bytes of the local file while it was held
};

// Lines of a log, from a position on; the position moves past complete lines.
std::vector<std::string> NewLines(const std::string& text, size_t& from) {
  std::vector<std::string> lines;
  while (from < text.size()) {
    const size_t end = text.find('\n', from);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}

struct Records {
  bool parsed = false;
  std::vector<std::pair<std::string, std::string>> items;  // appid, type
};

Records ReadRecords(const fs::path& path) {
  Records records;
  if (!fs::exists(path)) {
    records.parsed = true;
    return records;
  }
  TiXmlDocument document;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return records;
  records.parsed = document.LoadFile(file);
  fclose(file);
  const TiXmlElement* root = document.RootElement();
  if (!records.parsed || !root || std::string(root->Value()) != "root") {
    records.parsed = false;
    return records;
  }
  for (const TiXmlElement* item = root->FirstChildElement(); item;
       item = item->NextSiblingElement()) {
    const char* id = item->Attribute("appid");
    const char* type = item->Attribute("type");
    if (std::string(item->Value()) != "item" || !id || !type) {
      records.parsed = false;
      return records;
    }
    records.items.emplace_back(id, type);
  }
  return records;
}

const std::vector<std::string> kSoakIds = {"soak-http",       "soak-ftp",     "soak-ftp-masquerade",
                                           "soak-ftp-nosize", "soak-ftp-cut", "soak-ftp-stall"};

class Soak : public StampedProgramTest {
 public:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(UsePeers("HALVORA_SOAK", "tests/soak/with-soak-servers"));
    catalog = WinePath(Env("HALVORA_SOAK_CATALOG"));
    ftpLog = WinePath(Env("HALVORA_SOAK_FTP_LOG"));
    ftpHold = WinePath(Env("HALVORA_SOAK_FTP_HOLD"));
    rate = EnvNumber("HALVORA_SOAK_RATE", 4 << 20);
    RemoveRuns(kSoakIds);
    if (!IsPlatformClientInstalled()) InstallClient();
    if (sample.empty()) sample = Bytes(catalog / "soak-sample.exe");
    ASSERT_EQ(sample.size(), size_t{20} << 20);

    const std::string seedText = Env("HALVORA_SOAK_SEED");
    seed = seedText.empty() ? std::random_device{}() : static_cast<unsigned>(std::stoul(seedText));
    std::printf("soak seed: %u (HALVORA_SOAK_SEED=%u repeats it)\n", seed, seed);
    RecordProperty("seed", std::to_string(seed));
    random.seed(seed);
  }
  void TearDown() override {
    WaitForSetups();
    RemoveRuns(kSoakIds);
    StampedProgramTest::TearDown();
  }

  // The local package, its full size, and the file the setup installs from it.
  fs::path Package(const std::string& id) const { return temp / id / "soak.zip"; }
  std::uintmax_t PackageSize(const SoakApp& app) const {
    return SizeOf(catalog / "files" /
                  (app.ftp ? "downloadclientprog/clients/soak.zip" : "packages/soak/soak.zip"));
  }
  fs::path Installed(const SoakApp& app) const {
    return app.ftp ? appData / kProgramFolder / kProgramFile : apps / app.id / "1.0" / kSampleApp;
  }
  std::string TrickleFault() const {
    // The reference server sends a piece every 2 ms.
    return "trickle=" + std::to_string(std::max(1, rate / 500));
  }

  // Setups left running by a killed run finish before anything is looked at
  // or started again.
  void WaitForSetups() {
    EXPECT_TRUE(WaitUntil([] { return CountProcesses(L"setup.exe") == 0; }, 120s))
        << "a setup did not end";
  }

  void ResetServers(const std::string& faults) {
    Control("reset");
    if (!faults.empty()) Control("fault?" + faults);
  }

  fs::path catalog, ftpLog, ftpHold;
  int rate = 0;
  unsigned seed = 0;
  std::mt19937 random;
  static std::string sample;
  // Retrievals released so far on the soak FTP server, and how much of its
  // log was read: both run on across runs and tests.
  static uint64_t ftpReleased;
  static size_t ftpLogRead;
};

std::string Soak::sample;
uint64_t Soak::ftpReleased = 0;
size_t Soak::ftpLogRead = 0;

// Releases every held request and checks those for the package: runs beside a
// program until stopped.
class Watcher {
 public:
  Watcher(Soak& soak, const SoakApp& app, std::function<void(const std::string&)> onPackage = {})
      : soak(soak), app(app), onPackage(std::move(onPackage)), thread([this] { Run(); }) {}
  ~Watcher() { Stop(); }
  void Stop() {
    stop = true;
    if (thread.joinable()) thread.join();
  }

  std::vector<Resume> resumes;  // read after Stop
  std::vector<std::string> errors;

 private:
  void Run() {
    while (!stop) {
      if (app.ftp) {
        WatchFtp();
      } else {
        WatchHttp();
      }
      std::this_thread::sleep_for(kWatcherPoll);
    }
    // Nothing may stay held for the next run.
    if (app.ftp) {
      WatchFtp();
    } else {
      WatchHttp();
    }
  }

  // "hold K GET /packages/soak/soak.zip range bytes=N-"
  void WatchHttp() {
    const std::string log = soak.ServerLog();
    uint64_t releaseThrough = 0;
    for (const std::string& line : NewLines(log, httpRead)) {
      if (line.rfind("hold ", 0) != 0) continue;
      std::istringstream fields(line.substr(5));
      uint64_t number = 0;
      std::string method, target, rangeWord, range;
      fields >> number >> method >> target >> rangeWord >> range;
      if (target == "/packages/soak/soak.zip" && range.rfind("bytes=", 0) == 0) {
        Check(std::stoull(range.substr(6)), line);
      }
      releaseThrough = std::max(releaseThrough, number);
    }
    if (releaseThrough > 0)
      HttpGet(soak.url + "_control/release?through=" + std::to_string(releaseThrough));
  }

  // "hold K /clients/soak.zip from N"
  void WatchFtp() {
    const std::string log = ReadBytes(WideToAnsi(soak.ftpLog.wstring()));
    uint64_t releaseThrough = 0;
    for (const std::string& line : NewLines(log, soak.ftpLogRead)) {
      if (line.rfind("hold ", 0) != 0) continue;
      std::istringstream fields(line.substr(5));
      uint64_t number = 0;
      std::string path, from;
      std::uintmax_t offset = 0;
      fields >> number >> path >> from >> offset;
      if (path == "/clients/soak.zip") Check(offset, line);
      releaseThrough = std::max(releaseThrough, number);
    }
    if (releaseThrough > soak.ftpReleased) {
      soak.ftpReleased = releaseThrough;
      WriteBytes(WideToAnsi(soak.ftpHold.wstring()), std::to_string(releaseThrough) + "\n");
    }
  }

  void Check(std::uintmax_t asked, const std::string& line) {
    // While the request is held no byte of its answer can reach the file:
    // what the file holds is what the program had when it asked.
    const std::uintmax_t present = SizeOf(soak.Package(app.id));
    resumes.push_back({asked, present});
    if (asked != present)
      errors.push_back(line + ": asked from " + std::to_string(asked) + " with " +
                       std::to_string(present) + " bytes present");
    if (onPackage) onPackage(line);
  }

  Soak& soak;
  const SoakApp& app;
  std::function<void(const std::string&)> onPackage;
  size_t httpRead = 0;
  std::atomic<bool> stop{false};
  std::thread thread;
};

// Presses pause and resume at random moments while the package is incomplete.
class Driver {
 public:
  Driver(ProgramRun& run, const fs::path& package, std::uintmax_t packageSize, std::mt19937& random,
         int cycles)
      : run(run),
        package(package),
        packageSize(packageSize),
        random(random),
        cycles(cycles),
        thread([this] { Run(); }) {}
  ~Driver() {
    stop = true;
    thread.join();
  }
  int Cycles() const { return done; }

 private:
  void Run() {
    std::uniform_int_distribution<int> running(0, kMaxRunningMs), paused(0, kMaxPausedMs);
    while (!stop && done < cycles && run.process.Running()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(running(random)));
      // A press once the package is complete would meet the installation.
      if (stop || !run.process.Running() || SizeOf(package) >= packageSize) continue;
      if (!run.Press(kPauseCommand)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(paused(random)));
      if (!run.Press(kPauseCommand)) break;
      ++done;
    }
  }

  ProgramRun& run;
  fs::path package;
  std::uintmax_t packageSize;
  std::mt19937& random;
  int cycles;
  std::atomic<int> done{0};
  std::atomic<bool> stop{false};
  std::thread thread;
};

// ---- pause and resume

TEST_F(Soak, PauseAndResumeAtRandomMomentsInstallTheSameBytes) {
  const int cycles = EnvNumber("HALVORA_SOAK_CYCLES", kShortFormCycles);
  int cyclesDone = 0, runs = 0, resumesChecked = 0;
  size_t expectedRecords = 0;
  const auto began = Clock::now();
  for (const SoakApp* app : {&kHttpApp, &kFtpApp}) {
    // Half the cycles on each line.
    const int target = app == &kHttpApp ? cycles / 2 : cycles;
    do {
      SCOPED_TRACE(app->id + " run " + std::to_string(runs + 1));
      // The soak FTP server holds every retrieval by itself.
      ResetServers(app->ftp ? "" : TrickleFault() + "&hold=on");
      RemoveProgram();
      // The watcher first: the program's requests wait for it.
      Watcher watcher(*this, *app);
      ProgramRun run(Stamp(app->id), app->title);
      ASSERT_TRUE(run.window) << "no window";
      DWORD exitCode = 1;
      bool ended = false;
      {
        Driver driver(run, Package(app->id), PackageSize(*app), random, target - cyclesDone);
        ended = run.WaitForEnd(exitCode, kRunLimit);
        cyclesDone += driver.Cycles();
      }
      watcher.Stop();
      ++runs;
      ASSERT_TRUE(ended) << "watchdog: the run did not end within "
                         << std::chrono::duration_cast<std::chrono::seconds>(kRunLimit).count()
                         << " s";
      EXPECT_EQ(exitCode, 0u);
      EXPECT_EQ(watcher.errors, std::vector<std::string>());
      ASSERT_FALSE(watcher.resumes.empty());
      EXPECT_EQ(watcher.resumes.front().asked, 0u);
      resumesChecked += static_cast<int>(watcher.resumes.size()) - 1;
      ASSERT_TRUE(Bytes(Installed(*app)) == sample) << "installed file differs";
      EXPECT_FALSE(fs::exists(temp / app->id));
      const Records now = ReadRecords(records);
      ASSERT_TRUE(now.parsed);
      ASSERT_EQ(now.items.size(), ++expectedRecords);
      EXPECT_EQ(now.items.back(), std::make_pair(app->id, app->record));
    } while (cyclesDone < target);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();
  std::printf("soak pause/resume: %d cycles, %d runs, %d resumes checked, %.0f s\n", cyclesDone,
              runs, resumesChecked, seconds);
  RecordProperty("cycles", cyclesDone);
  RecordProperty("runs", runs);
  RecordProperty("resumes", resumesChecked);
}

// ---- kills

TEST_F(Soak, KilledRunsStartedAgainInstallOnceAndKeepTheRecordsWhole) {
  const int kills = EnvNumber("HALVORA_SOAK_KILLS", kShortFormKills);
  // How long whole runs take, and how long a run goes on once the
  // installation program has started (setup, check, clean-up, record):
  // learnt from the runs that ended by themselves.
  std::vector<std::chrono::milliseconds> runLengths;
  auto typicalRun = [&] {
    if (runLengths.empty())
      return std::chrono::milliseconds(int64_t{1000} * (int64_t{20} << 20) / rate) + 2s;
    std::vector<std::chrono::milliseconds> sorted = runLengths;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
  };
  std::chrono::milliseconds tail = 300ms;
  size_t expected = 0;
  int done = 0, attempts = 0, killedInTransfer = 0, killedInInstall = 0, afterRecord = 0,
      inRecordWrite = 0;
  // A run that ends before its moment is not a kill; the next one is tried.
  while (done < kills && attempts < 4 * kills) {
    const SoakApp& app = attempts % 2 == 0 ? kHttpApp : kFtpApp;
    ++attempts;
    SCOPED_TRACE(app.id + " attempt " + std::to_string(attempts));
    ResetServers(app.ftp ? "" : TrickleFault());
    std::error_code error;
    fs::remove(journal, error);
    // Half the kills at any moment of a run, a quarter within its
    // installation, a quarter just after the temporary folder is gone, where
    // the record is written.
    const int aim = std::uniform_int_distribution<int>(0, 3)(random);
    const auto moment = std::chrono::milliseconds(
        std::uniform_int_distribution<int64_t>(0, aim == 3   ? kMaxKillAfterCleanUpMs
                                                  : aim == 2 ? tail.count()
                                                             : typicalRun().count())(random));
    bool killed = false;
    {
      Watcher watcher(*this, app);
      ProgramRun run(Stamp(app.id), app.title);
      ASSERT_TRUE(run.process.Started());
      if (aim >= 2) {
        WaitUntil([&] { return fs::exists(journal) || !run.process.Running(); }, kRunLimit);
        if (aim == 3) {
          const auto limit = Clock::now() + kRunLimit;
          while (fs::exists(temp / app.id) && run.process.Running() && Clock::now() < limit)
            Sleep(1);
        }
        std::this_thread::sleep_for(moment);
      } else {
        WaitUntil([&] { return !run.process.Running(); }, moment);
      }
      killed = run.process.Running();
      if (killed) {
        const bool installing = fs::exists(journal);
        run.Kill();
        (installing ? killedInInstall : killedInTransfer)++;
        ++done;
      }
      DWORD exitCode = 1;
      ASSERT_TRUE(run.WaitForEnd(exitCode, kRunLimit)) << "watchdog: the run did not end";
      if (!killed) {
        EXPECT_EQ(exitCode, 0u);
        runLengths.push_back(run.Age());
      }
      watcher.Stop();
      EXPECT_EQ(watcher.errors, std::vector<std::string>());
    }
    WaitForSetups();

    if (killed) {
      // The killed run wrote its record or did not: nothing in between.
      const Records afterKill = ReadRecords(records);
      ASSERT_TRUE(afterKill.parsed) << "installedApp.xml does not parse after the kill";
      ASSERT_TRUE(afterKill.items.size() == expected || afterKill.items.size() == expected + 1);
      afterRecord += afterKill.items.size() == expected + 1;
      // A copy of the records that the killed writer had not put in place
      // yet: the kill came within the record write. The next writer removes it.
      std::error_code listing;
      for (const auto& entry : fs::directory_iterator(recordFolder, listing))
        inRecordWrite += entry.path().filename().wstring() != L"installedApp.xml";
      expected = afterKill.items.size();
      fs::remove(journal, error);

      // Started again: the package may be complete already, in which case
      // the program waits for the launch button.
      Watcher watcher(*this, app);
      ProgramRun again(Stamp(app.id), app.title);
      ASSERT_TRUE(again.window) << "no window";
      std::optional<Clock::time_point> setupSeen;
      WaitUntil(
          [&] {
            if (!setupSeen && fs::exists(journal)) setupSeen = Clock::now();
            if (!again.process.Running()) return true;
            PostMessageW(GetDlgItem(again.window, kLaunchCommand), BM_CLICK, 0, 0);
            return false;
          },
          kRunLimit);
      if (setupSeen)
        tail = std::max(
            tail, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *setupSeen));
      DWORD exitCode = 1;
      ASSERT_TRUE(again.WaitForEnd(exitCode, kRunLimit))
          << "watchdog: the run started again did not end";
      watcher.Stop();
      EXPECT_EQ(watcher.errors, std::vector<std::string>());
      EXPECT_EQ(exitCode, 0u);
      WaitForSetups();
    }

    ASSERT_TRUE(Bytes(Installed(app)) == sample) << "installed file differs";
    EXPECT_FALSE(fs::exists(temp / app.id));
    const Records now = ReadRecords(records);
    ASSERT_TRUE(now.parsed) << "installedApp.xml does not parse";
    ASSERT_EQ(now.items.size(), ++expected);
    EXPECT_EQ(now.items.back(), std::make_pair(app.id, app.record));
    for (const auto& entry : fs::directory_iterator(recordFolder))
      EXPECT_EQ(entry.path().filename().wstring(), L"installedApp.xml") << "left behind";
    RemoveProgram();
  }
  EXPECT_EQ(done, kills) << "too many runs ended before their moment";
  std::printf(
      "soak kills: %d runs killed in %d attempts: %d before the installation program, %d after "
      "it started (%d within the record write, %d after it)\n",
      done, attempts, killedInTransfer, killedInInstall, inRecordWrite, afterRecord);
  RecordProperty("kills", done);
  RecordProperty("killedInTransfer", killedInTransfer);
  RecordProperty("killedInInstall", killedInInstall);
  RecordProperty("killedInRecordWrite", inRecordWrite);
  RecordProperty("killedAfterRecord", afterRecord);
}

// ---- hostile servers

struct HostileCase {
  const char* what;
  const SoakApp* app;
  std::string faults;          // from the start of the run
  std::string faultsOnResume;  // switched on while the resumed request is held
  bool notice;                 // the application-information notice, then the end
  bool installs;
  std::string logHas;  // a text the server's log must hold afterwards
  // A text the program's debugger output must not hold (its report of a
  // download that completed).
  const char* neverSaid = nullptr;
};

TEST_F(Soak, HostileServersNeverCrashHangOrInstallAnIncompletePackage) {
  const SoakApp masquerade{"soak-ftp-masquerade", L"Soak FTP masquerade", true, "3|1"};
  const SoakApp noSize{"soak-ftp-nosize", L"Soak FTP no size", true, "3|1"};
  const SoakApp cut{"soak-ftp-cut", L"Soak FTP cut", true, "3|1"};
  const SoakApp stall{"soak-ftp-stall", L"Soak FTP stall", true, "3|1"};
  const std::string bomb = "pad=" + std::to_string(kServiceCeiling + 1);
  const std::string trickle = TrickleFault();
  const char* const ftpOk = "--DownloadFile---- ftp download file ok!";
  const HostileCase cases[] = {
      {"description: a gzip stream cut in half", &kHttpApp, "gzip=truncated", "", true, false, ""},
      {"description: gzip inflating past 64 MiB", &kHttpApp, bomb, "", true, false, ""},
      {"description: 64 MiB + 1 as it is", &kFtpApp, bomb, "", true, false, ""},
      {"package: body shorter than its length", &kHttpApp, trickle + "&cut=5000000", "", false,
       false, ""},
      {"package: connection reset mid-body", &kHttpApp, trickle + "&reset=5000000", "", false,
       false, ""},
      {"package: 200 with everything to the resume", &kHttpApp, trickle + "&hold=on",
       "range=ignore", false, true, "< 200 (faults: " + trickle + " hold=on range=ignore)"},
      {"package: 206 starting elsewhere than asked", &kHttpApp, trickle + "&hold=on",
       "range-shift=5", false, false, "< 206 (faults: " + trickle + " hold=on range-shift=5)"},
      {"FTP: PASV naming another host", &masquerade, "", "", false, true, ""},
      {"FTP: SIZE refused", &noSize, "", "", false, false, "", ftpOk},
      {"FTP: data connection closed early, reported complete", &cut, "", "", false, false, "",
       ftpOk},
      // The client's receive time-out (10 s) ends it; the program does not
      // wait for the server.
      {"FTP: data stalling mid-way", &stall, "", "", false, false, "", ftpOk},
  };
  size_t expectedRecords = 0;
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    const SoakApp& app = *c.app;
    ResetServers(c.faults);
    RemoveProgram();
    std::error_code error;
    fs::remove_all(temp / app.id, error);
    fs::remove_all(apps / app.id, error);

    std::atomic<bool> resumed{false};
    // The resumed request is held while the fault is switched on.
    Watcher watcher(*this, app, [&](const std::string& line) {
      if (!c.faultsOnResume.empty() && line.find("range bytes=0-") == std::string::npos) {
        HttpGet(url + "_control/fault?" + c.faultsOnResume);
        resumed = true;
      }
    });
    ProgramRun run(Stamp(app.id), app.title);
    ASSERT_TRUE(run.process.Started());
    if (!c.faultsOnResume.empty()) {
      ASSERT_TRUE(run.window) << "no window";
      // One pause once a mebibyte is in.
      ASSERT_TRUE(WaitUntil([&] { return SizeOf(Package(app.id)) >= (1u << 20); }, kRunLimit));
      run.Press(kPauseCommand);
      run.Press(kPauseCommand);
    }
    if (c.notice) {
      const HWND notice = run.WaitForMessageBox(kRunLimit);
      ASSERT_TRUE(notice) << "no notice";
      // The program's own message box (its text is drawn): nothing else shows.
      EXPECT_EQ(VisibleWindows(run.process.Id()), 1) << "only the notice shows";
      ProgramRun::Answer(notice, true);
    }
    DWORD exitCode = 1;
    ASSERT_TRUE(run.WaitForEnd(exitCode, kRunLimit)) << "watchdog: the run did not end by itself";
    watcher.Stop();
    EXPECT_EQ(watcher.errors, std::vector<std::string>());
    EXPECT_EQ(resumed.load(), !c.faultsOnResume.empty()) << "the resumed request";
    EXPECT_EQ(exitCode, 0u);
    WaitForSetups();

    EXPECT_EQ(fs::exists(Installed(app)), c.installs);
    if (c.installs) {
      EXPECT_TRUE(Bytes(Installed(app)) == sample) << "installed file differs";
      EXPECT_FALSE(fs::exists(temp / app.id));
      ++expectedRecords;
    } else if (!c.notice) {
      // What came stays for the next run to size, and it is not whole; it
      // was never taken for complete, so nothing was unpacked.
      EXPECT_LT(SizeOf(Package(app.id)), sample.size());
      EXPECT_FALSE(fs::exists(temp / app.id / "soak")) << "an incomplete package was unpacked";
    }
    const Records now = ReadRecords(records);
    ASSERT_TRUE(now.parsed);
    EXPECT_EQ(now.items.size(), expectedRecords);
    if (!c.logHas.empty()) {
      EXPECT_NE(ServerLog().find(c.logHas), std::string::npos);
    }
    if (c.neverSaid) {
      for (const std::string& said : run.process.DebugStrings())
        EXPECT_EQ(said.find(c.neverSaid), std::string::npos) << said;
    }
  }
}

}  // namespace
}  // namespace halvora::test
