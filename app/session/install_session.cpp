#include "app/session/install_session.h"

#include <chrono>
#include <vector>

#include "app/session/retry_schedule.h"
#include "app/session/session_math.h"
#include "base/debug_output.h"
#include "base/text.h"

uint32_t SteadySessionClock::NowMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void SteadySessionClock::SleepMs(uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SteadySessionClock::WaitFor(std::condition_variable& changed,
                                 std::unique_lock<std::mutex>& lock, uint32_t ms,
                                 const std::function<bool()>& done) {
  return changed.wait_for(lock, std::chrono::milliseconds(ms), done);
}

InstallSession::InstallSession(SessionTransport& transport, SessionView& view, SessionClock& clock)
    : transport(transport), view(view), clock(clock) {}

InstallSession::~InstallSession() { StopMonitor(); }

int32_t InstallSession::DownloadAll() {
  if (downloadList.empty()) return kDownloadAllNothing;
  speedKbps = 0.0;
  bytesDone = 0;
  bytesToDownload = 0;

  std::vector<Sized> sized;
  for (auto it = downloadList.begin(); it != downloadList.end() && !cancelled;) {
    const Sized one = SizeFile(*it);
    if (one.remote.size != 0 && transport.LocalFileSize(it->local) == one.remote.size) {
      transport.DeletePartRecord(it->local);
      it = downloadList.erase(it);
      continue;
    }
    bytesToDownload += one.remote.size;
    sized.push_back(one);
    ++it;
  }
  if (cancelled) return kDownloadAllNothing;
  // Files of unknown size stay in the list with 0 bytes counted: only an
  // empty list means that everything is present.
  if (downloadList.empty()) {
    finished = true;
    view.ShowFinished();
    return kDownloadAllPresent;
  }

  view.RedrawAll();
  for (size_t i = 0; i < downloadList.size(); ++i) {
    if (!Fetch(downloadList[i], sized[i])) return kDownloadAllNothing;
  }
  view.ShowPaused(false);
  finished = true;
  view.ShowFinished();
  return kDownloadAllTransferred;
}

// A file that is not complete is deleted, so its download starts from an
// empty file, unless its record shows it to be a part of the very version
// the server has now. A size of 0 means the server did not tell it: such a
// file cannot be known to be complete and is fetched again.
InstallSession::Sized InstallSession::SizeFile(const DownloadItem& item) {
  Sized sized;
  if (item.kind == kDownloadKindHttp) {
    sized.remote = transport.HttpRemoteFile(item);
  } else {
    transport.FtpLogon(item);
    sized.remote = transport.FtpRemoteFile(item);
    transport.FtpLogout();
  }
  const uint32_t localSize = transport.LocalFileSize(item.local);
  if (sized.remote.size != 0 && localSize == sized.remote.size) return sized;
  sized.keepsPartial =
      PartialMayContinue(transport.LoadPartRecord(item.local), halvora::WideToAnsi(item.remote),
                         sized.remote.size, sized.remote.validator, localSize);
  if (!sized.keepsPartial) {
    transport.DeleteLocalFile(item.local);
    transport.DeletePartRecord(item.local);
  }
  return sized;
}

bool InstallSession::Fetch(const DownloadItem& item, const Sized& sized) {
  currentSize = sized.remote.size;
  std::string validator = sized.remote.validator;
  const auto keepRecord = [&] {
    if (currentSize != 0 && !validator.empty()) {
      transport.SavePartRecord(item.local,
                               {halvora::WideToAnsi(item.remote), currentSize, validator});
    }
  };
  keepRecord();
  RetrySchedule schedule(clock.NowMs());
  bool first = true;
  bool append = sized.keepsPartial;
  for (;;) {
    if (!WaitWhilePaused()) return false;
    const uint32_t before = transport.LocalFileSize(item.local);
    TransferReport report;
    if (item.kind == kDownloadKindHttp) {
      // The size is asked again right before the first transfer.
      if (first) transport.HttpRemoteFile(item);
      report = RunTransfer(item, append, validator);
    } else {
      transport.FtpLogon(item);
      if (first) transport.FtpRemoteFile(item);
      report = RunTransfer(item, append, validator);
      transport.FtpLogout();
    }
    if (cancelled) return false;
    first = false;
    append = true;
    if (!report.validator.empty() && report.validator != validator) {
      validator = report.validator;
      keepRecord();
    }
    const uint32_t after = transport.LocalFileSize(item.local);
    switch (report.outcome) {
      case TransferOutcome::Completed:
        break;
      case TransferOutcome::RangeEnd:
        // A stop just after the last byte: the continuation finds nothing
        // left. A file of another length cannot be mended by appending.
        if (currentSize != 0 && after == currentSize) break;
        transport.DeleteLocalFile(item.local);
        append = false;
        [[fallthrough]];
      case TransferOutcome::Failed:
      case TransferOutcome::Stopped: {
        // A transfer that the user stopped goes on when the user resumes.
        if (paused || (report.outcome == TransferOutcome::Stopped && !stalled)) continue;
        const uint32_t moved = after > before ? after - before : (after < before ? after : 0);
        const std::optional<uint32_t> wait = schedule.NextWaitMs(moved, report.retryAfterSeconds);
        if (!wait) {
          PauseAfterFailure("out of attempts");
          schedule.Reset();
          continue;
        }
        const std::string line = std::string(stalled ? "download stalled" : "download failed") +
                                 ": retry in " + std::to_string(*wait) + " ms";
        halvora::DebugOutput(line.c_str());
        if (!WaitBeforeRetry(*wait)) return false;
        continue;
      }
      case TransferOutcome::Refused:
        PauseAfterFailure("refused by the server");
        continue;
    }
    transport.DeletePartRecord(item.local);
    bytesDone += currentSize;
    return true;
  }
}

TransferReport InstallSession::RunTransfer(const DownloadItem& item, bool append,
                                           const std::string& validator) {
  // Order matters against PauseDownload, which sets `paused` before it asks
  // for the stop: either this test sees the pause, or the request comes
  // after the clearing and reaches the transfer below.
  transport.ClearStopRequests();
  stalled = false;
  if (paused || cancelled) return {TransferOutcome::Stopped, 0, {}};
  StartMonitor(item.kind, transport.Sample(item.kind).count);
  TransferReport report = item.kind == kDownloadKindHttp
                              ? transport.HttpDownload(item, append, validator)
                              : transport.FtpDownload(item, append ? validator : std::string());
  StopMonitor();
  return report;
}

bool InstallSession::WaitBeforeRetry(uint32_t ms) {
  speedKbps = 0.0;
  view.ShowSpeed(0.0);
  std::unique_lock<std::mutex> lock(waitLock);
  // A pause ends the wait even when a resume follows before the worker
  // wakes: the user's resume means "now".
  const uint32_t pausesBefore = pauses;
  clock.WaitFor(waitChanged, lock, ms,
                [&] { return paused || cancelled || pauses != pausesBefore; });
  return !cancelled;
}

bool InstallSession::WaitWhilePaused() {
  std::unique_lock<std::mutex> lock(waitLock);
  waitChanged.wait(lock, [this] { return !paused || cancelled; });
  return !cancelled;
}

void InstallSession::PauseAfterFailure(const char* why) {
  {
    std::lock_guard<std::mutex> lock(waitLock);
    paused = true;
  }
  speedKbps = 0.0;
  view.ShowSpeed(0.0);
  view.ShowPaused(true);
  halvora::DebugOutput((std::string("download paused: ") + why).c_str());
}

void InstallSession::PauseDownload() {
  {
    std::lock_guard<std::mutex> lock(waitLock);
    if (paused) return;
    paused = true;
    ++pauses;
  }
  waitChanged.notify_all();  // a wait before a retry ends at once
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
  transport.Abandon();
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
    // A size only the transfer announced is counted now, or the bar would
    // show this file as done all along.
    const uint32_t total = sample.total;
    if (currentSize == 0 && total != 0) {
      currentSize = total;
      bytesToDownload += total;
    }
    uint32_t last = sample.present;
    uint32_t start = clock.NowMs();
    uint32_t current = last;
    uint32_t lastMoved = start;
    uint32_t seen = current;
    while (total == 0 || current < total) {
      clock.SleepMs(kMonitorPollMs);
      const uint32_t now = clock.NowMs();
      current = transport.Sample(kind).present;
      if (SpeedSampleDue(start, now)) {
        speedKbps = ::SpeedKbps(last, current, start, now);
        start = now;
        last = current;
        view.ShowSpeed(speedKbps);
      }
      if (total != 0) view.ShowProgress(ProgressFraction(current, bytesDone, bytesToDownload));
      if (MonitorShouldEnd()) break;
      if (current != seen) {
        seen = current;
        lastMoved = now;
      } else if (now - lastMoved >= kStallMs) {
        // Platform time-outs do not reliably end a read that waits forever;
        // the session stops it the way a pause does, and tries again.
        stalled = true;
        break;
      }
    }
  }
  speedKbps = 0.0;
  // A transport may drop a stop request that arrives just before its
  // transfer begins (the FTP client does: it stops only a running command).
  // Until the worker has its transfer back, a pause or a cancel is repeated
  // here, so a transfer that starts after it still stops at once.
  while ((paused || cancelled || stalled) && !monitorStop) {
    transport.RequestStop();
    clock.SleepMs(kMonitorPollMs);
  }
}
