#include "ui/main_view.h"

#include <commctrl.h>
#include <windowsx.h>

#include <utility>

#include "res/artwork.h"
#include "res/resource.h"
#include "ui/gdi_win.h"
#include "ui/msg_dlg.h"
#include "ui/ui_text.h"

namespace halvora::ui {
namespace {

constexpr COLORREF kBodyColour = RGB(240, 248, 250);
constexpr int kIconSize = 48;
constexpr int kTooltipAutoPopMs = 16960;

// What the buttons are called for screen readers.
constexpr wchar_t kCloseName[] = L"关闭";
constexpr wchar_t kPauseName[] = L"暂停";
constexpr wchar_t kResumeName[] = L"继续";
constexpr wchar_t kCancelName[] = L"取消";
constexpr wchar_t kLaunchName[] = L"运行";

int MeasureWidth(HDC dc, const std::wstring& text) {
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  return size.cx;
}

TOOLINFOW ToolFor(HWND window) {
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = window;
  tool.uId = reinterpret_cast<UINT_PTR>(window);
  return tool;
}

}  // namespace

CMainView::CMainView()
    : nameFont(CreateFontW(23, 0, 0, 0, FW_THIN, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, L"微软雅黑")),
      labelFont(CreateLabelFont()),
      labelBrush(CreateSolidBrush(kBodyColour)) {}

void CMainView::SetApplication(std::wstring appName, HICON appIcon, int32_t size) {
  name = std::move(appName);
  icon = appIcon;
  fileSize = size;
  described = true;
}

void CMainView::Layout(HWND window, bool finished, double speedKbps) {
  dialog = window;
  background = LoadPicture(IDB_MAIN_BACKGROUND);

  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  workArea = FromRECT(work);
  MoveWindow(dialog, 0, 0, kMainWidth, kMainHeight, FALSE);
  MoveWindow(dialog, work.left + (workArea.Width() - kMainWidth) / 2,
             work.top + (workArea.Height() - kMainHeight) / 2, kMainWidth, kMainHeight, TRUE);

  RECT client{};
  GetClientRect(dialog, &client);
  layout = ComputeMainLayout(FromRECT(client));

  closeButton.Create(ToRECT(layout.close), dialog, kCmdClose, kCloseName);
  closeButton.SetBitmaps(IDB_CLOSE, IDB_CLOSE, IDB_CLOSE);

  if (progress.Create(dialog)) {
    const Rect& r = layout.progress;
    MoveWindow(progress.Handle(), r.left, r.top, r.Width(), r.Height(), FALSE);
    ShowWindow(progress.Handle(), SW_SHOW);
  }
  progress.SetRange(kProgressRange);

  if (const HWND label = GetDlgItem(dialog, IDC_SPEED_LABEL)) {
    const Rect& r = layout.speed;
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont.Get()), FALSE);
    MoveWindow(label, r.left, r.top, r.Width(), r.Height(), TRUE);
  }
  UpdateSpeedText(speedKbps);

  pauseButton.Create(ToRECT(layout.pause), dialog, kCmdPause, kPauseName);
  SetPauseBitmap(IDB_PAUSE_RUNNING);
  cancelButton.Create(ToRECT(layout.cancel), dialog, kCmdCancel, kCancelName);
  cancelButton.SetBitmaps(IDB_CANCEL, IDB_CANCEL, IDB_CANCEL);
  launchButton.Create(ToRECT(layout.launch), dialog, kCmdLaunch, kLaunchName);
  SetLaunchBitmap(finished ? IDB_LAUNCH_READY : IDB_LAUNCH_WAITING);

  // One tool over the window's own surface; its text is set once a cut name
  // is hovered.
  tooltip.Reset(CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                GetModuleHandleW(nullptr), nullptr));
  if (tooltip) {
    TOOLINFOW tool = ToolFor(dialog);
    tipText.clear();
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(tooltip.Get(), TTM_SETTIPTEXTCOLOR, RGB(0, 0, 0), 0);
    SendMessageW(tooltip.Get(), TTM_SETDELAYTIME, TTDT_AUTOMATIC, 0);
    SendMessageW(tooltip.Get(), TTM_SETDELAYTIME, TTDT_AUTOPOP, kTooltipAutoPopMs);
    SendMessageW(tooltip.Get(), TTM_ACTIVATE, FALSE, 0);
  }
}

