#include "app/install/install_win.h"

#include <shellapi.h>
#include <windows.h>

#include "app/app_folders.h"
#include "app/install/install_plan.h"
#include "archive/unzipper.h"
#include "base/text.h"
#include "app/install/app_presence.h"

using halvora::win::KernelHandle;

namespace {

constexpr DWORD kPlatformClientWaitMs = 10000;

bool IsDotEntry(const wchar_t* name) {
  return CompareStringOrdinal(name, -1, L".", -1, TRUE) == CSTR_EQUAL ||
         CompareStringOrdinal(name, -1, L"..", -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

KernelHandle RunProgram(const std::wstring& program, const std::wstring& arguments) {
  // Without SEE_MASK_FLAG_NO_UI the shell answers a missing file with an
  // error box, which would stop the worker until someone dismissed it; a
  // program that is not there is not started at all, silently.
  if (program.empty() || GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return KernelHandle();
  }
  SHELLEXECUTEINFOW info = {};
  // The structure's own size for this build (112 bytes on x64).
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NO_CONSOLE;
  info.hwnd = nullptr;
  info.lpVerb = nullptr;
  info.lpFile = program.c_str();
  info.lpParameters = arguments.c_str();
  info.lpDirectory = nullptr;
  info.nShow = SW_SHOW;
  if (!ShellExecuteExW(&info)) return KernelHandle();
  return KernelHandle(info.hProcess);
}

bool DeleteTree(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  halvora::win::FindHandle listing(FindFirstFileW((folder + L"\\*.*").c_str(), &entry));
  if (!listing) return false;
  do {
    if (IsDotEntry(entry.cFileName)) continue;
    const std::wstring path = folder + L"\\" + entry.cFileName;
    const bool isFolder = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      // A junction or symbolic link, possibly left by an installation
      // program: removing it as a folder or file removes the link only.
      if (isFolder) {
        RemoveDirectoryW(path.c_str());
      } else {
        DeleteFileW(path.c_str());
      }
    } else if (isFolder) {
      DeleteTree(path);
    } else {
      DeleteFileW(path.c_str());
    }
  } while (FindNextFileW(listing.Get(), &entry));
  listing.Reset();
  RemoveDirectoryW(folder.c_str());
  return true;
}

std::wstring PrepareProgram(const std::wstring& packagePath, const std::wstring& programName) {
  switch (ClassifyPackage(packagePath)) {
    case PackageForm::Zip: {
      Unzipper unzipper;
      const bool unpacked =
          unzipper.OpenArchive(halvora::WideToAnsi(packagePath).c_str()) &&
          unzipper.ExtractAll(halvora::WideToAnsi(PathWithoutExtension(packagePath)).c_str());
      unzipper.CloseArchive();
      return unpacked ? UnpackedProgramPath(packagePath, programName) : std::wstring();
    }
    case PackageForm::Program:
      return packagePath;
    case PackageForm::Other:
      break;
  }
  return std::wstring();
}

KernelHandle LaunchPlatformClient(bool clientPresent, const std::wstring& clientZipPath) {
  if (clientPresent) return KernelHandle();
  return RunProgram(PrepareProgram(clientZipPath, kPlatformClientSetupName),
                    kPlatformClientSetupArguments);
}

bool InstallPackage(const InstallContext& context) {
  if (context.hideWindow) context.hideWindow();
  const KernelHandle client = LaunchPlatformClient(context.clientPresent, context.clientZipPath);
  const std::wstring program = PrepareProgram(context.app.packageFile, context.app.exeName);
  if (const KernelHandle setup = RunProgram(program, InstallCommandLine(context.app))) {
    WaitForSingleObject(setup.Get(), INFINITE);
  }
  if (!IsAppInstalled(context.program, context.app, context.appsRoot)) return false;
  if (client) WaitForSingleObject(client.Get(), kPlatformClientWaitMs);
  DeleteTree(halvora::AppTempFolder(context.tempRoot, context.app.appId));
  if (context.recordInstallation) context.recordInstallation(context.app);
  return true;
}
