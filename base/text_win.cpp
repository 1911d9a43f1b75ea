#include "base/text.h"

#include <windows.h>

#include <climits>

namespace halvora {

std::wstring AnsiToWide(std::string_view narrow) {
  if (narrow.empty() || narrow.size() > INT_MAX) return std::wstring();
  const int inLen = static_cast<int>(narrow.size());
  const int outLen = MultiByteToWideChar(CP_ACP, 0, narrow.data(), inLen, nullptr, 0);
  if (outLen <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(outLen), L'\0');
  MultiByteToWideChar(CP_ACP, 0, narrow.data(), inLen, wide.data(), outLen);
  return wide;
}

std::string WideToAnsi(std::wstring_view wide) {
  if (wide.empty() || wide.size() > INT_MAX) return std::string();
  const int inLen = static_cast<int>(wide.size());
  const int outLen =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), inLen, nullptr, 0, nullptr, nullptr);
  if (outLen <= 0) return std::string();
  std::string narrow(static_cast<size_t>(outLen), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), inLen, narrow.data(), outLen, nullptr, nullptr);
  return narrow;
}

}  // namespace halvora
