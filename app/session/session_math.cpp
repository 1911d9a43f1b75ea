#include "app/session/session_math.h"

float ProgressFraction(uint32_t current, uint32_t bytesDone, uint32_t bytesToDownload) {
  if (bytesToDownload == 0) return 1.0f;
  const uint32_t present = current + bytesDone;
  return static_cast<float>(static_cast<double>(present) / static_cast<double>(bytesToDownload));
}

bool SpeedSampleDue(uint32_t start, uint32_t now) {
  return static_cast<uint32_t>(now - start) > kSpeedSampleMs;
}

double SpeedKbps(uint32_t bytesBefore, uint32_t bytesNow, uint32_t start, uint32_t now) {
  const uint32_t moved = bytesNow - bytesBefore;
  const uint32_t elapsed = now - start;
  return moved * 1000.0 * 0.0009765625 / elapsed;
}
