#include "app/halvora_dlg.h"

#include <shlobj.h>
#include <windows.h>

#include "app/app_service.h"
#include "app/build_config.h"
#include "app/install_plan.h"
#include "app/install_win.h"
#include "app/installed_apps.h"
#include "base/debug_output.h"
#include "base/text.h"
#include "env/app_presence.h"
#include "env/platform_client.h"
#include "net/ftp/blocking_socket.h"
#include "res/artwork.h"
#include "res/resource.h"
#include "ui/msg_dlg.h"

namespace {

// Pure red is the window's colour key: every pixel painted in it is
// transparent and lets clicks through (the drawn background rounds its
// corners with it).
constexpr COLORREF kColorKey = RGB(255, 0, 0);

constexpr wchar_t kQueryFailedNotice[] = L"获取应用信息失败！";
constexpr wchar_t kCancelQuestion[] = L"是否终止下载？";

// A confirmed cancel lets the transfer under way stop before the window goes.
constexpr UINT_PTR kCancelTimer = 1;
constexpr UINT kCancelDelayMs = 300;

void CreateFolder(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);  // failures show later, in file calls
}

}  // namespace

CHalvoraDlg::CHalvoraDlg(const std::wstring& serverHost, uint32_t serverPort,
                         const std::wstring& appId)
    : CDialog(IDD_HALVORA_DIALOG),
      serverHost(serverHost),
      serverPort(serverPort),
      mainSession(halvora::ZanHttpSession::Create(serverHost, static_cast<int32_t>(serverPort))),
      ftp(std::make_unique<nsFTP::CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>())),
      clientPresent(IsPlatformClientInstalled()),
      cancelQuestion(kCancelQuestion),
      transport(*mainSession, *ftp),
      view(*this),
      session(transport, view, clock),
      icon(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_HALVORA),
                                         IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))) {
  appInfo.appId = appId;
  const std::wstring userFolder = GetUserAppDataFolder();
  appsRoot = userFolder + L"\\apps\\";
  tempRoot = appsRoot + L"~~tmp";
  // Without the user's folder both paths would name the root of the current
  // drive; nothing is created there, and the session's file calls fail.
  if (!userFolder.empty()) {
    CreateFolder(appsRoot);
    CreateFolder(tempRoot);
  }
}

CHalvoraDlg::~CHalvoraDlg() {
  // The window is gone; a worker still in a transfer is stopped and waited
  // for, so no thread outlives what it uses.
  if (worker.joinable()) {
    session.PauseDownload();
    session.Cancel();
    worker.join();
  }
  // QueryAppInfo hands the application's icon to the record; the record's
  // owner releases it.
  const halvora::win::IconHandle appIcon(static_cast<HICON>(appInfo.icon));
}

BOOL CHalvoraDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const HWND window = Handle();

  SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(window, kColorKey, 0, LWA_COLORKEY);

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
                          halvora::AnsiToWide(halvora::build_config::kPublicFileHost)};
  const bool described = QueryAppInfo(context);
  if (!described) {
    halvora::ui::ShowNotice(window, kQueryFailedNotice);
    EndDialog(IDCANCEL);
  }

  const HICON shown = appInfo.icon ? static_cast<HICON>(appInfo.icon) : icon.Get();
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(shown));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(shown));
  SetWindowTextW(window, appInfo.name.c_str());
  mainView.SetApplication(appInfo.name, static_cast<HICON>(appInfo.icon), appInfo.fileSize);
  mainView.Layout(window, session.IsFinished(), session.SpeedKbps());

  if (described) StartWorker();
  return TRUE;
}

