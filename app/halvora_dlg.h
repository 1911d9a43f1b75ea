#pragma once
// The main dialog: owns everything of one install session. Construction
// takes the configuration and prepares the session's state; OnInitDialog asks
// the platform what to install and starts the session.
//
// Threads: the fields below marked "shared" are read or written by the
// session's worker and monitor threads as well; everything else belongs to
// the user-interface thread. Those threads never call into the window: they
// post WM_APP messages (app/session_view_win.h) that OnAppMessage applies.
// The dialog object outlives both: its destructor joins the worker, which
// joins its monitor.
//
// Ending: a confirmed cancel ends the dialog 300 ms later; the installation
// ends it when it is done. While the installation runs, the launch, cancel
// and close commands are held off, so it never runs twice and the dialog
// never ends under it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "app/app_info.h"
#include "app/download_item.h"
#include "app/install_session.h"
#include "app/session_transport_win.h"
#include "app/session_view_win.h"
#include "base/win/scoped_handle.h"
#include "net/ftp/ftp_client.h"
#include "net/http/zan_http_session.h"
#include "ui/main_view.h"
#include "ui/window.h"

class CHalvoraDlg : public halvora::ui::CDialog {
 public:
  CHalvoraDlg(const std::wstring& serverHost, uint32_t serverPort, const std::wstring& appId);
  ~CHalvoraDlg() override;

  // Commands of the window's buttons.
  static constexpr UINT kCloseCommand = halvora::ui::kCmdClose;
  static constexpr UINT kCancelCommand = halvora::ui::kCmdCancel;
  static constexpr UINT kPauseCommand = halvora::ui::kCmdPause;
  static constexpr UINT kLaunchCommand = halvora::ui::kCmdLaunch;

  // The platform server, from the resources.
  const std::wstring serverHost;
  const uint32_t serverPort;

  // The main session with the platform server, and the FTP client; both
  // shared with the worker and monitor.
  const std::unique_ptr<halvora::ZanHttpSession> mainSession;
  const std::unique_ptr<nsFTP::CFTPClient> ftp;

  // What the platform described (appInfo.appId set at construction); filled
  // by QueryAppInfo before the worker starts, read-only afterwards (shared).
  AppInfo appInfo;
  Prog_info progInfo;
  std::wstring clientZipPath;

  // Whether the platform client was installed when the dialog was built;
  // taken once, never refreshed.
  const bool clientPresent;

  // The user's "...\apps\" folder (with the trailing backslash) and its
  // "~~tmp" folder (without), created at construction.
  std::wstring appsRoot;
  std::wstring tempRoot;

  // Asked before a running session is abandoned.
  const std::wstring cancelQuestion;

 private:
  // The session's transports, view and clock come before the session, which
  // holds the flags, the counters and the download list (shared).
  WinSessionTransport transport;
  PostingSessionView view;
  SteadySessionClock clock;

 public:
  InstallSession session;

  // Unpacks and installs what the session fetched, verifies it, cleans up and
  // records it, then ends the dialog. Runs once: on the worker after a
  // completed download, or on this thread after the launch command.
  void InstallAndLaunch();

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
  // The window's close, Escape, and the close and cancel buttons.
  void OnCancel() override;
  // Enter: no action. Ending the run here would skip the question and leave
  // the session running without being cancelled.
  void OnOK() override;
  bool OnTimer(UINT_PTR id) override;
  bool OnAppMessage(UINT n, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  // Drawing and the mouse: the view draws, the whole surface drags.
  bool OnEraseBkgnd(HDC dc) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
  bool OnNcHitTest(POINT screen, LRESULT& hitTest) override;
  bool OnMouseMove(UINT keys, POINT client) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnDestroy() override;

 private:
  // Who ends the session; each phase is entered once, from Running.
  enum class Phase { Running, Installing, Ending };

  // Lists the prepared download list on the debug output and starts the
  // worker thread.
  void StartWorker();
  void WorkerThread();
  bool EnterPhase(Phase next);

  std::atomic<Phase> phase{Phase::Running};
  std::thread worker;

  halvora::win::IconHandle icon;  // icon resource 128
  // What the window shows: fonts, pictures, widgets, tooltip.
  halvora::ui::CMainView mainView;
};
