// The download phase against a fake transport and a fake clock: which files a
// run fetches, what pause, resume and cancel do to the transfers, and what
// the monitor shows. The fake's transfers stand still at chosen points until
// the test lets them go on, so nothing depends on the scheduler.
#include "app/session/install_session.h"
#include "app/session/retry_schedule.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Time moves only when the monitor sleeps, and not while a transfer is held.
// A wait before a retry passes at once and is recorded, unless waits are
// held: then it lasts until the session ends it.
class FakeClock final : public SessionClock {
 public:
  uint32_t NowMs() override { return now; }
  void SleepMs(uint32_t ms) override {
    if (!frozen) now += ms;
    std::this_thread::sleep_for(100us);
  }
  bool WaitFor(std::condition_variable& changed, std::unique_lock<std::mutex>& lock, uint32_t ms,
               const std::function<bool()>& done) override {
    waits.push_back(ms);
    if (!holdWaits) {
      now += ms;
      return done();
    }
    waitBegan.set_value();
    changed.wait(lock, done);
    return true;
  }
  std::atomic<uint32_t> now{0xFFFFF000u};  // wraps during the run
  std::atomic<bool> frozen{false};
  std::vector<uint32_t> waits;  // read once the worker has returned
  bool holdWaits = false;
  std::promise<void> waitBegan;  // the first held wait began
};

class RecordingView final : public SessionView {
 public:
  void ShowProgress(float fraction) override {
    Record([&] { progress.push_back(fraction); });
  }
  void ShowSpeed(double kbps) override {
    Record([&] { speeds.push_back(kbps); });
  }
  void ShowPaused(bool paused) override {
    Record([&] { pausePictures.push_back(paused); });
  }
  void ShowFinished() override {
    Record([&] { ++finishedShown; });
  }
  void RedrawAll() override {}

  bool WaitFor(const std::function<bool()>& done) {
    std::unique_lock<std::mutex> hold(lock);
    return changed.wait_for(hold, 20s, done);
  }

  std::mutex lock;
  std::condition_variable changed;
  std::vector<float> progress;
  std::vector<double> speeds;
  std::vector<bool> pausePictures;
  int finishedShown = 0;

 private:
  void Record(const std::function<void()>& change) {
    {
      std::lock_guard<std::mutex> hold(lock);
      change();
    }
    changed.notify_all();
  }
};

// How a fake transfer of a file behaves.
enum class Behaviour {
  Complete,  // all bytes at once
  Hold,      // half the bytes, then waits for a stop request or its release
  Fail,      // half the bytes, then fails
  FailIdle,  // fails without a byte
  Refuse,    // the server will not give the file
  Stall,     // half the bytes, then nothing until a stop; the clock goes on
  Timed,     // one byte per millisecond of the fake clock
};

class FakeTransport final : public SessionTransport {
 public:
  explicit FakeTransport(FakeClock& clock) : clock(clock) {}

  RemoteFile HttpRemoteFile(const DownloadItem& item) override { return Remote(item); }
  RemoteFile FtpRemoteFile(const DownloadItem& item) override { return Remote(item); }
  void FtpLogon(const DownloadItem&) override { Log("logon"); }
  void FtpLogout() override { Log("logout"); }
  TransferReport HttpDownload(const DownloadItem& item, bool append,
                              const std::string& validator) override {
    return Transfer(item, append, validator);
  }
  TransferReport FtpDownload(const DownloadItem& item, const std::string& validator) override {
    return Transfer(item, local.count(item.local) != 0, validator);
  }
  std::optional<PartRecord> LoadPartRecord(const std::wstring& path) override {
    std::lock_guard<std::mutex> hold(lock);
    if (!records.count(path)) return std::nullopt;
    return records[path];
  }
  void SavePartRecord(const std::wstring& path, const PartRecord& record) override {
    std::lock_guard<std::mutex> hold(lock);
    records[path] = record;
  }
  void DeletePartRecord(const std::wstring& path) override {
    std::lock_guard<std::mutex> hold(lock);
    records.erase(path);
  }
  void Abandon() override {}
  void ClearStopRequests() override { stopRequested = false; }
  uint32_t LocalFileSize(const std::wstring& path) override {
    std::lock_guard<std::mutex> hold(lock);
    return local.count(path) ? local[path] : 0;
  }
  void DeleteLocalFile(const std::wstring& path) override {
    Log("delete " + Narrow(path));
    std::lock_guard<std::mutex> hold(lock);
    local.erase(path);
  }
  void RequestStop() override {
    std::lock_guard<std::mutex> hold(lock);
    if (dropIdleStops && !running) return;
    stopRequested = true;
    changed.notify_all();
  }
  TransferSample Sample(int32_t) const override {
    std::lock_guard<std::mutex> hold(lock);
    TransferSample sample = counters;
    if (timedFrom) sample.present = std::min(counters.total, clock.now - *timedFrom);
    return sample;
  }

