#pragma once
// The installation step on Windows: unpacking the packages, starting the
// platform client setup and the application's installation program, checking
// the result, and deleting folders.

#include <functional>
#include <string>

#include "app/app_info.h"
#include "app/install/publisher_pins.h"
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
// inside; gives a ".exe" package itself; empty for anything else, when the
// name is not one of a program inside the package (IsPackageProgramName), or
// when the archive does not open or an entry does not extract.
std::wstring PrepareProgram(const std::wstring& packagePath, const std::wstring& programName);

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
  // Whose programs may start.
  halvora::PublisherPolicy publishers = {};
};

enum class InstallOutcome {
  kInstalled,         // the application was found present afterwards
  kNotPresent,        // it was not: the temporary folder stays for the next run
  kSignatureRefused,  // a program failed the publisher check: nothing started,
                      // the temporary folder is gone
};

// Everything the installation step does before the dialog ends: hides the
// window; unpacks the platform client setup (when the client is missing) and
// the installation program, and checks both against the publishers before
// either starts; starts the client setup and runs the installation program
// and waits for it; and when the application is then present waits up to
// 10 s for the client setup, deletes the temporary folder and records the
// installation.
InstallOutcome InstallPackage(const InstallContext& context);
