#pragma once
// Where a session keeps its files, below the user's roaming folder: the
// applications' folder "...\apps\" (the application folder is it followed by
// the id), its "~~tmp" folder, and each application's temporary download
// folder inside that.

#include <string>

namespace halvora {

inline std::wstring AppsRootOf(const std::wstring& userFolder) { return userFolder + L"\\apps\\"; }

inline std::wstring TempRootOf(const std::wstring& appsRoot) { return appsRoot + L"~~tmp"; }

inline std::wstring AppTempFolder(const std::wstring& tempRoot, const std::wstring& appId) {
  return tempRoot + L"\\" + appId;
}

}  // namespace halvora
