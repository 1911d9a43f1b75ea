#include "base/debug_output.h"

#include <windows.h>

namespace halvora {

void DebugOutput(const char* text) { OutputDebugStringA(text); }
void DebugOutput(const wchar_t* text) { OutputDebugStringW(text); }

}  // namespace halvora