  // Test side. Holds are numbered from 1 in the order they begin.
  void WaitForHold(int number) {
    std::unique_lock<std::mutex> hold(lock);
    ASSERT_TRUE(changed.wait_for(hold, 20s, [&] { return holdsBegun >= number; })) << number;
  }
  void WaitForStops(int number) {
    std::unique_lock<std::mutex> hold(lock);
    ASSERT_TRUE(changed.wait_for(hold, 20s, [&] { return stops >= number; })) << number;
  }
  void Release(int number) {
    std::lock_guard<std::mutex> hold(lock);
    released = std::max(released, number);
    changed.notify_all();
  }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> hold(lock);
    return calls;
  }

  std::map<std::wstring, uint32_t> remote;  // by remote name; missing: size unknown
  std::map<std::wstring, std::string> versions;   // validators by remote name
  std::map<std::wstring, uint32_t> announced;     // sizes only a transfer tells
  std::map<std::wstring, PartRecord> records;     // by local path
  uint32_t retryAfterSeconds = 0;                 // in every failure's report
  std::map<std::wstring, uint32_t> local;   // by local path; missing: no file
  std::map<std::wstring, std::vector<Behaviour>> behaviours;  // per transfer, in order
  // A stopped transfer is held once more before it returns, so the user can
  // resume before the worker sees the stop.
  bool holdAfterStop = false;
  // As the FTP client does: a stop request while no transfer runs is dropped.
  bool dropIdleStops = false;
  // Transfers that are held before they begin (and can be stopped).
  int holdsBeforeStart = 0;

 private:
  static std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
  }

  RemoteFile Remote(const DownloadItem& item) {
    Log("size " + Narrow(item.remote));
    std::lock_guard<std::mutex> hold(lock);
    return {remote.count(item.remote) ? remote[item.remote] : 0, versions[item.remote]};
  }

  void Log(const std::string& call) {
    std::lock_guard<std::mutex> hold(lock);
    calls.push_back(call);
  }

  TransferReport Transfer(const DownloadItem& item, bool append, const std::string& validator) {
    Log((append ? "append " : "get ") + Narrow(item.remote));
    const TransferReport failed{TransferOutcome::Failed, retryAfterSeconds, {}};
    std::unique_lock<std::mutex> hold(lock);
    clock.frozen = false;
    if (holdsBeforeStart > 0) {
      --holdsBeforeStart;
      const int number = BeginHold();
      changed.wait(hold, [&] { return released >= number; });
    }
    running = true;
    std::vector<Behaviour>& script = behaviours[item.remote];
    const Behaviour behaviour = script.empty() ? Behaviour::Complete : script.front();
    if (!script.empty()) script.erase(script.begin());
    const uint32_t total = remote.count(item.remote) ? remote[item.remote] : announced[item.remote];
    uint32_t& file = local[item.local];
    // Another version on the server: the continuation starts over.
    if (!append || (!validator.empty() && validator != versions[item.remote])) file = 0;
    // As the HTTP download does: counters first, then the count.
    counters.total = total;
    counters.present = file;
    ++counters.count;
    // A request raised before this transfer began stops it at its first read.
    if (stopRequested) return Stop(hold, file);
    switch (behaviour) {
      case Behaviour::Complete:
        break;
      case Behaviour::Fail:
        file = counters.present = file + (total - file) / 2;
        running = false;
        return failed;
      case Behaviour::FailIdle:
        running = false;
        return failed;
      case Behaviour::Refuse:
        running = false;
        return {TransferOutcome::Refused, 0, {}};
      case Behaviour::Stall:
        file = counters.present = file + (total - file) / 2;
        hold.unlock();
        while (!stopRequested) std::this_thread::sleep_for(50us);
        hold.lock();
        return Stop(hold, file);
      case Behaviour::Hold: {
        file = counters.present = file + (total - file) / 2;
        const int number = BeginHold();
        changed.wait(hold, [&] { return released >= number || stopRequested; });
        if (stopRequested) return Stop(hold, file);
        break;
      }
      case Behaviour::Timed: {
        timedFrom = clock.now - file;
        hold.unlock();
        while (clock.now - *timedFrom < total && !stopRequested) std::this_thread::sleep_for(50us);
        hold.lock();
        timedFrom.reset();
        break;
      }
    }
    file = counters.present = total;
    running = false;
    return {TransferOutcome::Completed, 0, versions[item.remote]};
  }

  TransferReport Stop(std::unique_lock<std::mutex>& hold, uint32_t& file) {
    stopRequested = false;
    running = false;
    ++stops;
    changed.notify_all();
    counters.present = file;
    if (holdAfterStop) {
      const int number = BeginHold();
      changed.wait(hold, [&] { return released >= number; });
    }
    return {TransferOutcome::Stopped, 0, {}};
  }

  // The clock stands still until the next transfer begins.
  int BeginHold() {
    clock.frozen = true;
    changed.notify_all();
    return ++holdsBegun;
  }

  FakeClock& clock;
  mutable std::mutex lock;
  std::condition_variable changed;
  std::atomic<bool> stopRequested{false};
  TransferSample counters;
  std::optional<uint32_t> timedFrom;
  int holdsBegun = 0;
  int released = 0;
  int stops = 0;
  bool running = false;
  std::vector<std::string> calls;
};

