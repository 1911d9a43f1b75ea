#pragma once
// Everything of one install session except its window: the main session with
// the platform server and the FTP client, what the platform described
// (AppInfo, Prog_info, the download list), the user's folders, the install
// session with its transports, view and clock, the phase and the worker.
// The main dialog owns one controller and forwards its commands to it.
//
// Threads: the window's thread calls everything below unless it says
// otherwise. The worker runs the download and then the installation; it and
// the session's monitor only post WM_APP messages (app/session/
// session_view_win.h) to the window, which the dialog applies. The window's
// thread never waits for the network, a package or a setup program, so it
// keeps answering messages, broadcasts from a setup program included.
//
// Phases: Running until the installation begins (Installing) or a cancel is
// confirmed (Ending); each is entered once, from Running. Launch, cancel and
// close are held off outside Running, so the installation never runs twice
// and the dialog never ends under it. The destructor stops the session and
// joins the worker.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "app/app_info.h"
#include "app/install/publisher_pins.h"
#include "app/session/install_session.h"
#include "app/session/session_transport_win.h"
#include "app/session/session_view_win.h"
#include "net/ftp/ftp_client.h"
#include "net/http/zan_http_session.h"

namespace halvora::ui {
class CWindow;
}

class SessionController {
 public:
  // `window` receives the posts; it must outlive the controller. Creates the
  // user's "...\apps\" and "~~tmp" folders when the user folder is known.
  SessionController(const halvora::ui::CWindow& window, const std::wstring& serverHost,
                    uint32_t serverPort, const std::wstring& appId,
                    halvora::PublisherPolicy publishers);
  SessionController(const SessionController&) = delete;
  SessionController& operator=(const SessionController&) = delete;
  ~SessionController();

  // Asks the platform what to install and prepares the download list on a
  // thread of its own, which posts kDescribed (wParam 1 when it succeeded)
  // when it is done. Until then nothing but the controller touches what it
  // fills: App(), the session and its list.
  void DescribeInBackground();
  // On kDescribed: waits for the thread's last steps; true when the
  // description succeeded.
  bool FinishDescribe();
  // True from DescribeInBackground until FinishDescribe.
  bool IsDescribing() const { return describer.joinable(); }
  // Lists the download list on the debug output and starts the worker.
  void Start();

  const AppInfo& App() const { return appInfo; }
  const std::wstring& AppsRoot() const { return appsRoot; }
  const std::wstring& TempRoot() const { return tempRoot; }
  const halvora::ZanHttpSession& MainSession() const { return *mainSession; }
  const InstallSession& Session() const { return session; }
  PostingSessionView& View() { return view; }

  // True while no installation has begun and no cancel was confirmed.
  bool IsRunning() const { return phase == Phase::Running; }

  // The pause button: pauses a running transfer or resumes a paused one.
  void TogglePause();
  // The launch button once everything is present: hands the installation to
  // the worker. Nothing happens before that or outside Running.
  void Launch();

  // The cancel road. BeginCancel pauses the transfer while the user is asked
  // and tells whether it was paused already. ConfirmCancel abandons the
  // session (false when the installation began meanwhile);
  // DeclineCancel resumes what BeginCancel paused.
  bool BeginCancel();
  bool ConfirmCancel();
  void DeclineCancel(bool wasPaused);
  // After a confirmed cancel, before the window ends: the temporary folder is
  // deleted when the application is present.
  void FinishCancel();

 private:
  enum class Phase { Running, Installing, Ending };

  // Asks the platform what to install and prepares the download list.
  bool Describe();
  // Runs the download and, once the phase is Installing, the installation.
  void WorkerThread();
  // Waits until the launch button or a confirmed cancel leaves Running, or
  // the controller is being destroyed.
  void WaitForLaunch();
  // Unpacks and installs what the session fetched, verifies it, cleans up
  // and records it, then ends the dialog. Worker thread, in Installing.
  void InstallAndLaunch();
  bool EnterPhase(Phase next);

  const halvora::ui::CWindow& window;
  const std::wstring serverHost;
  const uint32_t serverPort;
  // Whose setup programs the installation may start.
  const halvora::PublisherPolicy publishers;

  // Shared with the worker and the monitor.
  const std::unique_ptr<halvora::ZanHttpSession> mainSession;
  const std::unique_ptr<nsFTP::CFTPClient> ftp;

  // Filled by Describe before the worker starts; read-only afterwards.
  AppInfo appInfo;
  Prog_info progInfo;
  std::wstring clientZipPath;
  // Whether the platform client was installed when the session was built.
  const bool clientPresent;
  std::wstring appsRoot;  // ends with a backslash
  std::wstring tempRoot;  // without one

  // The session's transports, view and clock come before the session, which
  // holds the flags, the counters and the download list.
  WinSessionTransport transport;
  PostingSessionView view;
  SteadySessionClock clock;
  InstallSession session;

  // Left under launchLock, so the worker's wait for the launch sees it.
  std::atomic<Phase> phase{Phase::Running};
  std::mutex launchLock;
  std::condition_variable launchChanged;
  bool abandoned = false;  // under launchLock
  // Raised by the destructor while the description is asked for.
  std::atomic<int32_t> describeStop{0};
  std::atomic<bool> described{false};  // what the describer found
  std::thread describer;
  std::thread worker;
};
