#include "base/debug_output.h"

#include <cstdio>

#include "base/text.h"

namespace halvora {

void DebugOutput(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
}

void DebugOutput(const wchar_t* text) { DebugOutput(WideToAnsi(text).c_str()); }

}  // namespace halvora
