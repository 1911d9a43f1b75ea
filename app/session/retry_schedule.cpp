#include "app/session/retry_schedule.h"

#include <algorithm>
#include <array>

namespace {

constexpr std::array<uint32_t, kMaxRetries> kBaseWaitsMs = {1000,  2000,  4000, 8000,
                                                            16000, 30000, 30000};
// Jitter is this share of the wait either way, in percent.
constexpr uint32_t kJitterPercent = 20;

}  // namespace

std::optional<uint32_t> RetrySchedule::NextWaitMs(uint32_t movedBytes,
                                                  uint32_t retryAfterSeconds) {
  if (movedBytes != 0) failures = 0;
  if (failures >= kMaxRetries) return std::nullopt;
  const uint32_t base = kBaseWaitsMs[static_cast<size_t>(failures++)];
  const uint32_t spread = base * kJitterPercent / 100;
  const uint32_t jittered = base - spread + NextRandom() % (2 * spread + 1);
  const uint32_t asked = std::min(retryAfterSeconds, kMaxRetryAfterSeconds) * 1000;
  return std::max(jittered, asked);
}

// xorshift32: enough to spread clients apart, and repeatable under test.
uint32_t RetrySchedule::NextRandom() {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

bool RetryableHttpStatus(int32_t status) {
  return status == 0 || status == 200 || status == 206 || status == 408 || status == 429 ||
         (status >= 500 && status <= 599);
}
