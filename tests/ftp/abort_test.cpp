// Abort from another thread while the worker downloads, with a monitor
// polling the counters; and an Abort that must wait for the worker's exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/ftp/ftp_test_support.h"

namespace ftptest {
namespace {

using nsFTP::FtpRepresentation;
using nsFTP::FtpResult;

const FtpRepresentation kImage{nsFTP::RepresentationType::Image, nsFTP::TypeFormat::NonPrint};

// Polls a value that has no notification of its own, as the monitor does.
template <typename Predicate>
bool PollUntil(Predicate done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

TEST(FtpAbort, AbortFromAnotherThreadStopsTheWorkerAndKeepsTheData) {
  constexpr std::uint32_t kRemote = 100000;
  constexpr std::uint32_t kFirst = 20000;
  const std::vector<Step> script = Steps(
      {LogonSteps(),
       {Expect("TYPE I"), Reply("200 binary\r\n"), Expect("SIZE f.zip"), Reply("213 100000\r\n"),
        Expect("PASV"), OpenData(), Passive("227 Entering Passive Mode (127,0,0,1,{port})\r\n"),
        AcceptData(), Expect("RETR f.zip"), Reply("150 opening\r\n"),
        SendData(PatternBytes(0, kFirst)), WaitForSignal(),
        // The chunk after the abort arrives; it must not be stored.
        SendData(PatternBytes(kFirst, 4096)), Expect("ABOR"),
        Reply("426 transfer aborted\r\n226 ABOR done\r\n"), CloseData(), Expect("QUIT"),
        Reply("221 bye\r\n")}});
  ScriptServer server(script);
  TempFolder folder;
  const auto local = folder.path / "f.zip";
  auto client = NewClient();
  ASSERT_TRUE(client->Logon(DirectLogon(server)));

  bool downloaded = true;
  std::thread worker([&] { downloaded = client->DownloadFile(L"f.zip", Wide(local), kImage); });

  // The monitor: waits for the flag, then reads the size and the position.
  std::atomic<bool> workerDone{false};
  std::uint32_t sizeSeen = 0;
  std::uint32_t lastPosition = 0;
  bool positionWentBack = false;
  bool positionPastSize = false;
  std::thread monitor([&] {
    while (!client->transferInProgress) {
      if (workerDone) return;
      std::this_thread::yield();
    }
    sizeSeen = client->remoteSize;
    while (!workerDone) {
      const std::uint32_t now = client->position;
      if (now < lastPosition) positionWentBack = true;
      if (now > sizeSeen) positionPastSize = true;
      lastPosition = now;
      std::this_thread::yield();
    }
  });

  FtpResult aborted = FtpResult::Error;
  std::thread aborter([&] {
    if (!PollUntil([&] { return client->position == kFirst; })) return;
    aborted = client->Abort();  // only raises the flag: returns at once
    server.Signal();
  });

  aborter.join();
  worker.join();
  workerDone = true;
  monitor.join();

  EXPECT_EQ(aborted, FtpResult::Ok);
  EXPECT_FALSE(downloaded);
  EXPECT_EQ(sizeSeen, kRemote);
  EXPECT_FALSE(positionWentBack);
  EXPECT_FALSE(positionPastSize);
  EXPECT_EQ(client->position, kFirst);
  EXPECT_FALSE(client->transferInProgress);
  EXPECT_FALSE(client->abortRequested);
  EXPECT_TRUE(ReadFile(local) == PatternBytes(0, kFirst));
  EXPECT_EQ(client->Logout(), FtpResult::Ok);  // answered by the "226" still queued
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

TEST(FtpAbort, AbortWhileTheDataCommandIsBeingSetUpStopsAtTheFirstChunk) {
  // The worker waits for the reply to RETR; an Abort now must neither block
  // behind that exchange nor put "ABOR" between RETR and its reply.
  const std::vector<Step> script = Steps(
      {LogonSteps(),
       {Expect("TYPE I"), Reply("200 binary\r\n"), Expect("SIZE f.zip"), Reply("213 5000\r\n"),
        Expect("PASV"), OpenData(), Passive("227 Entering Passive Mode (127,0,0,1,{port})\r\n"),
        AcceptData(), Expect("RETR f.zip"), WaitForSignal(), Reply("150 opening\r\n"),
        SendData(PatternBytes(0, 1000)), Expect("ABOR"),
        Reply("426 transfer aborted\r\n226 ABOR done\r\n"), CloseData(), Expect("QUIT"),
        Reply("221 bye\r\n")}});
  ScriptServer server(script);
  TempFolder folder;
  const auto local = folder.path / "f.zip";
  auto client = NewClient();
  ASSERT_TRUE(client->Logon(DirectLogon(server)));

  bool downloaded = true;
  std::thread worker([&] { downloaded = client->DownloadFile(L"f.zip", Wide(local), kImage); });
  ASSERT_TRUE(server.AwaitLines(7));  // ... PASV, RETR
  EXPECT_EQ(client->Abort(), FtpResult::Ok);
  server.Signal();
  worker.join();

  EXPECT_FALSE(downloaded);
  EXPECT_EQ(client->position, 0u);
  EXPECT_FALSE(client->abortRequested);
  EXPECT_TRUE(ReadFile(local).empty());
  EXPECT_EQ(client->Logout(), FtpResult::Ok);
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

TEST(FtpAbort, AbortWaitsForTheWorkersExchange) {
  const std::vector<Step> script =
      Steps({LogonSteps(),
             {Expect("TYPE I"), Reply("200 binary\r\n"), Expect("SIZE f.zip"), WaitForSignal(),
              Reply("213 42\r\n"), Expect("ABOR"), Reply("225 nothing to abort\r\n"),
              Expect("QUIT"), Reply("221 bye\r\n")}});
  ScriptServer server(script);
  auto client = NewClient();
  ASSERT_TRUE(client->Logon(DirectLogon(server)));

  std::uint32_t size = 0;
  FtpResult sized = FtpResult::Error;
  std::thread worker([&] { sized = client->FileSize(L"f.zip", size); });
  ASSERT_TRUE(server.AwaitLines(5));  // USER, PASS, CWD, TYPE, SIZE
  FtpResult aborted = FtpResult::Error;
  std::thread aborter([&] { aborted = client->Abort(); });
  server.Signal();
  worker.join();
  aborter.join();

  EXPECT_EQ(sized, FtpResult::Ok);
  EXPECT_EQ(size, 42u);
  EXPECT_EQ(aborted, FtpResult::Ok);
  EXPECT_EQ(client->Logout(), FtpResult::Ok);
  EXPECT_EQ(server.Transcript(), ExpectedLines(script));
  EXPECT_EQ(server.Errors(), std::vector<std::string>());
}

}  // namespace
}  // namespace ftptest
