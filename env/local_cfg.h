#pragma once
// LocalCfg.xml, which portable and spreadsheet-viewer applications keep in
// their folder: <AnyRoot><Version><MainProg name="app.exe" ver="2.1"/>...
// names the main program and the version folder that holds it.

#include <string>

// Reads the first Version/MainProg element under the root. Each output is set
// only when its attribute is present; true when both end up non-empty. The
// path is handed to the XML loader in the active ANSI code page, and the
// values are converted from it.
bool ReadLocalCfg(const std::wstring& path, std::wstring& mainProgName,
                  std::wstring& versionFolder);
