// http_bench URL LOCALDIR REPETITIONS
// Fetches URL into LOCALDIR with DownloadHttpFile and with a bare WinINet
// loop that reads the same 512-byte blocks into a file (without and with the
// download's time-outs), alternating, after
// one untimed round of each, and prints one line per timed run: "<variant> <bytes> <seconds> <cpu
// seconds>", then "peak <bytes>" (peak working set of the process).

#include <windows.h>
// after windows.h, which it needs
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/win/scoped_handle.h"
#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"

namespace {

double CpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return double((uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// The platform's cost alone: same flags, headers and read size, same file
// writes, no counters, no checks; with `timeouts`, also the download's five
// 31-second time-outs, which change how Wine waits on the socket.
long long BareLoop(const std::string& url, const std::string& local, bool timeouts) {
  halvora::win::InternetHandle inet(
      InternetOpenW(L"bare", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (timeouts) {
    DWORD value = 31000;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
      InternetSetOptionExW(inet.Get(), option, &value, sizeof value, 0);
  }
  const std::wstring wide(url.begin(), url.end());
  halvora::win::InternetHandle request(InternetOpenUrlW(
      inet.Get(), wide.c_str(), L"Accept: */*\r\nRange: bytes=0-\r\n\r\nUser-Agent: ngx_http_get",
      DWORD(-1),
      INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_TRANSFER_BINARY, 1));
  FILE* file = std::fopen(local.c_str(), "wb");
  if (!request || !file) return -1;
  char block[512];
  DWORD read = 0;
  long long total = 0;
  while (InternetReadFile(request.Get(), block, sizeof block, &read) && read > 0) {
    std::fwrite(block, 1, read, file);
    total += read;
  }
  std::fclose(file);
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: http_bench URL LOCALDIR REPETITIONS\n");
    return 2;
  }
  const std::string url = argv[1];
  const std::string local = std::string(argv[2]) + "\\bench.bin";
  const int repetitions = std::atoi(argv[3]);
  auto session = halvora::ZanHttpSession::Create(L"127.0.0.1", 80);

  // Round 0 warms both paths up (first connection, file creation) untimed.
  for (int i = 0; i <= repetitions; ++i) {
    for (const std::string variant : {"bare", "bare-timeouts", "download"}) {
      const double cpu0 = CpuSeconds();
      const auto t0 = std::chrono::steady_clock::now();
      long long bytes;
      if (variant != "download") {
        bytes = BareLoop(url, local, variant == "bare-timeouts");
      } else {
        const int32_t result =
            halvora::DownloadHttpFile(*session, local.c_str(), url.c_str(), false);
        bytes = result == 0 ? session->presentBytes.load() : -1;
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
      if (i == 0) continue;
      std::printf("%s %lld %.3f %.3f\n", variant.c_str(), bytes, seconds, CpuSeconds() - cpu0);
      std::fflush(stdout);
    }
  }
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  std::printf("peak %llu\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize));
  return 0;
}
