#pragma once
// Rules for names that come from outside (a server's answer, an operator's
// command line) and become file or folder names on Windows.

#include <string_view>

namespace halvora {

// CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, in any letter case:
// Windows opens the device instead of a file of that name in every folder,
// also with an extension ("nul.txt") or trailing spaces.
bool IsDeviceName(std::wstring_view name);

// A name for one folder or file of our own: not empty, not "." or "..", no
// device name, and not ending in a dot or a space (Windows drops those, so
// two different names would meet in one folder).
bool IsPlainFileName(std::wstring_view name);

}  // namespace halvora
