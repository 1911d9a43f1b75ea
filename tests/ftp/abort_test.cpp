// Abort from another thread, in every phase of a logon or a download. The
// server holds each phase at a gate until the test has raised the abort, so
// nothing depends on how the threads are scheduled. An Abort that waited for
// the worker's exchange would miss the gate's release and spoil the result.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/ftp/ftp_test_support.h"

namespace ftptest {
namespace {

using nsFTP::FtpRepresentation;
using nsFTP::FtpResult;
using nsFTP::TransferEnd;

const FtpRepresentation kImage{nsFTP::RepresentationType::Image, nsFTP::TypeFormat::NonPrint};
const std::string kPassive = "227 Entering Passive Mode (127,0,0,1,{port})\r\n";
const std::vector<Step> kQuit = {Expect("QUIT"), Reply("221 bye\r\n")};

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

enum class Work { Logon, FileSize, Download };

struct PhaseCase {
  const char* name;
  Work work;                    // what the worker runs while the abort comes
  std::vector<Step> script;     // the whole conversation; one WaitForSignal
  std::size_t awaitLines;       // abort once the server has this many lines...
  std::uint32_t awaitPosition;  // ... or once position reached this (lines 0)
  bool workDone;                // the worker's result
  TransferEnd end;              // Download only
  std::string localAfter;       // Download only
};

TEST(FtpAbort, ReturnsAtOnceInEveryPhaseAndStopsTheDownloadBeforeMoreIsStored) {
  // Each script ends with a SIZE the test sends after the worker: its answer
  // shows that no reply of the abort was left behind for it.
  const std::vector<Step> sizeAfter = {Expect("SIZE f.zip"), Reply("213 5000\r\n")};
  const std::vector<Step> downloadStart = {Expect("TYPE I"),     Reply("200 binary\r\n"),
                                           Expect("SIZE f.zip"), Reply("213 5000\r\n"),
                                           Expect("PASV"),       OpenData(),
                                           Passive(kPassive),    AcceptData(),
                                           Expect("RETR f.zip")};
  const PhaseCase cases[] = {
      {"slow logon: the logon goes on, nothing is sent for the abort", Work::Logon,
       Steps({{Reply("220 ready\r\n"), Expect("USER u"), WaitForSignal(), Reply("331 pw\r\n"),
               Expect("PASS p"), Reply("230 in\r\n"), Expect("CWD /"), Reply("250 ok\r\n"),
               Expect("TYPE I"), Reply("200 binary\r\n")},
              sizeAfter,
              kQuit}),
       1, 0, true, TransferEnd::Completed, ""},
      {"sizing alone: answered, no ABOR", Work::FileSize,
       Steps({LogonSteps(),
              {Expect("TYPE I"), Reply("200 binary\r\n"), Expect("SIZE f.zip"), WaitForSignal(),
               Reply("213 5000\r\n")},
              sizeAfter,
              kQuit}),
       5, 0, true, TransferEnd::Completed, ""},
      {"download during SIZE: stops before PASV, no stray ABOR", Work::Download,
       Steps({LogonSteps(),
              {Expect("TYPE I"), Reply("200 binary\r\n"), Expect("SIZE f.zip"), WaitForSignal(),
               Reply("213 5000\r\n")},
              sizeAfter,
              kQuit}),
       5, 0, false, TransferEnd::Aborted, ""},
      // As pyftpdlib does when no byte had left: ABOR alone is answered.
      {"download while RETR is answered: no data stored, ABOR after the 150", Work::Download,
       Steps({LogonSteps(),
              downloadStart,
              {WaitForSignal(), Reply("150 opening\r\n"), Expect("ABOR"), Expect("NOOP"),
               Reply("225 ABOR command successful; data channel closed.\r\n200 noop\r\n"),
               CloseData()},
              sizeAfter,
              kQuit}),
       7, 0, false, TransferEnd::Aborted, ""},
      {"download while the final reply is read: every byte is in, it completes", Work::Download,
       Steps({LogonSteps(),
              downloadStart,
              // More than SIZE announced: the loop ends at the size by itself.
              {Reply("150 opening\r\n"), SendData(PatternBytes(0, 5100)), WaitForSignal(),
               CloseData(), Reply("226 done\r\n")},
              sizeAfter,
              kQuit}),
       0, 5000, true, TransferEnd::Completed, PatternBytes(0, 5000)},
  };
  for (const PhaseCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server(c.script);
    TempFolder folder;
    const auto local = folder.path / "f.zip";
    auto client = NewClient();
    if (c.work != Work::Logon) {
      ASSERT_TRUE(client->Logon(DirectLogon(server)));
    }

    bool workDone = !c.workDone;
    std::thread worker([&] {
      std::uint32_t size = 0;
      switch (c.work) {
        case Work::Logon:
          workDone = client->Logon(DirectLogon(server));
          break;
        case Work::FileSize:
          workDone = client->FileSize(L"f.zip", size) == FtpResult::Ok && size == 5000;
          break;
        case Work::Download:
          workDone = client->DownloadFile(L"f.zip", Wide(local), kImage);
          break;
      }
    });
    const bool reached = c.awaitLines != 0
                             ? server.AwaitLines(c.awaitLines)
                             : PollUntil([&] { return client->position == c.awaitPosition; });
    EXPECT_TRUE(reached);
    EXPECT_EQ(client->Abort(), FtpResult::Ok);
    server.Signal();
    worker.join();

    EXPECT_EQ(workDone, c.workDone);
    EXPECT_FALSE(client->abortRequested);
    if (c.work == Work::Download) {
      EXPECT_EQ(client->lastTransferEnd, c.end);
      EXPECT_TRUE(ReadFile(local) == c.localAfter) << "local file differs";
    }
    std::uint32_t size = 0;
    EXPECT_EQ(client->FileSize(L"f.zip", size), FtpResult::Ok);
    EXPECT_EQ(size, 5000u);
    EXPECT_EQ(client->Logout(), FtpResult::Ok);
    EXPECT_EQ(server.Transcript(), ExpectedLines(c.script));
    EXPECT_EQ(server.Errors(), std::vector<std::string>());
  }
}

TEST(FtpAbort, AbortFromAnotherThreadStopsTheWorkerAndKeepsTheData) {
  constexpr std::uint32_t kRemote = 100000;
  constexpr std::uint32_t kFirst = 20000;
  struct Case {
    const char* name;
    std::vector<Step> afterAbort;  // what the server does once the abort is raised
  };
  const Case cases[] = {
      // The read that meets the abort request must not be stored.
      {"data arrives after the abort", {SendData(PatternBytes(kFirst, 4096))}},
      // Only short waits notice the request; a full receive time-out would
      // fail the download instead.
      {"the data connection stalls", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<Step> script = Steps(
        {LogonSteps(),
         {Expect("TYPE I"), Reply("200 binary\r\n"), Expect("SIZE f.zip"), Reply("213 100000\r\n"),
          Expect("PASV"), OpenData(), Passive(kPassive), AcceptData(), Expect("RETR f.zip"),
          Reply("150 opening\r\n"), SendData(PatternBytes(0, kFirst)), WaitForSignal()},
         c.afterAbort,
         {Expect("ABOR"), Reply("426 transfer aborted\r\n226 ABOR done\r\n"), Expect("NOOP"),
          Reply("200 noop\r\n"), CloseData(), Expect("SIZE f.zip"), Reply("213 100000\r\n")},
         kQuit});
    ScriptServer server(script);
    TempFolder folder;
    const auto local = folder.path / "f.zip";
    auto client = NewClient();
    ASSERT_TRUE(client->Logon(DirectLogon(server)));

    bool downloaded = true;
    std::thread worker([&] { downloaded = client->DownloadFile(L"f.zip", Wide(local), kImage); });

    // The monitor: waits for the transfer to be counted, then reads the size
    // and the position. The count stays, so even a monitor that first runs
    // after the worker has finished reads the values of this transfer.
    std::atomic<bool> workerDone{false};
    std::uint32_t sizeSeen = 0;
    std::uint32_t lastPosition = 0;
    bool positionWentBack = false;
    bool positionPastSize = false;
    std::thread monitor([&] {
      while (client->transferCount == 0) {
        if (workerDone) return;
        std::this_thread::yield();
      }
      sizeSeen = client->remoteSize;
      do {
        const std::uint32_t now = client->position;
        if (now < lastPosition) positionWentBack = true;
        if (now > sizeSeen) positionPastSize = true;
        lastPosition = now;
        std::this_thread::yield();
      } while (!workerDone);
    });

    EXPECT_TRUE(PollUntil([&] { return client->position == kFirst; }));
    EXPECT_EQ(client->Abort(), FtpResult::Ok);
    server.Signal();
    worker.join();
    workerDone = true;
    monitor.join();

    EXPECT_FALSE(downloaded);
    EXPECT_EQ(client->lastTransferEnd, TransferEnd::Aborted);
    EXPECT_EQ(client->transferCount, 1u);
    EXPECT_EQ(sizeSeen, kRemote);
    EXPECT_FALSE(positionWentBack);
    EXPECT_FALSE(positionPastSize);
    EXPECT_EQ(client->position, kFirst);
    EXPECT_FALSE(client->transferInProgress);
    EXPECT_FALSE(client->abortRequested);
    EXPECT_TRUE(ReadFile(local) == PatternBytes(0, kFirst));
    std::uint32_t size = 0;
    EXPECT_EQ(client->FileSize(L"f.zip", size), FtpResult::Ok);
    EXPECT_EQ(size, kRemote);
    EXPECT_EQ(client->Logout(), FtpResult::Ok);
    EXPECT_EQ(server.Transcript(), ExpectedLines(script));
    EXPECT_EQ(server.Errors(), std::vector<std::string>());
  }
}

}  // namespace
}  // namespace ftptest
