#pragma once
// Conversion between narrow text in the active ANSI code page (code page 936,
// GBK, on the systems the program serves) and UTF-16 wide text.
//
// Resource texts, request texts, XML values, zip entry names, URLs and paths
// handed to the network layers are narrow; window texts, paths held by the UI
// and INI values are wide. These two functions are the only place that knows
// the code page: on Windows the active ANSI code page, on the native build the
// C library's current locale (LC_CTYPE).
//
// Bytes that do not decode become U+FFFD; characters the code page cannot
// express become '?', as the platform's own conversions do.

#include <string>
#include <string_view>

namespace halvora {

std::wstring AnsiToWide(std::string_view narrow);
std::string WideToAnsi(std::wstring_view wide);

}  // namespace halvora