DownloadItem Http(const wchar_t* name) {
  DownloadItem item;
  item.remote = name;
  item.local = std::wstring(L"C:\\tmp\\") + name;
  item.kind = kDownloadKindHttp;
  return item;
}

DownloadItem Ftp(const wchar_t* name) {
  DownloadItem item = Http(name);
  item.kind = kDownloadKindFtp;
  return item;
}

struct Session {
  Session() : transport(clock), session(transport, view, clock) {}
  // A test that failed half-way lets the worker go.
  ~Session() {
    if (!worker.valid()) return;
    transport.Release(1 << 20);
    session.PauseDownload();
    session.Cancel();
    worker.wait();
  }
  void Start() {
    worker = std::async(std::launch::async, [this] { return session.DownloadAll(); });
  }
  int32_t Finish() {
    if (worker.wait_for(20s) != std::future_status::ready) {
      ADD_FAILURE() << "the worker did not return";
      return -99;
    }
    return worker.get();
  }
  FakeClock clock;
  RecordingView view;
  FakeTransport transport;
  InstallSession session;
  std::future<int32_t> worker;
};

TEST(InstallSession, SizingKeepsWhatIsMissingAndDropsWhatIsComplete) {
  const struct {
    const char* what;
    std::vector<DownloadItem> items;
    std::map<std::wstring, uint32_t> remote, local;
    int32_t result;
    uint32_t toDownload;
    std::vector<std::string> calls;
    std::map<std::wstring, std::string> versions = {};
    std::map<std::wstring, PartRecord> records = {};
  } cases[] = {
      {"empty list", {}, {}, {}, kDownloadAllNothing, 0, {}},
      {"all complete",
       {Http(L"a"), Ftp(L"b")},
       {{L"a", 300}, {L"b", 700}},
       {{L"C:\\tmp\\a", 300}, {L"C:\\tmp\\b", 700}},
       kDownloadAllPresent,
       0,
       {"size a", "logon", "size b", "logout"}},
      {"first complete, second partial",
       {Http(L"a"), Http(L"b")},
       {{L"a", 300}, {L"b", 700}},
       {{L"C:\\tmp\\a", 300}, {L"C:\\tmp\\b", 5}},
       kDownloadAllTransferred,
       700,
       {"size a", "size b", "delete C:\\tmp\\b", "size b", "get b"}},
      // A size the server did not tell cannot show a file complete: the
      // file is fetched, whether or not one is there.
      {"unknown size and no file: fetched",
       {Http(L"a"), Ftp(L"b")},
       {{L"b", 9}},
       {},
       kDownloadAllTransferred,
       9,
       {"size a", "delete C:\\tmp\\a", "logon", "size b", "logout", "delete C:\\tmp\\b", "size a",
        "get a", "logon", "size b", "get b", "logout"}},
      {"unknown size with a file: deleted and fetched again",
       {Http(L"a")},
       {},
       {{L"C:\\tmp\\a", 4}},
       kDownloadAllTransferred,
       0,
       {"size a", "delete C:\\tmp\\a", "size a", "get a"}},
      // A partial file from an earlier run goes on only where its record
      // shows the version the server has now; its record goes once complete.
      {"partial of the same version: continued",
       {Http(L"b")},
       {{L"b", 700}},
       {{L"C:\\tmp\\b", 300}},
       kDownloadAllTransferred,
       700,
       {"size b", "size b", "append b"},
       {{L"b", "v1"}},
       {{L"C:\\tmp\\b", {"b", 700, "v1"}}}},
      {"partial of another version: deleted",
       {Http(L"b")},
       {{L"b", 700}},
       {{L"C:\\tmp\\b", 300}},
       kDownloadAllTransferred,
       700,
       {"size b", "delete C:\\tmp\\b", "size b", "get b"},
       {{L"b", "v2"}},
       {{L"C:\\tmp\\b", {"b", 700, "v1"}}}},
      {"complete beside a leftover record",
       {Ftp(L"b")},
       {{L"b", 700}},
       {{L"C:\\tmp\\b", 700}},
       kDownloadAllPresent,
       0,
       {"logon", "size b", "logout"},
       {{L"b", "v1"}},
       {{L"C:\\tmp\\b", {"b", 700, "v1"}}}},
  };
  for (const auto& c : cases) {
    Session s;
    s.session.downloadList.assign(c.items.begin(), c.items.end());
    s.transport.remote = c.remote;
    s.transport.local = c.local;
    s.transport.versions = c.versions;
    s.transport.records = c.records;
    s.Start();
    EXPECT_EQ(s.Finish(), c.result) << c.what;
    EXPECT_TRUE(s.transport.records.empty()) << c.what;
    EXPECT_EQ(s.session.BytesToDownload(), c.toDownload) << c.what;
    EXPECT_EQ(s.transport.Calls(), c.calls) << c.what;
    const bool finished = c.result == kDownloadAllPresent || c.result == kDownloadAllTransferred;
    EXPECT_EQ(s.session.IsFinished(), finished) << c.what;
    EXPECT_EQ(s.view.finishedShown, finished ? 1 : 0) << c.what;
    if (c.result == kDownloadAllTransferred) {
      EXPECT_EQ(s.session.BytesDone(), c.toDownload) << c.what;
      EXPECT_EQ(s.view.pausePictures, std::vector<bool>{false}) << c.what;
    }
  }
}

