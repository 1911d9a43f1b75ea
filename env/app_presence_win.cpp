#include "env/app_presence.h"

#include <shlwapi.h>
#include <windows.h>

#include "env/local_cfg.h"
#include "env/program_location.h"

namespace {

bool Exists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != FALSE; }

}  // namespace

bool IsAppInstalled(const Prog_info& program, const AppInfo& app, const std::wstring& appsRoot) {
  if (app.appType == 3 && app.installTypeId == 1) return FindMainProg(program.mainProg);
  const wchar_t* launcher = nullptr;
  if (app.appType == 6) {
    launcher = L"\\Varnethel.exe";
  } else if (app.appType == 3 && app.installTypeId == 3) {
    launcher = L"\\Quorlinde.exe";
  } else {
    return false;
  }
  const std::wstring appFolder = appsRoot + app.appId;
  const std::wstring configPath = appFolder + L"\\LocalCfg.xml";
  if (!Exists(configPath) || !Exists(appFolder + launcher)) return false;
  std::wstring mainProgName, versionFolder;
  if (!ReadLocalCfg(configPath, mainProgName, versionFolder)) return false;
  return Exists(appFolder + L"\\" + versionFolder + L"\\" + mainProgName);
}
