#pragma once
// Parsing of the location specs a data server sends for a client program:
// "|"-separated specs, each "Type:" followed by one type character
//   1  registry value holding the program path, sections "pf32:" and "pf64:"
//      of the form ROOT\SUBKEY,VALUENAME
//   2  Start-menu shortcut, "Value:" followed by a path below the programs folder
//   3  desktop shortcut, "Value:" followed by a path below the desktop folder
// Markers are found by searching, wherever they stand in the location spec.

#include <string>
#include <string_view>
#include <vector>

// The specs of a list, split at every '|' (empty specs included).
std::vector<std::wstring> SplitLocationList(std::wstring_view list);

// The character right after the first "Type:", or L'\0' when there is none.
wchar_t LocationSpecType(std::wstring_view spec);

// The registry section that applies on this Windows: on 64-bit Windows the
// text after "pf64:" (empty without one); on 32-bit Windows the text after
// "pf32:" up to one character before "pf64:", or to the end when "pf64:" is
// missing or stands too early (empty without "pf32:").
std::wstring RegistrySection(std::wstring_view spec, bool windows64);

// The text after "Value:" to the end of the location spec (empty without the marker).
std::wstring ShortcutRelativePath(std::wstring_view spec);

// Whether a shortcut path below a special folder stays below it: no ".."
// part, between backslashes or slashes.
bool StaysBelowFolder(std::wstring_view relative);

// A UNC path ("\\server\share\...") or a device path ("\\?\...", "\\.\..."):
// checking that one exists would reach out to the network.
bool IsUncOrDevicePath(std::wstring_view path);

// ROOT before the first '\\', SUBKEY up to the first ',', VALUENAME after it.
// True when all three are non-empty; the outputs are set in any case.
bool SplitRegistrySpec(std::wstring_view section, std::wstring& root, std::wstring& subKey,
                       std::wstring& valueName);

// "默认" and "Default" (exact case) name a key's default value.
bool IsDefaultValueName(std::wstring_view valueName);

// A program path as found in the registry: the text between the first two
// double quotes when there are two, the first '?' turned back into ':', and
// anything after "exe," (an icon index) dropped.
std::wstring CleanProgramPath(std::wstring path);
