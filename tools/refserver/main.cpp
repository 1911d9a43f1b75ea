// halvora-refserver: the platform server, the application data server and
// the public file host in one process, played from a catalog folder (see
// catalog.h and README.md). Every request is logged with its request line,
// headers and decoded request text, so tests can assert what a client sent;
// /_control/ requests switch faults on (faults.h) and read the log back.

#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "net/http/gzip_encode.h"
#include "tools/refserver/byte_range.h"
#include "tools/refserver/catalog.h"
#include "tools/refserver/connection_reset.h"
#include "tools/refserver/faults.h"
#include "tools/refserver/service_request.h"

namespace halvora::refserver {
namespace {

namespace fs = std::filesystem;

const char kServicePrefix[] = "/zan_requests/";
const char kControlPrefix[] = "/_control/";
// The log kept for /_control/log; older entries are dropped past it.
constexpr size_t kMaxLogBytes = 8u << 20;
// A stalled answer resumes by itself after this long, so no thread waits forever.
constexpr auto kMaxStall = std::chrono::seconds(120);
constexpr auto kTrickleGap = std::chrono::milliseconds(2);
constexpr size_t kFilePiece = 64 * 1024;

class State {
 public:
  explicit State(std::ofstream* logFile) : logFile_(logFile) {}

  Faults CurrentFaults() {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_;
  }
  // The faults one answer gets, counted toward those that apply to a number
  // of answers only.
  Faults AnswerFaults(bool rangedFile) {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_.ForAnswer(rangedFile);
  }
  bool SetFault(const std::string& name, const std::string& value, std::string& error) {
    std::lock_guard<std::mutex> lock(mutex_);
    return faults_.Set(name, value, error);
  }
  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = Faults();
    log_.clear();
    ++releases_;
    heldReleased_ = heldAnswers_;
    wake_.notify_all();
  }
  // Lets stalled answers go on, and held answers up to number `through`
  // (all of them without it).
  void Release(std::optional<uint64_t> through) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++releases_;
    heldReleased_ = std::max(heldReleased_, through.value_or(heldAnswers_));
    wake_.notify_all();
  }
  // The number of the next held answer, from 1.
  uint64_t NextHeld() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ++heldAnswers_;
  }
  void Hold(uint64_t number) {
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait_for(lock, kMaxStall, [&] { return stopping_ || heldReleased_ >= number; });
  }
  void Stop() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  // Releases so far; an answer notes the count when it begins.
  uint64_t Releases() {
    std::lock_guard<std::mutex> lock(mutex_);
    return releases_;
  }
  // Holds a stalled answer until a release (or reset) later than `begun`,
  // the count it noted when it began, or the server's end. A release that
  // comes while the answer is on its way to the stall point is not lost:
  // a test may see the bytes before the stall and release at once.
  void Stall(uint64_t begun, std::optional<size_t> seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto limit = seconds ? std::min<std::chrono::seconds>(
                                     kMaxStall, std::chrono::seconds(*seconds))
                               : kMaxStall;
    wake_.wait_for(lock, limit, [&] { return stopping_ || releases_ != begun; });
  }
  void Log(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::cerr << entry << std::flush;
    if (logFile_) *logFile_ << entry << std::flush;
    log_ += entry;
    if (log_.size() > kMaxLogBytes) log_.erase(0, log_.size() - kMaxLogBytes);
  }
  std::string LogText() {
    std::lock_guard<std::mutex> lock(mutex_);
    return log_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  Faults faults_;
  std::string log_;
  uint64_t releases_ = 0;
  uint64_t heldAnswers_ = 0;
  uint64_t heldReleased_ = 0;
  bool stopping_ = false;
  std::ofstream* logFile_;
};

// The two ports of the connection an answer goes out on.
struct Connection {
  int localPort = 0;
  int remotePort = 0;
};

Connection ConnectionOf(const httplib::Request& req) {
  auto port = [&req](const char* name) { return std::atoi(req.get_header_value(name).c_str()); };
  return Connection{port("LOCAL_PORT"), port("REMOTE_PORT")};
}

