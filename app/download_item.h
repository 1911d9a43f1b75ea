#pragma once
// One file of an install session: where it comes from and where it goes.
// Items are held by value in the session's download list, front to back.

#include <cstdint>
#include <deque>
#include <string>

enum : int32_t {
  kDownloadKindFtp = 0,
  kDownloadKindHttp = 1,
};

struct DownloadItem {
  std::wstring remote;  // HTTP: the full URL; FTP: the file's path on the server
  std::wstring local;   // full path of the local file
  // FTP only; meaningless for an HTTP item.
  std::wstring ftpHost;
  int32_t ftpPort = 0;  // passed on as an unsigned 16-bit port
  std::wstring ftpAccount;
  std::wstring ftpPassword;
  int32_t kind = kDownloadKindHttp;
};

using DownloadList = std::deque<DownloadItem>;
