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
//
// Failures: a transfer that fails, or that the monitor stops because no byte
// came for kStallMs, is tried again after a wait (RetrySchedule), continuing
// the bytes on disk. When the attempts are used up, or the server refuses
// the file, the session pauses itself: the user's resume tries again. The
// download phase ends only complete or cancelled.
//
// Across runs: beside each partial file the session keeps a PartRecord; the
// next run's sizing continues the file only when the record still matches
// the server's size and validator, and every continuation names the
// validator, so a file that changed on the server starts over.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "app/download_item.h"
#include "app/session/part_record.h"

// How a transfer ended.
enum class TransferOutcome {
  Completed,  // the whole file is present
  Stopped,    // a stop request ended it early
  Failed,     // worth trying again: no answer, a cut connection, a server error
  Refused,    // the server will not give the file (an HTTP 404, say): asking again is futile
  RangeEnd,   // a continuation found nothing left to fetch
};

struct TransferReport {
  TransferOutcome outcome = TransferOutcome::Failed;
  uint32_t retryAfterSeconds = 0;  // what the server asked for, 0 when nothing
  std::string validator;           // of the version the answer carried; empty when unknown
};

// A remote file as the server describes it; size 0 when it does not tell.
struct RemoteFile {
  uint32_t size = 0;
  std::string validator;
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

  // Worker thread.
  virtual RemoteFile HttpRemoteFile(const DownloadItem& item) = 0;
  // With `append`, continues the local file, asking the server to send the
  // rest only if its version still has `validator` (when not empty).
  virtual TransferReport HttpDownload(const DownloadItem& item, bool append,
                                      const std::string& validator) = 0;
  // Results of the logon are not needed: a failed logon fails what follows.
  virtual void FtpLogon(const DownloadItem& item) = 0;
  virtual RemoteFile FtpRemoteFile(const DownloadItem& item) = 0;
  // Continues the local file when it exists and the server's version still
  // has `validator` (when not empty); else starts it over.
  virtual TransferReport FtpDownload(const DownloadItem& item, const std::string& validator) = 0;
  virtual void FtpLogout() = 0;
  // Forgets a stop request that no transfer took.
  virtual void ClearStopRequests() = 0;
  // The low 32 bits of the file's size, 0 when there is no file.
  virtual uint32_t LocalFileSize(const std::wstring& path) = 0;
  virtual void DeleteLocalFile(const std::wstring& path) = 0;
  // The record kept beside the partial file at `local` (PartRecordPath).
  virtual std::optional<PartRecord> LoadPartRecord(const std::wstring& local) = 0;
  virtual void SavePartRecord(const std::wstring& local, const PartRecord& record) = 0;
  virtual void DeletePartRecord(const std::wstring& local) = 0;

  // UI thread: stop the transfer under way, if any, without blocking.
  virtual void RequestStop() = 0;
  // UI thread, on a cancel: also end whatever else the worker waits in (a
  // size query, a logon), and let every later call fail at once.
  virtual void Abandon() = 0;

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
  // Waits on `changed` with `lock` held until `done` or `ms` have passed;
  // returns done().
  virtual bool WaitFor(std::condition_variable& changed, std::unique_lock<std::mutex>& lock,
                       uint32_t ms, const std::function<bool()>& done) = 0;
};

// The platform's monotonic clock.
class SteadySessionClock final : public SessionClock {
 public:
  uint32_t NowMs() override;
  void SleepMs(uint32_t ms) override;
  bool WaitFor(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, uint32_t ms,
               const std::function<bool()>& done) override;
};

// A transfer that receives no byte for this long is stopped and retried.
inline constexpr uint32_t kStallMs = 20000;

// Results of DownloadAll.
enum : int32_t {
  kDownloadAllNothing = -1,     // the list is empty, or the session was cancelled
  kDownloadAllTransferred = 0,  // every remaining file was transferred in full
  kDownloadAllPresent = 1,      // nothing had to be transferred
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

  // Worker thread. Returns when every file is present or the session was
  // cancelled.
  int32_t DownloadAll();

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
  // What the sizing pass learnt of one file of the list.
  struct Sized {
    RemoteFile remote;
    bool keepsPartial = false;  // a partial file from an earlier run is continued
  };
  Sized SizeFile(const DownloadItem& item);
  // Fetches one file until it is complete or the session is cancelled;
  // false when cancelled.
  bool Fetch(const DownloadItem& item, const Sized& sized);
  // Starts the item's transfer unless the user has paused, with a monitor.
  TransferReport RunTransfer(const DownloadItem& item, bool append, const std::string& validator);
  // Worker: waits `ms` before a retry, or less when the user pauses or
  // cancels; then while paused. False when cancelled.
  bool WaitBeforeRetry(uint32_t ms);
  bool WaitWhilePaused();
  // Worker: a failure the session cannot mend by itself.
  void PauseAfterFailure(const char* why);
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
  uint32_t pauses = 0;  // the user's pauses so far, under waitLock

  std::atomic<double> speedKbps{0.0};
  std::atomic<uint32_t> bytesToDownload{0};
  std::atomic<uint32_t> bytesDone{0};
  // The size of the file being fetched as counted in bytesToDownload; the
  // monitor counts a size that only the transfer announced.
  std::atomic<uint32_t> currentSize{0};
  // The monitor stopped the transfer under way because it stalled.
  std::atomic<bool> stalled{false};

  std::thread monitor;
  std::atomic<bool> monitorStop{false};
};
