#pragma once
// What the installation step does with the downloaded files, decided from the
// paths and the application's kind alone: which program to start, with which
// command line, and where a package unpacks. The Windows side
// (install_win.h) carries the decisions out.

#include <string>

#include "app/app_info.h"

// How a downloaded package is turned into a program to start.
enum class PackageForm {
  Zip,      // unpacked next to itself; the program lies inside
  Program,  // started as it is
  Other,    // nothing is started
};

// The text from the last '.' on (empty when there is none). The dot may stand
// in a folder name when the file name has none; such a text is never a
// package extension.
std::wstring PathExtension(const std::wstring& path);

// The path up to, not including, its last '.' (the whole path without one).
std::wstring PathWithoutExtension(const std::wstring& path);

// ".zip" and ".exe", compared without regard to letter case.
PackageForm ClassifyPackage(const std::wstring& path);

// Where a zip package's program lies once unpacked: the unpack folder (the
// package path without its extension), a backslash and the program's name.
std::wstring UnpackedProgramPath(const std::wstring& packagePath, const std::wstring& programName);

// The name of a setup program inside an unpacked package, as the description
// or the package's information file gives it: a relative path that stays in
// the unpacked folder (subfolders allowed), every part a plain file name
// without ':' (no drive, no stream), no empty part (no root, no UNC path), no
// "." or "..", no device name, and ending in ".exe".
bool IsPackageProgramName(const std::wstring& name);

// The application installation program's command line: empty for a
// setup-installed application, the quoted words -appid and the application
// id for every other kind.
std::wstring InstallCommandLine(const AppInfo& app);

// The platform client setup inside its unpacked package, and its command line.
inline constexpr wchar_t kPlatformClientSetupName[] = L"OrbantaCenter_Client.exe";
inline constexpr wchar_t kPlatformClientSetupArguments[] = L"-silent";
