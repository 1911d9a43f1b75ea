#include "env/app_presence.h"

#include "env/local_cfg.h"
#include "env/paths_win.h"
#include "env/program_location.h"

using halvora::env::PathExists;

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
  if (!PathExists(configPath) || !PathExists(appFolder + launcher)) return false;
  std::wstring mainProgName, versionFolder;
  if (!ReadLocalCfg(configPath, mainProgName, versionFolder)) return false;
  return PathExists(appFolder + L"\\" + versionFolder + L"\\" + mainProgName);
}
