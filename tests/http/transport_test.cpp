// The portable pieces of the HTTP transport: URL composition, gzip
// inflation with its ceiling, header reading and the download's decision.

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "net/http/base64.h"
#include "net/http/gzip_body.h"
#include "net/http/gzip_encode.h"
#include "net/http/http_reply.h"
#include "net/http/service_url.h"
#include "net/http/zan_http_session.h"
#include "tests/http/sealing_vectors.inc"

namespace halvora {
namespace {

std::string Text(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 13 + i / 7) % 26);
  return text;
}

TEST(ZanHttpSession, CreateFormsTheBaseUrl) {
  auto session = ZanHttpSession::Create(L"example.test", 80);
  EXPECT_EQ(session->BaseUrl(), "http://example.test:80/zan_requests/");
  EXPECT_EQ(session->busy.load(), 0);
  EXPECT_EQ(session->cancelRequested.load(), 0);
  EXPECT_EQ(session->totalBytes.load(), 0);
  EXPECT_EQ(session->presentBytes.load(), 0);

  EXPECT_EQ(ZanHttpSession::Create(L"127.0.0.1", 0)->BaseUrl(), "http://127.0.0.1:0/zan_requests/");
}

TEST(ZanHttpSession, HostIsCutTo255Bytes) {
  const std::wstring longHost(300, L'h');
  auto session = ZanHttpSession::Create(longHost, 8080);
  EXPECT_EQ(std::string(session->Host()), std::string(255, 'h'));
  EXPECT_EQ(session->BaseUrl(), "http://" + std::string(255, 'h') + ":8080/zan_requests/");
}

TEST(ServiceUrl, TargetsOfBlanksAddNothing) {
  const struct {
    const char* target;
    std::string encoded;
  } cases[] = {
      {nullptr, ""},   {"", ""},
      {" ", ""},       {" \t\r\n\v\f", ""},
      {"a", "YQ==*"},  {" a", "IGE=*"},  // untrimmed: the leading blank travels too
      {"a ", "YSA=*"}, {"apps/x", Base64Encode("apps/x") + "*"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target ? c.target : "(none)");
    EXPECT_EQ(EncodeTarget(c.target), c.encoded);
  }
}

TEST(ServiceUrl, UrlIsBaseThenTargetThenText) {
  const std::string base = "http://h:80/zan_requests/";
  std::string url;
  ASSERT_TRUE(BuildServiceUrl(base, "<a/>", BodyEncoding::Base64, "t", url));
  EXPECT_EQ(url, base + Base64Encode("t") + "*" + Base64Encode("<a/>"));

  const test::SealingVector& sealed = test::kSealedDescriptionRequest;
  ASSERT_TRUE(BuildServiceUrl(base, sealed.text, BodyEncoding::Sealed, nullptr, url));
  EXPECT_EQ(url, base + sealed.sealed);

  // An empty text encodes to empty text in either encoding.
  for (BodyEncoding encoding : {BodyEncoding::Sealed, BodyEncoding::Base64}) {
    ASSERT_TRUE(BuildServiceUrl(base, "", encoding, "t", url));
    EXPECT_EQ(url, base + Base64Encode("t") + "*");
  }
  // Nothing is escaped: base64's "/" and "+" stay as they are.
  const std::string marks = std::string(3, '?') + ">>>";
  ASSERT_TRUE(BuildServiceUrl(base, marks.c_str(), BodyEncoding::Base64, nullptr, url));
  EXPECT_EQ(url, base + "Pz8/Pj4+");
}

TEST(GzipBody, InflatesAtAndAroundPassBoundaries) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{1023}, size_t{1024}, size_t{1025}, size_t{2048},
                      size_t{3072}, size_t{100000}}) {
    SCOPED_TRACE(size);
    const std::string text = Text(size);
    const std::string gz = GzipCompress(text);
    std::vector<char> out;
    ASSERT_TRUE(InflateGzipBody(gz.data(), gz.size(), out, kMaxServiceAnswerBytes));
    ASSERT_EQ(out.size(), size + 1);
    EXPECT_EQ(std::string(out.data(), size), text);
    EXPECT_EQ(out.back(), '\0');
  }
}

