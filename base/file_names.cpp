#include "base/file_names.h"

namespace halvora {

namespace {

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; }

bool EqualsUpper(std::wstring_view text, std::wstring_view upper) {
  if (text.size() != upper.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (AsciiUpper(text[i]) != upper[i]) return false;
  return true;
}

}  // namespace

bool IsDeviceName(std::wstring_view name) {
  std::wstring_view stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.remove_suffix(1);
  for (std::wstring_view device : {L"CON", L"PRN", L"AUX", L"NUL"})
    if (EqualsUpper(stem, device)) return true;
  if (stem.size() == 4 && stem[3] >= L'1' && stem[3] <= L'9')
    return EqualsUpper(stem.substr(0, 3), L"COM") || EqualsUpper(stem.substr(0, 3), L"LPT");
  return false;
}

bool IsPlainFileName(std::wstring_view name) {
  if (name.empty() || name == L"." || name == L"..") return false;
  if (name.back() == L'.' || name.back() == L' ') return false;
  return !IsDeviceName(name);
}

}  // namespace halvora
