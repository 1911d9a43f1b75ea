#pragma once
// Path rules of the unzipper that need no file system: which entry names may
// be written, how target paths are formed, which attribute bits are applied.
// Names and paths are narrow texts in the active ANSI code page, handled as
// bytes: a GBK trail byte equal to '\\' is taken as a separator here, which
// can only make the name check stricter, never looser.

#include <cstdint>
#include <string>
#include <string_view>

namespace halvora::zip {

// Size of the path areas of the unzipper (archive path, output folder, entry
// name, joined target path), terminator included.
inline constexpr size_t kPathArea = 260;

// True when writing an entry of this name (separators already turned into
// '\\') below a folder stays below that folder and names no device. Refused:
// an empty name, a leading separator (root, UNC and device prefixes), any ':'
// (drive letters, alternate data streams), a component made only of dots and
// spaces (the platform trims trailing dots and spaces, so ".. " is ".."), and a
// component naming a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$,
// CONOUT$, with any extension). Empty components (doubled or trailing
// separators) are accepted: the platform collapses them.
bool IsSafeEntryName(std::string_view name);

// True when a name with separators already turned into '\\' names a folder
// (ends with a separator).
bool EndsWithSeparator(std::string_view path);

// The folder an archive unpacks into by default: the path without the
// extension of its last component (from that component's last '.').
std::string FolderForArchive(std::string_view archivePath);

// Folder and entry name joined with one '\\' (none added when the folder
// already ends in '\\' or '/').
std::string JoinEntryPath(std::string_view folder, std::string_view entryName);

// Only the attribute bits a program may set on a file; archives made on other
// systems keep their own mode bits in the high half. Gives the platform's
// "normal" value when no settable bit remains.
uint32_t SettableFileAttributes(uint32_t externalAttributes);

}  // namespace halvora::zip
