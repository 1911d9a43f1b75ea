#include "app/install/app_presence.h"

#include "app/app_kind.h"

#include "env/local_cfg.h"
#include "env/paths_win.h"
#include "env/program_location.h"

using halvora::env::PathExists;

bool IsAppInstalled(const Prog_info& program, const AppInfo& app, const std::wstring& appsRoot) {
  const wchar_t* launcher = nullptr;
  switch (halvora::AppKindOf(app.appType, app.installTypeId)) {
    case halvora::AppKind::SetupInstalled:
      return FindMainProg(program.mainProg);
    case halvora::AppKind::Viewer:
      launcher = L"\\Varnethel.exe";
      break;
    case halvora::AppKind::Portable:
      launcher = L"\\Quorlinde.exe";
      break;
    default:
      return false;
  }
  const std::wstring appFolder = appsRoot + app.appId;
  const std::wstring configPath = appFolder + L"\\LocalCfg.xml";
  if (!PathExists(configPath) || !PathExists(appFolder + launcher)) return false;
  std::wstring mainProgName, versionFolder;
  if (!ReadLocalCfg(configPath, mainProgName, versionFolder)) return false;
  return PathExists(appFolder + L"\\" + versionFolder + L"\\" + mainProgName);
}
