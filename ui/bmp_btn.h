#pragma once
// CBmpBtn: the owner-drawn picture button of the main window and the message
// dialog. One picture per visual state (normal, hover, pressed, disabled), a
// 10 ms hover timer that notices when the pointer has left, the program's
// hand cursor, and a copy of the parent's pixels under the button taken at
// its first background erase (shown where a state has no picture).
//
// Every click counts: the platform turns a second click in quick succession
// into a double click, which an owner-drawn button reports as
// BN_DOUBLECLICKED instead of BN_CLICKED; the button treats it as a second
// press, so its owner gets BN_CLICKED for both (a quick pause and resume
// must not leave the download paused).
//
// Keyboard and screen readers: each button is a tab stop; Space presses the
// focused one. A button the keyboard moved the focus to (Tab, Shift+Tab, the
// arrow keys) shows a dotted focus mark; one that got the focus otherwise (a
// click, or the dialog putting it back) shows none, and for Enter it does
// not count as chosen. Its window text names what it does for the
// accessibility layer and is never drawn: what the user sees is the picture.

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "ui/button_state.h"
#include "ui/window.h"

namespace halvora::ui {

class CBmpBtn : public CControl {
 public:
  CBmpBtn();

  // A visible owner-drawn push button named `name` at `rect` of the parent's
  // client area, a tab stop; clicks send `id` to the parent.
  bool Create(const RECT& rect, HWND parent, UINT id, const wchar_t* name);

  // Loads the pictures of the normal, hover and pressed states (replacing and
  // deleting the ones held). Shown at the next repaint.
  void SetBitmaps(UINT normal, UINT hover, UINT pressed);

  ButtonState State() const { return state; }
  // Focused by the keyboard: the mark shows.
  bool ShowsFocusMark() const { return focusMark && Handle() && GetFocus() == Handle(); }

 protected:
  bool OnDrawItem(const DRAWITEMSTRUCT& item) override;
  bool OnMouseMove(UINT keys, POINT client) override;
  bool OnTimer(UINT_PTR id) override;
  bool OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage) override;
  bool OnEraseBkgnd(HDC dc) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnDestroy() override;

 private:
  void Repaint(HDC target);
  void Repaint();

  static constexpr UINT_PTR kHoverTimer = 1;
  static constexpr UINT kHoverInterval = 10;

  ButtonState state = ButtonState::kNormal;
  bool hover = false;
  bool needCapture = true;
  bool timerRunning = false;
  bool focusMark = false;  // the focus came from a navigation key
  win::BitmapHandle pictures[kButtonStateCount];
  win::BitmapHandle background;  // the parent's pixels under the button
  HCURSOR cursor;                // shared resource cursor: never destroyed
};

}  // namespace halvora::ui
