#include "env/program_location.h"

#include <shlobj.h>
#include <windows.h>

#include <cwchar>
#include <mutex>

#include "base/win/scoped_com_init.h"
#include "base/win/scoped_handle.h"
#include "env/location_spec.h"
#include "env/paths_win.h"

namespace {

using halvora::env::PathExists;
using halvora::env::ReadSpecialFolder;

constexpr DWORD kPathUnits = MAX_PATH;  // 260 UTF-16 units for values and targets

struct SpecialFolders {
  std::wstring commonPrograms;
  std::wstring commonDesktop;
  std::wstring programs;
  std::wstring desktop;
};

// Filled on first use, all four at once; a folder that could not be read is
// tried again on a later call. Both the UI and the worker thread come here.
SpecialFolders CachedSpecialFolders() {
  static std::mutex lock;
  static SpecialFolders cache;
  std::lock_guard<std::mutex> guard(lock);
  const struct {
    std::wstring* slot;
    int csidl;
  } folders[] = {{&cache.commonPrograms, CSIDL_COMMON_PROGRAMS},
                 {&cache.commonDesktop, CSIDL_COMMON_DESKTOPDIRECTORY},
                 {&cache.programs, CSIDL_PROGRAMS},
                 {&cache.desktop, CSIDL_DESKTOPDIRECTORY}};
  for (const auto& folder : folders) {
    if (folder.slot->empty()) *folder.slot = ReadSpecialFolder(folder.csidl);
  }
  return cache;
}

// A 64-bit process runs only on 64-bit Windows; a 32-bit one asks.
bool IsWindows64() { return sizeof(void*) == 8 || IsWow64(); }

HKEY RootKey(const std::wstring& root) {
  if (root == L"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
  if (root == L"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
  if (root == L"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
  if (root == L"HKEY_USERS") return HKEY_USERS;
  if (root == L"HKEY_CURRENT_CONFIG") return HKEY_CURRENT_CONFIG;
  return nullptr;
}

bool ResolveRegistrySpec(const std::wstring& spec, std::wstring& found) {
  std::wstring root, subKey, valueName;
  if (!SplitRegistrySpec(RegistrySection(spec, IsWindows64()), root, subKey, valueName)) {
    return false;
  }
  if (IsDefaultValueName(valueName)) valueName.clear();
  std::wstring path = ReadRegistryString(root, subKey, valueName);
  if (!path.empty()) path = CleanProgramPath(path);
  if (!PathExists(path)) return false;
  found = path;
  return true;
}

bool ResolveShortcutSpec(const std::wstring& spec, const std::wstring& allUsersFolder,
                         const std::wstring& userFolder, std::wstring& found) {
  const std::wstring relative = ShortcutRelativePath(spec);
  if (!StaysBelowFolder(relative)) return false;
  // The user's folder is tried only when the all-users shortcut is missing,
  // not when it exists but leads nowhere. A folder that could not be read
  // offers no shortcut (its empty name would make the path root-relative).
  std::wstring candidate = allUsersFolder.empty() ? std::wstring() : allUsersFolder + relative;
  if (!PathExists(candidate)) {
    candidate = userFolder.empty() ? std::wstring() : userFolder + relative;
    if (!PathExists(candidate)) return false;
  }
  std::wstring target;
  ResolveShortcut(candidate, target);
  // A target on a share is never probed: the look would go out to the network.
  if (IsUncOrDevicePath(target) || !PathExists(target)) return false;
  found = target;
  return true;
}

}  // namespace

bool FindMainProg(const std::wstring& locationList) {
  for (const std::wstring& spec : SplitLocationList(locationList)) {
    std::wstring found;
    if (ResolveLocationSpec(spec, found)) return true;
  }
  return false;
}

bool ResolveLocationSpec(const std::wstring& spec, std::wstring& found) {
  const SpecialFolders folders = CachedSpecialFolders();
  switch (LocationSpecType(spec)) {
    case L'1':
      return ResolveRegistrySpec(spec, found);
    case L'2':
      return ResolveShortcutSpec(spec, folders.commonPrograms, folders.programs, found);
    case L'3':
      return ResolveShortcutSpec(spec, folders.commonDesktop, folders.desktop, found);
    default:
      return false;
  }
}

std::wstring ReadRegistryString(const std::wstring& root, const std::wstring& subKey,
                                const std::wstring& valueName) {
  const HKEY rootKey = RootKey(root);
  if (!rootKey) return std::wstring();
  halvora::win::RegKey key;
  if (RegOpenKeyExW(rootKey, subKey.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Receive()) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  wchar_t data[kPathUnits] = {};
  DWORD size = sizeof(data);
  if (RegQueryValueExW(key.Get(), valueName.c_str(), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
    return std::wstring();
  }
  return std::wstring(data, wcsnlen(data, size / sizeof(wchar_t)));
}

bool IsWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  const HMODULE kernel = GetModuleHandleW(L"kernel32");
  const FARPROC proc = kernel ? GetProcAddress(kernel, "IsWow64Process") : nullptr;
  if (!proc) return false;
  const auto isWow64Process = reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(proc));
  BOOL wow64 = FALSE;
  return isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

void ResolveShortcut(const std::wstring& shortcutPath, std::wstring& target) {
  target.clear();
  halvora::win::ScopedComInit com;
  halvora::win::ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.Receive())))) {
    return;
  }
  halvora::win::ComPtr<IPersistFile> file;
  if (FAILED(
          link.Get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive())))) {
    return;
  }
  if (FAILED(file.Get()->Load(shortcutPath.c_str(), STGM_READ))) return;
  wchar_t path[kPathUnits] = {};
  if (SUCCEEDED(link.Get()->GetPath(path, kPathUnits, nullptr, SLGP_SHORTPATH))) target = path;
}
