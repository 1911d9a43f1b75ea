#include "app/halvora_dlg.h"

#include <shlobj.h>
#include <windows.h>

#include "app/app_service.h"
#include "app/build_config.h"
#include "base/debug_output.h"
#include "base/text.h"
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
                          downloadList,
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
  view.SetApplication(appInfo.name, static_cast<HICON>(appInfo.icon), appInfo.fileSize);
  view.Layout(window, finished, speedKbps);

  if (described) StartWorker();
  return TRUE;
}

void CHalvoraDlg::OnCancel() {
  if (!finished && !halvora::ui::ShowConfirm(Handle(), cancelQuestion)) return;
  EndDialog(IDCANCEL);
}

void CHalvoraDlg::OnOK() {}

bool CHalvoraDlg::OnCommand(UINT id, UINT notifyCode, HWND) {
  if (notifyCode != BN_CLICKED) return false;
  switch (id) {
    case halvora::ui::kCmdClose:
      OnCancel();
      return true;
    case halvora::ui::kCmdCancel:
      if (!finished) OnCancel();
      return true;
    default:
      return false;
  }
}

bool CHalvoraDlg::OnEraseBkgnd(HDC dc) {
  view.EraseBackground(dc);
  return true;
}

HBRUSH CHalvoraDlg::OnCtlColor(HDC dc, HWND control, UINT) { return view.CtlColor(dc, control); }

bool CHalvoraDlg::OnNcHitTest(POINT, LRESULT& hitTest) {
  // The whole surface drags the window; child controls answer for their own.
  hitTest = HTCAPTION;
  return true;
}

bool CHalvoraDlg::OnMouseMove(UINT keys, POINT client) {
  view.MouseMessage(WM_MOUSEMOVE, keys, MAKELPARAM(client.x, client.y));
  return false;
}

bool CHalvoraDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) {
  if ((message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK) ||
      (message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK))
    view.MouseMessage(message, wParam, lParam);
  return false;
}

bool CHalvoraDlg::OnAppMessage(UINT n, WPARAM, LPARAM, LRESULT&) {
  if (n != kApplyUpdates) return false;
  ApplyUpdates();
  return true;
}

void CHalvoraDlg::ApplyUpdates() {
  using halvora::ui::UpdateMailbox;
  const UpdateMailbox::Pending p = updates.Take();
  if (p.Has(UpdateMailbox::kSpeed)) view.UpdateSpeedText(p.speedKbps);
  if (p.Has(UpdateMailbox::kPaused))
    view.SetPauseBitmap(p.paused ? IDB_PAUSE_PAUSED : IDB_PAUSE_RUNNING);
  if (p.Has(UpdateMailbox::kFinished)) {
    view.SetLaunchBitmap(IDB_LAUNCH_READY);
    view.SetPercent(1.0f);
  } else if (p.Has(UpdateMailbox::kProgress)) {
    view.SetPercent(p.progress);
  }
  if (p.Has(UpdateMailbox::kRedraw | UpdateMailbox::kFinished)) view.RedrawAll();
}

void CHalvoraDlg::OnDestroy() { view.Destroy(); }

void CHalvoraDlg::StartWorker() {
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
}
