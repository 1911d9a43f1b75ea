// The FTP client's side of bench/ftp/run.
//
//   ftp_bench download HOST PORT USER PASSWORD REMOTE LOCAL
//       Fetches REMOTE with DownloadFile and prints the seconds it took and
//       the bytes moved. bench/ftp/run measures CPU time and peak memory
//       around it and compares with curl.
//   ftp_bench abort HOST PORT USER PASSWORD REMOTE LOCAL ROUNDS
//       ROUNDS times: starts DownloadFile on a worker thread, lets data flow
//       for a while, calls Abort() from this thread and prints, in
//       milliseconds, how long Abort() took to return and how long until
//       DownloadFile returned. Meant for a throttled server.
//
// Exit status 0 when everything was measured, 1 when something failed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "base/text.h"
#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"

namespace {

using Clock = std::chrono::steady_clock;
using halvora::AnsiToWide;

const nsFTP::FtpRepresentation kImage{nsFTP::RepresentationType::Image,
                                      nsFTP::TypeFormat::NonPrint};

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

struct Target {
  nsFTP::FtpLogonInfo logon;
  std::wstring remote;
  std::wstring local;
};

std::unique_ptr<nsFTP::CFTPClient> LoggedOn(const Target& target) {
  auto client = std::make_unique<nsFTP::CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>());
  client->resumeEnabled = false;
  if (!client->Logon(target.logon)) {
    std::fprintf(stderr, "ftp_bench: logon failed\n");
    return nullptr;
  }
  return client;
}

int Download(const Target& target) {
  auto client = LoggedOn(target);
  if (!client) return 1;
  const auto start = Clock::now();
  const bool ok = client->DownloadFile(target.remote, target.local, kImage);
  const std::chrono::duration<double> elapsed = Clock::now() - start;
  client->Logout();
  if (!ok) {
    std::fprintf(stderr, "ftp_bench: download failed\n");
    return 1;
  }
  std::printf("%.6f %u\n", elapsed.count(), static_cast<unsigned>(client->transferredBytes));
  return 0;
}

int AbortRounds(const Target& target, int rounds) {
  for (int round = 0; round < rounds; ++round) {
    auto client = LoggedOn(target);
    if (!client) return 1;
    bool downloaded = true;
    Clock::time_point returned;
    std::thread worker([&] {
      downloaded = client->DownloadFile(target.remote, target.local, kImage);
      returned = Clock::now();
    });
    // Wait for the first bytes, then a little more, different each round, so
    // that the abort meets the throttled stream in different states.
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (client->position == 0 && Clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100 + 173 * round));
    const bool flowing = client->position != 0;

    const auto requested = Clock::now();
    client->Abort();
    const auto abortReturned = Clock::now();
    worker.join();
    const bool aborted = client->lastTransferEnd == nsFTP::TransferEnd::Aborted;
    client->Logout();
    if (!flowing || downloaded || !aborted) {
      std::fprintf(stderr, "ftp_bench: round %d: %s\n", round + 1,
                   !flowing ? "no data arrived" : "the download was not aborted");
      return 1;
    }
    std::printf("%.3f %.3f\n", Milliseconds(abortReturned - requested),
                Milliseconds(returned - requested));
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool download = argc == 8 && std::strcmp(argv[1], "download") == 0;
  const bool abort = argc == 9 && std::strcmp(argv[1], "abort") == 0;
  if (!download && !abort) {
    std::fprintf(stderr,
                 "usage: ftp_bench download HOST PORT USER PASSWORD REMOTE LOCAL\n"
                 "       ftp_bench abort HOST PORT USER PASSWORD REMOTE LOCAL ROUNDS\n");
    return 2;
  }
  const Target target{
      nsFTP::FtpLogonInfo(AnsiToWide(argv[2]), static_cast<std::uint16_t>(std::atoi(argv[3])),
                          AnsiToWide(argv[4]), AnsiToWide(argv[5]), L""),
      AnsiToWide(argv[6]), AnsiToWide(argv[7])};
  return download ? Download(target) : AbortRounds(target, std::atoi(argv[8]));
}
