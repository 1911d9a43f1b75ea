// The install session's threads under stress, in the portable build (so it
// runs under AddressSanitizer, UndefinedBehaviorSanitizer and
// ThreadSanitizer): a worker downloads a file from pyftpdlib (throttled,
// started by ftp_peer.py launch) with the real FTP client, while a driver
// thread pauses and resumes at seeded random moments, as the user interface
// does, and the session's monitor samples the client's counters. Every run
// must end with the whole file, byte for byte, and every retrieval the server
// saw must start at exactly the bytes the local file held when the worker
// asked. A watchdog turns a hang into a failure that shows the server's log.
//
// HALVORA_SOAK_SEED fixes the seed (printed either way); HALVORA_SOAK_CYCLES
// sets the number of pause and resume cycles (default: the short form).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/session/install_session.h"
#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"
#include "tests/ftp/script_server.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kShortFormCycles = 30;
constexpr uint32_t kRemoteBytes = 2 * 1024 * 1024;  // big.bin of ftp_peer.py launch
// No run of the short or the full form comes near this: past it the worker
// is stuck.
constexpr auto kRunLimit = 180s;
// Random moments: how long a transfer runs before the next pause, and how
// long the pause lasts.
constexpr int kMaxRunningMs = 150;
constexpr int kMaxPausedMs = 40;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The FTP half of the dialog's transport, on the portable client.
class FtpSoakTransport final : public SessionTransport {
 public:
  explicit FtpSoakTransport(nsFTP::CFTPClient& ftp) : ftp(ftp) {}

  RemoteFile HttpRemoteFile(const DownloadItem&) override { return {}; }
  TransferReport HttpDownload(const DownloadItem&, bool, const std::string&) override {
    return {TransferOutcome::Refused, 0, {}};
  }
  void FtpLogon(const DownloadItem& item) override {
    ftp.Logon(nsFTP::FtpLogonInfo(item.ftpHost, static_cast<uint16_t>(item.ftpPort),
                                  item.ftpAccount, item.ftpPassword, std::wstring()));
  }
  RemoteFile FtpRemoteFile(const DownloadItem& item) override {
    RemoteFile remote;
    ftp.FileSize(item.remote, remote.size);
    return remote;
  }
  TransferReport FtpDownload(const DownloadItem& item, const std::string&) override {
    // Only the worker writes the file, and its last transfer has returned:
    // this is what the next retrieval must ask for.
    const uint32_t present = LocalFileSize(item.local);
    const uint32_t countBefore = ftp.transferCount;
    ftp.resumeEnabled = true;
    ftp.DownloadFile(item.remote, item.local,
                     {nsFTP::RepresentationType::Image, nsFTP::TypeFormat::NonPrint});
    // A retrieval reached the server exactly when the client counted a
    // transfer (the count rises once the server has accepted RETR).
    if (ftp.transferCount != countBefore) asked.push_back(present);
    switch (ftp.lastTransferEnd.load()) {
      case nsFTP::TransferEnd::Completed:
        return {TransferOutcome::Completed, 0, {}};
      case nsFTP::TransferEnd::Aborted:
        return {TransferOutcome::Stopped, 0, {}};
      case nsFTP::TransferEnd::Failed:
        break;
    }
    return {TransferOutcome::Failed, 0, {}};
  }
  void FtpLogout() override { ftp.Logout(); }
  void ClearStopRequests() override {}
  uint32_t LocalFileSize(const std::wstring& path) override {
    std::error_code error;
    const auto size = fs::file_size(fs::path(path), error);
    return error ? 0 : static_cast<uint32_t>(size);
  }
  void DeleteLocalFile(const std::wstring& path) override {
    std::error_code error;
    fs::remove(fs::path(path), error);
  }
  // The soak's server gives no modification times: records are never kept.
  std::optional<PartRecord> LoadPartRecord(const std::wstring&) override { return std::nullopt; }
  void SavePartRecord(const std::wstring&, const PartRecord&) override {}
  void DeletePartRecord(const std::wstring&) override {}
  void RequestStop() override { ftp.Abort(); }
  void Abandon() override { ftp.Abort(); }
  TransferSample Sample(int32_t) const override {
    TransferSample sample;
    sample.count = ftp.transferCount;
    sample.total = ftp.remoteSize;
    sample.present = ftp.position;
    return sample;
  }

  // Worker thread only; read after the run.
  std::vector<uint32_t> asked;

 private:
  nsFTP::CFTPClient& ftp;
};

// Calls come from the worker, the monitor and the driver.
class CountingView final : public SessionView {
 public:
  void ShowProgress(float fraction) override {
    if (fraction < 0.0f || fraction > 1.0f) badProgress = true;
  }
  void ShowSpeed(double) override {}
  void ShowPaused(bool) override {}
  void ShowFinished() override { ++finished; }
  void RedrawAll() override {}

  std::atomic<bool> badProgress{false};
  std::atomic<int> finished{0};
};

