#include "env/paths_win.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

namespace halvora::env {

std::wstring ReadSpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) return std::wstring();
  return path;
}

bool PathExists(const std::wstring& path) {
  return !path.empty() && PathFileExistsW(path.c_str()) != FALSE;
}

}  // namespace halvora::env
