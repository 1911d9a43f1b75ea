#pragma once
// A scripted FTP server on loopback for protocol tests. It plays a list of
// steps against one client (expect a command line, send reply bytes in chosen
// pieces, pause, hang up, open a passive data listener and advertise it, move
// data, wait for the test's signal) and records every line the client sent.
// A test states the reply bytes, the client lines it expects and the result.
//
// Built on the blocking socket layer, so it runs in-process in the native and
// the Windows test programs alike. Ephemeral ports on 127.0.0.1 only.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/ftp/blocking_socket.h"

namespace ftptest {

struct Step {
  enum class Kind {
    Expect,         // read one client line (CR LF removed) and compare it
    Reply,          // send these bytes on the control connection
    Delay,          // let time pass so that the next bytes arrive apart
    Hangup,         // close the control connection
    AcceptControl,  // accept the client's next control connection
    OpenData,       // listen for a data connection on 127.0.0.1
    Passive,        // send text with "{port}" replaced by the listener's "p1,p2"
    AcceptData,     // accept the client's data connection
    SendData,       // send these bytes on the data connection
    CloseData,      // close the data connection
    WaitForSignal,  // wait until the test calls Signal()
    ExpectHangup,   // the client closes the control connection, sending nothing more
  };
  Kind kind;
  std::string text;
  int milliseconds = 0;
};

Step Expect(std::string line);
Step Reply(std::string bytes);
Step Delay(int milliseconds);
Step Hangup();
Step AcceptControl();
Step OpenData();
Step Passive(std::string text);
Step AcceptData();
Step SendData(std::string bytes);
Step CloseData();
Step WaitForSignal();
Step ExpectHangup();

// The usual opening: greeting, USER, PASS, "CWD /".
std::vector<Step> LogonSteps(const std::string& user = "u", const std::string& password = "p");
// 127.0.0.1 at `port` (0: any free port).
sockaddr_in Loopback(std::uint16_t port);
// A deterministic byte pattern, so that any piece of a "file" can be rebuilt;
// ftp_peer.py fills its files with the same bytes.
std::string PatternBytes(std::size_t offset, std::size_t count);

class ScriptServer {
 public:
  // Listens at once; the first step runs after the first connection.
  explicit ScriptServer(std::vector<Step> steps);
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;
  ~ScriptServer();

  std::uint16_t Port() const { return port; }
  void Signal();
  // Waits (10 s at most) until the client has sent `count` lines.
  bool AwaitLines(std::size_t count);
  // Ends the script (a step still waiting for a connection gives up), and
  // returns the client's lines in order.
  const std::vector<std::string>& Transcript();
  // Deviations from the script: unexpected lines, connections that did not
  // come, and so on. Valid after Transcript().
  const std::vector<std::string>& Errors() const { return errors; }
  // Valid after Transcript().
  int ControlConnections() const { return controlConnections; }

 private:
  // A socket that closes when it goes out of use.
  struct Owned {
    nsSocket::CBlockingSocket socket;
    ~Owned() { socket.Discard(); }
  };

  void Run();
  bool RunStep(const Step& step);
  bool AcceptOn(Owned& listener, Owned& into);
  bool ReadLine(std::string& line);
  void Finish();

  std::vector<Step> steps;
  Owned controlListener;
  Owned control;
  Owned dataListener;
  Owned data;
  std::string pendingInput;
  std::uint16_t port = 0;
  std::uint16_t dataPort = 0;

  std::vector<std::string> transcript;
  std::vector<std::string> errors;
  int controlConnections = 0;

  std::mutex mutex;
  std::condition_variable signalled;  // a signal, a client line, or stopping
  int signals = 0;
  int signalsUsed = 0;
  bool stopping = false;
  std::uint16_t acceptingPort = 0;  // a listener the script waits on, if any
  bool finished = false;

  std::thread worker;
};

}  // namespace ftptest
