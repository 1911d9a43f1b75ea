// The downloads against nginx, a server with ranges that no one here wrote
// (started by with-nginx): fresh download, resume, the 416 of a complete
// file, and the size query.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"
#include "tests/support/peer_files.h"

namespace halvora::test {
namespace {

int32_t Download(ZanHttpSession& session, const char* local, const char* url, bool resume) {
  HttpAnswerFacts facts;
  return DownloadHttpFile(session, local, url, resume, "", facts);
}

class Nginx : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("HALVORA_NGINX_URL").empty()) << "run through tests/http/with-nginx";
    served = ReadBytes(WinePath(Env("HALVORA_NGINX_ROOT") + "/interop.bin"));
    ASSERT_EQ(served.size(), 100000u);
  }
  std::string url = Env("HALVORA_NGINX_URL") + "interop.bin";
  std::string served;
};

TEST_F(Nginx, DownloadFreshResumedAndComplete) {
  const struct {
    size_t present;  // bytes of the file already there; with some, the download resumes
    int32_t result;
    int32_t counted;  // both counters, total and present, afterwards
  } cases[] = {{0, 0, 100000}, {40000, 0, 100000}, {100000, -3, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.present);
    const auto session = ZanHttpSession::Create(L"127.0.0.1", 80);
    const std::string local = WorkFile("download.bin");
    WriteBytes(local, served.substr(0, c.present));
    EXPECT_EQ(Download(*session, local.c_str(), url.c_str(), c.present > 0), c.result);
    EXPECT_EQ(ReadBytes(local), served);
    EXPECT_EQ(session->totalBytes.load(), c.counted);
    EXPECT_EQ(session->presentBytes.load(), c.counted);
  }
}

TEST_F(Nginx, SizeQuery) {
  RemoteFileFacts facts;
  ASSERT_TRUE(QueryRemoteFile(url.c_str(), facts));
  EXPECT_EQ(facts.size, 100000u);
  facts.size = 77;
  EXPECT_FALSE(QueryRemoteFile((Env("HALVORA_NGINX_URL") + "missing.bin").c_str(), facts));
  EXPECT_EQ(facts.size, 77u);
}

}  // namespace
}  // namespace halvora::test
