#pragma once
// The main dialog: owns everything of one install session. Construction
// takes the configuration and prepares the session's state; OnInitDialog asks
// the platform what to install and starts the session.
//
// Threads: the fields below marked "shared" are read or written by the
// session's worker and monitor threads as well; everything else belongs to
// the user-interface thread. Those threads never call into the window: they
// post WM_APP messages (ui/window.h).

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "app/app_info.h"
#include "app/download_item.h"
#include "base/win/scoped_handle.h"
#include "net/ftp/ftp_client.h"
#include "net/http/zan_http_session.h"
#include "ui/main_view.h"
#include "ui/update_mailbox.h"
#include "ui/window.h"

class CHalvoraDlg : public halvora::ui::CDialog {
 public:
  CHalvoraDlg(const std::wstring& serverHost, uint32_t serverPort, const std::wstring& appId);
  ~CHalvoraDlg() override;

  // The platform server, from the resources.
  const std::wstring serverHost;
  const uint32_t serverPort;

  // The main session with the platform server, and the FTP client; both
  // shared with the worker and monitor.
  const std::unique_ptr<halvora::ZanHttpSession> mainSession;
  const std::unique_ptr<nsFTP::CFTPClient> ftp;

  // What the platform described (appInfo.appId set at construction) and the
  // files to fetch; filled by QueryAppInfo before the worker starts.
  AppInfo appInfo;
  Prog_info progInfo;
  DownloadList downloadList;
  std::wstring clientZipPath;

  // Session flags and counters (shared).
  std::atomic<bool> paused{false};
  std::atomic<bool> cancelled{false};
  std::atomic<bool> finished{false};
  std::atomic<double> speedKbps{0.0};
  std::atomic<uint32_t> bytesToDownload{0};
  std::atomic<uint32_t> bytesDone{0};

  // Whether the platform client was installed when the dialog was built;
  // taken once, never refreshed.
  const bool clientPresent;

  // The user's "...\apps\" folder (with the trailing backslash) and its
  // "~~tmp" folder (without), created at construction.
  std::wstring appsRoot;
  std::wstring tempRoot;

  // Asked before a running session is abandoned.
  const std::wstring cancelQuestion;

  // Window updates from any thread: each kind keeps its newest value and at
  // most one WM_APP message is outstanding; the UI thread applies them.
  halvora::ui::UpdateMailbox& Updates() { return updates; }

 protected:
  BOOL OnInitDialog() override;
  // Close (the window's, Alt+F4, Escape, the close and cancel buttons): asks
  // unless the package is ready.
  void OnCancel() override;
  // Enter: no action. Ending the run here would skip the question and leave
  // the session running without being cancelled.
  void OnOK() override;
  bool OnCommand(UINT id, UINT notifyCode, HWND control) override;
  bool OnEraseBkgnd(HDC dc) override;
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT message) override;
  bool OnNcHitTest(POINT screen, LRESULT& hitTest) override;
  bool OnMouseMove(UINT keys, POINT client) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  bool OnAppMessage(UINT n, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
  void OnDestroy() override;

 private:
  // WM_APP + kApplyUpdates: the mailbox has something.
  static constexpr UINT kApplyUpdates = 1;
  void ApplyUpdates();
  // Starts the install session. For now it writes the prepared download
  // list to the debug output and starts nothing.
  void StartWorker();

  halvora::win::IconHandle icon;  // icon resource 128
  // The drawn window: fonts, pictures, widgets, tooltip.
  halvora::ui::CMainView view;
  halvora::ui::UpdateMailbox updates{[this] { PostWmApp(kApplyUpdates); }};
};
