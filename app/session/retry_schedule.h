#pragma once
// When a failed transfer is tried again. Waits grow from one second to half a
// minute with a fifth of jitter either way, so many clients cut off by the
// same outage do not come back in step; a server's Retry-After is honoured up
// to a minute. A transfer that moved bytes before it failed starts the
// schedule afresh: only failures in a row without progress use it up.

#include <cstdint>
#include <optional>

// Retries in a row without progress before the session gives up.
inline constexpr int kMaxRetries = 7;
// The longest Retry-After the session waits for; a longer one is cut to it.
inline constexpr uint32_t kMaxRetryAfterSeconds = 60;

class RetrySchedule {
 public:
  explicit RetrySchedule(uint32_t seed) : state(seed | 1u) {}

  // The wait before the next attempt, after a failure that moved
  // `movedBytes`; nothing when the attempts are used up. A Retry-After of
  // `retryAfterSeconds` (0: none) replaces the schedule's wait when longer.
  std::optional<uint32_t> NextWaitMs(uint32_t movedBytes, uint32_t retryAfterSeconds);
  // The user took over (a resume after giving up): a fresh schedule.
  void Reset() { failures = 0; }

 private:
  uint32_t NextRandom();

  uint32_t state;
  int failures = 0;
};

// True for an HTTP status worth trying again: none at all (the connection
// failed), a success cut short, 408, 429 and the server errors. Any other
// status will not change by asking again.
bool RetryableHttpStatus(int32_t status);
