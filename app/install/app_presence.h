#pragma once
// Whether the application a session installed is present on this machine:
// it decides whether the download is thrown away and the installation recorded.

#include <string>

#include "app/app_info.h"

// A setup-installed application: a location spec of the client program leads
// to an existing path. A portable one (launcher Quorlinde.exe) or a viewer
// (launcher Varnethel.exe): LocalCfg.xml and the launcher exist in the
// application folder (appsRoot, which ends with '\\', followed by the
// application id) and the main program named by LocalCfg.xml exists below it.
// Every other kind is never present.
bool IsAppInstalled(const Prog_info& program, const AppInfo& app, const std::wstring& appsRoot);