TEST(GzipBody, RejectsWhatIsNotOneCompleteGzipStream) {
  const std::string gz = GzipCompress(Text(5000));
  std::string zlibWrapped(compressBound(10), '\0');
  uLongf zlibSize = static_cast<uLongf>(zlibWrapped.size());
  compress(reinterpret_cast<Bytef*>(zlibWrapped.data()), &zlibSize,
           reinterpret_cast<const Bytef*>("0123456789"), 10);
  zlibWrapped.resize(zlibSize);
  std::string corrupt = gz;
  corrupt[gz.size() / 2] ^= 0x55;

  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"empty", ""},
      {"header only", gz.substr(0, 10)},
      {"cut in the middle", gz.substr(0, gz.size() / 2)},
      {"cut before the trailer", gz.substr(0, gz.size() - 8)},
      {"one byte short", gz.substr(0, gz.size() - 1)},
      {"zlib wrapper", zlibWrapped},
      {"plain text", "<xml>not compressed</xml>"},
      {"corrupt", corrupt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<char> out{'x'};
    EXPECT_FALSE(InflateGzipBody(c.data.data(), c.data.size(), out, kMaxServiceAnswerBytes));
    EXPECT_TRUE(out.empty());
  }
}

TEST(GzipBody, OutputCeiling) {
  const std::string gz = GzipCompress(Text(4096));
  std::vector<char> out;
  EXPECT_TRUE(InflateGzipBody(gz.data(), gz.size(), out, 4096));
  EXPECT_FALSE(InflateGzipBody(gz.data(), gz.size(), out, 4095));

  // A small answer that would inflate past 64 MiB is refused, not inflated.
  const std::string bomb = GzipCompress(std::string(kMaxServiceAnswerBytes + 1, '\0'));
  ASSERT_LT(bomb.size(), size_t{1} << 20);
  EXPECT_FALSE(InflateGzipBody(bomb.data(), bomb.size(), out, kMaxServiceAnswerBytes));
}

TEST(HttpReply, ContentLengthMustFitTheCounters) {
  const struct {
    std::string text;
    std::optional<int32_t> value;
  } cases[] = {
      {"0", 0},
      {"1500", 1500},
      {" 42 ", 42},
      {"2147483647", INT32_MAX},
      {"2147483648", {}},
      {"-5", {}},
      {"abc", {}},
      {"", {}},
      {"12abc", {}},
      {"+5", {}},
      {"99999999999999999999999", {}},
      {"1 2", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseContentLength(c.text), c.value);
  }
}

TEST(HttpReply, ContentRangeStart) {
  const struct {
    std::string text;
    std::optional<int64_t> first;
  } cases[] = {
      {"bytes 0-99/100", 0},      {"bytes 1000-1499/1500", 1000},
      {"bytes 5-5/*", 5},         {"bytes */1500", {}},
      {"bytes 10-5/100", {}},     {"items 0-9/10", {}},
      {"bytes x-9/10", {}},       {"", {}},
      {"Bytes 100-199/200", 100}, {"BYTES 7-9/10", 7},
      {"byte 0-9/10", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseContentRangeStart(c.text), c.first);
  }
}

