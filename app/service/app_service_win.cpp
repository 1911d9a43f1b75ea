// The service calls on Windows: the requests, the icon, the FTP logon test
// and the install information file. Texts, parsing and the download list
// itself are in service_text.cpp and download_plan.cpp.

#include <windows.h>

#include <shlwapi.h>

#include <memory>
#include <string>

#include "app/service/app_service.h"
#include "app/service/download_plan.h"
#include "app/service/service_text.h"
#include "base/text.h"
#include "net/ftp/ftp_client.h"
#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"

namespace {

using halvora::AnsiToWide;
using halvora::PackageFacts;
using halvora::PackageSource;
using halvora::WideToAnsi;
using halvora::ZanHttpSession;

// GetPrivateProfileStringW buffers, in UTF-16 units; longer values are cut.
constexpr DWORD kInfoPathUnits = 512;
constexpr DWORD kInfoExeUnits = 260;
constexpr int kIconPixels = 48;

// One base64 request to the data server, through a session of its own.
bool AskDataServer(const AppInfo& app, const std::string& request, std::string& text,
                   const std::atomic<int32_t>* stop) {
  const auto session = ZanHttpSession::Create(app.dataServerAddr, app.port);
  std::unique_ptr<char[]> response;
  int32_t length = 0;
  const int32_t result =
      session->SendRequest(request.c_str(), halvora::BodyEncoding::Base64,
                           WideToAnsi(app.dataPath).c_str(), response, length, stop);
  return halvora::AcceptedAnswer(result, response, length, text);
}

int32_t Fetch(ZanHttpSession& session, const std::wstring& local, const std::wstring& url) {
  halvora::HttpAnswerFacts facts;
  return halvora::DownloadHttpFile(session, WideToAnsi(local).c_str(), WideToAnsi(url).c_str(),
                                   false, std::string(), facts);
}

void LoadAppIcon(AppInfo& app) {
  const wchar_t* file = app.iconFile.c_str();
  if (!PathFileExistsW(file) || lstrcmpiW(PathFindExtensionW(file), L".ico") != 0) return;
  const auto icon = static_cast<HICON>(
      LoadImageW(nullptr, file, IMAGE_ICON, kIconPixels, kIconPixels, LR_LOADFROMFILE));
  if (!icon) return;
  // The record owns the icon; its owner destroys it at the end.
  if (app.icon) DestroyIcon(app.icon);
  app.icon = icon;
}

// Whether the client program's FTP server takes the logon; the session logs
// on again for the transfer.
bool FtpLogonSucceeds(nsFTP::CFTPClient& ftp, const Prog_info& program) {
  const nsFTP::FtpLogonInfo logon(program.IP, static_cast<uint16_t>(program.port), program.account,
                                  program.password, L"");
  if (!ftp.Logon(logon)) return false;
  ftp.Logout();
  return true;
}

// Fetches the install information file into the temporary folder and reads
// the kind's section. False when the file did not arrive.
bool ReadInstallInfo(AppQueryContext& context, PackageSource source, PackageFacts& facts) {
  const std::wstring file = halvora::InstallInfoFilePath(context.tempRoot, context.appInfo.appId);
  if (source == PackageSource::GreenSoftInfo) DeleteFileW(file.c_str());
  const std::wstring url = halvora::InstallInfoUrl(context.serverHost, context.serverPort);
  if (Fetch(context.mainSession, file, url) != halvora::kDownloadOk) {
    DeleteFileW(file.c_str());
    return false;
  }
  if (!PathFileExistsW(file.c_str())) return false;

  const wchar_t* section = halvora::InstallInfoSection(source);
  wchar_t path[kInfoPathUnits] = {};
  wchar_t exe[kInfoExeUnits] = {};
  GetPrivateProfileStringW(section, L"path", L"", path, kInfoPathUnits, file.c_str());
  GetPrivateProfileStringW(section, L"exe", L"", exe, kInfoExeUnits, file.c_str());
  facts.infoPath = path;
  facts.infoExe = exe;
  return true;
}

}  // namespace

void AppInfo::QueryFileSize(const std::atomic<int32_t>* stop) {
  std::string text;
  if (!AskDataServer(*this, halvora::FileSizeRequest(appId), text, stop)) {
    fileSize = 0;
    return;
  }
  halvora::ReadFileSize(text, *this);
}

void AppInfo::QueryClientProgram(Prog_info& program, const std::atomic<int32_t>* stop) const {
  // The native architecture: a 32-bit copy on a 64-bit system asks for the
  // 64-bit program.
  SYSTEM_INFO system = {};
  GetNativeSystemInfo(&system);
  const std::string request =
      halvora::ClientProgramRequest(appId, halvora::OsText(system.wProcessorArchitecture));
  std::string text;
  if (!AskDataServer(*this, request, text, stop)) return;
  halvora::ReadClientProgram(text, dataServerAddr, program);
}

bool QueryAppInfo(AppQueryContext& context) {
  context.downloadList.clear();
  AppInfo& app = context.appInfo;
  const auto stopped = [&] { return context.stop && context.stop->load() != 0; };

  const std::string request = halvora::DescriptionRequest(app.appId);
  std::unique_ptr<char[]> response;
  int32_t length = 0;
  const int32_t result =
      context.mainSession.SendSealedRequest(request.c_str(), response, length, context.stop);
  std::string text;
  std::string iconPath;
  if (!halvora::AcceptedAnswer(result, response, length, text) ||
      !halvora::ReadDescription(text, app, iconPath))
    return false;

  CreateDirectoryW(halvora::AppTempFolder(context.tempRoot, app.appId).c_str(), nullptr);
  app.iconFile = halvora::IconFilePath(context.tempRoot, app.appId);
  const std::wstring iconUrl =
      halvora::PlatformServerUrl(context.serverHost, context.serverPort, AnsiToWide(iconPath));
  if (Fetch(context.mainSession, app.iconFile, iconUrl) != halvora::kDownloadOk)
    DeleteFileW(app.iconFile.c_str());

  if (stopped()) return false;
  app.QueryFileSize(context.stop);
  LoadAppIcon(app);
  app.QueryClientProgram(context.progInfo, context.stop);
  if (stopped()) return false;

  const PackageSource source =
      halvora::PackageSourceFor(halvora::AppKindOf(app.appType, app.installTypeId));
  PackageFacts facts;
  switch (source) {
    case PackageSource::ClientProgram:
      facts.ftpLogonSucceeded = FtpLogonSucceeds(context.ftp, context.progInfo);
      break;
    case PackageSource::GreenSoftInfo:
    case PackageSource::ExcelInfo:
      if (!ReadInstallInfo(context, source, facts)) return false;
      break;
    case PackageSource::None:
      break;
  }
  if (stopped() || !halvora::AppendDownloads(context, source, facts)) return false;
  // The spreadsheet kind keeps its install information beside the package.
  if (source == PackageSource::GreenSoftInfo)
    DeleteFileW(halvora::InstallInfoFilePath(context.tempRoot, app.appId).c_str());
  return true;
}
