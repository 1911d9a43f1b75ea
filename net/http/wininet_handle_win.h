#pragma once
// The owner of WinINet handles: sessions, connections and requests share one
// handle kind. Users link wininet.

#include <windows.h>
#include <wininet.h>

#include "base/win/scoped_handle.h"

namespace halvora::win {

struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::InternetCloseHandle(h); }
};
using InternetHandle = ScopedHandle<InternetHandleTraits>;

}  // namespace halvora::win
