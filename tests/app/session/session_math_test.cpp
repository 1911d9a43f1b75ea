// The session's progress and speed arithmetic, as tables.
#include <gtest/gtest.h>

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

}  // namespace
