#include "app/install/install_win.h"

#include <shellapi.h>
#include <windows.h>

#include "app/app_folders.h"
#include "app/install/app_presence.h"
#include "app/install/install_plan.h"
#include "app/install/signature_win.h"
#include "archive/unzipper.h"
#include "base/debug_output.h"
#include "base/text.h"

using halvora::win::KernelHandle;

namespace {

constexpr DWORD kPlatformClientWaitMs = 10000;

bool IsDotEntry(const wchar_t* name) {
  return CompareStringOrdinal(name, -1, L".", -1, TRUE) == CSTR_EQUAL ||
         CompareStringOrdinal(name, -1, L"..", -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

KernelHandle RunProgram(const std::wstring& program, const std::wstring& arguments) {
  // Only a file starts: the shell would open a window for an empty path (the
  // current folder) or a folder.
  const DWORD attributes =
      program.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(program.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return KernelHandle();
  SHELLEXECUTEINFOW info = {};
  // The structure's own size for this build (112 bytes on x64).
  info.cbSize = sizeof info;
  // Without SEE_MASK_FLAG_NO_UI the shell answers a missing or broken
  // program with an error box that no window owns, and the worker would
  // wait until someone dismissed it.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NO_CONSOLE | SEE_MASK_FLAG_NO_UI;
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
      if (!IsPackageProgramName(programName)) return std::wstring();
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

namespace {

// False when the program may not start. A program that is not there passes:
// nothing will start.
bool PassesPublisherCheck(const halvora::PublisherPolicy& publishers, const std::wstring& program) {
  if (program.empty() || GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES)
    return true;
  if (halvora::CheckPublisher(publishers, program) != halvora::TrustDecision::kRefused) return true;
  halvora::DebugOutput((L"publisher check refused " + program).c_str());
  return false;
}

// RunProgram, saying on the debug output when the program's publisher was
// not checked.
KernelHandle StartProgram(const halvora::PublisherPolicy& publishers, const std::wstring& program,
                          const std::wstring& arguments) {
  KernelHandle process = RunProgram(program, arguments);
  if (process && !publishers.pinned)
    halvora::DebugOutput((L"started without a publisher check: " + program).c_str());
  return process;
}

}  // namespace

InstallOutcome InstallPackage(const InstallContext& context) {
  if (context.hideWindow) context.hideWindow();
  const std::wstring clientSetup =
      context.clientPresent ? std::wstring()
                            : PrepareProgram(context.clientZipPath, kPlatformClientSetupName);
  const std::wstring program = PrepareProgram(context.app.packageFile, context.app.exeName);
  const std::wstring tempFolder = halvora::AppTempFolder(context.tempRoot, context.app.appId);
  if (!PassesPublisherCheck(context.publishers, clientSetup) ||
      !PassesPublisherCheck(context.publishers, program)) {
    // What arrived is not what its publisher signed: none of it is kept.
    DeleteTree(tempFolder);
    return InstallOutcome::kSignatureRefused;
  }
  const KernelHandle client =
      StartProgram(context.publishers, clientSetup, kPlatformClientSetupArguments);
  if (const KernelHandle setup =
          StartProgram(context.publishers, program, InstallCommandLine(context.app))) {
    WaitForSingleObject(setup.Get(), INFINITE);
  }
  if (!IsAppInstalled(context.program, context.app, context.appsRoot))
    return InstallOutcome::kNotPresent;
  if (client) WaitForSingleObject(client.Get(), kPlatformClientWaitMs);
  DeleteTree(tempFolder);
  if (context.recordInstallation) context.recordInstallation(context.app);
  return InstallOutcome::kInstalled;
}
