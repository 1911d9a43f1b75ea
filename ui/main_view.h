#pragma once
// What the main window shows and how: its pictures, fonts, child widgets and
// name tooltip, the off-screen background with icon, name and package size,
// the speed label's colours and text. The main dialog owns one CMainView and
// hands it the messages below; the session logic stays in the dialog.

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/win/scoped_handle.h"
#include "ui/bmp_btn.h"
#include "ui/geometry.h"
#include "ui/progress.h"

namespace halvora::ui {

// Commands of the main window's buttons.
constexpr UINT kCmdClose = 1123;
constexpr UINT kCmdCancel = 1124;
constexpr UINT kCmdPause = 1125;
constexpr UINT kCmdLaunch = 1126;
// The progress bar's range: a full bar.
constexpr uint32_t kProgressRange = 500;

class CMainView {
 public:
  // The two fonts and the label brush live as long as the view.
  CMainView();
  CMainView(const CMainView&) = delete;
  CMainView& operator=(const CMainView&) = delete;

  // The application shown: name, its 48 x 48 icon (may be null; not owned)
  // and package size in bytes. Until then the window shows no name and no
  // size.
  void SetApplication(std::wstring name, HICON icon, int32_t fileSize);

  // Sizes and centres `dialog` in the work area and creates its children.
  void Layout(HWND dialog, bool finished, double speedKbps);

  // WM_ERASEBKGND of the dialog: draws everything in one copy.
  void EraseBackground(HDC dc);
  // WM_CTLCOLOR* of the dialog: the speed label's colours; null for others.
  HBRUSH CtlColor(HDC dc, HWND control);
  // Mouse messages of the dialog (client or non-client): relayed to the
  // tooltip, and a move over a cut name shows the full name.
  void MouseMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void UpdateSpeedText(double kbps);
  void SetPercent(float fraction) { progress.SetPercent(fraction); }
  // A new picture for a button, shown at once: the button alone would show
  // it only at its next repaint, which may not come while the pointer is
  // elsewhere (after the question, say), leaving a picture that contradicts
  // the session. The pause button's name follows its picture: "暂停" while
  // running, "继续" while paused.
  void SetPauseBitmap(UINT id);
  void SetLaunchBitmap(UINT id) { ShowPicture(launchButton, id); }
  // A disabled button takes no clicks and shows neither hover nor the hand
  // cursor: the pointer over it belongs to the dialog.
  void EnableButtons(bool enabled);
  // The same for pause, cancel and launch: the close button stays as it is.
  void EnableSessionButtons(bool enabled);
  // Invalidates, erases and repaints the whole window and its children now.
  void RedrawAll();
  // The window's button that the keyboard moved the focus to, or null.
  HWND ChosenButton() const;

  // WM_DESTROY of the dialog: the tooltip goes with it.
  void Destroy();

  bool NameTruncated() const { return nameTruncated; }
  const MainLayout& Geometry() const { return layout; }

 private:
  void OnNameHover(POINT client, POINT screen);
  static void ShowPicture(CBmpBtn& button, UINT id);

  HWND dialog = nullptr;
  std::wstring name;
  HICON icon = nullptr;
  int32_t fileSize = 0;
  bool described = false;  // SetApplication was called

  win::FontHandle nameFont;
  win::FontHandle labelFont;
  win::BrushHandle labelBrush;  // one brush answers every colour request
  win::BitmapHandle background;

  MainLayout layout;
  Rect workArea;
  bool nameTruncated = false;  // set by painting, never cleared
  std::wstring tipText;        // what the tooltip's tool says now

  CBmpBtn closeButton;
  CBmpBtn pauseButton;
  CBmpBtn cancelButton;
  CBmpBtn launchButton;
  CProgress progress;
  win::WindowHandle tooltip;
};

}  // namespace halvora::ui
