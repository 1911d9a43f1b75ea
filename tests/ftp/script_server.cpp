#include "tests/ftp/script_server.h"

#include <chrono>

namespace ftptest {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(0x7f000001);
  return address;
}

namespace {

using nsSocket::kStreamSocket;
// How long a step waits for the client before the script counts as failed.
constexpr int kStepTimeoutSeconds = 5;
constexpr auto kSignalTimeout = std::chrono::seconds(10);

void Listen(nsSocket::CBlockingSocket& socket, std::uint16_t& port) {
  socket.Create(kStreamSocket);
  socket.Bind(Loopback(0));
  socket.Listen();
  sockaddr_in bound{};
  socket.GetSockName(bound);
  port = ntohs(bound.sin_port);
}

Step Make(Step::Kind kind, std::string text = std::string(), int milliseconds = 0) {
  return Step{kind, std::move(text), milliseconds};
}

}  // namespace

Step Expect(std::string line) { return Make(Step::Kind::Expect, std::move(line)); }
Step Reply(std::string bytes) { return Make(Step::Kind::Reply, std::move(bytes)); }
Step Delay(int milliseconds) { return Make(Step::Kind::Delay, {}, milliseconds); }
Step Hangup() { return Make(Step::Kind::Hangup); }
Step AcceptControl() { return Make(Step::Kind::AcceptControl); }
Step OpenData() { return Make(Step::Kind::OpenData); }
Step Passive(std::string text) { return Make(Step::Kind::Passive, std::move(text)); }
Step AcceptData() { return Make(Step::Kind::AcceptData); }
Step SendData(std::string bytes) { return Make(Step::Kind::SendData, std::move(bytes)); }
Step CloseData() { return Make(Step::Kind::CloseData); }
Step WaitForSignal() { return Make(Step::Kind::WaitForSignal); }
Step ExpectHangup() { return Make(Step::Kind::ExpectHangup); }

std::vector<Step> LogonSteps(const std::string& user, const std::string& password) {
  return {Reply("220 ready\r\n"),
          Expect("USER " + user),
          Reply("331 password\r\n"),
          Expect("PASS " + password),
          Reply("230 in\r\n"),
          Expect("CWD /"),
          Reply("250 directory changed\r\n")};
}

std::string PatternBytes(std::size_t offset, std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = offset + i;
    bytes[i] = static_cast<char>((at * 131 + at / 977) & 0xff);
  }
  return bytes;
}

ScriptServer::ScriptServer(std::vector<Step> script) : steps(std::move(script)) {
  Listen(controlListener.socket, port);
  worker = std::thread([this] { Run(); });
}

ScriptServer::~ScriptServer() { Finish(); }

void ScriptServer::Signal() {
  std::lock_guard<std::mutex> lock(mutex);
  ++signals;
  signalled.notify_all();
}

bool ScriptServer::AwaitLines(std::size_t count) {
  std::unique_lock<std::mutex> lock(mutex);
  return signalled.wait_for(lock, kSignalTimeout, [&] { return transcript.size() >= count; });
}

const std::vector<std::string>& ScriptServer::Transcript() {
  Finish();
  return transcript;
}

void ScriptServer::Finish() {
  if (finished) return;
  finished = true;
  std::uint16_t waiting = 0;
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    waiting = acceptingPort;
    signalled.notify_all();
  }
  // Wake a step blocked in accept() with a connection of our own.
  if (waiting != 0) {
    Owned wake;
    try {
      wake.socket.Create(kStreamSocket);
      wake.socket.Connect(Loopback(waiting), 10, nullptr);
    } catch (const nsSocket::CBlockingSocketException&) {
      // The step has moved on already.
    }
  }
  worker.join();
}

bool ScriptServer::AcceptOn(Owned& listener, Owned& into) {
  sockaddr_in peer{};
  sockaddr_in bound{};
  listener.socket.GetSockName(bound);
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) return false;
    acceptingPort = ntohs(bound.sin_port);
  }
  into.socket.Discard();
  const bool accepted = listener.socket.Accept(into.socket, peer);
  std::lock_guard<std::mutex> lock(mutex);
  acceptingPort = 0;
  return accepted && !stopping;
}

