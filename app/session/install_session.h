#pragma once
// The download phase of an install session: a worker thread sizes every file
// of the download list, drops what is already complete, and fetches the rest
// one file after the other, while a monitor thread turns the transfer's
// counters into progress and speed. The user interface pauses, resumes and
// cancels. The window and the transports stay outside: the session reaches
// them through SessionView and SessionTransport, so it runs natively under
// test with fakes, and the dialog plugs in the real ones.
//
// Threads:
//  - the worker runs DownloadAll (and everything it calls);
//  - the UI thread runs PauseDownload, ResumeDownload and Cancel;
//  - one monitor at a time, started and stopped by the worker. A monitor
//    stops cooperatively and the worker joins it before the next one starts,
//    so an old monitor never reports after a newer one has begun.
// SessionView calls come from all three threads; an implementation that owns
// windows must hand them to its UI thread.
//
// Stop requests: PauseDownload sets `paused` first and then asks the
// transport to stop the transfer under way. Before each transfer the worker
// clears any request left from a transfer that has ended and then looks at
// `paused`, so a request reaches only the transfer that ran (or was about to
// start) when it was raised; a transfer stopped by a request is restarted in
// append mode once the user resumes, and installation follows only when
// every file of the list arrived in full.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "app/download_item.h"

// How a transfer ended.
enum class TransferOutcome {
  Completed,  // the whole file is present
  Stopped,    // a stop request ended it early
  Failed,     // anything else: no answer, a cut connection, a local file error
};

// The counters a monitor reads while a file transfers.
struct TransferSample {
  uint32_t count = 0;    // transfers started on this transport so far
  uint32_t total = 0;    // bytes of the complete file (of the transfer last started)
  uint32_t present = 0;  // bytes of the local file so far
};

class SessionTransport {
 public:
  virtual ~SessionTransport() = default;

  // Worker thread. Sizes are 0 when the server does not tell them.
  virtual uint32_t HttpRemoteSize(const DownloadItem& item) = 0;
  virtual TransferOutcome HttpDownload(const DownloadItem& item, bool append) = 0;
  // Results of the logon are not needed: a failed logon fails what follows.
  virtual void FtpLogon(const DownloadItem& item) = 0;
  virtual uint32_t FtpRemoteSize(const DownloadItem& item) = 0;
  // Continues the local file when it exists.
  virtual TransferOutcome FtpDownload(const DownloadItem& item) = 0;
  virtual void FtpLogout() = 0;
  // Forgets a stop request that no transfer took.
  virtual void ClearStopRequests() = 0;
  // The low 32 bits of the file's size, 0 when there is no file.
  virtual uint32_t LocalFileSize(const std::wstring& path) = 0;
  virtual void DeleteLocalFile(const std::wstring& path) = 0;

  // UI thread: stop the transfer under way, if any, without blocking.
  virtual void RequestStop() = 0;

  // Monitor thread. `count` goes up when a transfer starts, after its
  // total and present were set.
  virtual TransferSample Sample(int32_t kind) const = 0;
};

class SessionView {
 public:
  virtual ~SessionView() = default;
  virtual void ShowProgress(float fraction) = 0;
  virtual void ShowSpeed(double kbps) = 0;
  virtual void ShowPaused(bool paused) = 0;
  // Everything is present: the launch button's finished picture, a full bar
  // and a redrawn window.
  virtual void ShowFinished() = 0;
  virtual void RedrawAll() = 0;
};

class SessionClock {
 public:
  virtual ~SessionClock() = default;
  // A millisecond tick count that wraps at 2^32.
  virtual uint32_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// The platform's monotonic clock.
class SteadySessionClock final : public SessionClock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

// Results of DownloadAll.
enum : int32_t {
  kDownloadAllNothing = -1,     // the list is empty, or the session was cancelled
  kDownloadAllTransferred = 0,  // every remaining file was transferred in full
  kDownloadAllPresent = 1,      // nothing had to be transferred
  kDownloadAllIncomplete = 2,   // some file did not arrive in full
};

class InstallSession {
 public:
  InstallSession(SessionTransport& transport, SessionView& view, SessionClock& clock);
  InstallSession(const InstallSession&) = delete;
  InstallSession& operator=(const InstallSession&) = delete;
  // Stops and joins a monitor that is still running.
  ~InstallSession();

  // Filled before the worker starts; the worker removes what is complete.
  DownloadList downloadList;

  // Worker thread.
  int32_t DownloadAll();
  // After a transfer of `item` ended with `outcome`: waits while the user
  // has paused and then restarts the transfer in append mode, updating
  // `outcome`. True when that transfer has to be waited for once more.
  bool WaitWhilePaused(const DownloadItem& item, TransferOutcome& outcome);

  // UI thread.
  void PauseDownload();
  void ResumeDownload();
  // The session is being abandoned: the transfer under way is stopped, the
  // worker returns and never installs.
  void Cancel();

  bool IsPaused() const { return paused; }
  bool IsCancelled() const { return cancelled; }
  bool IsFinished() const { return finished; }
  double SpeedKbps() const { return speedKbps; }
  uint32_t BytesToDownload() const { return bytesToDownload; }
  uint32_t BytesDone() const { return bytesDone; }

 private:
  void SizeFiles();
  TransferOutcome FirstTransfer(const DownloadItem& item, uint32_t& size);
  TransferOutcome Restart(const DownloadItem& item);
  // Starts the item's transfer unless the user has paused, with a monitor.
  TransferOutcome RunTransfer(const DownloadItem& item, bool append);
  void StartMonitor(int32_t kind, uint32_t countBefore);
  void StopMonitor();
  void MonitorProgress(int32_t kind, uint32_t countBefore);
  bool MonitorShouldEnd() const;

  SessionTransport& transport;
  SessionView& view;
  SessionClock& clock;

  // Written under `waitLock` so the worker's wait sees every change.
  std::atomic<bool> paused{false};
  std::atomic<bool> cancelled{false};
  std::atomic<bool> finished{false};
  std::mutex waitLock;
  std::condition_variable waitChanged;

  std::atomic<double> speedKbps{0.0};
  std::atomic<uint32_t> bytesToDownload{0};
  std::atomic<uint32_t> bytesDone{0};

  std::thread monitor;
  std::atomic<bool> monitorStop{false};
};
