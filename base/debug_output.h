#pragma once
// Diagnostic text for a developer: the debugger output on Windows
// (OutputDebugStringA / OutputDebugStringW), standard error on the native
// build. The program keeps no log file; these few texts are all it reports
// outside its results. Under Wine 8, WINEDEBUG=warn+seh prints them
// (the "OutputDebugStringA" lines).

namespace halvora {

void DebugOutput(const char* text);
void DebugOutput(const wchar_t* text);

}  // namespace halvora
