#pragma once
// The main dialog: the window of one install session. It shows what the
// session controller reports and forwards the window's commands to it;
// everything else of the session (its connections, records, folders,
// threads) belongs to the controller.
//
// Threads: every member runs on the window's thread. The session's threads
// post WM_APP messages (app/session/session_view_win.h) that OnAppMessage
// applies. The dialog outlives them: the controller's destructor joins its
// worker, which joins its monitor.
//
// Start: the window shows at once, with only its close button alive, while
// the controller asks the platform on a thread of its own; its answer
// (kDescribed) fills the window and starts the session, or shows the
// failure notice over the window and ends it.
//
// Ending: a close before the answer ends the dialog at once; a confirmed
// cancel ends it 300 ms later; the installation ends it when it is done. While the installation
// runs, the launch, cancel and close commands are held off and the buttons are inert.

#include <cstdint>
#include <string>

#include "app/session/session_controller_win.h"
#include "base/win/scoped_com_init.h"
#include "base/win/scoped_handle.h"
#include "ui/main_view.h"
#include "ui/taskbar_progress.h"
#include "ui/window.h"

class CHalvoraDlg : public halvora::ui::CDialog {
 public:
  CHalvoraDlg(const std::wstring& serverHost, uint32_t serverPort, const std::wstring& appId,
              halvora::PublisherPolicy publishers = {});

  // Commands of the window's buttons.
  static constexpr UINT kCloseCommand = halvora::ui::kCmdClose;
  static constexpr UINT kCancelCommand = halvora::ui::kCmdCancel;
  static constexpr UINT kPauseCommand = halvora::ui::kCmdPause;
  static constexpr UINT kLaunchCommand = halvora::ui::kCmdLaunch;

  const SessionController& Controller() const { return controller; }
  // Asked before a running session is abandoned.
  const std::wstring& CancelQuestion() const { return cancelQuestion; }

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
  // The window's close, Escape, and the close and cancel buttons.
  void OnCancel() override;
  // Enter: the button the keyboard chose, else the launch once everything
  // is present.
  // It never ends the run: that would skip the question and leave the
  // session running without being cancelled.
  void OnOK() override;
  bool OnTimer(UINT_PTR id) override;
  bool OnAppMessage(UINT n, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Drawing and the mouse: the view draws, the whole surface drags.
  bool OnEraseBkgnd(HDC dc) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
  bool OnNcHitTest(POINT screen, LRESULT& hitTest) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnDestroy() override;

 private:
  void SetIcons(HICON shown);
  // kDescribed: the application shown and the session started, or the notice.
  void OnDescribed();

  const std::wstring cancelQuestion;
  bool asking = false;  // the cancel question is open
  // COM on the window's thread for the taskbar list, which goes first.
  halvora::win::ScopedComInit com;
  halvora::ui::CTaskbarProgress taskbar;
  halvora::win::IconHandle icon;  // icon resource 128
  // What the window shows: fonts, pictures, widgets, tooltip. Declared
  // before the controller, so the session's threads are joined before the
  // view goes.
  halvora::ui::CMainView mainView;
  SessionController controller;
};