// Pause and resume in every order the user can produce them; whatever the
// order, the file ends complete, the run ends 0, and a stopped transfer is
// continued in append mode rather than forgotten.
TEST(InstallSession, PauseAndResumeContinueTheStoppedTransfer) {
  enum class When { DuringTransfer, BeforeWorkerSeesStop, WhileNothingTransfers };
  const struct {
    When when;
    std::vector<std::string> calls;
  } cases[] = {
      {When::DuringTransfer, {"size a", "delete C:\\tmp\\a", "size a", "get a", "append a"}},
      {When::BeforeWorkerSeesStop, {"size a", "delete C:\\tmp\\a", "size a", "get a", "append a"}},
      // Paused and resumed while the worker sizes: the request must not stop
      // the transfer that starts afterwards.
      {When::WhileNothingTransfers, {"size a", "delete C:\\tmp\\a", "size a", "get a"}},
  };
  for (const auto& c : cases) {
    Session s;
    s.session.downloadList = {Http(L"a")};
    s.transport.remote = {{L"a", 1000}};
    s.transport.behaviours[L"a"] = {c.when == When::WhileNothingTransfers ? Behaviour::Complete
                                                                          : Behaviour::Hold};
    s.transport.holdAfterStop = c.when == When::BeforeWorkerSeesStop;
    if (c.when == When::WhileNothingTransfers) {
      s.session.PauseDownload();
      s.session.ResumeDownload();
    }
    s.Start();
    if (c.when != When::WhileNothingTransfers) {
      s.transport.WaitForHold(1);
      s.session.PauseDownload();
      if (c.when == When::BeforeWorkerSeesStop) {
        s.transport.WaitForHold(2);  // stopped, not yet returned
        s.session.ResumeDownload();
        s.transport.Release(2);
      } else {
        s.session.ResumeDownload();
      }
    }
    EXPECT_EQ(s.Finish(), kDownloadAllTransferred) << int(c.when);
    EXPECT_EQ(s.transport.LocalFileSize(L"C:\\tmp\\a"), 1000u) << int(c.when);
    EXPECT_EQ(s.transport.Calls(), c.calls) << int(c.when);
    EXPECT_FALSE(s.session.IsPaused());
  }
}

