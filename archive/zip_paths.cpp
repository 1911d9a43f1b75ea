#include "archive/zip_paths.h"

#include <array>

namespace halvora::zip {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

std::string_view TrimTrailing(std::string_view s, std::string_view chars) {
  while (!s.empty() && chars.find(s.back()) != std::string_view::npos) s.remove_suffix(1);
  return s;
}

bool IsDeviceName(std::string_view component) {
  // The platform compares the part before the first dot, trailing spaces
  // removed: "nul .txt" opens the null device.
  std::string_view base = TrimTrailing(component, ". ");
  base = TrimTrailing(base.substr(0, base.find('.')), " ");
  static constexpr std::array<std::string_view, 6> kFixed = {"CON", "PRN",    "AUX",
                                                             "NUL", "CONIN$", "CONOUT$"};
  for (std::string_view device : kFixed) {
    if (EqualsIgnoringAsciiCase(base, device)) return true;
  }
  if (base.size() == 4 && base[3] >= '1' && base[3] <= '9') {
    std::string_view stem = base.substr(0, 3);
    return EqualsIgnoringAsciiCase(stem, "COM") || EqualsIgnoringAsciiCase(stem, "LPT");
  }
  return false;
}

bool IsDotsAndSpaces(std::string_view component) {
  return !component.empty() && component.find_first_not_of(". ") == std::string_view::npos;
}

}  // namespace

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || IsSeparator(name.front())) return false;
  if (name.find(':') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view component = name.substr(start, end - start);
    if (IsDotsAndSpaces(component) || IsDeviceName(component)) return false;
    start = end + 1;
  }
  return true;
}

bool EndsWithSeparator(std::string_view path) { return !path.empty() && IsSeparator(path.back()); }

std::string FolderForArchive(std::string_view archivePath) {
  const size_t lastSeparator = archivePath.find_last_of("\\/");
  const size_t nameStart = lastSeparator == std::string_view::npos ? 0 : lastSeparator + 1;
  const size_t dot = archivePath.rfind('.');
  if (dot == std::string_view::npos || dot < nameStart) return std::string(archivePath);
  return std::string(archivePath.substr(0, dot));
}

std::string JoinEntryPath(std::string_view folder, std::string_view entryName) {
  std::string joined(folder);
  if (!EndsWithSeparator(folder)) joined += '\\';
  joined += entryName;
  return joined;
}

uint32_t SettableFileAttributes(uint32_t externalAttributes) {
  // READONLY, HIDDEN, SYSTEM, ARCHIVE, NORMAL, TEMPORARY, OFFLINE,
  // NOT_CONTENT_INDEXED: the bits SetFileAttributes accepts for a file.
  constexpr uint32_t kSettable = 0x1 | 0x2 | 0x4 | 0x20 | 0x80 | 0x100 | 0x1000 | 0x2000;
  constexpr uint32_t kNormal = 0x80;
  // "Normal" is valid only alone.
  const uint32_t bits = externalAttributes & kSettable & ~kNormal;
  return bits == 0 ? kNormal : bits;
}

}  // namespace halvora::zip