bool ScriptServer::ReadLine(std::string& line) {
  std::size_t end;
  while ((end = pendingInput.find('\n')) == std::string::npos) {
    char buffer[512];
    const int received =
        control.socket.Receive(buffer, static_cast<int>(sizeof buffer), kStepTimeoutSeconds);
    if (received == 0) return false;
    pendingInput.append(buffer, static_cast<std::size_t>(received));
  }
  line = pendingInput.substr(0, end);
  pendingInput.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  } else {
    line += "<LF without CR>";
  }
  return true;
}

bool ScriptServer::RunStep(const Step& step) {
  switch (step.kind) {
    case Step::Kind::Expect: {
      std::string line;
      if (!ReadLine(line)) {
        errors.push_back("connection closed while expecting \"" + step.text + "\"");
        return false;
      }
      {
        std::lock_guard<std::mutex> lock(mutex);
        transcript.push_back(line);
        signalled.notify_all();
      }
      if (line != step.text) {
        errors.push_back("expected \"" + step.text + "\", got \"" + line + "\"");
        return false;
      }
      return true;
    }
    case Step::Kind::Reply:
      control.socket.SendAll(step.text.data(), static_cast<int>(step.text.size()),
                             kStepTimeoutSeconds);
      return true;
    case Step::Kind::Delay:
      std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds));
      return true;
    case Step::Kind::Hangup:
      control.socket.Close();
      pendingInput.clear();
      return true;
    case Step::Kind::AcceptControl:
      control.socket.Discard();
      pendingInput.clear();
      if (!AcceptOn(controlListener, control)) {
        errors.push_back("no further control connection came");
        return false;
      }
      ++controlConnections;
      return true;
    case Step::Kind::OpenData:
      dataListener.socket.Discard();
      Listen(dataListener.socket, dataPort);
      return true;
    case Step::Kind::Passive: {
      std::string text = step.text;
      const std::size_t at = text.find("{port}");
      if (at != std::string::npos)
        text.replace(at, 6, std::to_string(dataPort / 256) + "," + std::to_string(dataPort % 256));
      control.socket.SendAll(text.data(), static_cast<int>(text.size()), kStepTimeoutSeconds);
      return true;
    }
    case Step::Kind::AcceptData:
      if (!AcceptOn(dataListener, data)) {
        errors.push_back("no data connection came");
        return false;
      }
      return true;
    case Step::Kind::SendData:
      data.socket.SendAll(step.text.data(), static_cast<int>(step.text.size()),
                          kStepTimeoutSeconds);
      return true;
    case Step::Kind::CloseData:
      data.socket.Close();
      return true;
    case Step::Kind::ExpectHangup: {
      // A client that keeps the connection open runs into the step time-out.
      char buffer[512];
      if (!pendingInput.empty() || control.socket.Receive(buffer, static_cast<int>(sizeof buffer),
                                                          kStepTimeoutSeconds) != 0) {
        errors.push_back("the client sent more instead of closing the connection");
        return false;
      }
      return true;
    }
    case Step::Kind::WaitForSignal: {
      std::unique_lock<std::mutex> lock(mutex);
      const int wanted = ++signalsUsed;
      if (!signalled.wait_for(lock, kSignalTimeout,
                              [&] { return signals >= wanted || stopping; }) ||
          signals < wanted) {
        errors.push_back("the test never signalled");
        return false;
      }
      return true;
    }
  }
  return false;
}

void ScriptServer::Run() {
  try {
    if (!AcceptOn(controlListener, control)) return;
    ++controlConnections;
    for (const Step& step : steps) {
      if (!RunStep(step)) return;
    }
  } catch (const nsSocket::CBlockingSocketException& e) {
    std::string text;
    for (const wchar_t c : e.Describe()) text += static_cast<char>(c);
    errors.push_back("fixture socket failure: " + text);
  }
}

}  // namespace ftptest
