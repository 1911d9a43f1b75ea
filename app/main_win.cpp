// halvora.exe: one stamped copy per published application.

#include <windows.h>

#include "app/halvora_app.h"

namespace {

// From here on DLLs come from the system folder only, never from the
// program's own folder or the current one, where anyone who could put a
// file beside the program (a Downloads folder) could plant one. The
// libraries Windows does not protect by name are delay-loaded, so none of
// them has been looked for before this call. Windows 7 has the call only
// with its update KB2533623; without it, the current folder at least leaves
// the search.
void LoadLibrariesFromTheSystemFolderOnly() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  LoadLibrariesFromTheSystemFolderOnly();
  CHalvoraApp app;
  app.InitInstance();  // false in every case: the dialog's run is over
  return app.ExitInstance();
}