// The FTP client stops only a transfer that runs; a pause that falls between
// the worker's look at the flag and the transfer's start must still stop it.
TEST(InstallSession, APauseJustBeforeAnFtpTransferBeginsStillStopsIt) {
  Session s;
  s.session.downloadList = {Ftp(L"a")};
  s.transport.remote = {{L"a", 100}};
  s.transport.behaviours[L"a"] = {Behaviour::Hold};
  s.transport.dropIdleStops = true;
  s.transport.holdsBeforeStart = 1;
  s.Start();
  s.transport.WaitForHold(1);
  s.session.PauseDownload();  // dropped: nothing runs yet
  s.transport.Release(1);
  s.transport.WaitForStops(1);
  s.session.ResumeDownload();
  EXPECT_EQ(s.Finish(), kDownloadAllTransferred);
  EXPECT_EQ(s.transport.Calls(),
            (std::vector<std::string>{"logon", "size a", "logout", "delete C:\\tmp\\a", "logon",
                                      "size a", "get a", "logout", "logon", "append a", "logout"}));
}

// A cancel stops the transfer under way by itself, paused first or not.
TEST(InstallSession, CancelEndsWithoutFurtherTransfers) {
  for (const bool pausedFirst : {true, false}) {
    Session s;
    s.session.downloadList = {Ftp(L"a"), Http(L"b")};
    s.transport.remote = {{L"a", 100}, {L"b", 100}};
    s.transport.behaviours[L"a"] = {Behaviour::Hold};
    s.Start();
    s.transport.WaitForHold(1);
    if (pausedFirst) {
      s.session.PauseDownload();
      s.session.PauseDownload();  // a second pause changes nothing
    }
    s.session.Cancel();
    EXPECT_EQ(s.Finish(), kDownloadAllNothing) << pausedFirst;
    EXPECT_EQ(s.transport.Calls(),
              (std::vector<std::string>{"logon", "size a", "logout", "delete C:\\tmp\\a", "size b",
                                        "delete C:\\tmp\\b", "logon", "size a", "get a", "logout"}))
        << pausedFirst;
    EXPECT_EQ(s.view.pausePictures, pausedFirst ? std::vector<bool>{true} : std::vector<bool>{});
    EXPECT_FALSE(s.session.IsFinished());
  }
}

// Failures are retried after growing waits until the file is complete; when
// the attempts are used up or the server refuses, the session pauses with
// the partial file and its record kept, and the user's resume goes on.
TEST(InstallSession, FailuresAreRetriedOrPauseTheSession) {
  using B = Behaviour;
  const struct {
    const char* what;
    std::vector<Behaviour> script;
    uint32_t retryAfter;
    std::vector<uint32_t> waits;  // before jitter
    bool pauses;
  } cases[] = {
      {"failures that move bytes start the schedule afresh", {B::Fail, B::Fail}, 0, {1000, 1000},
       false},
      {"failures without progress wait longer", {B::FailIdle, B::FailIdle, B::FailIdle}, 0,
       {1000, 2000, 4000}, false},
      {"Retry-After up to a minute", {B::FailIdle, B::FailIdle}, 90, {60000, 60000}, false},
      {"a stall is stopped and retried", {B::Stall}, 0, {1000}, false},
      {"out of attempts",
       std::vector<Behaviour>(kMaxRetries + 1, B::FailIdle),
       0,
       {1000, 2000, 4000, 8000, 16000, 30000, 30000},
       true},
      {"refused", {B::Refuse}, 0, {}, true},
  };
  for (const auto& c : cases) {
    Session s;
    s.session.downloadList = {Http(L"a")};
    s.transport.remote = {{L"a", 1000}};
    s.transport.versions = {{L"a", "v1"}};
    s.transport.behaviours[L"a"] = c.script;
    s.transport.retryAfterSeconds = c.retryAfter;
    s.Start();
    if (c.pauses) {
      EXPECT_TRUE(s.view.WaitFor([&] { return !s.view.pausePictures.empty(); })) << c.what;
      EXPECT_TRUE(s.session.IsPaused()) << c.what;
      EXPECT_EQ(s.transport.LoadPartRecord(L"C:\\tmp\\a")->validator, "v1") << c.what;
      s.session.ResumeDownload();
    }
    EXPECT_EQ(s.Finish(), kDownloadAllTransferred) << c.what;
    EXPECT_EQ(s.transport.LocalFileSize(L"C:\\tmp\\a"), 1000u) << c.what;
    EXPECT_TRUE(s.transport.records.empty()) << c.what;
    ASSERT_EQ(s.clock.waits.size(), c.waits.size()) << c.what;
    for (size_t i = 0; i < c.waits.size(); ++i) {
      const uint32_t base = c.waits[i];
      EXPECT_GE(s.clock.waits[i], c.retryAfter ? base : base * 8 / 10) << c.what << " " << i;
      EXPECT_LE(s.clock.waits[i], c.retryAfter ? base : base * 12 / 10) << c.what << " " << i;
    }
    if (!c.waits.empty()) {
      std::lock_guard<std::mutex> hold(s.view.lock);
      EXPECT_EQ(s.view.speeds.back(), 0.0) << c.what;
    }
  }
}

