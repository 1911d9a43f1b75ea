#include "env/platform_client.h"

#include <shlobj.h>
#include <windows.h>
#include <wtsapi32.h>

#include "base/win/scoped_com_init.h"
#include "base/win/scoped_handle.h"
#include "env/paths_win.h"
#include "env/user_folder.h"

namespace {

using halvora::env::PathExists;
using halvora::env::ReadSpecialFolder;

constexpr DWORD kPathUnits = MAX_PATH;

std::wstring PlatformClientShortcut(const std::wstring& programsFolder) {
  return programsFolder + L"\\Orbanta\\Orbanta\u4e91\u5e73\u53f0\\Orbanta\u4e91\u5e73\u53f0.lnk";
}

std::wstring SessionUserName() {
  wchar_t* name = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, WTSUserName,
                                   &name, &bytes) ||
      !name) {
    return std::wstring();
  }
  std::wstring user(name);
  WTSFreeMemory(name);
  return user;
}

}  // namespace

bool IsPlatformClientInstalled() {
  return ShortcutTargetExists(PlatformClientShortcut(ReadSpecialFolder(CSIDL_COMMON_PROGRAMS))) ||
         ShortcutTargetExists(PlatformClientShortcut(ReadSpecialFolder(CSIDL_PROGRAMS)));
}

bool ShortcutTargetExists(const std::wstring& shortcutPath) {
  if (!PathExists(shortcutPath)) return false;
  halvora::win::ScopedComInit com;
  halvora::win::ComPtr<IShellLinkW> link;
  if (CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                       reinterpret_cast<void**>(link.Receive())) != S_OK) {
    return false;
  }
  halvora::win::ComPtr<IPersistFile> file;
  if (link.Get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive())) !=
      S_OK) {
    return false;
  }
  if (file.Get()->Load(shortcutPath.c_str(), STGM_READ) != S_OK) return false;
  wchar_t target[kPathUnits] = {};
  // S_FALSE: the shortcut names a shell item without a file-system path.
  if (link.Get()->GetPath(target, kPathUnits, nullptr, SLGP_UNCPRIORITY) != S_OK) return false;
  return PathExists(target);
}

std::wstring GetUserAppDataFolder() {
  return ReplaceProfileFolder(ReadSpecialFolder(CSIDL_APPDATA), SessionUserName());
}
