#pragma once
// The user's record of installed applications: "installedApp.xml" in the
// "Orbanta Apps" folder of the session user's data folder, shared by every
// copy of the program, which only ever appends to it. Each verified
// installation appends one <item appid="..." type="appType|installTypeId" />
// to the document's first element; nothing is ever changed or removed.
//
// The file is printed as TinyXML prints it (four spaces per level; on Windows
// in text mode, so lines end CR LF). Writers are serialised by a named mutex
// and the file is replaced in one step by a complete new copy, so neither a
// crash nor a second copy finishing at the same moment loses records. A file
// that does not load is left as it is and gets no record.

#include <string>

#include "app/app_info.h"

class TiXmlDocument;

// Appends the record of `app` to the session user's file. Failures are
// silent: the record is simply not written.
void AddInstalledApp(const AppInfo& app);

namespace halvora {

// The record list of a file that does not exist yet: one element "root" and
// no declaration.
void StartRecordList(TiXmlDocument& document);

// Appends an "item" with "appid" and then "type" (narrow texts in the active
// ANSI code page; the library escapes them) as the last child of the
// document's first element. False, with the document unchanged, when it holds
// no element.
bool AppendRecord(TiXmlDocument& document, const std::string& appId, const std::string& type);

// "%d|%d" of appType and installTypeId.
std::string RecordTypeText(int appType, int installTypeId);

// The "Orbanta Apps" folder of a user data folder, with a trailing backslash;
// empty when the user folder is unknown (the program writes nowhere else).
std::wstring RecordsFolder(const std::wstring& userDataFolder);

// AddInstalledApp for the file "installedApp.xml" in `folder` (which ends in
// a backslash and is created when missing). True when the record was written.
bool AddInstalledAppRecord(const std::wstring& folder, const AppInfo& app);

}  // namespace halvora
