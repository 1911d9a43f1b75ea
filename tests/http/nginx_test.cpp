// The downloads against nginx, a server with ranges that no one here wrote
// (started by with-nginx): fresh download, resume, the 416 of a complete
// file, and the size query.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"
#include "tests/support/peer_files.h"

namespace halvora {
namespace {

using test::Env;
using test::ReadBytes;
using test::WinePath;
using test::WriteBytes;

class Nginx : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(Env("HALVORA_NGINX_URL").empty()) << "run through tests/http/with-nginx";
    served = ReadBytes(WinePath(Env("HALVORA_NGINX_ROOT") + "/interop.bin"));
    ASSERT_EQ(served.size(), 100000u);
    session = ZanHttpSession::Create(L"127.0.0.1", 80);
  }
  std::string Local(const char* name) const {
    return WinePath(Env("HALVORA_TEST_WORKDIR")) + "\\" + name;
  }
  std::string url = Env("HALVORA_NGINX_URL") + "interop.bin";
  std::string served;
  std::unique_ptr<ZanHttpSession> session;
};

TEST_F(Nginx, FreshDownload) {
  const std::string local = Local("fresh.bin");
  ASSERT_EQ(DownloadHttpFile(*session, local.c_str(), url.c_str(), false), 0);
  EXPECT_EQ(ReadBytes(local), served);
  EXPECT_EQ(session->totalBytes.load(), 100000);
  EXPECT_EQ(session->presentBytes.load(), 100000);
}

TEST_F(Nginx, ResumeAfterPartialFile) {
  const std::string local = Local("resume.bin");
  WriteBytes(local, served.substr(0, 40000));
  ASSERT_EQ(DownloadHttpFile(*session, local.c_str(), url.c_str(), true), 0);
  EXPECT_EQ(ReadBytes(local), served);
  EXPECT_EQ(session->totalBytes.load(), 100000);
}

TEST_F(Nginx, ResumingACompleteFileIsRefused) {
  const std::string local = Local("complete.bin");
  WriteBytes(local, served);
  EXPECT_EQ(DownloadHttpFile(*session, local.c_str(), url.c_str(), true), -3);
  EXPECT_EQ(ReadBytes(local), served);
}

TEST_F(Nginx, SizeQuery) {
  int32_t size = 0;
  ASSERT_TRUE(QueryRemoteSize(url.c_str(), size));
  EXPECT_EQ(size, 100000);
  size = 77;
  EXPECT_FALSE(QueryRemoteSize((Env("HALVORA_NGINX_URL") + "missing.bin").c_str(), size));
  EXPECT_EQ(size, 77);
}

}  // namespace
}  // namespace halvora
