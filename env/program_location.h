#pragma once
// Windows side of the location specs (env/location_spec.h): registry values
// and shortcuts that tell where an installed client program lives. Only the
// answer "found or not" is used by the callers; the found path is handed back
// for the curious. Safe to call from several threads.

#include <string>

// True when some spec of the '|'-separated list leads to an existing path.
bool FindMainProg(const std::wstring& locationList);

// True when the location spec leads to an existing file or folder; only then is
// `found` set (the program path, or the shortcut's target).
bool ResolveLocationSpec(const std::wstring& spec, std::wstring& found);

// The value's data as UTF-16 text up to its first NUL, read from the 64-bit
// registry view; empty for an unknown root (names are case-sensitive), a
// missing key or value, or data longer than 520 bytes.
std::wstring ReadRegistryString(const std::wstring& root, const std::wstring& subKey,
                                const std::wstring& valueName);

// True when this process is a 32-bit process on 64-bit Windows.
bool IsWow64();

// The shortcut's target in short (8.3) form; `target` stays empty when the
// shortcut cannot be read or has no file-system target.
void ResolveShortcut(const std::wstring& shortcutPath, std::wstring& target);
