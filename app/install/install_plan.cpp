#include "app/install/install_plan.h"

#include "app/app_kind.h"
#include "base/file_names.h"

namespace {

// Package extensions are ASCII; a code-page-aware fold is not needed here.
bool EqualsIgnoringAsciiCase(const std::wstring& text, const wchar_t* lowerAscii) {
  std::size_t i = 0;
  for (; i < text.size() && lowerAscii[i] != L'\0'; ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != lowerAscii[i]) return false;
  }
  return i == text.size() && lowerAscii[i] == L'\0';
}

}  // namespace

std::wstring PathExtension(const std::wstring& path) {
  const std::size_t dot = path.rfind(L'.');
  return dot == std::wstring::npos ? std::wstring() : path.substr(dot);
}

std::wstring PathWithoutExtension(const std::wstring& path) {
  return path.substr(0, path.rfind(L'.'));
}

PackageForm ClassifyPackage(const std::wstring& path) {
  const std::wstring extension = PathExtension(path);
  if (EqualsIgnoringAsciiCase(extension, L".zip")) return PackageForm::Zip;
  if (EqualsIgnoringAsciiCase(extension, L".exe")) return PackageForm::Program;
  return PackageForm::Other;
}

bool IsPackageProgramName(const std::wstring& name) {
  if (name.size() < 4 || !EqualsIgnoringAsciiCase(name.substr(name.size() - 4), L".exe"))
    return false;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = name.find_first_of(L"\\/", start);
    const std::wstring part = name.substr(start, end == std::wstring::npos ? end : end - start);
    if (!halvora::IsPlainFileName(part) || part.find(L':') != std::wstring::npos) return false;
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

std::wstring UnpackedProgramPath(const std::wstring& packagePath, const std::wstring& programName) {
  return PathWithoutExtension(packagePath) + L"\\" + programName;
}

std::wstring InstallCommandLine(const AppInfo& app) {
  if (halvora::AppKindOf(app.appType, app.installTypeId) == halvora::AppKind::SetupInstalled)
    return std::wstring();
  return L"\"-appid\" \"" + app.appId + L"\"";
}