void CHalvoraDlg::StartWorker() {
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

void CHalvoraDlg::WorkerThread() {
  switch (session.DownloadAll()) {
    case kDownloadAllTransferred:
      InstallAndLaunch();
      break;
    case kDownloadAllIncomplete:
      // Nothing is installed from a package that did not arrive whole; the
      // temporary folder keeps what came, for the next run to size again.
      if (EnterPhase(Phase::Ending)) PostWmApp(kEndSession);
      break;
    default:
      break;
  }
}

bool CHalvoraDlg::EnterPhase(Phase next) {
  Phase expected = Phase::Running;
  return phase.compare_exchange_strong(expected, next);
}

void CHalvoraDlg::InstallAndLaunch() {
  if (!EnterPhase(Phase::Installing)) return;
  // From the worker, the window is only posted to.
  const bool onWindowThread = GetWindowThreadProcessId(Handle(), nullptr) == GetCurrentThreadId();
  const InstallContext context{appInfo,
                               progInfo,
                               appsRoot,
                               tempRoot,
                               clientPresent,
                               clientZipPath,
                               [this, onWindowThread] {
                                 if (onWindowThread) {
                                   ShowWindow(Handle(), SW_HIDE);
                                 } else {
                                   PostWmApp(kHideWindow);
                                 }
                               },
                               [](const AppInfo& app) { AddInstalledApp(app); }};
  InstallPackage(context);
  if (onWindowThread) {
    EndDialog(IDCANCEL);
  } else {
    PostWmApp(kEndSession);
  }
}

bool CHalvoraDlg::OnCommand(UINT id, UINT, HWND) {
  // Held off while the installation runs and once the session is ending.
  const bool running = phase == Phase::Running;
  switch (id) {
    case kCloseCommand:
      if (running) OnCancel();
      return true;
    case kCancelCommand:
      if (running && !session.IsFinished()) OnCancel();
      return true;
    case kPauseCommand:
      if (running && !session.IsFinished()) {
        if (session.IsPaused()) {
          session.ResumeDownload();
        } else {
          session.PauseDownload();
        }
      }
      return true;
    case kLaunchCommand:
      if (running && session.IsFinished()) InstallAndLaunch();
      return true;
    default:
      return false;
  }
}

void CHalvoraDlg::OnCancel() {
  if (phase != Phase::Running) return;
  const bool wasPaused = session.IsPaused();
  session.PauseDownload();
  if (session.IsFinished() || halvora::ui::ShowConfirm(Handle(), cancelQuestion)) {
    // The installation may have begun while the question was open.
    if (!EnterPhase(Phase::Ending)) return;
    session.Cancel();
    SetTimer(Handle(), kCancelTimer, kCancelDelayMs, nullptr);
  } else if (!wasPaused) {
    session.ResumeDownload();
  }
}

void CHalvoraDlg::OnOK() {}

bool CHalvoraDlg::OnTimer(UINT_PTR id) {
  if (id != kCancelTimer) return false;
  KillTimer(Handle(), kCancelTimer);
  if (IsAppInstalled(progInfo, appInfo, appsRoot)) {
    DeleteTree(AppTempFolder(tempRoot, appInfo.appId));
  }
  EndDialog(IDCANCEL);
  return true;
}

bool CHalvoraDlg::OnAppMessage(UINT n, WPARAM wParam, LPARAM, LRESULT&) {
  switch (n) {
    case kProgressChanged:
      mainView.SetPercent(view.TakeProgress());
      return true;
    case kSpeedChanged:
      mainView.UpdateSpeedText(view.TakeSpeed());
      return true;
    case kPausePicture:
      mainView.SetPauseBitmap(wParam != 0 ? IDB_PAUSE_PAUSED : IDB_PAUSE_RUNNING);
      return true;
    case kDownloadFinished:
      mainView.SetLaunchBitmap(IDB_LAUNCH_READY);
      mainView.SetPercent(1.0f);
      mainView.RedrawAll();
      return true;
    case kRedrawAll:
      mainView.RedrawAll();
      return true;
    case kHideWindow:
      ShowWindow(Handle(), SW_HIDE);
      return true;
    case kEndSession:
      EndDialog(IDCANCEL);
      return true;
    default:
      return false;
  }
}

bool CHalvoraDlg::OnEraseBkgnd(HDC dc) {
  mainView.EraseBackground(dc);
  return true;
}

HBRUSH CHalvoraDlg::OnCtlColor(HDC dc, HWND control, UINT) {
  return mainView.CtlColor(dc, control);
}

bool CHalvoraDlg::OnNcHitTest(POINT, LRESULT& hitTest) {
  // The whole surface drags the window; child controls answer for their own.
  hitTest = HTCAPTION;
  return true;
}

bool CHalvoraDlg::OnMouseMove(UINT keys, POINT client) {
  mainView.MouseMessage(WM_MOUSEMOVE, keys, MAKELPARAM(client.x, client.y));
  return false;
}

bool CHalvoraDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) {
  if ((message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK) ||
      (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK))
    mainView.MouseMessage(message, wParam, lParam);
  return false;
}

void CHalvoraDlg::OnDestroy() { mainView.Destroy(); }