TEST(HttpReply, DownloadPlans) {
  using A = DownloadPlan::Action;
  const std::optional<std::string> none;
  const struct {
    const char* name;
    std::string status;
    std::optional<std::string> length, range;
    int64_t offset;
    A action;
    int32_t kept, total;
    bool headersReadable = true;
  } cases[] = {
      {"fresh 206", "206", "1500", "bytes 0-1499/1500", 0, A::Transfer, 0, 1500},
      {"fresh 200", "200", "1500", none, 0, A::Transfer, 0, 1500},
      {"resume 206", "206", "500", "bytes 1000-1499/1500", 1000, A::Transfer, 1000, 1500},
      {"206 without Content-Range", "206", "500", none, 1000, A::Transfer, 1000, 1500},
      {"resume drew 200", "200", "1500", none, 1000, A::StartOver, 0, 1500},
      {"no Content-Length", "200", none, none, 0, A::Transfer, 0, 0},
      {"no Content-Length on resume", "206", none, none, 700, A::Transfer, 700, 700},
      {"416", "416", "0", "bytes */1500", 1500, A::RangeEnd, 0, 0},
      {"416 with unreadable headers", "416", none, none, 1500, A::RangeEnd, 0, 0, false},
      {"206 with unreadable headers", "206", "500", none, 1000, A::Reject, 0, 0, false},
      {"shifted range", "206", "500", "bytes 1005-1504/1505", 1000, A::Reject, 0, 0},
      {"unreadable range", "206", "500", "bytes */1500", 1000, A::Reject, 0, 0},
      {"negative length", "206", "-1", none, 0, A::Reject, 0, 0},
      {"length not a number", "200", "many", none, 0, A::Reject, 0, 0},
      {"length past the counters", "206", "2147483000", none, 1000, A::Reject, 0, 0},
      {"length at the counters' end", "206", "2147482647", none, 1000, A::Transfer, 1000,
       INT32_MAX},
      {"offset past the counters", "206", "1", none, int64_t{INT32_MAX} + 1, A::Reject, 0, 0},
      {"404", "404", "10", none, 0, A::Reject, 0, 0},
      {"500", "500", "10", none, 0, A::Reject, 0, 0},
      {"204", "204", none, none, 0, A::Reject, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const DownloadPlan plan =
        PlanDownload(c.status, c.length, c.range, c.offset, c.headersReadable);
    EXPECT_EQ(plan.action, c.action);
    if (c.action == A::Transfer || c.action == A::StartOver) {
      EXPECT_EQ(plan.offset, c.kept);
      EXPECT_EQ(plan.total, c.total);
    }
  }
}

TEST(HttpReply, RemoteSize) {
  const struct {
    uint32_t status;
    std::optional<std::string> length;
    std::optional<uint32_t> size;
  } cases[] = {
      {200, "3000", 3000},
      {200, "3000000000", 3000000000u},  // past INT32_MAX, still a size
      {200, "0", 0},
      {200, "4294967297", 1},  // cut to 32 bits
      {200, std::nullopt, std::nullopt},
      {200, "abc", std::nullopt},
      {200, "-1", std::nullopt},
      {206, "3000", std::nullopt},
      {404, "10", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(RemoteSizeFromAnswer(c.status, c.length), c.size);
  }
}

TEST(HttpReply, AnswerFacts) {
  const std::optional<std::string> none;
  const struct {
    std::optional<std::string> retryAfter;
    uint32_t seconds;
    std::optional<std::string> etag, lastModified;
    std::string validator;
  } cases[] = {
      {"120", 120, "\"v1\"", "Tue, 01 Dec 2026 10:00:00 GMT", "\"v1\""},
      {" 7 ", 7, " \"v1\" ", none, "\"v1\""},
      {"3601", kMaxRetryAfterSeconds, "W/\"v1\"", "Tue, 01 Dec 2026 10:00:00 GMT",
       "Tue, 01 Dec 2026 10:00:00 GMT"},
      {"99999999999999999999999", kMaxRetryAfterSeconds, "W/\"v1\"", none, ""},
      {"Wed, 21 Oct 2026 07:28:00 GMT", 0, "", "Tue, 01 Dec 2026", "Tue, 01 Dec 2026"},
      {"-5", 0, none, none, ""},
      {none, 0, none, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.retryAfter.value_or("(none)"));
    EXPECT_EQ(RetryAfterSeconds(c.retryAfter), c.seconds);
    EXPECT_EQ(FileValidator(c.etag, c.lastModified), c.validator);
  }
}

}  // namespace
}  // namespace halvora
