#pragma once
// The application and its client program as the servers describe them. Plain
// data filled once by the service calls and read by the later steps.

#include <atomic>
#include <cstdint>
#include <string>

// The platform's icon handle type, declared the way <windows.h> declares it,
// so portable code can hold the record without the Windows headers.
struct HICON__;

struct Prog_info;

struct AppInfo {
  // Ask the application's data server (dataServerAddr, port, with dataPath
  // as target), each through a session of its own. QueryFileSize sets
  // fileSize, to 0 when the request fails. QueryClientProgram fills
  // `program` and tells the server the machine's native word size. Both
  // need the platform's network (app_service_win.cpp); a raised `stop` ends
  // their wait.
  void QueryFileSize(const std::atomic<int32_t>* stop = nullptr);
  void QueryClientProgram(Prog_info& program, const std::atomic<int32_t>* stop = nullptr) const;

  std::wstring name;
  std::wstring appId;
  std::wstring dataServerAddr;
  std::wstring dataPath;
  std::wstring iconFile;
  std::wstring packageFile;
  std::wstring exeName;
  int port = 0;
  HICON__* icon = nullptr;
  int appType = 0;
  int installTypeId = 0;
  int fileSize = 0;
};

struct Prog_info {
  virtual ~Prog_info() = default;

  std::wstring name;
  std::wstring version;
  std::wstring path;
  std::wstring exe;
  std::wstring mainProg;  // location specs separated by '|'
  std::wstring cad;
  std::wstring IP;
  int port = 0;
  std::wstring account;
  std::wstring password;
};
