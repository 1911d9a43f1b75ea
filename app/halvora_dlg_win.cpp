#include "app/halvora_dlg.h"

#include <windows.h>

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
constexpr wchar_t kSignatureRefusedNotice[] = L"安装程序未通过签名验证，已停止安装。";

// A confirmed cancel lets the transfer under way stop before the window goes.
constexpr UINT_PTR kCancelTimer = 1;
constexpr UINT kCancelDelayMs = 300;

}  // namespace

CHalvoraDlg::CHalvoraDlg(const std::wstring& serverHost, uint32_t serverPort,
                         const std::wstring& appId, halvora::PublisherPolicy publishers)
    : CDialog(IDD_HALVORA_DIALOG),
      cancelQuestion(kCancelQuestion),
      icon(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_HALVORA),
                                         IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))),
      controller(*this, serverHost, serverPort, appId, std::move(publishers)) {}

BOOL CHalvoraDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const HWND window = Handle();

  SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(window, kColorKey, 0, LWA_COLORKEY);

  // The window shows before anything is asked: the program's own icon, no
  // name or size yet, and only the close button alive. The platform is
  // asked on a thread of the controller's, which posts kDescribed.
  SetIcons(icon.Get());
  SetWindowTextW(window, L"");
  mainView.Layout(window, false, 0.0);
  mainView.EnableSessionButtons(false);
  taskbar = halvora::ui::CTaskbarProgress(halvora::ui::CTaskbarProgress::CreateList());
  taskbar.Attach(window);
  controller.DescribeInBackground();
  return TRUE;
}

void CHalvoraDlg::SetIcons(HICON shown) {
  SendMessageW(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(shown));
  SendMessageW(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(shown));
}

void CHalvoraDlg::OnDescribed() {
  const HWND window = Handle();
  if (!controller.FinishDescribe()) {
    // Over the window, which stands where the user saw it.
    halvora::ui::ShowNotice(window, kQueryFailedNotice);
    EndDialog(IDCANCEL);
    return;
  }
  const AppInfo& app = controller.App();
  SetIcons(app.icon ? static_cast<HICON>(app.icon) : icon.Get());
  mainView.SetApplication(app.name, static_cast<HICON>(app.icon), app.fileSize);
  const InstallSession& session = controller.Session();
  mainView.SetLaunchBitmap(session.IsFinished() ? IDB_LAUNCH_READY : IDB_LAUNCH_WAITING);
  mainView.UpdateSpeedText(session.SpeedKbps());
  mainView.EnableSessionButtons(true);
  controller.Start();
  // The title last: a window titled with the application's name has a
  // session under way (what tools that wait for the window rely on).
  SetWindowTextW(window, app.name.c_str());
  mainView.RedrawAll();
}

bool CHalvoraDlg::OnCommand(UINT id, UINT, HWND) {
  // Held off while the installation runs and once the session is ending;
  // before the platform has answered, only the close button acts.
  const bool running = controller.IsRunning();
  const bool describing = controller.IsDescribing();
  const bool finished = controller.Session().IsFinished();
  switch (id) {
    case kCloseCommand:
      if (running) OnCancel();
      return true;
    case kCancelCommand:
      if (running && !describing && !finished) OnCancel();
      return true;
    case kPauseCommand:
      if (!describing) controller.TogglePause();
      return true;
    case kLaunchCommand:
      if (!describing) controller.Launch();
      return true;
    default:
      return false;
  }
}

void CHalvoraDlg::OnCancel() {
  // A close that arrives while the question is open (a posted WM_CLOSE)
  // is the same request again: never a second question.
  if (asking) return;
  // Nothing has been fetched yet: the program ends at once, without asking
  // (the controller's destructor stops the questions still under way).
  if (controller.IsDescribing()) {
    EndDialog(IDCANCEL);
    return;
  }
  if (!controller.IsRunning()) return;
  const bool wasPaused = controller.BeginCancel();
  const auto ask = [this] {
    asking = true;
    const bool yes = halvora::ui::ShowConfirm(Handle(), cancelQuestion);
    asking = false;
    return yes;
  };
  if (controller.Session().IsFinished() || ask()) {
    // The installation may have begun while the question was open.
    if (controller.ConfirmCancel()) SetTimer(Handle(), kCancelTimer, kCancelDelayMs, nullptr);
  } else {
    controller.DeclineCancel(wasPaused);
  }
}

void CHalvoraDlg::OnOK() {
  // Enter presses the button the keyboard chose; with none, it launches
  // once everything is present, and does nothing before.
  if (const HWND button = mainView.ChosenButton()) {
    SendMessageW(button, BM_CLICK, 0, 0);
    return;
  }
  if (controller.Session().IsFinished()) controller.Launch();
}

bool CHalvoraDlg::OnTimer(UINT_PTR id) {
  if (id != kCancelTimer) return false;
  KillTimer(Handle(), kCancelTimer);
  controller.FinishCancel();
  EndDialog(IDCANCEL);
  return true;
}

bool CHalvoraDlg::OnAppMessage(UINT n, WPARAM wParam, LPARAM, LRESULT&) {
  switch (n) {
    case kDescribed:
      OnDescribed();
      return true;
    case kProgressChanged: {
      const float fraction = controller.View().TakeProgress();
      mainView.SetPercent(fraction);
      taskbar.Show(fraction);
      return true;
    }
    case kSpeedChanged:
      mainView.UpdateSpeedText(controller.View().TakeSpeed());
      return true;
    case kPausePicture:
      mainView.SetPauseBitmap(wParam != 0 ? IDB_PAUSE_PAUSED : IDB_PAUSE_RUNNING);
      taskbar.ShowPaused(wParam != 0);
      return true;
    case kDownloadFinished:
      mainView.SetLaunchBitmap(IDB_LAUNCH_READY);
      mainView.SetPercent(1.0f);
      taskbar.Show(1.0f);
      mainView.RedrawAll();
      return true;
    case kRedrawAll:
      mainView.RedrawAll();
      return true;
    case kHideWindow:
      // The installation has begun: nothing on the window acts any more.
      mainView.EnableButtons(false);
      taskbar.Hide();
      ShowWindow(Handle(), SW_HIDE);
      return true;
    case kEndSession:
      EndDialog(IDCANCEL);
      return true;
    case kSignatureRefused:
      // The window is hidden by now; the notice stands where it was.
      halvora::ui::ShowNotice(Handle(), kSignatureRefusedNotice);
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

bool CHalvoraDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT&) {
  // The whole surface answers HTCAPTION, so the pointer reaches the dialog
  // as non-client messages only.
  if (message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK)
    mainView.MouseMessage(message, wParam, lParam);
  return false;
}

void CHalvoraDlg::OnDestroy() { mainView.Destroy(); }
