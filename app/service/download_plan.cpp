#include "app/service/download_plan.h"

#include "base/file_names.h"

namespace halvora {

namespace {

const wchar_t kInstallInfoFile[] = L"softwareInsatll.ini";
const wchar_t kClientProgramFolder[] = L"downloadclientprog";
const wchar_t kPlatformClientPath[] = L"/manufacturing/files/OrbantaCenter_Client.zip";
const wchar_t kPlatformClientFile[] = L"OrbantaCenter_Client.zip";

std::wstring Decimal(int64_t value) { return std::to_wstring(value); }

// File names are compared the way Windows does for ASCII letters.
bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
  auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::wstring PackageFilePath(const AppQueryContext& context, const std::wstring& fileName) {
  return AppTempFolder(context.tempRoot, context.appInfo.appId) + L"\\" + fileName;
}

DownloadItem ClientProgramItem(AppQueryContext& context, bool ftpLogonSucceeded) {
  const AppInfo& app = context.appInfo;
  const Prog_info& program = context.progInfo;
  DownloadItem item;
  item.local = PackageFilePath(context, PackageFileName(program.path));
  if (ftpLogonSucceeded) {
    item.kind = kDownloadKindFtp;
    item.remote = program.path;
    item.ftpHost = program.IP;
    item.ftpPort = program.port;
    item.ftpAccount = program.account;
    item.ftpPassword = program.password;
  } else {
    item.kind = kDownloadKindHttp;
    item.remote = L"http://" + app.dataServerAddr + L":" + Decimal(app.port) + L"/" +
                  kClientProgramFolder + L"/" + program.path;
  }
  context.appInfo.packageFile = item.local;
  context.appInfo.exeName = program.exe;
  return item;
}

DownloadItem InstallInfoItem(AppQueryContext& context, const PackageFacts& facts) {
  DownloadItem item;
  item.kind = kDownloadKindHttp;
  item.remote = PlatformServerUrl(context.serverHost, context.serverPort, facts.infoPath);
  item.local = PackageFilePath(context, PackageFileName(item.remote));
  context.appInfo.packageFile = item.local;
  context.appInfo.exeName = facts.infoExe;
  return item;
}

}  // namespace

PackageSource PackageSourceFor(AppKind kind) {
  switch (kind) {
    case AppKind::SetupInstalled:
    case AppKind::ClientPackage:
      return PackageSource::ClientProgram;
    case AppKind::Portable:
    case AppKind::OtherPortable:
      return PackageSource::GreenSoftInfo;
    case AppKind::Viewer:
      return PackageSource::ExcelInfo;
    case AppKind::Other:
      break;
  }
  return PackageSource::None;
}

const wchar_t* InstallInfoSection(PackageSource source) {
  return source == PackageSource::ExcelInfo ? L"ExcelApp" : L"GreenSoftApp";
}

std::wstring PackageFileName(const std::wstring& pathOrUrl) {
  const size_t last = pathOrUrl.find_last_of(L"/\\");
  return last == std::wstring::npos ? pathOrUrl : pathOrUrl.substr(last + 1);
}

std::wstring IconFilePath(const std::wstring& tempRoot, const std::wstring& appId) {
  return AppTempFolder(tempRoot, appId) + L"\\" + appId + L".ico";
}

std::wstring InstallInfoFilePath(const std::wstring& tempRoot, const std::wstring& appId) {
  return AppTempFolder(tempRoot, appId) + L"\\" + kInstallInfoFile;
}

std::wstring PlatformServerUrl(const std::wstring& host, uint32_t port, const std::wstring& path) {
  return L"http://" + host + L":" + Decimal(static_cast<int32_t>(port)) + L"/" + path;
}

std::wstring InstallInfoUrl(const std::wstring& host, uint32_t port) {
  return PlatformServerUrl(host, port, kInstallInfoFile);
}

bool IsAcceptedPackageName(const std::wstring& name, const std::wstring& appId) {
  if (IsDeviceName(name) || name.find(L':') != std::wstring::npos) return false;
  for (const std::wstring& own : {appId + L".ico", std::wstring(kInstallInfoFile),
                                  std::wstring(kPlatformClientFile)})
    if (EqualsIgnoringCase(name, own)) return false;
  return true;
}

bool AppendDownloads(AppQueryContext& context, PackageSource source, const PackageFacts& facts) {
  switch (source) {
    case PackageSource::ClientProgram:
      if (!IsAcceptedPackageName(PackageFileName(context.progInfo.path), context.appInfo.appId))
        return false;
      context.downloadList.push_back(ClientProgramItem(context, facts.ftpLogonSucceeded));
      break;
    case PackageSource::GreenSoftInfo:
    case PackageSource::ExcelInfo:
      if (!IsAcceptedPackageName(PackageFileName(facts.infoPath), context.appInfo.appId))
        return false;
      context.downloadList.push_back(InstallInfoItem(context, facts));
      break;
    case PackageSource::None:
      break;
  }
  if (!context.clientPresent) {
    DownloadItem item;
    item.kind = kDownloadKindHttp;
    item.remote = L"http://" + context.publicFileHost + kPlatformClientPath;
    item.local = PackageFilePath(context, kPlatformClientFile);
    context.clientZipPath = item.local;
    context.downloadList.push_back(item);
  }
  return true;
}

}  // namespace halvora