void CMainView::EraseBackground(HDC dc) {
  RECT client{};
  GetClientRect(dialog, &client);
  OffscreenBuffer buffer(dc, client.right - client.left, client.bottom - client.top);
  if (!buffer.Ok()) return;
  const HDC mem = buffer.Dc();
  const SIZE picture = PictureSize(background.Get());
  TilePicture(mem, background.Get(),
              {client.left, client.top, client.right, client.top + picture.cy});
  if (icon) {
    DrawIconEx(mem, client.left + layout.icon.left, client.top + layout.icon.top, icon, kIconSize,
               kIconSize, 0, nullptr, DI_NORMAL);
  }
  {
    win::ScopedSelectObject font(mem, nameFont.Get());
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, RGB(0, 0, 0));
    const FittedName shown = FitName(name, MeasureWidth(mem, name), layout.name.Width());
    if (shown.truncated) nameTruncated = true;
    RECT nameRect = ToRECT(layout.name);
    DrawTextW(mem, shown.text.c_str(), static_cast<int>(shown.text.size()), &nameRect,
              DT_SINGLELINE | DT_LEFT | DT_TOP | DT_NOPREFIX);
    const std::wstring size = described ? FormatPackageSize(fileSize) : std::wstring();
    RECT sizeRect = ToRECT(layout.size);
    DrawTextW(mem, size.c_str(), static_cast<int>(size.size()), &sizeRect,
              DT_SINGLELINE | DT_LEFT | DT_TOP | DT_NOPREFIX);
  }
  buffer.Present(dc);
}

HBRUSH CMainView::CtlColor(HDC dc, HWND control) {
  if (!control || GetDlgCtrlID(control) != IDC_SPEED_LABEL) return nullptr;
  // The label keeps the font selected: it lives as long as the window.
  SelectObject(dc, labelFont.Get());
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  SetBkColor(dc, kBodyColour);
  return labelBrush.Get();
}

void CMainView::MouseMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (!dialog) return;
  // The whole surface is a caption, so the pointer over it arrives as
  // non-client messages; the tooltip and the name hover take them in client
  // terms.
  POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  POINT client = screen;
  UINT relayed = message;
  if (message >= WM_NCMOUSEMOVE && message <= WM_NCMBUTTONDBLCLK) {
    ScreenToClient(dialog, &client);
    relayed = message - WM_NCMOUSEMOVE + WM_MOUSEMOVE;
    wParam = 0;
  } else {
    ClientToScreen(dialog, &screen);
  }
  if (tooltip) {
    MSG msg{};
    msg.hwnd = dialog;
    msg.message = relayed;
    msg.wParam = wParam;
    msg.lParam = MAKELPARAM(client.x, client.y);
    msg.time = GetMessageTime();
    msg.pt = screen;
    SendMessageW(tooltip.Get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&msg));
  }
  if (relayed == WM_MOUSEMOVE) OnNameHover(client, screen);
}

void CMainView::OnNameHover(POINT client, POINT screen) {
  if (!tooltip || !nameTruncated || !layout.name.Contains(client.x, client.y)) return;
  SendMessageW(tooltip.Get(), TTM_ACTIVATE, TRUE, 0);
  RECT tip{};
  GetWindowRect(tooltip.Get(), &tip);
  // The work area of the monitor the window is on, which need not be the
  // primary one.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  const Rect area = GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor)
                        ? FromRECT(monitor.rcWork)
                        : workArea;
  const Rect placed =
      PlaceTooltip(screen.x, screen.y, tip.right - tip.left, tip.bottom - tip.top, area);
  MoveWindow(tooltip.Get(), placed.left, placed.top, placed.Width(), placed.Height(), TRUE);
  if (tipText != name) {
    tipText = name;
    TOOLINFOW tool = ToolFor(dialog);
    tool.lpszText = tipText.data();
    SendMessageW(tooltip.Get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void CMainView::UpdateSpeedText(double kbps) {
  if (dialog) SetDlgItemTextW(dialog, IDC_SPEED_LABEL, FormatSpeed(kbps).c_str());
}

void CMainView::SetPauseBitmap(UINT id) {
  ShowPicture(pauseButton, id);
  if (pauseButton.Handle())
    SetWindowTextW(pauseButton.Handle(), id == IDB_PAUSE_PAUSED ? kResumeName : kPauseName);
}

HWND CMainView::ChosenButton() const {
  for (const CBmpBtn* button : {&closeButton, &pauseButton, &cancelButton, &launchButton})
    if (button->ShowsFocusMark()) return button->Handle();
  return nullptr;
}

void CMainView::ShowPicture(CBmpBtn& button, UINT id) {
  button.SetBitmaps(id, id, id);
  if (button.Handle()) InvalidateRect(button.Handle(), nullptr, FALSE);
}

void CMainView::RedrawAll() {
  if (dialog)
    RedrawWindow(dialog, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void CMainView::EnableButtons(bool enabled) {
  if (closeButton.Handle()) EnableWindow(closeButton.Handle(), enabled);
  EnableSessionButtons(enabled);
}

void CMainView::EnableSessionButtons(bool enabled) {
  for (CBmpBtn* button : {&pauseButton, &cancelButton, &launchButton}) {
    if (button->Handle()) EnableWindow(button->Handle(), enabled);
  }
}

void CMainView::Destroy() {
  // The dialog destroys the tooltip with itself: once it is gone, its handle
  // is no longer ours to destroy.
  if (tooltip && !IsWindow(tooltip.Get())) tooltip.Abandon();
  tooltip.Reset();
  dialog = nullptr;
}

}  // namespace halvora::ui
