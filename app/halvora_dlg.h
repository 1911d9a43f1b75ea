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
#include "ui/window.h"

class CHalvoraDlg : public halvora::ui::CDialog {
 public:
  CHalvoraDlg(const std::wstring& serverHost, uint32_t serverPort, const std::wstring& appId);
  ~CHalvoraDlg() override;

  // Commands of the window's buttons.
  static constexpr UINT kCloseCommand = 1123;
  static constexpr UINT kCancelCommand = 1124;
  static constexpr UINT kPauseCommand = 1125;
  static constexpr UINT kLaunchCommand = 1126;

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
  bool OnTimer(UINT_PTR id) override;
  bool OnAppMessage(UINT n, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // Who ends the session; each phase is entered once, from Running.
  enum class Phase { Running, Installing, Ending };

  // Places the child windows. For now the window is plain: the speed label
  // gets the label font.
  void Layout();
  // Lists the prepared download list on the debug output and starts the
  // worker thread.
  void StartWorker();
  void WorkerThread();
  bool EnterPhase(Phase next);
  // The speed label's text for the newest speed sample.
  void UpdateSpeedText(double kbps);
  // Applied on this thread for the worker and the monitor: until the
  // user-interface pictures arrive, the dialog keeps what its widgets show.
  float progressShown = 0.0f;
  bool pausePictureShown = false;
  bool launchFinishedShown = false;

  std::atomic<Phase> phase{Phase::Running};
  std::thread worker;

  halvora::win::IconHandle icon;  // icon resource 128
  halvora::win::FontHandle nameFont;
  halvora::win::FontHandle labelFont;
};
