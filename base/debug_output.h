#pragma once
// Diagnostic text for a developer: the debugger output on Windows
// (OutputDebugStringA), standard error on the native build. The program keeps
// no log file; these few texts are all it reports outside its results.

namespace halvora {

void DebugOutput(const char* text);

}  // namespace halvora
