// The session's progress and speed arithmetic, its retry rules and its
// records of partial files, as tables.
#include <gtest/gtest.h>

#include "app/session/part_record.h"
#include "app/session/retry_schedule.h"
#include "app/session/session_math.h"

namespace {

TEST(SessionMath, ProgressIsTheRunsShareInSinglePrecision) {
  const struct {
    uint32_t current, done, toDownload;
    float expected;
  } cases[] = {
      {0, 0, 700, 0.0f},
      {350, 0, 700, 0.5f},
      {0, 300, 1000, 0.3f},
      {700, 300, 1000, 1.0f},
      // The bar clamps an overshoot; the quotient itself is not cut.
      {200, 1000, 1000, 1.2f},
      // The sum is an unsigned 32-bit value: it wraps.
      {0xFFFFFFFFu, 2, 4, 0.25f},
      // Beyond 2^24 the quotient is rounded once, to single precision.
      {16777217u, 0, 16777216u, 1.0f},
      {1, 0, 3, 1.0f / 3.0f},
      {5, 0, 0, 1.0f},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressFraction(c.current, c.done, c.toDownload), c.expected)
        << c.current << " + " << c.done << " / " << c.toDownload;
  }
}

TEST(SessionMath, SpeedIsKilobytesPerSecondAfterMoreThanASecond) {
  const struct {
    uint32_t before, now, start, at;
    bool due;
    double kbps;
  } cases[] = {
      {0, 1024, 0, 1000, false, 1.024},
      {0, 1024, 0, 1001, true, 1024 * 1000.0 / 1024 / 1001},
      {0, 2048, 5000, 7000, true, 1.0},
      // Both differences are taken modulo 2^32: a wrapped tick count and a
      // wrapped byte counter still measure what moved.
      {0xFFFFFC00u, 0x400u, 0xFFFFFF00u, 0x300u, true, 2048 * 1000.0 / 1024 / 1024},
      {100, 100, 0, 1500, true, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SpeedSampleDue(c.start, c.at), c.due) << c.start << ".." << c.at;
    if (c.due) {
      EXPECT_DOUBLE_EQ(SpeedKbps(c.before, c.now, c.start, c.at), c.kbps)
          << c.start << ".." << c.at;
    }
  }
}

TEST(SessionMath, OnlyStatusesThatMayChangeAreRetried) {
  for (const int32_t status : {0, 200, 206, 408, 429, 500, 503, 599}) {
    EXPECT_TRUE(RetryableHttpStatus(status)) << status;
  }
  for (const int32_t status : {301, 400, 403, 404, 410, 416, 600}) {
    EXPECT_FALSE(RetryableHttpStatus(status)) << status;
  }
}

// A record read back from disk may be anything: only a complete one counts.
TEST(SessionMath, PartRecordsReadBackOnlyWhenComplete) {
  const PartRecord record{"http://127.0.0.1/a b&<c>.zip", 4000000000u, "\"5-1a2b\""};
  const std::optional<PartRecord> back = ParsePartRecord(FormatPartRecord(record));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->remote, record.remote);
  EXPECT_EQ(back->size, record.size);
  EXPECT_EQ(back->validator, record.validator);
  for (const char* text : {
           "",
           "<part remote=\"a\" size=\"5\"/>",
           "<part remote=\"a\" size=\"-5\" validator=\"v\"/>",
           "<part remote=\"a\" size=\"5x\" validator=\"v\"/>",
           "<part remote=\"a\" size=\"4294967296\" validator=\"v\"/>",
           "<other remote=\"a\" size=\"5\" validator=\"v\"/>",
           "<part remote=\"a\" size=\"5\" validator=\"v\"><a><b><c/></b></a></part>",
       }) {
    EXPECT_FALSE(ParsePartRecord(text)) << text;
  }
}

TEST(SessionMath, APartialFileGoesOnOnlyAsTheSameVersion) {
  const PartRecord record{"u", 100, "v"};
  const struct {
    const char* what;
    std::optional<PartRecord> record;
    std::string remote;
    uint32_t remoteSize;
    std::string validator;
    uint32_t localSize;
    bool continues;
  } cases[] = {
      {"same file, same version", record, "u", 100, "v", 40, true},
      {"no record", std::nullopt, "u", 100, "v", 40, false},
      {"another path", record, "w", 100, "v", 40, false},
      {"another size", record, "u", 101, "v", 40, false},
      {"another version", record, "u", 100, "x", 40, false},
      {"the server gives no validator", PartRecord{"u", 100, ""}, "u", 100, "", 40, false},
      {"size unknown now", PartRecord{"u", 0, "v"}, "u", 0, "v", 40, false},
      {"longer than the remote file", record, "u", 100, "v", 140, false},
      {"nothing on disk", record, "u", 100, "v", 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PartialMayContinue(c.record, c.remote, c.remoteSize, c.validator, c.localSize),
              c.continues)
        << c.what;
  }
}

}  // namespace
