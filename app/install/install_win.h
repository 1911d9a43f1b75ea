#pragma once
// The installation step on Windows: unpacking the packages, starting the
// platform client setup and the application's installation program, checking
// the result, and deleting folders.

#include <functional>
#include <string>

#include "app/app_info.h"
#include "base/win/scoped_handle.h"

// Starts `program` through the shell with its default action, shown, with
// `arguments` as its command line. Returns the started process, or no handle
// when the start failed or the shell handed none back. A program path that
// is empty or names nothing starts nothing and shows no message.
halvora::win::KernelHandle RunProgram(const std::wstring& program, const std::wstring& arguments);

// Deletes everything below `folder` and then the folder itself. A junction or
// symbolic link inside is removed as a link: what it points at is never
// listed or touched. Deletions that fail (a read-only file, a file in use)
// are skipped and leave their folders in place. False only when the folder
// could not be listed; nothing is deleted then.
bool DeleteTree(const std::wstring& folder);

// Unpacks a ".zip" package next to itself and gives the path of `programName`
// inside; gives a ".exe" package itself; empty for anything else, or when the
// archive does not open or an entry does not extract.
std::wstring PrepareProgram(const std::wstring& packagePath, const std::wstring& programName);

// Starts the platform client setup silently from its downloaded package,
// unless the client was present when the session began.
halvora::win::KernelHandle LaunchPlatformClient(bool clientPresent,
                                                const std::wstring& clientZipPath);

struct InstallContext {
  const AppInfo& app;
  const Prog_info& program;
  std::wstring appsRoot;  // ends with a backslash
  std::wstring tempRoot;
  bool clientPresent = false;
  std::wstring clientZipPath;
  // Called before anything is unpacked or started; from the worker thread
  // this must only post to the window.
  std::function<void()> hideWindow;
  // Records a verified installation.
  std::function<void(const AppInfo&)> recordInstallation;
};

// Everything the installation step does before the dialog ends: hides the
// window, starts the platform client setup, prepares and runs the installation program and
// waits for it, and when the application is then present waits up to 10 s
// for the platform client setup, deletes the temporary folder and records the
// installation. True when the application was found present.
bool InstallPackage(const InstallContext& context);
