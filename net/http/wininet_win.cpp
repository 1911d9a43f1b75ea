#include "net/http/wininet_win.h"

#include <algorithm>

#include "base/text.h"

namespace halvora {

win::InternetHandle OpenInternetSession(const wchar_t* agent, std::optional<DWORD> timeoutMs) {
  win::InternetHandle session(
      InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (session && timeoutMs) {
    const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                             INTERNET_OPTION_DATA_SEND_TIMEOUT,
                             INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT};
    DWORD value = *timeoutMs;
    // A refused option leaves the platform's default, which still ends a stall.
    for (DWORD option : options)
      InternetSetOptionExW(session.Get(), option, &value, sizeof value, 0);
  }
  return session;
}

HeaderValue QueryHeaderText(HINTERNET request, DWORD query) {
  // The headers read here (status, lengths, ranges, encodings) are short; a
  // longer value is not one the transfers could use.
  wchar_t buffer[256];
  DWORD size = sizeof buffer;
  HeaderValue value;
  if (!HttpQueryInfoW(request, query, buffer, &size, nullptr)) {
    value.error = GetLastError();
    return value;
  }
  value.text = WideToAnsi(std::wstring_view(buffer, size / sizeof(wchar_t)));
  return value;
}

int32_t LastInternetError(int32_t fallback) {
  const DWORD error = GetLastError();
  return error != 0 && error <= INT32_MAX ? static_cast<int32_t>(error) : fallback;
}

std::wstring UrlToWide(const char* url, bool slashes) {
  std::wstring wide = AnsiToWide(url ? url : "");
  if (slashes) std::replace(wide.begin(), wide.end(), L'\\', L'/');
  return wide;
}

}  // namespace halvora
