#pragma once
// What the dialog asks the platform before a session: the application's
// description, icon, package size and client program, and the download list
// prepared from them. Runs on a thread of its own before the worker starts,
// while the main session and the FTP client are idle; the window's thread
// reads what it filled only after it ended.

#include <atomic>
#include <cstdint>
#include <string>

#include "app/app_info.h"
#include "app/download_item.h"

namespace halvora {
class ZanHttpSession;
}
namespace nsFTP {
class CFTPClient;
}

// The dialog's state that QueryAppInfo reads and fills.
struct AppQueryContext {
  halvora::ZanHttpSession& mainSession;  // the platform server
  nsFTP::CFTPClient& ftp;                // used to test the FTP logon
  std::wstring serverHost;               // platform server, from the resources
  uint32_t serverPort = 80;
  std::wstring tempRoot;  // appsRoot followed by "~~tmp", no trailing backslash
  bool clientPresent = false;
  AppInfo& appInfo;  // appId already set
  Prog_info& progInfo;
  DownloadList& downloadList;   // emptied, then filled
  std::wstring& clientZipPath;  // set when the platform client package is listed

  // host[:port] of the public file host that serves the platform client's
  // package (the build setting HALVORA_PUBLIC_FILE_HOST).
  std::wstring publicFileHost;
  // Raised when the user closes the window before the answers came: every
  // wait ends, and no further request is sent. The caller also interrupts
  // the FTP client and the main session's download.
  const std::atomic<int32_t>* stop = nullptr;
};

// True when the description was obtained and the download list prepared;
// false also when `stop` was raised.
bool QueryAppInfo(AppQueryContext& context);
