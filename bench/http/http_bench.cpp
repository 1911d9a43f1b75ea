// http_bench URL SLOW_URL LOCALDIR REPETITIONS PAUSES
// Speed: fetches URL into LOCALDIR with DownloadHttpFile and with three bare
// WinINet loops (fixed reads of 512 bytes and of 64 KiB, and reads of what has
// arrived), alternating, after one untimed round of each, and prints one line
// per timed run:
// "<variant> <bytes> <seconds> <cpu seconds>".
// Pause: PAUSES times, starts DownloadHttpFile on SLOW_URL (a throttled line),
// raises cancelRequested once data flows and prints
// "pause <milliseconds from the request to the return> <result>".
// Ends with "peak <bytes>" (peak working set of the process). Exits non-zero
// when a transfer did not do what it should, so nothing was measured.

#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_file.h"
#include "net/http/http_download.h"
#include "net/http/wininet_handle_win.h"
#include "net/http/zan_http_session.h"

namespace {

using Clock = std::chrono::steady_clock;

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// The platform's cost alone: the download's flags, headers and time-outs and
// the same file writes, with fixed reads of `readBytes`, or (0) reads of what
// InternetQueryDataAvailable reports, up to 64 KiB, as the download does; no
// counters, no checks.
long long BareLoop(const std::string& url, const std::string& local, DWORD readBytes) {
  halvora::win::InternetHandle inet(
      InternetOpenW(L"bare", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  DWORD timeout = 31000;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_RECEIVE_TIMEOUT})
    InternetSetOptionExW(inet.Get(), option, &timeout, sizeof timeout, 0);
  const std::wstring wide(url.begin(), url.end());
  halvora::win::InternetHandle request(InternetOpenUrlW(
      inet.Get(), wide.c_str(), L"Accept: */*\r\nRange: bytes=0-\r\n\r\nUser-Agent: ngx_http_get",
      DWORD(-1),
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_TRANSFER_BINARY, 1));
  const halvora::ScopedFile file(std::fopen(local.c_str(), "wb"));
  if (!request || !file) return -1;
  constexpr DWORD kMostAvailable = 64 * 1024;
  std::vector<char> block(readBytes ? readBytes : kMostAvailable);
  if (!readBytes) std::setvbuf(file.get(), nullptr, _IOFBF, kMostAvailable);
  long long total = 0;
  for (;;) {
    DWORD size = readBytes;
    if (!readBytes) {
      DWORD available = 0;
      if (!InternetQueryDataAvailable(request.Get(), &available, 0, 0)) break;
      size = std::clamp<DWORD>(available, 1, kMostAvailable);
    }
    DWORD read = 0;
    if (!InternetReadFile(request.Get(), block.data(), size, &read) || read == 0) break;
    std::fwrite(block.data(), 1, read, file.get());
    total += read;
  }
  return total;
}

bool MeasureSpeed(const std::string& url, const std::string& local, int repetitions) {
  auto session = halvora::ZanHttpSession::Create(L"127.0.0.1", 80);
  const struct {
    const char* name;
    DWORD readBytes;  // 0: what has arrived
    bool download;
  } variants[] = {{"bare-512", 512, false},
                  {"bare-65536", 65536, false},
                  {"bare-available", 0, false},
                  {"download", 0, true}};
  // Round 0 warms every path up (first connection, file creation) untimed.
  for (int i = 0; i <= repetitions; ++i) {
    for (const auto& v : variants) {
      const double cpu0 = CpuSeconds();
      const auto t0 = Clock::now();
      long long bytes;
      if (!v.download) {
        bytes = BareLoop(url, local, v.readBytes);
      } else {
        halvora::HttpAnswerFacts facts;
        const int32_t result =
            halvora::DownloadHttpFile(*session, local.c_str(), url.c_str(), false, {}, facts);
        bytes = result == 0 ? session->presentBytes.load() : -1;
      }
      const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
      if (bytes < 0) {
        std::fprintf(stderr, "http_bench: %s could not fetch %s\n", v.name, url.c_str());
        return false;
      }
      if (i == 0) continue;
      std::printf("%s %lld %.3f %.3f\n", v.name, bytes, seconds, CpuSeconds() - cpu0);
      std::fflush(stdout);
    }
  }
  return true;
}

// The pause request lands at a different point of the line's rhythm each
// time: it is raised 0.3 s and a few milliseconds more after data first
// flowed.
bool MeasurePauses(const std::string& url, const std::string& local, int pauses) {
  for (int i = 0; i < pauses; ++i) {
    auto session = halvora::ZanHttpSession::Create(L"127.0.0.1", 80);
    int32_t result = 99;
    std::thread worker(
        [&] {
          halvora::HttpAnswerFacts facts;
          result = halvora::DownloadHttpFile(*session, local.c_str(), url.c_str(), false, {}, facts);
        });
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while ((session->busy.load() == 0 || session->presentBytes.load() == 0) &&
           Clock::now() < deadline)
      Sleep(1);
    Sleep(300 + (i * 17) % 100);
    const auto t0 = Clock::now();
    session->cancelRequested.exchange(1);
    worker.join();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (result != halvora::kDownloadCancelled) {
      std::fprintf(stderr, "http_bench: the paused download of %s gave %d\n", url.c_str(),
                   static_cast<int>(result));
      return false;
    }
    std::printf("pause %.1f %d\n", ms, static_cast<int>(result));
    std::fflush(stdout);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: http_bench URL SLOW_URL LOCALDIR REPETITIONS PAUSES\n");
    return 2;
  }
  const std::string url = argv[1];
  const std::string slowUrl = argv[2];
  const std::string local = std::string(argv[3]) + "\\bench.bin";
  if (!MeasureSpeed(url, local, std::atoi(argv[4]))) return 1;
  if (!MeasurePauses(slowUrl, std::string(argv[3]) + "\\slow.bin", std::atoi(argv[5]))) return 1;
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("peak %llu\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize));
  return 0;
}
