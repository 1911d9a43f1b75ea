// The reference server's own logic: request decoding, catalog answers,
// ranges and fault settings. Its wire behaviour is exercised by the WinINet
// tests and the nginx comparison.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "net/http/base64.h"
#include "tests/http/sealing_vectors.inc"
#include "tools/refserver/byte_range.h"
#include "tools/refserver/catalog.h"
#include "tools/refserver/faults.h"
#include "tools/refserver/service_request.h"

namespace halvora::refserver {
namespace {

namespace fs = std::filesystem;

TEST(ServicePath, DecodesBothEncodingsAndTheTarget) {
  const std::string text = "<Request><Data RequestId=\"-4\"/></Request>";
  const test::SealingVector& sealed = test::kSealedDescriptionRequest;
  const struct {
    std::string path;
    const char* encoding;
    std::optional<std::string> target;
    std::string text;
  } cases[] = {
      {sealed.sealed, "sealed", std::nullopt, sealed.text},
      {Base64Encode(text), "base64", std::nullopt, text},
      {Base64Encode("apps/x") + "*" + Base64Encode(text), "base64", "apps/x", text},
      {Base64Encode(" a") + "*" + sealed.sealed, "sealed", " a", sealed.text},
      {Base64Encode("t") + "*", "empty", "t", ""},
      {"", "empty", std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::string error;
    const auto request = DecodeServicePath(c.path, error);
    ASSERT_TRUE(request) << error;
    EXPECT_EQ(request->encoding, c.encoding);
    EXPECT_EQ(request->target, c.target);
    EXPECT_EQ(request->text, c.text);
  }
}

TEST(ServicePath, RefusesWhatDoesNotDecode) {
  for (const std::string& path :
       std::vector<std::string>{"abc", "not base64!", "%%%*" + Base64Encode("<a/>"),
                                Base64Encode("plain words"), Base64Encode("<a/>").substr(1)}) {
    SCOPED_TRACE(path);
    std::string error;
    EXPECT_FALSE(DecodeServicePath(path, error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(ServicePath, ReadsTheFieldsOfTheThreeRequests) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>";
  auto f = ReadRequestFields(decl +
                             "<Request><SvcId>1</SvcId><Type>xml</Type><Data "
                             "RequestId=\"311\"><AppItem appId=\"a1\" /></Data></Request>");
  EXPECT_EQ(f.requestId, 311);
  EXPECT_EQ(f.appId, "a1");
  f = ReadRequestFields(decl +
                        "<Request><SvcId>1</SvcId><Type>xml</Type><Data "
                        "RequestId=\"-1\"><clientProgram><appId>a2</appId><OS>64</OS></"
                        "clientProgram></Data></Request>");
  EXPECT_EQ(f.requestId, -1);
  EXPECT_EQ(f.appId, "a2");
  EXPECT_EQ(f.os, "64");
  f = ReadRequestFields("<Request><Data RequestId=\"x\"/></Request>");
  EXPECT_FALSE(f.requestId);
}

TEST(ByteRange, AnswersLikeAServerWithRanges) {
  const struct {
    std::optional<std::string> header;
    uint64_t size;
    int status;
    uint64_t first, length;
  } cases[] = {
      {std::nullopt, 1500, 200, 0, 1500},
      {"bytes=0-", 1500, 206, 0, 1500},
      {"bytes=1000-", 1500, 206, 1000, 500},
      {"bytes=1499-", 1500, 206, 1499, 1},
      {"bytes=1500-", 1500, 416, 0, 0},
      {"bytes=9999-", 1500, 416, 0, 0},
      {"bytes=0-", 0, 416, 0, 0},
      {"bytes=10-19", 1500, 206, 10, 10},
      {"bytes=10-99999", 1500, 206, 10, 1490},
      {"bytes=-500", 1500, 200, 0, 1500},     // suffix ranges: not offered
      {"bytes=0-1,5-6", 1500, 200, 0, 1500},  // several ranges: not offered
      {"items=0-", 1500, 200, 0, 1500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header.value_or("(none)"));
    const RangeAnswer a = AnswerRange(c.header, c.size);
    EXPECT_EQ(a.status, c.status);
    if (c.status != 416) {
      EXPECT_EQ(a.first, c.first);
      EXPECT_EQ(a.length, c.length);
    }
  }
}

class CatalogTest : public testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("halvora-catalog-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "apps" / "a1");
    fs::create_directories(root / "files" / "dir");
    Write("apps/a1/description.xml", "<AppItem dataServerAddr=\"@HOST@\" port=\"@PORT@\" />");
    Write("apps/a1/clientprogram.xml", "any");
    Write("apps/a1/clientprogram-64.xml", "x64");
    Write("apps/a1/gzip", "clientprogram\n");
    Write("files/dir/f.bin", "data");
    Write("secret.txt", "outside");
  }
  void TearDown() override { fs::remove_all(root); }
  void Write(const std::string& rel, const std::string& text) {
    std::ofstream(root / rel, std::ios::binary) << text;
  }
  fs::path root;
};

TEST_F(CatalogTest, AnswersFromTheApplicationFolder) {
  const Catalog catalog(root, "127.0.0.1", 8123);
  std::string error;
  ASSERT_TRUE(catalog.Check(error)) << error;

  std::string why;
  auto answer = catalog.AnswerFor({311, "a1", ""}, why);
  ASSERT_TRUE(answer) << why;
  EXPECT_EQ(answer->body, "<AppItem dataServerAddr=\"127.0.0.1\" port=\"8123\" />");
  EXPECT_FALSE(answer->gzip);

  answer = catalog.AnswerFor({-1, "a1", "64"}, why);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->body, "x64");
  EXPECT_TRUE(answer->gzip);
  answer = catalog.AnswerFor({-1, "a1", "32"}, why);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->body, "any");

  const RequestFields missing[] = {
      {-4, "a1", ""},                            // no filesize.xml
      {311, "nope", ""},                         // no such application
      {311, "..", ""},                           // leaves apps/
      {311, "../apps/a1", ""},  {99, "a1", ""},  // unknown request
      {std::nullopt, "a1", ""},
  };
  for (const auto& fields : missing) {
    SCOPED_TRACE(fields.appId);
    EXPECT_FALSE(catalog.AnswerFor(fields, why));
    EXPECT_FALSE(why.empty());
  }
}

TEST_F(CatalogTest, FilesStayInsideTheTree) {
  const Catalog catalog(root, "127.0.0.1", 8123);
  EXPECT_EQ(catalog.FileFor("/dir/f.bin"), root / "files" / "dir" / "f.bin");
  EXPECT_EQ(catalog.FileFor("//dir//f.bin"), root / "files" / "dir" / "f.bin");
  for (const char* path : {"/", "/dir", "/../secret.txt", "/dir/../../secret.txt", "/nope"})
    EXPECT_FALSE(catalog.FileFor(path)) << path;
}

TEST(Faults, SettingsAndTheirValues) {
  Faults faults;
  std::string error;
  EXPECT_TRUE(faults.Set("status", "503", error));
  EXPECT_TRUE(faults.Set("length", "abc", error));
  EXPECT_TRUE(faults.Set("cut", "10", error));
  EXPECT_TRUE(faults.Set("stall", "0", error));
  EXPECT_TRUE(faults.Set("range-shift", "-3", error));
  EXPECT_TRUE(faults.Set("reset", "7", error));
  EXPECT_TRUE(faults.Set("pad", "100", error));
  EXPECT_EQ(faults.Describe(),
            "status=503 length=abc cut=10 reset=7 pad=100 stall=0 range-shift=-3");

  const std::pair<const char*, const char*> bad[] = {
      {"status", "99"}, {"status", "x"}, {"cut", "-1"}, {"trickle", "0"}, {"gzip", "yes"},
      {"range", "all"}, {"reset", "x"},  {"pad", "-1"}, {"nonsense", "1"}};
  for (const auto& [name, value] : bad) {
    SCOPED_TRACE(name);
    error.clear();
    EXPECT_FALSE(faults.Set(name, value, error));
    EXPECT_FALSE(error.empty());
  }
}

// Faults that apply to some answers only count the answers they see.
TEST(Faults, CountedFaultsApplyToTheirAnswersOnly) {
  Faults faults;
  std::string error;
  ASSERT_TRUE(faults.Set("status", "503", error));
  ASSERT_TRUE(faults.Set("status-times", "2", error));
  ASSERT_TRUE(faults.Set("cut", "10", error));
  ASSERT_TRUE(faults.Set("cut-ranged", "2", error));
  const struct {
    bool ranged;
    bool status, cut;
  } answers[] = {
      {true, true, false}, {false, true, false}, {true, false, true}, {true, false, false}};
  for (const auto& a : answers) {
    const Faults one = faults.ForAnswer(a.ranged);
    EXPECT_EQ(one.status.has_value(), a.status);
    EXPECT_EQ(one.cutAfter.has_value(), a.cut);
  }
  EXPECT_FALSE(faults.Set("cut-ranged", "0", error));
}

// A validator sent back in If-Range keeps the range only for the same
// version; touching the file makes another version.
TEST(ByteRange, IfRangeHoldsOnlyForTheSameVersion) {
  const fs::path file = fs::path(::testing::TempDir()) / "refserver-version.bin";
  std::ofstream(file, std::ios::binary) << "0123456789";
  const auto before = VersionOf(file);
  ASSERT_TRUE(before);
  EXPECT_EQ(before->size, 10u);
  EXPECT_EQ(before->etag.front(), '"');
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::hours(1));
  const auto after = VersionOf(file);
  ASSERT_TRUE(after);
  EXPECT_NE(after->etag, before->etag);
  EXPECT_NE(after->lastModified, before->lastModified);
  const struct {
    std::optional<std::string> ifRange;
    bool applies;
  } cases[] = {
      {std::nullopt, true},         {after->etag, true},  {after->lastModified, true},
      {before->etag, false},        {"W/" + after->etag, false},
      {before->lastModified, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RangeStillApplies(c.ifRange, *after), c.applies) << c.ifRange.value_or("(none)");
  }
  fs::remove(file);
}

}  // namespace
}  // namespace halvora::refserver
