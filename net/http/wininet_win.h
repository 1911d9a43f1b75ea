#pragma once
// Small WinINet helpers shared by the service requests and the downloads.

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/http/wininet_handle_win.h"

namespace halvora {

// Flags of every GET: from the server even when cached, nothing written to
// the cache, binary transfer, and no cookies sent or kept (an answer could
// otherwise plant one for any host the run talks to later).
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_COOKIES;

// A GET on a session of its own in WinINet's asynchronous mode. Under Wine a
// blocking read or header wait ignores the receive time-out and a handle closed
// from another thread, so nothing else could end a stalled server: here every
// call that WinINet leaves pending is awaited in short slices, each checking
// the stop flag, and a line quiet for `quietMs` ends the wait.
//
// WinINet finishes pending calls on its own threads after the caller may have
// given up: what they write (the read buffer, the completion) lives in an
// exchange that the status callback keeps alive until the session handle's
// closing notice, which WinINet sends after every handle below it has gone.
class AsyncGet {
 public:
  enum class End { Done, Failed, Stopped, TimedOut };

  // `stop` may be null: then only the time-out ends a wait.
  AsyncGet(const std::atomic<int32_t>* stop, DWORD quietMs);
  ~AsyncGet();
  AsyncGet(const AsyncGet&) = delete;
  AsyncGet& operator=(const AsyncGet&) = delete;

  // Opens the session with the proxy settings and every time-out at `quietMs`.
  bool OpenSession(const wchar_t* agent);
  // Sends the GET and waits for the answer's headers. On Failed, `error` is
  // the platform's code (0 when it gave none).
  End Send(const std::wstring& url, const wchar_t* headers, DWORD flags, DWORD& error);
  HINTERNET Request() const { return request_.Get(); }
  // Reads what has arrived, at most `limit` bytes (and kReadBlockBytes), waiting
  // for at least one; Done with `size` 0 at the body's end. The bytes stay at
  // Data() until the next read.
  End Read(DWORD limit, DWORD& size);
  const char* Data() const;

  static constexpr DWORD kReadBlockBytes = 64 * 1024;

  struct Exchange;

 private:
  End Await(DWORD& error);

  std::shared_ptr<Exchange> exchange_;
  const std::atomic<int32_t>* stop_;
  DWORD quietMs_;
  win::InternetHandle session_;
  win::InternetHandle request_;
};

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