// Fails the whole test program, with the server's log, when a run is not
// over in time: a hung worker cannot be joined, so the test cannot go on.
class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds limit, std::string logPath)
      : thread([this, what = std::move(what), limit, logPath = std::move(logPath)] {
          std::unique_lock<std::mutex> hold(lock);
          if (changed.wait_for(hold, limit, [&] { return done; })) return;
          std::fprintf(stderr, "watchdog: %s did not end within %lld s; server log:\n%s\n",
                       what.c_str(), static_cast<long long>(limit.count()),
                       ReadAll(logPath).c_str());
          std::fflush(stderr);
          std::_Exit(3);
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> hold(lock);
      done = true;
    }
    changed.notify_all();
    thread.join();
  }

 private:
  std::mutex lock;
  std::condition_variable changed;
  bool done = false;
  std::thread thread;
};

// The offsets of the retrievals the server started, from `from` bytes of its
// log on; `from` moves past what was read.
std::vector<uint32_t> RetrievalOffsets(const std::string& logPath, size_t& from) {
  const std::string log = ReadAll(logPath);
  const std::string fresh = log.substr(std::min(from, log.size()));
  from = log.size();
  std::vector<uint32_t> offsets;
  const std::string prefix = "retr /big.bin from ";
  std::istringstream lines(fresh);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(prefix, 0) == 0)
      offsets.push_back(static_cast<uint32_t>(std::stoul(line.substr(prefix.size()))));
  return offsets;
}

TEST(SessionSoak, PauseAndResumeAtRandomMomentsLoseAndRepeatNothing) {
  const std::string port = Env("HALVORA_FTP_PORT");
  const std::string logPath = Env("HALVORA_FTP_LOG");
  ASSERT_FALSE(port.empty() || logPath.empty()) << "run through tests/ftp/ftp_peer.py launch";
  const int cycles =
      Env("HALVORA_SOAK_CYCLES").empty() ? kShortFormCycles : std::stoi(Env("HALVORA_SOAK_CYCLES"));
  const unsigned seed = Env("HALVORA_SOAK_SEED").empty()
                            ? std::random_device{}()
                            : static_cast<unsigned>(std::stoul(Env("HALVORA_SOAK_SEED")));
  std::printf("soak seed: %u (HALVORA_SOAK_SEED=%u repeats it), %d cycles\n", seed, seed, cycles);
  RecordProperty("seed", std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> running(0, kMaxRunningMs);
  std::uniform_int_distribution<int> pausedFor(0, kMaxPausedMs);

  const std::string whole = ftptest::PatternBytes(0, kRemoteBytes);
  const fs::path folder = fs::temp_directory_path() / ("halvora-soak-" + std::to_string(seed));
  fs::create_directories(folder);
  const fs::path local = folder / "big.bin";

  DownloadItem item;
  item.remote = L"big.bin";
  item.local = local.wstring();
  item.ftpHost = L"127.0.0.1";
  item.ftpPort = std::stoi(port);
  const std::string user = Env("HALVORA_FTP_USER");
  const std::string password = Env("HALVORA_FTP_PASSWORD");
  item.ftpAccount = std::wstring(user.begin(), user.end());
  item.ftpPassword = std::wstring(password.begin(), password.end());
  item.kind = kDownloadKindFtp;

  size_t logRead = 0;
  int cyclesDone = 0;
  int runs = 0;
  while (cyclesDone < cycles || runs == 0) {
    SCOPED_TRACE("run " + std::to_string(runs + 1));
    fs::remove(local);
    nsFTP::CFTPClient ftp(std::make_unique<nsSocket::CBlockingSocket>());
    FtpSoakTransport transport(ftp);
    CountingView view;
    SteadySessionClock clock;
    int32_t result = 99;
    {
      InstallSession session(transport, view, clock);
      session.downloadList.push_back(item);
      Watchdog watchdog("run " + std::to_string(runs + 1),
                        std::chrono::duration_cast<std::chrono::seconds>(kRunLimit), logPath);
      std::atomic<bool> over{false};
      std::thread worker([&] {
        result = session.DownloadAll();
        over = true;
      });
      // The driver plays the user: pause at a random moment, resume after a
      // random while, until the cycles are spent or the file has arrived.
      while (!over && cyclesDone < cycles) {
        std::this_thread::sleep_for(std::chrono::milliseconds(running(random)));
        if (over) break;
        session.PauseDownload();
        std::this_thread::sleep_for(std::chrono::milliseconds(pausedFor(random)));
        session.ResumeDownload();
        ++cyclesDone;
      }
      worker.join();
    }
    ++runs;
    ASSERT_EQ(result, kDownloadAllTransferred);
    EXPECT_EQ(view.finished.load(), 1);
    EXPECT_FALSE(view.badProgress.load());
    ASSERT_TRUE(ReadAll(local) == whole) << "the file differs from the server's";
    // One retrieval per transfer the client counted, each asking for the
    // bytes present when the worker began it.
    EXPECT_EQ(RetrievalOffsets(logPath, logRead), transport.asked);
    ASSERT_FALSE(transport.asked.empty());
    EXPECT_EQ(transport.asked.front(), 0u);
  }
  std::printf("soak: %d runs, %d pause and resume cycles\n", runs, cyclesDone);
  std::error_code error;
  fs::remove_all(folder, error);
}

}  // namespace
