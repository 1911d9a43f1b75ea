#include "base/debug_output.h"

#include <windows.h>

namespace halvora {

void DebugOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace halvora