// A pause or a cancel during the wait before a retry acts at once.
TEST(InstallSession, PauseOrCancelEndsTheWaitBeforeARetry) {
  for (const bool cancel : {false, true}) {
    Session s;
    s.session.downloadList = {Http(L"a")};
    s.transport.remote = {{L"a", 100}};
    s.transport.behaviours[L"a"] = {Behaviour::FailIdle};
    s.clock.holdWaits = true;
    std::future<void> waitBegan = s.clock.waitBegan.get_future();
    s.Start();
    ASSERT_EQ(waitBegan.wait_for(20s), std::future_status::ready);
    if (cancel) {
      s.session.Cancel();
      EXPECT_EQ(s.Finish(), kDownloadAllNothing);
      continue;
    }
    s.session.PauseDownload();
    s.session.ResumeDownload();
    EXPECT_EQ(s.Finish(), kDownloadAllTransferred);
    EXPECT_EQ(s.transport.Calls().back(), "append a");
  }
}

// A file whose size only its transfer tells is counted from then on, so the
// bar shows its progress instead of a full bar.
TEST(InstallSession, ASizeOnlyTheTransferAnnouncesIsCounted) {
  Session s;
  s.session.downloadList = {Http(L"a")};
  s.transport.announced = {{L"a", 1000}};
  s.transport.behaviours[L"a"] = {Behaviour::Hold};
  s.Start();
  s.transport.WaitForHold(1);
  EXPECT_TRUE(s.view.WaitFor([&] {
    return !s.view.progress.empty() && s.view.progress.back() == 0.5f;
  }));
  s.transport.Release(1);
  EXPECT_EQ(s.Finish(), kDownloadAllTransferred);
  EXPECT_EQ(s.session.BytesDone(), 1000u);
}

// Progress counts the files already transferred and the running one; speed
// appears only after more than a second of transfer.
TEST(InstallSession, MonitorShowsRunProgressAndSpeedAfterASecond) {
  const struct {
    uint32_t first, second;  // sizes; the first file transfers by the clock
    std::vector<double> speeds;
  } cases[] = {
      {500, 10, {}},
      // 1010 bytes moved in 1010 ms, then 1000 bytes in the next 1010 ms.
      {3000, 10, {1010 * 1000.0 / 1024 / 1010, 1010 * 1000.0 / 1024 / 1010}},
  };
  for (const auto& c : cases) {
    Session s;
    s.session.downloadList = {Http(L"a"), Http(L"b")};
    s.transport.remote = {{L"a", c.first}, {L"b", c.second}};
    s.transport.behaviours[L"a"] = {Behaviour::Timed};
    s.transport.behaviours[L"b"] = {Behaviour::Hold};
    s.Start();
    s.transport.WaitForHold(1);
    const float expected =
        static_cast<float>(double(c.first + c.second / 2) / double(c.first + c.second));
    EXPECT_TRUE(s.view.WaitFor([&] {
      return !s.view.progress.empty() && s.view.progress.back() == expected;
    })) << c.first;
    s.transport.Release(1);
    EXPECT_EQ(s.Finish(), kDownloadAllTransferred);
    std::lock_guard<std::mutex> hold(s.view.lock);
    for (std::size_t i = 1; i < s.view.progress.size(); ++i) {
      EXPECT_LE(s.view.progress[i - 1], s.view.progress[i]) << c.first << " at " << i;
    }
    EXPECT_EQ(s.view.speeds, c.speeds) << c.first;
    EXPECT_EQ(s.session.SpeedKbps(), 0.0);
  }
}

}  // namespace
