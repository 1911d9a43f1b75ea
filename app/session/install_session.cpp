#include "app/session/install_session.h"

#include <chrono>

#include "app/session/session_math.h"

uint32_t SteadySessionClock::NowMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SteadySessionClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

InstallSession::InstallSession(SessionTransport& transport, SessionView& view, SessionClock& clock)
    : transport(transport), view(view), clock(clock) {}

InstallSession::~InstallSession() { StopMonitor(); }

int32_t InstallSession::DownloadAll() {
  if (downloadList.empty()) return kDownloadAllNothing;
  speedKbps = 0.0;
  bytesDone = 0;
  bytesToDownload = 0;

  SizeFiles();
  if (cancelled) return kDownloadAllNothing;
  // Files of unknown size stay in the list with 0 bytes counted: only an
  // empty list means that everything is present.
  if (downloadList.empty()) {
    finished = true;
    view.ShowFinished();
    return kDownloadAllPresent;
  }

  view.RedrawAll();
  bool allArrived = true;
  for (const DownloadItem& item : downloadList) {
    uint32_t size = 0;
    TransferOutcome outcome = FirstTransfer(item, size);
    while (WaitWhilePaused(item, outcome)) {
    }
    if (cancelled) return kDownloadAllNothing;
    bytesDone += size;
    // A restart after the file had already arrived finds nothing left to
    // fetch and reports so; the file's size tells the truth then.
    const bool arrived = outcome == TransferOutcome::Completed ||
                         (size != 0 && transport.LocalFileSize(item.local) == size);
    allArrived = allArrived && arrived;
  }
  view.ShowPaused(false);
  if (!allArrived) return kDownloadAllIncomplete;
  finished = true;
  view.ShowFinished();
  return kDownloadAllTransferred;
}

// Removes the items whose local file already has the remote size; deletes
// the local file of every other item, so each download of a run starts from
// an empty file. A size of 0 means the server did not tell it: such a file
// cannot be known to be complete and is fetched again.
void InstallSession::SizeFiles() {
  for (auto it = downloadList.begin(); it != downloadList.end() && !cancelled;) {
    uint32_t size = 0;
    if (it->kind == kDownloadKindHttp) {
      size = transport.HttpRemoteSize(*it);
    } else {
      transport.FtpLogon(*it);
      size = transport.FtpRemoteSize(*it);
      transport.FtpLogout();
    }
    if (size != 0 && transport.LocalFileSize(it->local) == size) {
      it = downloadList.erase(it);
    } else {
      transport.DeleteLocalFile(it->local);
      bytesToDownload += size;
      ++it;
    }
  }
}

TransferOutcome InstallSession::FirstTransfer(const DownloadItem& item, uint32_t& size) {
  if (item.kind == kDownloadKindHttp) {
    size = transport.HttpRemoteSize(item);
    return RunTransfer(item, false);
  }
  transport.FtpLogon(item);
  size = transport.FtpRemoteSize(item);
  const TransferOutcome outcome = RunTransfer(item, false);
  transport.FtpLogout();
  return outcome;
}

TransferOutcome InstallSession::Restart(const DownloadItem& item) {
  if (item.kind == kDownloadKindHttp) return RunTransfer(item, true);
  transport.FtpLogon(item);
  const TransferOutcome outcome = RunTransfer(item, true);
  transport.FtpLogout();
  return outcome;
}

TransferOutcome InstallSession::RunTransfer(const DownloadItem& item, bool append) {
  // Order matters against PauseDownload, which sets `paused` before it asks
  // for the stop: either this test sees the pause, or the request comes
  // after the clearing and reaches the transfer below.
  transport.ClearStopRequests();
  if (paused || cancelled) return TransferOutcome::Stopped;
  StartMonitor(item.kind, transport.Sample(item.kind).count);
  const TransferOutcome outcome = item.kind == kDownloadKindHttp
                                      ? transport.HttpDownload(item, append)
                                      : transport.FtpDownload(item);
  StopMonitor();
  return outcome;
}

bool InstallSession::WaitWhilePaused(const DownloadItem& item, TransferOutcome& outcome) {
  // A transfer stopped by a pause that was resumed before the worker got
  // here is restarted like one that is still paused.
  if (!paused && outcome != TransferOutcome::Stopped) return false;
  {
    std::unique_lock<std::mutex> lock(waitLock);
    waitChanged.wait(lock, [this] { return !paused || cancelled; });
  }
  if (cancelled) return false;
  outcome = Restart(item);
  return paused || outcome == TransferOutcome::Stopped;
}

void InstallSession::PauseDownload() {
  {
    std::lock_guard<std::mutex> lock(waitLock);
    if (paused) return;
    paused = true;
  }
  transport.RequestStop();
  view.ShowPaused(true);
}

void InstallSession::ResumeDownload() {
  {
    std::lock_guard<std::mutex> lock(waitLock);
    paused = false;
  }
  waitChanged.notify_all();
  view.ShowPaused(false);
}

void InstallSession::Cancel() {
  {
    std::lock_guard<std::mutex> lock(waitLock);
    cancelled = true;
  }
  transport.RequestStop();
  waitChanged.notify_all();
}

void InstallSession::StartMonitor(int32_t kind, uint32_t countBefore) {
  monitorStop = false;
  monitor = std::thread([this, kind, countBefore] { MonitorProgress(kind, countBefore); });
}

void InstallSession::StopMonitor() {
  monitorStop = true;
  if (monitor.joinable()) monitor.join();
}

bool InstallSession::MonitorShouldEnd() const { return paused || cancelled || monitorStop; }

void InstallSession::MonitorProgress(int32_t kind, uint32_t countBefore) {
  // The count tells that the transfer started even when it has already
  // ended again; its total and present were set before the count rose.
  TransferSample sample = transport.Sample(kind);
  while (sample.count == countBefore && !MonitorShouldEnd()) {
    clock.SleepMs(kMonitorPollMs);
    sample = transport.Sample(kind);
  }
  if (!MonitorShouldEnd()) {
    const uint32_t total = sample.total;
    uint32_t last = sample.present;
    uint32_t start = clock.NowMs();
    uint32_t current = last;
    while (current < total) {
      clock.SleepMs(kMonitorPollMs);
      const uint32_t now = clock.NowMs();
      current = transport.Sample(kind).present;
      if (SpeedSampleDue(start, now)) {
        speedKbps = ::SpeedKbps(last, current, start, now);
        start = now;
        last = current;
        view.ShowSpeed(speedKbps);
      }
      view.ShowProgress(ProgressFraction(current, bytesDone, bytesToDownload));
      if (MonitorShouldEnd()) break;
    }
  }
  speedKbps = 0.0;
  // A transport may drop a stop request that arrives just before its
  // transfer begins (the FTP client does: it stops only a running command).
  // Until the worker has its transfer back, a pause or a cancel is repeated
  // here, so a transfer that starts after it still stops at once.
  while ((paused || cancelled) && !monitorStop) {
    transport.RequestStop();
    clock.SleepMs(kMonitorPollMs);
  }
}
