#include "app/session/session_controller_win.h"

#include <shlobj.h>
#include <windows.h>

#include "app/app_folders.h"
#include "app/build_config.h"
#include "app/install/app_presence.h"
#include "app/install/install_win.h"
#include "app/records/installed_apps.h"
#include "app/service/app_service.h"
#include "base/debug_output.h"
#include "base/text.h"
#include "base/win/scoped_handle.h"
#include "env/platform_client.h"
#include "net/ftp/blocking_socket.h"
#include "ui/window.h"

namespace {

void CreateFolder(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);  // failures show later, in file calls
}

}  // namespace

SessionController::SessionController(const halvora::ui::CWindow& window,
                                     const std::wstring& serverHost, uint32_t serverPort,
                                     const std::wstring& appId, halvora::PublisherPolicy publishers)
    : window(window),
      serverHost(serverHost),
      serverPort(serverPort),
      publishers(std::move(publishers)),
      mainSession(halvora::ZanHttpSession::Create(serverHost, static_cast<int32_t>(serverPort))),
      ftp(std::make_unique<nsFTP::CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>())),
      clientPresent(IsPlatformClientInstalled()),
      transport(*mainSession, *ftp),
      view(window),
      session(transport, view, clock) {
  appInfo.appId = appId;
  const std::wstring userFolder = GetUserAppDataFolder();
  appsRoot = halvora::AppsRootOf(userFolder);
  tempRoot = halvora::TempRootOf(appsRoot);
  // Without the user's folder both paths would name the root of the current
  // drive; nothing is created there, and the session's file calls fail.
  if (!userFolder.empty()) {
    CreateFolder(appsRoot);
    CreateFolder(tempRoot);
  }
}

SessionController::~SessionController() {
  // A window closed before the platform answered: every wait of the
  // description ends within moments, and nothing more is asked.
  if (describer.joinable()) {
    describeStop.exchange(1);
    mainSession->cancelRequested.exchange(1);
    ftp->Interrupt();
    describer.join();
  }
  // A worker still in a transfer, or waiting for the launch button, is
  // stopped and waited for, so no thread outlives what it uses.
  if (worker.joinable()) {
    {
      std::lock_guard<std::mutex> lock(launchLock);
      abandoned = true;
    }
    launchChanged.notify_all();
    session.Cancel();
    worker.join();
  }
  // Describe hands the application's icon to the record; its owner
  // releases it.
  const halvora::win::IconHandle appIcon(static_cast<HICON>(appInfo.icon));
}

bool SessionController::Describe() {
  AppQueryContext context{*mainSession,
                          *ftp,
                          serverHost,
                          serverPort,
                          tempRoot,
                          clientPresent,
                          appInfo,
                          progInfo,
                          session.downloadList,
                          clientZipPath,
                          halvora::AnsiToWide(halvora::build_config::kPublicFileHost),
                          &describeStop};
  return QueryAppInfo(context);
}

void SessionController::DescribeInBackground() {
  describer = std::thread([this] {
    described = Describe();
    window.PostWmApp(kDescribed, described ? 1 : 0);
  });
}

bool SessionController::FinishDescribe() {
  if (describer.joinable()) describer.join();
  return described;
}

void SessionController::Start() {
  const DownloadList& downloadList = session.downloadList;
  halvora::DebugOutput(
      (L"download list: " + std::to_wstring(downloadList.size()) + L" item(s)").c_str());
  for (const DownloadItem& item : downloadList) {
    std::wstring line = L"download item: kind=";
    if (item.kind == kDownloadKindHttp) {
      line += L"http";
    } else {
      line += L"ftp server=" + item.ftpHost + L':' + std::to_wstring(item.ftpPort);
    }
    line += L" remote=" + item.remote + L" local=" + item.local;
    halvora::DebugOutput(line.c_str());
  }
  worker = std::thread([this] { WorkerThread(); });
}

void SessionController::WorkerThread() {
  switch (session.DownloadAll()) {
    case kDownloadAllTransferred:
      // Unless the launch button or a confirmed cancel came first.
      EnterPhase(Phase::Installing);
      break;
    case kDownloadAllPresent:
      // Everything was there already: the installation waits for the user.
      WaitForLaunch();
      break;
    default:
      return;
  }
  if (phase == Phase::Installing) InstallAndLaunch();
}

void SessionController::WaitForLaunch() {
  std::unique_lock<std::mutex> lock(launchLock);
  launchChanged.wait(lock, [this] { return phase != Phase::Running || abandoned; });
}

bool SessionController::EnterPhase(Phase next) {
  Phase expected = Phase::Running;
  return phase.compare_exchange_strong(expected, next);
}

void SessionController::InstallAndLaunch() {
  const InstallContext context{appInfo,
                               progInfo,
                               appsRoot,
                               tempRoot,
                               clientPresent,
                               clientZipPath,
                               [this] { window.PostWmApp(kHideWindow); },
                               [](const AppInfo& app) { AddInstalledApp(app); },
                               publishers};
  const InstallOutcome outcome = InstallPackage(context);
  window.PostWmApp(outcome == InstallOutcome::kSignatureRefused ? kSignatureRefused : kEndSession);
}

void SessionController::TogglePause() {
  if (!IsRunning() || session.IsFinished()) return;
  if (session.IsPaused()) {
    session.ResumeDownload();
  } else {
    session.PauseDownload();
  }
}

void SessionController::Launch() {
  if (!session.IsFinished()) return;
  {
    std::lock_guard<std::mutex> lock(launchLock);
    if (!EnterPhase(Phase::Installing)) return;
  }
  launchChanged.notify_all();
}

bool SessionController::BeginCancel() {
  const bool wasPaused = session.IsPaused();
  session.PauseDownload();
  return wasPaused;
}

bool SessionController::ConfirmCancel() {
  {
    std::lock_guard<std::mutex> lock(launchLock);
    if (!EnterPhase(Phase::Ending)) return false;
  }
  launchChanged.notify_all();
  session.Cancel();
  return true;
}

void SessionController::DeclineCancel(bool wasPaused) {
  if (!wasPaused) session.ResumeDownload();
}

void SessionController::FinishCancel() {
  if (IsAppInstalled(progInfo, appInfo, appsRoot)) {
    DeleteTree(halvora::AppTempFolder(tempRoot, appInfo.appId));
  }
}
