#include "base/debug_output.h"

#include <cstdio>

namespace halvora {

void DebugOutput(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
}

}  // namespace halvora
