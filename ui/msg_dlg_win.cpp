#include "ui/msg_dlg.h"

#include <utility>

#include "res/artwork.h"
#include "res/resource.h"
#include "ui/gdi_win.h"
#include "ui/geometry.h"
#include "ui/ui_text.h"

namespace halvora::ui {
namespace {

constexpr wchar_t kTitle[] = L"提示";

// Moves `window` to `width` x `height`, centred over `owner`'s window
// rectangle (or the work area when there is no owner).
void CentreOver(HWND window, HWND owner, int width, int height) {
  RECT around{};
  if (!owner || !GetWindowRect(owner, &around))
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &around, 0);
  const int x = around.left + (around.right - around.left - width) / 2;
  const int y = around.top + (around.bottom - around.top - height) / 2;
  MoveWindow(window, x, y, width, height, TRUE);
}

}  // namespace

win::FontHandle CreateLabelFont() {
  return win::FontHandle(CreateFontW(14, 0, 0, 0, FW_THIN, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     FF_SWISS, L"Arial"));
}

// ---- CMyMsgDlg

CMyMsgDlg::CMyMsgDlg(std::wstring text, bool confirmation)
    : CDialog(IDD_MESSAGE_DIALOG), message(std::move(text)), confirm(confirmation) {}

BOOL CMyMsgDlg::OnInitDialog() {
  // Never shown (no caption), but names the window for the task list and for
  // tools that look for it.
  SetWindowTextW(Handle(), kTitle);
  labelFont = CreateLabelFont();
  backgroundPicture = LoadPicture(IDB_DIALOG_BACKGROUND);
  {
    win::ScopedGetDc dc(Handle());
    if (dc) {
      win::ScopedSelectObject font(dc.Get(), labelFont.Get());
      lines = WrapMessage(message, [&](const std::wstring& text) {
        SIZE size{};
        GetTextExtentPoint32W(dc.Get(), text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
      });
    }
  }
  const HWND owner = GetWindow(Handle(), GW_OWNER);
  CentreOver(Handle(), owner, kMessageWidth, kMessageHeight);
  // SetWindowRgn takes the region over.
  win::RegionHandle region(CreateRoundRectRgn(0, 0, kMessageWidth, kMessageHeight, 2, 2));
  if (region && SetWindowRgn(Handle(), region.Get(), TRUE)) region.Abandon();

  RECT client{};
  GetClientRect(Handle(), &client);
  const MessageLayout layout = ComputeMessageLayout(FromRECT(client), confirm);
  closeButton.Create(ToRECT(layout.close), Handle(), kCmdMessageCancel, L"关闭");
  closeButton.SetBitmaps(IDB_DIALOG_CLOSE, IDB_DIALOG_CLOSE, IDB_DIALOG_CLOSE);
  actionButton.Create(ToRECT(layout.action), Handle(), kCmdMessageOk, confirm ? L"是" : L"确定");
  const UINT action = confirm ? IDB_BUTTON_YES : IDB_BUTTON_OK;
  actionButton.SetBitmaps(action, action, action);
  if (confirm) {
    noButton.Create(ToRECT(layout.no), Handle(), kCmdMessageCancel, L"否");
    noButton.SetBitmaps(IDB_BUTTON_NO, IDB_BUTTON_NO, IDB_BUTTON_NO);
  }
  // The safe answer has the focus: 否 for a question, 确定 for a notice.
  SetFocus(confirm ? noButton.Handle() : actionButton.Handle());
  return FALSE;
}

void CMyMsgDlg::OnOK() {
  // Enter presses the button the keyboard chose; with none, it gives the
  // safe answer.
  for (const CBmpBtn* button : {&closeButton, &actionButton, &noButton}) {
    if (button->ShowsFocusMark()) {
      SendMessageW(button->Handle(), BM_CLICK, 0, 0);
      return;
    }
  }
  EndDialog(confirm ? IDCANCEL : IDOK);
}

bool CMyMsgDlg::OnEraseBkgnd(HDC dc) {
  RECT client{};
  GetClientRect(Handle(), &client);
  OffscreenBuffer buffer(dc, client.right, client.bottom);
  if (!buffer.Ok()) return true;
  buffer.Fill(RGB(255, 255, 255));
  const SIZE picture = PictureSize(backgroundPicture.Get());
  TilePicture(buffer.Dc(), backgroundPicture.Get(), {0, 0, client.right, picture.cy});
  {
    win::ScopedSelectObject font(buffer.Dc(), labelFont.Get());
    SetBkMode(buffer.Dc(), TRANSPARENT);
    SetTextColor(buffer.Dc(), RGB(0, 0, 0));
    const std::vector<Rect> rects =
        MessageLineRects(FromRECT(client), static_cast<int>(lines.size()));
    for (size_t i = 0; i < rects.size(); ++i) {
      RECT r = ToRECT(rects[i]);
      DrawTextW(buffer.Dc(), lines[i].c_str(), static_cast<int>(lines[i].size()), &r,
                DT_SINGLELINE | DT_LEFT | DT_TOP | DT_NOPREFIX);
    }
  }
  buffer.Present(dc);
  return true;
}

bool CMyMsgDlg::OnCommand(UINT id, UINT notifyCode, HWND) {
  if (notifyCode != BN_CLICKED && notifyCode != BN_DOUBLECLICKED) return false;
  if (id == kCmdMessageOk) {
    EndDialog(IDOK);
    return true;
  }
  if (id == kCmdMessageCancel) {
    EndDialog(IDCANCEL);
    return true;
  }
  return false;
}

// ---- CMaskDlg

CMaskDlg::CMaskDlg() : CDialog(IDD_MASK_DIALOG) {}

BOOL CMaskDlg::OnInitDialog() {
  const HWND self = Handle();
  SetWindowLongW(self, GWL_EXSTYLE, GetWindowLongW(self, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(self, 0, 100, LWA_ALPHA);
  const HWND owner = GetWindow(self, GW_OWNER);
  RECT client{};
  if (owner) GetClientRect(owner, &client);
  CentreOver(self, owner, client.right, client.bottom);
  return FALSE;
}

bool CMaskDlg::OnEraseBkgnd(HDC dc) {
  RECT client{};
  GetClientRect(Handle(), &client);
  OffscreenBuffer buffer(dc, client.right, client.bottom);
  if (!buffer.Ok()) return true;
  buffer.Fill(RGB(0, 0, 0));
  buffer.Present(dc);
  return true;
}

// ---- The two operations

bool ShowConfirm(HWND owner, const std::wstring& message) {
  CMaskDlg mask;
  if (!mask.Create(owner)) return false;
  ShowWindow(mask.Handle(), SW_SHOW);
  // The question is modal to the mask; the owner is held off too, so its
  // keys and clicks cannot start another question (or a close) underneath.
  const bool ownerWasEnabled = owner && !EnableWindow(owner, FALSE);
  CMyMsgDlg dialog(message, true);
  const INT_PTR answer = dialog.DoModal(mask.Handle());
  if (ownerWasEnabled) EnableWindow(owner, TRUE);
  ShowWindow(mask.Handle(), SW_HIDE);
  return answer == IDOK;
}

bool ShowNotice(HWND owner, const std::wstring& message) {
  CMyMsgDlg dialog(message, false);
  return dialog.DoModal(owner) == IDOK;
}

}  // namespace halvora::ui
