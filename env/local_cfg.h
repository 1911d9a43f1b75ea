#pragma once
// LocalCfg.xml, which portable and spreadsheet-viewer applications keep in
// their folder: <AnyRoot><Version><MainProg name="app.exe" ver="2.1"/>...
// names the main program and the version folder that holds it.

#include <string>

// Reads the first Version/MainProg element under the root. Each output is set
// only when its attribute is present; true when both end up non-empty. The
// path is opened in the active ANSI code page. The values are UTF-8 in a file
// that starts with a UTF-8 byte-order mark or declares encoding="UTF-8", and
// in the active ANSI code page otherwise.
bool ReadLocalCfg(const std::wstring& path, std::wstring& mainProgName,
                  std::wstring& versionFolder);