// What an answer sends: its bytes come from a text or from part of a file.
struct Body {
  std::string text;
  std::optional<fs::path> file;
  uint64_t first = 0;
  uint64_t length = 0;

  uint64_t Size() const { return file ? length : text.size(); }
};

class Server {
 public:
  Server(Catalog catalog, State& state) : catalog_(std::move(catalog)), state_(state) {}

  void Handle(const httplib::Request& req, httplib::Response& res) {
    const std::string target = req.target.substr(0, req.target.find('?'));
    if (target.rfind(kControlPrefix, 0) == 0) return Control(req, target, res);

    std::ostringstream entry;
    entry << "> " << req.method << ' ' << req.target << ' ' << req.version << '\n';
    for (const auto& [name, value] : req.headers) {
      if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
          name == "LOCAL_PORT")
        continue;
      entry << "> " << name << ": " << value << '\n';
    }
    Faults faults = state_.CurrentFaults();
    if (faults.hold) {
      const uint64_t number = state_.NextHeld();
      const std::string range = req.has_header("Range") ? req.get_header_value("Range") : "-";
      state_.Log("hold " + std::to_string(number) + " " + req.method + " " + req.target +
                 " range " + range + "\n");
      state_.Hold(number);
    }
    // What the watcher switched on while the request was held applies.
    const bool service = target.rfind(kServicePrefix, 0) == 0;
    faults = state_.AnswerFaults(!service && req.has_header("Range"));
    if (service) {
      ServiceAnswer(req, target.substr(sizeof kServicePrefix - 1), faults, entry, res);
    } else {
      FileAnswer(req, faults, entry, res);
    }
    entry << "< " << res.status << " (faults: " << faults.Describe() << ")\n\n";
    state_.Log(entry.str());
  }

 private:
  void Control(const httplib::Request& req, const std::string& target, httplib::Response& res) {
    const std::string command = target.substr(sizeof kControlPrefix - 1);
    std::string reply = "ok\n";
    int status = 200;
    if (command == "reset") {
      state_.Reset();
    } else if (command == "release") {
      std::optional<uint64_t> through;
      if (req.has_param("through")) {
        char* end = nullptr;
        const std::string text = req.get_param_value("through");
        through = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0') {
          status = 400;
          reply = "bad through\n";
          through.reset();
        }
      }
      if (status == 200) state_.Release(through);
    } else if (command == "log") {
      reply = state_.LogText();
    } else if (command == "fault") {
      for (const auto& [name, value] : req.params) {
        std::string error;
        if (!state_.SetFault(name, value, error)) {
          status = 400;
          reply = error + "\n";
        }
      }
    } else {
      status = 404;
      reply = "unknown control " + command + "\n";
    }
    Send(req, res, status, {}, Body{reply, std::nullopt, 0, 0}, Faults());
  }

  void ServiceAnswer(const httplib::Request& req, const std::string& encoded, const Faults& faults,
                     std::ostringstream& entry, httplib::Response& res) {
    std::string error;
    const auto request = DecodeServicePath(encoded, error);
    if (!request) {
      entry << "= error: " << error << '\n';
      return Send(req, res, 400, {}, Body{error + "\n", std::nullopt, 0, 0}, faults);
    }
    entry << "= encoding: " << request->encoding << '\n';
    if (request->target) entry << "= target: " << *request->target << '\n';
    entry << "= text: " << request->text << '\n';

    std::string why;
    const auto answer = catalog_.AnswerFor(ReadRequestFields(request->text), why);
    if (!answer) {
      entry << "= error: " << why << '\n';
      return Send(req, res, 404, {}, Body{why + "\n", std::nullopt, 0, 0}, faults);
    }
    entry << "= answer: " << answer->name << '\n';
    httplib::Headers headers{{"Content-Type", "text/xml"}};
    std::string body = answer->body;
    if (faults.padTo && body.size() < *faults.padTo) body.resize(*faults.padTo, ' ');
    std::optional<std::string> encoding;
    if (answer->gzip || faults.gzipTruncated) {
      body = GzipCompress(body);
      if (faults.gzipTruncated) body.resize(body.size() / 2);
      encoding = "gzip";
    }
    if (faults.encoding) encoding = faults.encoding;
    if (encoding) headers.emplace("Content-Encoding", *encoding);
    Send(req, res, 200, std::move(headers), Body{std::move(body), std::nullopt, 0, 0}, faults);
  }

  void FileAnswer(const httplib::Request& req, const Faults& faults, std::ostringstream& entry,
                  httplib::Response& res) {
    const auto path = catalog_.FileFor(req.path);
    if (!path) {
      entry << "= error: no such file\n";
      return Send(req, res, 404, {}, Body{"no such file\n", std::nullopt, 0, 0}, faults);
    }
    const std::optional<FileVersion> version = VersionOf(*path);
    if (!version) {
      entry << "= error: the file cannot be read\n";
      return Send(req, res, 404, {}, Body{"no such file\n", std::nullopt, 0, 0}, faults);
    }
    const uint64_t size = version->size;
    std::optional<std::string> ifRange;
    if (req.has_header("If-Range")) ifRange = req.get_header_value("If-Range");
    std::optional<std::string> range;
    if (req.has_header("Range") && !faults.ignoreRange && RangeStillApplies(ifRange, *version)) {
      range = req.get_header_value("Range");
    }
    const RangeAnswer part = AnswerRange(range, size);
    entry << "= file: " << path->string() << " (" << size << " bytes)\n";

    httplib::Headers headers{{"Content-Type", "application/octet-stream"},
                             {"Accept-Ranges", "bytes"},
                             {"ETag", version->etag},
                             {"Last-Modified", version->lastModified}};
    if (part.status == 416) {
      headers.emplace("Content-Range", "bytes */" + std::to_string(size));
    } else if (part.status == 206) {
      const int64_t first = static_cast<int64_t>(part.first) + faults.rangeShift;
      headers.emplace("Content-Range", "bytes " + std::to_string(first) + "-" +
                                           std::to_string(first + int64_t(part.length) - 1) + "/" +
                                           std::to_string(size));
    }
    Send(req, res, part.status, std::move(headers), Body{"", *path, part.first, part.length},
         faults);
  }

  // Every answer goes out through here: status and headers exactly as given
  // (the library adds only Connection, Keep-Alive and a default Content-Type),
  // then the body written piece by piece so faults can cut, slow or stall it.
  void Send(const httplib::Request& req, httplib::Response& res, int status,
            httplib::Headers headers, Body body, const Faults& faults) {
    if (faults.status) {
      status = *faults.status;
      headers = {{"Content-Type", "text/plain"}};
      if (faults.retryAfter) headers.emplace("Retry-After", std::to_string(*faults.retryAfter));
      body = Body{"fault status " + std::to_string(status) + "\n", std::nullopt, 0, 0};
    }
    res.status = status;
    std::string contentType = "application/octet-stream";
    for (const auto& [name, value] : headers) {
      if (name == "Content-Type") {
        contentType = value;
      } else {
        res.set_header(name, value);
      }
    }
    if (faults.lengthText) {
      res.set_header("Content-Length", *faults.lengthText);
    } else if (!faults.lengthMissing) {
      res.set_header("Content-Length", std::to_string(body.Size()));
    }
    State& state = state_;
    const uint64_t begun = state.Releases();
    const Connection connection = ConnectionOf(req);
    res.set_content_provider(contentType, [&state, body = std::move(body), faults, begun,
                                           connection](size_t, httplib::DataSink& sink) {
      return WriteBody(state, body, faults, begun, connection, sink);
    });
  }

  static bool WriteBody(State& state, const Body& body, const Faults& faults, uint64_t begun,
                        const Connection& connection, httplib::DataSink& sink) {
    const uint64_t size = body.Size();
    const uint64_t limit = std::min<uint64_t>(
        {size, faults.cutAfter.value_or(size), faults.resetAfter.value_or(size)});
    std::ifstream file;
    if (body.file) {
      file.open(*body.file, std::ios::binary);
      file.seekg(static_cast<std::streamoff>(body.first));
    }
    std::string piece;
    uint64_t sent = 0;
    bool stalled = false;
    while (sent < limit) {
      if (faults.stallAfter && !stalled && sent >= *faults.stallAfter) {
        stalled = true;
        state.Stall(begun, faults.stallSeconds);
      }
      uint64_t n = std::min<uint64_t>(limit - sent, faults.tricklePiece.value_or(kFilePiece));
      if (faults.stallAfter && !stalled) n = std::min<uint64_t>(n, *faults.stallAfter - sent);
      if (body.file) {
        piece.resize(n);
        file.read(piece.data(), static_cast<std::streamsize>(n));
        if (static_cast<uint64_t>(file.gcount()) != n) return false;
      } else {
        piece.assign(body.text, sent, n);
      }
      if (!sink.write(piece.data(), piece.size())) return false;
      sent += n;
      if (faults.tricklePiece && sent < limit) std::this_thread::sleep_for(kTrickleGap);
    }
    if (faults.stallAfter && !stalled && sent >= *faults.stallAfter) {
      state.Stall(begun, faults.stallSeconds);
    }
    if (limit < size) {
      if (faults.resetAfter) ResetConnection(connection.localPort, connection.remotePort);
      return false;  // cut short: the library closes the connection
    }
    sink.done();
    return true;
  }

  Catalog catalog_;
  State& state_;
};

