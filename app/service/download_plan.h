#pragma once
// What a session downloads, by application kind, and where each file comes
// from and goes. Portable: the network, INI and file calls that find out the
// facts live in app_service_win.cpp.
//
// Every local file lies in the application's temporary folder, tempRoot
// followed by '\\' and the application id.

#include <cstdint>
#include <string>

#include "app/app_folders.h"
#include "app/app_info.h"
#include "app/app_kind.h"
#include "app/service/app_service.h"
#include "app/download_item.h"

namespace halvora {

// Where an application kind's package comes from.
enum class PackageSource {
  ClientProgram,  // the client program's package
  GreenSoftInfo,  // the package named in install information "GreenSoftApp"
  ExcelInfo,      // the package named in install information "ExcelApp"
  None,           // no package
};

PackageSource PackageSourceFor(AppKind kind);

// The install information section of the two install information sources.
const wchar_t* InstallInfoSection(PackageSource source);

// What QueryAppInfo learnt about the package before the list is made.
struct PackageFacts {
  bool ftpLogonSucceeded = false;  // ClientProgram: the FTP logon with Prog_info's values
  std::wstring infoPath;           // install information sources: "path" of the section
  std::wstring infoExe;            // ... and "exe"
};

// The last segment of a path or URL once every '/' is read as '\\': the text
// after the last '\\', or the whole text without one.
std::wstring PackageFileName(const std::wstring& pathOrUrl);

std::wstring IconFilePath(const std::wstring& tempRoot, const std::wstring& appId);
std::wstring InstallInfoFilePath(const std::wstring& tempRoot, const std::wstring& appId);
// "http://HOST:PORT/PATH" on the platform server; the port is written as a
// signed decimal, as the resource text gave it.
std::wstring PlatformServerUrl(const std::wstring& host, uint32_t port, const std::wstring& path);
std::wstring InstallInfoUrl(const std::wstring& host, uint32_t port);

// A package's file name as a server named it: not a device name, no ':' (a
// drive or a stream), and none of the session's own files in the same
// folder (the icon, the install information file, the platform client's
// package), which it would overwrite.
bool IsAcceptedPackageName(const std::wstring& name, const std::wstring& appId);

// Appends the package item of `source` (none for None) and, when the platform
// client is absent, the platform client's package; sets packageFile and
// exeName of the application, and clientZipPath, for the items it adds.
// False, with nothing appended, when the package's name is not accepted.
bool AppendDownloads(AppQueryContext& context, PackageSource source, const PackageFacts& facts);

}  // namespace halvora
