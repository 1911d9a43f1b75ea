// The client against pyftpdlib, a server written by others, started by
// ftp_peer.py on a loopback port.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "base/text.h"
#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"
#include "tests/ftp/script_server.h"

namespace {

using ftptest::PatternBytes;
using nsFTP::CFTPClient;
using nsFTP::FtpLogonInfo;
using nsFTP::FtpResult;

const nsFTP::FtpRepresentation kImage{nsFTP::RepresentationType::Image,
                                      nsFTP::TypeFormat::NonPrint};
constexpr std::uint32_t kPatternSize = 300000;
constexpr std::uint32_t kBigSize = 2 * 1024 * 1024;
constexpr std::uint32_t kGateBytes = 256 * 1024;  // GATE in ftp_peer.py

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FtpInterop : public testing::Test {
 protected:
  void SetUp() override {
    const char* port = std::getenv("HALVORA_FTP_PORT");
    if (port == nullptr) GTEST_SKIP() << "run through ftp_peer.py (HALVORA_FTP_PORT not set)";
    info = FtpLogonInfo(L"127.0.0.1", static_cast<std::uint16_t>(std::atoi(port)),
                        halvora::AnsiToWide(std::getenv("HALVORA_FTP_USER")),
                        halvora::AnsiToWide(std::getenv("HALVORA_FTP_PASSWORD")), L"");
    folder = std::filesystem::temp_directory_path() /
             ("halvora-ftp-interop-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder);
    client = std::make_unique<CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>());
  }
  void TearDown() override {
    client.reset();
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
  }

  FtpLogonInfo info;
  std::filesystem::path folder;
  std::unique_ptr<CFTPClient> client;
};

TEST_F(FtpInterop, LogonSizeDownloadLogout) {
  ASSERT_TRUE(client->Logon(info));
  // pyftpdlib answers SIZE only in binary mode; the connection starts in
  // ASCII, and FileSize switches first.
  std::uint32_t size = 0;
  EXPECT_EQ(client->FileSize(L"pattern.bin", size), FtpResult::Ok);
  EXPECT_EQ(size, kPatternSize);

  const auto local = folder / "pattern.bin";
  EXPECT_TRUE(client->DownloadFile(L"pattern.bin", local.wstring(), kImage));
  EXPECT_EQ(client->remoteSize, kPatternSize);
  EXPECT_EQ(client->position, kPatternSize);
  EXPECT_EQ(client->transferredBytes, kPatternSize);
  EXPECT_TRUE(ReadFile(local) == PatternBytes(0, kPatternSize));

  EXPECT_EQ(client->FileSize(L"pattern.bin", size), FtpResult::Ok);
  EXPECT_EQ(size, kPatternSize);
  EXPECT_EQ(client->FileSize(L"missing.bin", size), FtpResult::Refused);
  // A second file over the same connection.
  EXPECT_TRUE(client->DownloadFile(L"pattern.bin", (folder / "again.bin").wstring(), kImage));
  EXPECT_TRUE(ReadFile(folder / "again.bin") == PatternBytes(0, kPatternSize));

  EXPECT_EQ(client->Logout(), FtpResult::Ok);
  EXPECT_FALSE(client->IsConnected());
}

TEST_F(FtpInterop, WrongPasswordIsRefused) {
  info.password = L"wrong";
  EXPECT_FALSE(client->Logon(info));
}

TEST_F(FtpInterop, ResumeAfterPartialFile) {
  const auto local = folder / "pattern.bin";
  constexpr std::uint32_t kPresent = 123457;
  {
    std::ofstream out(local, std::ios::binary);
    const std::string head = PatternBytes(0, kPresent);
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
  }
  ASSERT_TRUE(client->Logon(info));
  EXPECT_TRUE(client->DownloadFile(L"pattern.bin", local.wstring(), kImage));
  EXPECT_EQ(client->transferredBytes, kPatternSize - kPresent);
  EXPECT_EQ(client->position, kPatternSize);
  EXPECT_TRUE(ReadFile(local) == PatternBytes(0, kPatternSize));
  EXPECT_EQ(client->Logout(), FtpResult::Ok);
}

TEST_F(FtpInterop, AbortFromSecondThreadThenResume) {
  // The peer sends the first retrieval of gated.bin up to kGateBytes and then
  // holds its data connection open, so the abort always lands mid-transfer.
  const auto local = folder / "gated.bin";
  ASSERT_TRUE(client->Logon(info));
  bool downloaded = true;
  std::thread worker(
      [&] { downloaded = client->DownloadFile(L"gated.bin", local.wstring(), kImage); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (client->position < kGateBytes && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(client->Abort(), FtpResult::Ok);
  worker.join();
  EXPECT_FALSE(downloaded);
  EXPECT_EQ(client->lastTransferEnd, nsFTP::TransferEnd::Aborted);
  const std::uint32_t kept = client->position;
  EXPECT_EQ(kept, kGateBytes);
  EXPECT_TRUE(ReadFile(local) == PatternBytes(0, kept));

  // Resume over the same connection: the abort's replies were all read.
  EXPECT_TRUE(client->DownloadFile(L"gated.bin", local.wstring(), kImage));
  EXPECT_EQ(client->transferredBytes, kBigSize - kept);
  EXPECT_TRUE(ReadFile(local) == PatternBytes(0, kBigSize));
  EXPECT_EQ(client->Logout(), FtpResult::Ok);
}

}  // namespace
