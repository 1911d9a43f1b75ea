// Fetches one file with CFTPClient::DownloadFile and prints the seconds the
// download took. bench/ftp/run measures CPU time and peak memory around it
// and compares with curl.
//
//   ftp_bench HOST PORT USER PASSWORD REMOTE LOCAL
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "base/text.h"
#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: ftp_bench HOST PORT USER PASSWORD REMOTE LOCAL\n");
    return 2;
  }
  using halvora::AnsiToWide;
  nsFTP::CFTPClient client(std::make_unique<nsSocket::CBlockingSocket>());
  client.resumeEnabled = false;
  const nsFTP::FtpLogonInfo info(AnsiToWide(argv[1]),
                                 static_cast<std::uint16_t>(std::atoi(argv[2])),
                                 AnsiToWide(argv[3]), AnsiToWide(argv[4]), L"");
  if (!client.Logon(info)) {
    std::fprintf(stderr, "ftp_bench: logon failed\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  const bool ok =
      client.DownloadFile(AnsiToWide(argv[5]), AnsiToWide(argv[6]),
                          {nsFTP::RepresentationType::Image, nsFTP::TypeFormat::NonPrint});
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  client.Logout();
  if (!ok) {
    std::fprintf(stderr, "ftp_bench: download failed\n");
    return 1;
  }
  std::printf("%.6f %u\n", elapsed.count(), static_cast<unsigned>(client.transferredBytes));
  return 0;
}
