#pragma once
// The program's own message box: CMyMsgDlg in two forms, a confirmation
// (是 / 否) and a notice (确定), and CMaskDlg, the dimming layer a
// confirmation is shown over.

#include <windows.h>

#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "ui/bmp_btn.h"
#include "ui/window.h"

namespace halvora::ui {

// Commands of the message dialog's buttons.
constexpr UINT kCmdMessageOk = 1127;
constexpr UINT kCmdMessageCancel = 1128;

class CMyMsgDlg : public CDialog {
 public:
  CMyMsgDlg(std::wstring message, bool confirm);

  const std::vector<std::wstring>& Lines() const { return lines; }

 protected:
  BOOL OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
  bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
  // Enter: the button the keyboard chose, else the safe answer (否, or 确定).
  void OnOK() override;

 private:
  std::wstring message;
  bool confirm;
  std::vector<std::wstring> lines;
  win::FontHandle labelFont;
  win::BitmapHandle backgroundPicture;
  CBmpBtn closeButton;
  CBmpBtn actionButton;
  CBmpBtn noButton;
};

// A black layer at opacity 100 of 255 over the owner's client area.
class CMaskDlg : public CDialog {
 public:
  CMaskDlg();

 protected:
  BOOL OnInitDialog() override;
  bool OnEraseBkgnd(HDC dc) override;
};

// Asks over a mask that darkens `owner`; true when the user chose 是.
bool ShowConfirm(HWND owner, const std::wstring& message);
// Tells; true when the user chose 确定.
bool ShowNotice(HWND owner, const std::wstring& message);

// The label font of the window and the dialog: "Arial", 14 pixels, thin.
win::FontHandle CreateLabelFont();

}  // namespace halvora::ui
