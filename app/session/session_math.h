#pragma once
// The progress and speed arithmetic of an install session. Counters are
// unsigned 32-bit values and the clock is a 32-bit millisecond tick count, so
// differences are taken modulo 2^32: a counter or a clock that wraps between
// two samples still gives the right difference.

#include <cstdint>

// A new speed sample is taken only after more than this many milliseconds.
inline constexpr uint32_t kSpeedSampleMs = 1000;
// How often a monitor looks at the transfer's counters.
inline constexpr uint32_t kMonitorPollMs = 10;

// The run's progress as the bar shows it: the bytes of the running file plus
// those of the files already transferred, over all the bytes of this run.
// A run with nothing to transfer is complete.
float ProgressFraction(uint32_t current, uint32_t bytesDone, uint32_t bytesToDownload);

// True when more than kSpeedSampleMs have passed from `start` to `now`.
bool SpeedSampleDue(uint32_t start, uint32_t now);

// Speed in units of 1024 bytes per second over the bytes moved between two
// samples taken `start` and `now` apart.
double SpeedKbps(uint32_t bytesBefore, uint32_t bytesNow, uint32_t start, uint32_t now);
