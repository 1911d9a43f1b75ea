// resume_bench URL LOCAL [EXIT_AT]
// Fetches URL into LOCAL with the program's own install session and
// transports, as a stamped copy would, and prints
// "done <result> <milliseconds> <milliseconds waited before retries>".
// With EXIT_AT, the process ends abruptly (no clean-up, no flush) once the
// transfer has received that many bytes of the file, as a kill would, and
// prints nothing.

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "app/session/install_session.h"
#include "app/session/session_transport_win.h"
#include "base/text.h"
#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"
#include "net/http/zan_http_session.h"

namespace {

class NoView final : public SessionView {
 public:
  void ShowProgress(float) override {}
  void ShowSpeed(double) override {}
  void ShowPaused(bool) override {}
  void ShowFinished() override {}
  void RedrawAll() override {}
};

// The platform's clock, adding up the waits before retries.
class CountingClock final : public SessionClock {
 public:
  uint32_t NowMs() override { return steady.NowMs(); }
  void SleepMs(uint32_t ms) override { steady.SleepMs(ms); }
  bool WaitFor(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, uint32_t ms,
               const std::function<bool()>& done) override {
    waitedMs += ms;
    return steady.WaitFor(changed, lock, ms, done);
  }
  uint32_t waitedMs = 0;

 private:
  SteadySessionClock steady;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: resume_bench URL LOCAL [EXIT_AT]\n");
    return 2;
  }
  const uint32_t exitAt = argc > 3 ? static_cast<uint32_t>(std::wcstoul(argv[3], nullptr, 10)) : 0;
  const std::unique_ptr<halvora::ZanHttpSession> http =
      halvora::ZanHttpSession::Create(L"127.0.0.1", 80);
  nsFTP::CFTPClient ftp(std::make_unique<nsSocket::CBlockingSocket>());
  WinSessionTransport transport(*http, ftp);
  NoView view;
  CountingClock clock;
  InstallSession session(transport, view, clock);
  DownloadItem item;
  item.remote = argv[1];
  item.local = argv[2];
  item.kind = kDownloadKindHttp;
  session.downloadList = {item};

  std::thread killer;
  if (exitAt != 0) {
    killer = std::thread([&] {
      while (transport.Sample(kDownloadKindHttp).present < exitAt) Sleep(1);
      TerminateProcess(GetCurrentProcess(), 9);
    });
  }
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = session.DownloadAll();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  if (killer.joinable()) killer.detach();
  std::printf("done %d %lld %u\n", static_cast<int>(result), static_cast<long long>(ms),
              clock.waitedMs);
  std::fflush(stdout);
  return result == kDownloadAllTransferred ? 0 : 1;
}
