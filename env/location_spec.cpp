#include "env/location_spec.h"

std::vector<std::wstring> SplitLocationList(std::wstring_view list) {
  std::vector<std::wstring> specs;
  size_t start = 0;
  for (;;) {
    const size_t bar = list.find(L'|', start);
    if (bar == std::wstring_view::npos) {
      specs.emplace_back(list.substr(start));
      return specs;
    }
    specs.emplace_back(list.substr(start, bar - start));
    start = bar + 1;
  }
}

wchar_t LocationSpecType(std::wstring_view spec) {
  constexpr std::wstring_view kMarker = L"Type:";
  const size_t at = spec.find(kMarker);
  if (at == std::wstring_view::npos || at + kMarker.size() >= spec.size()) return L'\0';
  return spec[at + kMarker.size()];
}

std::wstring RegistrySection(std::wstring_view spec, bool windows64) {
  constexpr std::wstring_view k32 = L"pf32:";
  constexpr std::wstring_view k64 = L"pf64:";
  const size_t at64 = spec.find(k64);
  if (windows64) {
    return at64 == std::wstring_view::npos ? std::wstring()
                                           : std::wstring(spec.substr(at64 + k64.size()));
  }
  const size_t at32 = spec.find(k32);
  if (at32 == std::wstring_view::npos) return std::wstring();
  const std::wstring_view rest = spec.substr(at32 + k32.size());
  if (at64 == std::wstring_view::npos) return std::wstring(rest);
  // The "pf32:" section ends one separator character before "pf64:".
  const long long count = static_cast<long long>(at64) - static_cast<long long>(at32) - 6;
  if (count < 0) return std::wstring(rest);
  return std::wstring(rest.substr(0, static_cast<size_t>(count)));
}

std::wstring ShortcutRelativePath(std::wstring_view spec) {
  constexpr std::wstring_view kMarker = L"Value:";
  const size_t at = spec.find(kMarker);
  return at == std::wstring_view::npos ? std::wstring()
                                       : std::wstring(spec.substr(at + kMarker.size()));
}

bool StaysBelowFolder(std::wstring_view relative) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = relative.find_first_of(L"\\/", start);
    if (relative.substr(start, end == std::wstring_view::npos ? end : end - start) == L"..")
      return false;
    if (end == std::wstring_view::npos) return true;
    start = end + 1;
  }
}

bool IsUncOrDevicePath(std::wstring_view path) {
  auto separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
  return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

bool SplitRegistrySpec(std::wstring_view section, std::wstring& root, std::wstring& subKey,
                       std::wstring& valueName) {
  root.clear();
  subKey.clear();
  valueName.clear();
  const size_t slash = section.find(L'\\');
  if (slash == std::wstring_view::npos) return false;
  const size_t comma = section.find(L',');
  if (comma == std::wstring_view::npos) return false;
  root = section.substr(0, slash);
  if (comma > slash) subKey = section.substr(slash + 1, comma - slash - 1);
  valueName = section.substr(comma + 1);
  return !root.empty() && !subKey.empty() && !valueName.empty();
}

bool IsDefaultValueName(std::wstring_view valueName) {
  return valueName == L"\u9ed8\u8ba4" || valueName == L"Default";
}

std::wstring CleanProgramPath(std::wstring path) {
  const size_t open = path.find(L'"');
  if (open != std::wstring::npos) {
    const size_t close = path.find(L'"', open + 1);
    if (close != std::wstring::npos) path = path.substr(open + 1, close - open - 1);
  }
  const size_t question = path.find(L'?');
  if (question != std::wstring::npos) path[question] = L':';
  const size_t exe = path.find(L"exe,");
  if (exe != std::wstring::npos) path.resize(exe + 3);
  return path;
}