int Usage() {
  std::cerr << "usage: halvora-refserver [--host ADDRESS] [--port N] [--log FILE] CATALOG\n"
               "  Serves CATALOG as platform server, data server and public file host.\n"
               "  --host  address to listen on (default 127.0.0.1)\n"
               "  --port  port to listen on; 0 picks a free one (default 8080)\n"
               "  --log   also append the request log to FILE\n"
               "  The first line on standard output names the address it serves.\n";
  return 2;
}

int Run(int argc, char** argv) {
  std::string host = "127.0.0.1";
  int port = 8080;
  std::string logPath;
  std::string catalogPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--host" || arg == "--port" || arg == "--log") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--host") host = value;
      if (arg == "--log") logPath = value;
      if (arg == "--port") {
        char* end = nullptr;
        const long n = std::strtol(value.c_str(), &end, 10);
        if (*end != '\0' || n < 0 || n > 65535) return Usage();
        port = static_cast<int>(n);
      }
    } else if (!arg.empty() && arg[0] != '-' && catalogPath.empty()) {
      catalogPath = arg;
    } else {
      return Usage();
    }
  }
  if (catalogPath.empty()) return Usage();

  // Signals are taken by one thread with sigwait, so the stop runs outside a
  // signal handler; block them before any thread starts.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  httplib::Server http;
  // One answer per connection: answers without a length end at the close.
  http.set_keep_alive_max_count(1);
  port = port == 0 ? http.bind_to_any_port(host) : (http.bind_to_port(host, port) ? port : -1);
  if (port < 0) {
    std::cerr << "halvora-refserver: cannot listen on " << host << "\n";
    return 1;
  }
  Catalog catalog(catalogPath, host, port);
  std::string error;
  if (!catalog.Check(error)) {
    std::cerr << "halvora-refserver: " << error << "\n";
    return 1;
  }
  std::ofstream logFile;
  if (!logPath.empty()) {
    logFile.open(logPath, std::ios::app);
    if (!logFile) {
      std::cerr << "halvora-refserver: cannot write " << logPath << "\n";
      return 1;
    }
  }
  State state(logPath.empty() ? nullptr : &logFile);
  Server server(std::move(catalog), state);
  http.Get(".*", [&server](const httplib::Request& req, httplib::Response& res) {
    server.Handle(req, res);
  });

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&signals, &signal);
    state.Stop();
    http.stop();
  });
  std::cout << "http://" << host << ":" << port << "/" << std::endl;
  const bool ok = http.listen_after_bind();
  if (!ok) pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  return 0;
}

}  // namespace
}  // namespace halvora::refserver

int main(int argc, char** argv) { return halvora::refserver::Run(argc, argv); }
