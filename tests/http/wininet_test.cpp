// The WinINet transfers against halvora-refserver (started by with-refserver):
// every result code, what goes on the wire, and the counters a monitor sees.

#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/win/scoped_handle.h"
#include "net/http/base64.h"
#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"
#include "tests/http/sealing_vectors.inc"
#include "tests/support/peer_files.h"
#include "tests/support/win_peer.h"

namespace halvora::test {
namespace {

std::string FilesDir() { return WinePath(Env("HALVORA_REFSERVER_CATALOG") + "/files"); }

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return bytes;
}

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>";
std::string DescriptionRequest(const std::string& appId) {
  return std::string(kDeclaration) +
         "<Request><SvcId>1</SvcId><Type>xml</Type><Data RequestId=\"311\"><AppItem appId=\"" +
         appId + "\" /></Data></Request>";
}
std::string ClientProgramRequest(const std::string& appId, const char* os) {
  return std::string(kDeclaration) +
         "<Request><SvcId>1</SvcId><Type>xml</Type><Data RequestId=\"-1\"><clientProgram><appId>" +
         appId + "</appId><OS>" + os + "</OS></clientProgram></Data></Request>";
}
std::string CatalogAnswer(const std::string& app, const char* name) {
  return ReadBytes(WinePath(Env("HALVORA_REFSERVER_CATALOG")) + "\\apps\\" + app + "\\" + name);
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

int32_t Download(ZanHttpSession& session, const char* local, const char* url, bool resume,
                 HttpAnswerFacts* facts = nullptr, const std::string& ifRange = "") {
  HttpAnswerFacts ignored;
  return DownloadHttpFile(session, local, url, resume, ifRange, facts ? *facts : ignored);
}

// Polls like the monitor thread does; gives up after a generous deadline so
// a broken download fails the test instead of hanging it.
template <typename Condition>
bool AwaitCondition(Condition condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

class WinInet : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    WriteBytes(FilesDir() + "\\data-1500.bin", Pattern(1500));
    WriteBytes(FilesDir() + "\\data-65536.bin", Pattern(65536));
  }
  void SetUp() override {
    ASSERT_FALSE(RefServerUrl().empty()) << "run through tests/http/with-refserver";
    RefServerControl("reset");
    session = ZanHttpSession::Create(L"127.0.0.1", RefServerPort());
  }
  void TearDown() override { RefServerControl("reset"); }

  // A request whose outputs are expected to stay untouched.
  int32_t SendExpectingNothing(const std::string& text, BodyEncoding encoding, const char* target) {
    std::unique_ptr<char[]> response;
    int32_t length = 77;
    const int32_t result = session->SendRequest(text.c_str(), encoding, target, response, length);
    EXPECT_EQ(response, nullptr);
    EXPECT_EQ(length, 77);
    return result;
  }
  std::string Url(const std::string& path) const { return RefServerUrl() + path; }

  std::unique_ptr<ZanHttpSession> session;
};

// ---- service requests

TEST_F(WinInet, SealedRequestTravelsInThePathWithItsHeaders) {
  const std::string text = DescriptionRequest("plain");
  ASSERT_EQ(text, kSealedDescriptionRequest.text);
  std::unique_ptr<char[]> response;
  int32_t length = 0;
  ASSERT_EQ(session->SendSealedRequest(text.c_str(), response, length), 0);
  EXPECT_EQ(std::string(response.get(), length), CatalogAnswer("plain", "description.xml"));

  const std::string sealed = kSealedDescriptionRequest.sealed;
  const std::string log = RefServerLog();
  EXPECT_TRUE(Contains(log, "> GET /zan_requests/" + sealed + " HTTP/1.1\n")) << log;
  EXPECT_TRUE(Contains(log, "> Accept-Encoding: gzip\n")) << log;
  EXPECT_TRUE(Contains(log, "> User-Agent: ngx_http_get\n")) << log;
  EXPECT_TRUE(Contains(log, "= encoding: sealed\n= text: " + text + "\n")) << log;
}

TEST_F(WinInet, TargetIsAddedOnlyWhenItHoldsMoreThanBlanks) {
  const std::string text = ClientProgramRequest("plain", "64");
  const struct {
    const char* target;
    bool sent;
  } cases[] = {{nullptr, false}, {"", false},          {"   ", false},
               {" \t ", false},  {"apps/plain", true}, {" apps/plain", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target ? c.target : "(none)");
    RefServerControl("reset");
    std::unique_ptr<char[]> response;
    int32_t length = 0;
    ASSERT_EQ(session->SendRequest(text.c_str(), BodyEncoding::Base64, c.target, response, length),
              0);
    // The 64-bit answer names the server through the catalog's placeholders.
    EXPECT_TRUE(Contains(std::string(response.get(), length),
                         "<IP>127.0.0.1:" + std::to_string(RefServerPort()) + "</IP>"));
    const std::string log = RefServerLog();
    const std::string path =
        c.sent ? Base64Encode(c.target) + "*" + Base64Encode(text) : Base64Encode(text);
    EXPECT_TRUE(Contains(log, "> GET /zan_requests/" + path + " HTTP/1.1\n")) << log;
    EXPECT_EQ(Contains(log, "= target: "), c.sent) << log;
    if (c.sent) {
      EXPECT_TRUE(Contains(log, "= target: " + std::string(c.target) + "\n")) << log;
    }
    EXPECT_TRUE(Contains(log, "= encoding: base64\n")) << log;
  }
}

TEST_F(WinInet, SlashesOfBase64GoIntoThePathUnescaped) {
  const std::string text = DescriptionRequest("x???");  // "???" encodes to "Pz8/"
  ASSERT_TRUE(Contains(Base64Encode(text), "/"));
  EXPECT_EQ(SendExpectingNothing(text, BodyEncoding::Base64, nullptr), -5);  // unknown app: 404
  const std::string log = RefServerLog();
  EXPECT_TRUE(Contains(log, "> GET /zan_requests/" + Base64Encode(text) + " HTTP/1.1\n")) << log;
  EXPECT_TRUE(Contains(log, "= text: " + text + "\n")) << log;
}

TEST_F(WinInet, GzipAnswersInflateWhateverTheirSize) {
  for (const char* app : {"gz", "k1024", "k3072"}) {
    SCOPED_TRACE(app);
    std::unique_ptr<char[]> response;
    int32_t length = 0;
    ASSERT_EQ(session->SendSealedRequest(DescriptionRequest(app).c_str(), response, length), 0);
    const std::string expected = CatalogAnswer(app, "description.xml");
    EXPECT_EQ(std::string(response.get(), length), expected);
    EXPECT_EQ(response[length], '\0');
  }
  EXPECT_TRUE(Contains(RefServerLog(), "< 200"));
}

TEST_F(WinInet, OnlyExactlyGzipIsInflated) {
  for (const char* encoding : {"GZIP", "gzip,%20identity", "x-gzip", "deflate"}) {
    SCOPED_TRACE(encoding);
    RefServerControl(std::string("fault?encoding=") + encoding);
    std::unique_ptr<char[]> response;
    int32_t length = 0;
    ASSERT_EQ(session->SendSealedRequest(DescriptionRequest("gz").c_str(), response, length), 0);
    // Handed over as received: the gzip stream itself.
    ASSERT_GE(length, 2);
    EXPECT_EQ(static_cast<unsigned char>(response[0]), 0x1f);
    EXPECT_EQ(static_cast<unsigned char>(response[1]), 0x8b);
    RefServerControl("reset");
  }
}

TEST_F(WinInet, EmptyAnswerGivesNoResponse) {
  std::unique_ptr<char[]> response;
  int32_t length = 5;
  ASSERT_EQ(session->SendSealedRequest(DescriptionRequest("empty").c_str(), response, length), 0);
  EXPECT_EQ(response, nullptr);
  EXPECT_EQ(length, 0);
}

TEST_F(WinInet, AnswersThatCannotBeReadOrAreNotOkFail) {
  const struct {
    const char* fault;
    const char* app;
    int32_t result;
  } cases[] = {
      // An empty body cannot be a gzip stream; a cut one cannot be inflated.
      {"encoding=gzip", "empty", -4},
      {"gzip=truncated", "k3072", -4},
      // Every status but 200.
      {"status=206", "plain", -5},
      {"status=204", "plain", -5},
      {"status=304", "plain", -5},
      {"status=404", "plain", -5},
      {"status=500", "plain", -5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    RefServerControl("reset");
    RefServerControl(std::string("fault?") + c.fault);
    EXPECT_EQ(SendExpectingNothing(DescriptionRequest(c.app), BodyEncoding::Sealed, nullptr),
              c.result);
  }
}

TEST_F(WinInet, RawAnswersStopAt64MiB) {
  // Blanks after the catalog's answer bring it to the size; the transport
  // hands it over as it came or not at all.
  const struct {
    size_t size;
    int32_t result;
  } cases[] = {{kMaxServiceAnswerBytes, 0}, {kMaxServiceAnswerBytes + 1, -5}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    RefServerControl("fault?pad=" + std::to_string(c.size));
    std::unique_ptr<char[]> response;
    int32_t length = 77;
    EXPECT_EQ(session->SendSealedRequest(DescriptionRequest("plain").c_str(), response, length),
              c.result);
    EXPECT_EQ(length, c.result == 0 ? static_cast<int32_t>(c.size) : 77);
    RefServerControl("reset");
  }
}

TEST_F(WinInet, RefusedConnectionGivesThePlatformError) {
  // Nothing listens on port 1 of the loopback address.
  auto closed = ZanHttpSession::Create(L"127.0.0.1", 1);
  std::unique_ptr<char[]> response;
  int32_t length = 77;
  EXPECT_EQ(closed->SendSealedRequest(DescriptionRequest("plain").c_str(), response, length),
            ERROR_INTERNET_CANNOT_CONNECT);
  EXPECT_EQ(length, 77);
}

// ---- downloads

TEST_F(WinInet, FreshDownloadAsksFromByteZero) {
  const std::string local = WorkFile("fresh.bin");
  ASSERT_EQ(Download(*session, local.c_str(), Url("data-1500.bin").c_str(), false), 0);
  EXPECT_EQ(ReadBytes(local), Pattern(1500));
  EXPECT_EQ(session->totalBytes.load(), 1500);
  EXPECT_EQ(session->presentBytes.load(), 1500);
  EXPECT_EQ(session->busy.load(), 0);
  // Counted, so a monitor that sampled neither end of it still learns of it.
  EXPECT_EQ(session->transferCount.load(), 1u);

  const std::string log = RefServerLog();
  EXPECT_TRUE(Contains(log, "> GET /data-1500.bin HTTP/1.1\n")) << log;
  EXPECT_TRUE(Contains(log, "> Accept: */*\n")) << log;
  EXPECT_TRUE(Contains(log, "> Range: bytes=0-\n")) << log;
  EXPECT_TRUE(Contains(log, "> User-Agent: ngx_http_get\n")) << log;
  EXPECT_TRUE(Contains(log, "< 206")) << log;
}

TEST_F(WinInet, ResumeContinuesAfterThePresentBytes) {
  const std::string local = WorkFile("resume.bin");
  WriteBytes(local, Pattern(1000));
  // A condition that would end the header early or add one is never sent.
  EXPECT_EQ(Download(*session, local.c_str(), Url("data-1500.bin").c_str(), true, nullptr,
                     "\"v1\"\r\nRange: bytes=0-"),
            -1);
  EXPECT_EQ(RefServerLog(), "");
  ASSERT_EQ(
      Download(*session, local.c_str(), Url("data-1500.bin").c_str(), true, nullptr, "\"v1\""), 0);
  EXPECT_EQ(ReadBytes(local), Pattern(1500));
  EXPECT_EQ(session->totalBytes.load(), 1500);
  EXPECT_EQ(session->presentBytes.load(), 1500);
  const std::string log = RefServerLog();
  EXPECT_TRUE(Contains(log, "> Range: bytes=1000-\n")) << log;
  EXPECT_TRUE(Contains(log, "> If-Range: \"v1\"\n")) << log;
}

TEST_F(WinInet, ResumeIntoAFileWithoutAnEndFails) {
  // A pipe opens like a file, but there is no end to seek to: the range
  // cannot start after the present bytes, so nothing is asked or appended.
  const std::string name = "\\\\.\\pipe\\halvora-resume-" + std::to_string(GetCurrentProcessId());
  win::FileHandle pipe(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1,
                                        1 << 16, 1 << 16, 0, nullptr));
  ASSERT_TRUE(pipe);
  EXPECT_EQ(Download(*session, name.c_str(), Url("data-1500.bin").c_str(), true), -1);
  EXPECT_EQ(RefServerLog(), "");
}

TEST_F(WinInet, BytesThatCannotBeWrittenFailTheDownload) {
  // The local "file" is a pipe whose other end goes away before the body
  // comes (the server holds it at the gate): the writes fail, however the
  // counters add up.
  const std::string name = "\\\\.\\pipe\\halvora-write-" + std::to_string(GetCurrentProcessId());
  win::FileHandle pipe(CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1,
                                        1 << 16, 1 << 16, 0, nullptr));
  ASSERT_TRUE(pipe);
  RefServerControl("fault?stall=0");
  std::atomic<int32_t> result{99};
  std::thread worker(
      [&] { result = Download(*session, name.c_str(), Url("data-1500.bin").c_str(), false); });
  const bool connected =
      ConnectNamedPipe(pipe.Get(), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
  pipe.Reset();
  const bool answered =
      AwaitCondition([&] { return session->busy.load() == 1 || result.load() != 99; });
  RefServerControl("release");
  worker.join();
  ASSERT_TRUE(connected);
  ASSERT_TRUE(answered);
  EXPECT_EQ(result.load(), -1);
}

// One fault of the server per case, against a file that holds the first
// `present` bytes of the pattern; with some present the download resumes.
TEST_F(WinInet, DownloadAgainstOneFault) {
  const struct {
    std::string fault;  // empty: none
    size_t present;
    int32_t result;
    size_t kept;  // the file afterwards: the first `kept` bytes of the pattern
    int32_t total;
    uint32_t transfers;  // transfers started, as a monitor counts them
    const char* answer;  // the status the server logged
  } cases[] = {
      // A whole-file answer to a resume starts the file over (not the head
      // twice); a fresh download takes the 200 as it is.
      {"range=ignore", 1000, 0, 1500, 1500, 1, "< 200"},
      {"range=ignore", 0, 0, 1500, 1500, 1, "< 200"},
      // Without Content-Length the total is the offset, so any byte makes it short.
      {"length=missing", 0, -1, 1500, 0, 1, "< 206"},
      // Resuming a complete file draws a 416, decided on its status whatever
      // its headers hold: a header text longer than the platform call's
      // buffer does not turn it into a failure.
      {"", 1500, -3, 1500, 0, 0, "< 416"},
      {"length=" + std::string(300, '0'), 1500, -3, 1500, 0, 0, "< 416"},
      // Untrustworthy answers write nothing and start no transfer.
      {"range-shift=5", 1000, -1, 1000, 0, 0, "< 206"},
      {"range-shift=-1", 1000, -1, 1000, 0, 0, "< 206"},
      {"length=abc", 1000, -1, 1000, 0, 0, "< 206"},
      {"length=-5", 1000, -1, 1000, 0, 0, "< 206"},
      {"length=99999999999", 1000, -1, 1000, 0, 0, "< 206"},
      {"status=404", 1000, -1, 1000, 0, 0, "< 404"},
      {"status=500", 1000, -1, 1000, 0, 0, "< 500"},
      {"status=403", 1000, -1, 1000, 0, 0, "< 403"},
      {"status=503", 1000, -1, 1000, 0, 0, "< 503"},
      // A body longer than announced is written up to the announced end.
      {"length=1000", 0, 0, 1000, 1000, 1, "< 206"},
      {"length=100", 1000, 0, 1100, 1100, 1, "< 206"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault.substr(0, 20) + " after " + std::to_string(c.present));
    RefServerControl("reset");
    if (!c.fault.empty()) RefServerControl("fault?" + c.fault);
    session = ZanHttpSession::Create(L"127.0.0.1", RefServerPort());
    const std::string local = WorkFile("fault.bin");
    WriteBytes(local, Pattern(c.present));
    HttpAnswerFacts facts;
    EXPECT_EQ(
        Download(*session, local.c_str(), Url("data-1500.bin").c_str(), c.present > 0, &facts),
        c.result);
    EXPECT_EQ(facts.status, std::atoi(c.answer + 2));
    EXPECT_EQ(ReadBytes(local), Pattern(c.kept));
    EXPECT_EQ(session->totalBytes.load(), c.total);
    EXPECT_EQ(session->transferCount.load(), c.transfers);
    EXPECT_EQ(session->busy.load(), 0);
    EXPECT_TRUE(Contains(RefServerLog(), c.answer));
  }
}

TEST_F(WinInet, ShortBodiesKeepWhatArrivedForAResume) {
  // A body that ends early, closed or reset mid-way, keeps what arrived,
  // counted, for a later resume. The server holds the end until the bytes
  // before it have been read: a reset that overtook them would discard them
  // before the download saw them.
  const std::string local = WorkFile("short.bin");
  for (const char* fault : {"cut=1000", "reset=1000"}) {
    SCOPED_TRACE(fault);
    RefServerControl("reset");
    RefServerControl(std::string("fault?stall=1000&") + fault);
    std::atomic<int32_t> result{99};
    std::thread worker(
        [&] { result = Download(*session, local.c_str(), Url("data-1500.bin").c_str(), false); });
    const bool read = AwaitCondition(
        [&] { return session->busy.load() == 1 && session->presentBytes.load() == 1000; });
    RefServerControl("release");
    worker.join();
    ASSERT_TRUE(read);
    EXPECT_EQ(result.load(), -1);
    EXPECT_EQ(session->presentBytes.load(), 1000);
    EXPECT_EQ(ReadBytes(local), Pattern(1000));
    RefServerControl("reset");
    ASSERT_EQ(Download(*session, local.c_str(), Url("data-1500.bin").c_str(), true), 0);
    EXPECT_EQ(ReadBytes(local), Pattern(1500));
    EXPECT_TRUE(Contains(RefServerLog(), "> Range: bytes=1000-\n"));
  }
}

TEST_F(WinInet, BackslashesInTheUrlTravelAsSlashes) {
  const std::string local = WorkFile("small.bin");
  ASSERT_EQ(Download(*session, local.c_str(), Url("dir\\small.bin").c_str(), false), 0);
  EXPECT_EQ(ReadBytes(local), "small file behind a folder\n");
  EXPECT_TRUE(Contains(RefServerLog(), "> GET /dir/small.bin HTTP/1.1\n"));
}

TEST_F(WinInet, LocalFileThatCannotBeOpenedLeavesTheFlagsAlone) {
  session->cancelRequested.exchange(1);
  const std::string local = WorkFile("no-such-folder\\file.bin");
  EXPECT_EQ(Download(*session, local.c_str(), Url("data-1500.bin").c_str(), false), -3);
  EXPECT_EQ(session->cancelRequested.load(), 1);
  EXPECT_EQ(RefServerLog(), "");  // nothing was asked
}

TEST_F(WinInet, RefusedConnectionIsAnOpenError) {
  const std::string local = WorkFile("refused.bin");
  EXPECT_EQ(Download(*session, local.c_str(), "http://127.0.0.1:1/data-1500.bin", false), -4);
}

TEST_F(WinInet, CancelRaisedBeforeTheDownloadStopsItAtTheFirstRead) {
  session->cancelRequested.exchange(1);
  const std::string local = WorkFile("cancel-before.bin");
  EXPECT_EQ(Download(*session, local.c_str(), Url("data-1500.bin").c_str(), false), -2);
  EXPECT_EQ(ReadBytes(local), "");
  EXPECT_EQ(session->cancelRequested.load(), 0);
  // The next download finds the flag cleared.
  EXPECT_EQ(Download(*session, local.c_str(), Url("data-1500.bin").c_str(), false), 0);
}

// The server never lets go of the answer here (it would hold it for minutes):
// the raised flag alone ends the wait, at whichever stage it is.
TEST_F(WinInet, CancelEndsTheWaitWhereverTheServerHolds) {
  // The file query and the service request are stopped by the same flag as
  // the download.
  enum class Call { Download, Query, Request };
  const struct {
    const char* fault;
    Call call;
    int32_t reached;  // bytes written when the flag goes up; -1: before the headers
  } cases[] = {
      {"hold=on", Call::Download, -1},      {"stall=0", Call::Download, 0},
      {"stall=1024", Call::Download, 1024}, {"hold=on", Call::Query, -1},
      {"hold=on", Call::Request, -1},       {"stall=0", Call::Request, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + " call " + std::to_string(static_cast<int>(c.call)));
    RefServerControl("reset");
    RefServerControl(std::string("fault?") + c.fault);
    session = ZanHttpSession::Create(L"127.0.0.1", RefServerPort());
    const std::string local = WorkFile("cancel-held.bin");
    const std::string url = Url("data-65536.bin");
    const char* held =
        c.call == Call::Request ? " GET /zan_requests/" : " GET /data-65536.bin range ";
    std::atomic<int32_t> result{99};
    std::thread worker([&] {
      RemoteFileFacts facts;
      std::unique_ptr<char[]> response;
      int32_t length = 0;
      switch (c.call) {
        case Call::Download:
          result = Download(*session, local.c_str(), url.c_str(), false);
          break;
        case Call::Query:
          result = QueryRemoteFile(url.c_str(), facts, &session->cancelRequested);
          break;
        case Call::Request:
          result = session->SendSealedRequest(DescriptionRequest("plain").c_str(), response, length,
                                              &session->cancelRequested);
          break;
      }
    });
    const bool reached = AwaitCondition([&] {
      // Held answers are numbered over the server's life: match the rest.
      if (c.reached < 0 || c.call == Call::Request) return Contains(RefServerLog(), held);
      return session->busy.load() == 1 && session->presentBytes.load() == c.reached;
    });
    session->cancelRequested.exchange(1);
    worker.join();
    ASSERT_TRUE(reached);
    const int32_t expected[] = {-2, 0, ERROR_INTERNET_OPERATION_CANCELLED};
    EXPECT_EQ(result.load(), expected[static_cast<int>(c.call)]);
    if (c.call == Call::Download) {
      EXPECT_EQ(ReadBytes(local), Pattern(std::max(c.reached, 0)));
      EXPECT_EQ(session->busy.load(), 0);
      EXPECT_EQ(session->cancelRequested.load(), 0);
    }
  }
}

TEST_F(WinInet, MonitorSeesCountersSetBeforeBusyAndGrowing) {
  // The server holds the body after 700 bytes until the monitor below has
  // seen them arrive, so it cannot miss the transfer however threads run.
  RefServerControl("fault?stall=700");
  const std::string local = WorkFile("monitored.bin");
  WriteBytes(local, Pattern(1500).substr(0, 300));
  std::atomic<int32_t> result{99};
  std::thread worker(
      [&] { result = Download(*session, local.c_str(), Url("data-1500.bin").c_str(), true); });
  struct Sample {
    uint32_t count;
    int32_t total, present;
    bool operator!=(const Sample& o) const {
      return count != o.count || total != o.total || present != o.present;
    }
  };
  std::vector<Sample> seen;  // while busy, in order
  auto sample = [&] {
    if (session->busy.load() != 1) return;
    const Sample now{session->transferCount.load(), session->totalBytes.load(),
                     session->presentBytes.load()};
    if (seen.empty() || seen.back() != now) seen.push_back(now);
  };
  const bool held = AwaitCondition([&] {
    sample();
    return !seen.empty() && seen.back().present == 1000;
  });
  RefServerControl("release");
  const bool ended = AwaitCondition([&] {
    sample();
    return result.load() != 99;
  });
  worker.join();
  ASSERT_TRUE(held);
  ASSERT_TRUE(ended);
  ASSERT_EQ(result.load(), 0);
  EXPECT_EQ(ReadBytes(local), Pattern(1500));
  int32_t last = 300;
  for (const Sample& s : seen) {
    EXPECT_EQ(s.count, 1u);
    EXPECT_EQ(s.total, 1500);
    EXPECT_GE(s.present, last);
    EXPECT_LE(s.present, 1500);
    last = s.present;
  }
}

// ---- size query

TEST_F(WinInet, SizeQueryReadsTheDeclaredLength) {
  RemoteFileFacts facts;
  ASSERT_TRUE(QueryRemoteFile(Url("data-65536.bin").c_str(), facts));
  EXPECT_EQ(facts.size, 65536u);
  const std::string log = RefServerLog();
  EXPECT_TRUE(Contains(log, "> User-Agent: ngx_http_get\n")) << log;
  EXPECT_FALSE(Contains(log, "> Range:")) << log;
}

TEST_F(WinInet, SizeQueryFailuresLeaveTheSizeAlone) {
  const struct {
    const char* fault;
    const char* url;
  } cases[] = {{"", "no-such-file.bin"},
               {"status=206", "data-1500.bin"},
               {"length=missing", "data-1500.bin"},
               {"length=abc", "data-1500.bin"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + " " + c.url);
    if (*c.fault) RefServerControl(std::string("fault?") + c.fault);
    RemoteFileFacts facts{77, "v"};
    EXPECT_FALSE(QueryRemoteFile(Url(c.url).c_str(), facts));
    EXPECT_EQ(facts.size, 77u);
    EXPECT_EQ(facts.validator, "v");
    RefServerControl("reset");
  }
  RemoteFileFacts facts{77, "v"};
  EXPECT_FALSE(QueryRemoteFile(nullptr, facts));
  EXPECT_FALSE(QueryRemoteFile("", facts));
  EXPECT_FALSE(QueryRemoteFile("http://127.0.0.1:1/data-1500.bin", facts));
  EXPECT_EQ(facts.size, 77u);
}

}  // namespace
}  // namespace halvora::test
