#pragma once
// Small WinINet helpers shared by the service requests and the downloads.

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <optional>
#include <string>

#include "net/http/wininet_handle_win.h"

namespace halvora {

// Flags of every GET: from the server even when cached, nothing written to
// the cache, binary transfer, and no cookies sent or kept (an answer could
// otherwise plant one for any host the run talks to later).
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_COOKIES;

// Opens an internet session with the preconfigured proxy settings. With a
// time-out, sets connect, send, data send, data receive and receive to it, in
// that order.
win::InternetHandle OpenInternetSession(const wchar_t* agent, std::optional<DWORD> timeoutMs);

// Result of a header query: the value, or the error that kept it back
// (ERROR_HTTP_HEADER_NOT_FOUND for a header the answer lacks).
struct HeaderValue {
  std::optional<std::string> text;
  DWORD error = 0;
};
HeaderValue QueryHeaderText(HINTERNET request, DWORD query);

// GetLastError of a failed WinINet call as a positive result, or `fallback`
// when the platform set none.
int32_t LastInternetError(int32_t fallback);

// The narrow URL as UTF-16, optionally with every backslash turned into a slash.
std::wstring UrlToWide(const char* url, bool slashes);

}  // namespace halvora
