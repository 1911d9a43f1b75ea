#pragma once
// Windows-side helpers for the suites that drive the program against peer
// servers: asking a server's control paths, and looking at the files a run
// leaves. Link wininet and shell32.

#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "net/http/wininet_handle_win.h"
#include "tests/support/peer_files.h"

namespace halvora::test {

inline std::filesystem::path SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

// The body of a GET, empty when the server cannot be reached.
inline std::string HttpGet(const std::string& url) {
  const win::InternetHandle internet(
      InternetOpenA("halvora-test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  const win::InternetHandle request(
      InternetOpenUrlA(internet.Get(), url.c_str(), nullptr, 0,
                       INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
  std::string body;
  char buffer[16384];
  DWORD read = 0;
  while (request && InternetReadFile(request.Get(), buffer, sizeof(buffer), &read) && read > 0)
    body.append(buffer, read);
  return body;
}

// The reference server that tests/http/with-refserver started for the suite:
// "http://127.0.0.1:PORT/".
inline std::string RefServerUrl() { return Env("HALVORA_REFSERVER_URL"); }
inline std::uint16_t RefServerPort() {
  const std::string url = RefServerUrl();
  return static_cast<std::uint16_t>(std::atoi(url.substr(url.rfind(':') + 1).c_str()));
}
// A control command (reset, fault?..., release), which the server answers
// with "ok" once it holds.
inline void RefServerControl(const std::string& command) {
  EXPECT_EQ(HttpGet(RefServerUrl() + "_control/" + command), "ok\n") << command;
}
// The requests and answers the server logged since its last reset.
inline std::string RefServerLog() { return HttpGet(RefServerUrl() + "_control/log"); }

// 0 when the file is missing.
inline std::uintmax_t SizeOf(const std::filesystem::path& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

inline std::string Bytes(const std::filesystem::path& path) {
  return ReadBytes(WideToAnsi(path.wstring()));
}

}  // namespace halvora::test
