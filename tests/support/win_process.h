#pragma once
// Windows test helpers for suites that start programs: a run with captured
// output, a run under the test as debugger (to read what the program writes
// to the debugger output), the windows a process shows, and waiting for a
// condition with a generous deadline.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/win/scoped_handle.h"

namespace halvora::test {

// "a" "b c" -> "a" "b c", quoted for CreateProcessW (no argument here ends
// in a backslash or holds a quote).
inline std::wstring CommandLine(const std::vector<std::wstring>& arguments) {
  std::wstring line;
  for (const std::wstring& argument : arguments) {
    if (!line.empty()) line += L' ';
    line += L'"' + argument + L'"';
  }
  return line;
}

struct ProcessOutput {
  DWORD exitCode = 0xFFFFFFFF;
  std::string out;
  std::string err;
};

// Runs a console program to its end and returns its exit code and output.
// A program still running after `limit` is ended (exit code 0xFFFFFFFF) and
// says so in `err`, so a hang fails the test with its command line instead
// of holding it until the suite's time-out.
inline ProcessOutput RunProcess(const std::vector<std::wstring>& arguments,
                                std::chrono::milliseconds limit = std::chrono::seconds(120)) {
  ProcessOutput result;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  win::KernelHandle outRead, outWrite, errRead, errWrite;
  if (!CreatePipe(outRead.Receive(), outWrite.Receive(), &inherit, 0) ||
      !CreatePipe(errRead.Receive(), errWrite.Receive(), &inherit, 0))
    return result;
  // Only the program's ends are inherited.
  SetHandleInformation(outRead.Get(), HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead.Get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite.Get();
  startup.hStdError = errWrite.Get();
  PROCESS_INFORMATION info = {};
  std::wstring line = CommandLine(arguments);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &info)) {
    result.err = "CreateProcessW failed with error " + std::to_string(GetLastError());
    return result;
  }
  win::KernelHandle process(info.hProcess), thread(info.hThread);
  outWrite.Reset();
  errWrite.Reset();

  // The pipes are emptied while the program runs, so a full pipe never
  // blocks it, and once more after its end. Their end of file is not waited
  // for: a process Wine starts on the program's behalf (its desktop or a
  // service) can inherit the program's output and keep it open.
  HANDLE pipes[] = {outRead.Get(), errRead.Get()};
  std::string* texts[] = {&result.out, &result.err};
  auto drain = [&] {
    for (int i = 0; i < 2; ++i) {
      char buffer[4096];
      DWORD available = 0, read = 0;
      while (PeekNamedPipe(pipes[i], nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ReadFile(pipes[i], buffer, std::min<DWORD>(available, sizeof(buffer)), &read,
                      nullptr) &&
             read > 0)
        texts[i]->append(buffer, read);
    }
  };
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool ended = false;
  while (!(ended = WaitForSingleObject(process.Get(), 10) == WAIT_OBJECT_0) &&
         std::chrono::steady_clock::now() < deadline)
    drain();
  if (!ended) {
    TerminateProcess(process.Get(), 0xFFFFFFFF);
    WaitForSingleObject(process.Get(), INFINITE);
  }
  drain();
  GetExitCodeProcess(process.Get(), &result.exitCode);
  if (!ended)
    result.err += "\n(ended by the test: still running after " +
                  std::to_string(limit.count() / 1000) + " s)";
  return result;
}

// Polls `condition` until it holds or `timeout` has passed. The deadline only
// bounds a failing test; a passing one returns as soon as the condition holds.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(90)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(20);
  }
  return true;
}

struct ShownWindow {
  HWND handle;
  std::wstring className;
  std::wstring title;
};

// The top-level windows of a process (visible or not).
inline std::vector<ShownWindow> WindowsOf(DWORD processId) {
  struct Search {
    DWORD processId;
    std::vector<ShownWindow> found;
  } search{processId, {}};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != s.processId) return TRUE;
        wchar_t className[256] = {};
        wchar_t title[512] = {};
        GetClassNameW(window, className, 256);
        GetWindowTextW(window, title, 512);
        s.found.push_back({window, className, title});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A program run with the test as its debugger. A thread of its own starts
// the process and answers its debug events, collecting what the program
// writes to the debugger output (OutputDebugString). The destructor ends a
// program that still runs.
class DebuggedProcess {
 public:
  explicit DebuggedProcess(std::vector<std::wstring> arguments)
      : debugger(&DebuggedProcess::Run, this, CommandLine(arguments)) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return state != State::kStarting; });
  }
  ~DebuggedProcess() {
    if (Running()) TerminateProcess(process.Get(), 1);
    debugger.join();
  }
  DebuggedProcess(const DebuggedProcess&) = delete;
  DebuggedProcess& operator=(const DebuggedProcess&) = delete;

  // Success, or the reason CreateProcessW gave.
  ::testing::AssertionResult Started() {
    std::lock_guard<std::mutex> lock(mutex);
    if (state != State::kFailed) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "CreateProcessW failed with error " << startError;
  }
  DWORD Id() const { return processId; }

  bool Running() {
    std::lock_guard<std::mutex> lock(mutex);
    return state == State::kRunning;
  }

  // Waits for the program's end (bounded, see WaitUntil); false if it runs on.
  bool WaitForExit(DWORD& exitCode, std::chrono::milliseconds timeout = std::chrono::seconds(90)) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!changed.wait_for(lock, timeout, [this] { return state != State::kRunning; })) return false;
    exitCode = exitCodeValue;
    return state == State::kExited;
  }

  std::vector<std::string> DebugStrings() {
    std::lock_guard<std::mutex> lock(mutex);
    return strings;
  }

 private:
  enum class State { kStarting, kRunning, kExited, kFailed };
  static constexpr SIZE_T kMaxStringBytes = 64 * 1024;

  void Run(std::wstring line) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    const bool created = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE,
                                        DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup, &info);
    const DWORD error = created ? 0 : GetLastError();
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (created) {
        process.Reset(info.hProcess);
        processId = info.dwProcessId;
        CloseHandle(info.hThread);
      }
      startError = error;
      state = created ? State::kRunning : State::kFailed;
    }
    changed.notify_all();
    if (!created) return;

    for (;;) {
      DEBUG_EVENT event = {};
      if (!WaitForDebugEvent(&event, INFINITE)) break;
      DWORD continueStatus = DBG_CONTINUE;
      switch (event.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
          if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
          break;
        case LOAD_DLL_DEBUG_EVENT:
          if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
          break;
        case OUTPUT_DEBUG_STRING_EVENT:
          CollectString(event.u.DebugString);
          break;
        case EXCEPTION_DEBUG_EVENT:
          // The program's own handlers deal with its exceptions; only the
          // breakpoint the loader raises for a debugger is ours.
          if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
            continueStatus = DBG_EXCEPTION_NOT_HANDLED;
          break;
        default:
          break;
      }
      if (event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT) {
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
        std::lock_guard<std::mutex> lock(mutex);
        exitCodeValue = event.u.ExitProcess.dwExitCode;
        state = State::kExited;
        break;
      }
      ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    }
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (state == State::kRunning) state = State::kExited;
    }
    changed.notify_all();
  }

  void CollectString(const OUTPUT_DEBUG_STRING_INFO& info) {
    const SIZE_T unit = info.fUnicode ? 2 : 1;
    SIZE_T bytes = SIZE_T{info.nDebugStringLength} * unit;
    if (bytes > kMaxStringBytes) bytes = kMaxStringBytes;
    std::vector<char> buffer(bytes + 2, '\0');
    SIZE_T read = 0;
    ReadProcessMemory(process.Get(), info.lpDebugStringData, buffer.data(), bytes, &read);
    std::string text;
    if (info.fUnicode) {
      const auto* wide = reinterpret_cast<const wchar_t*>(buffer.data());
      const int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
      if (length > 1) {
        text.resize(static_cast<size_t>(length - 1));
        WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), length, nullptr, nullptr);
      }
    } else {
      text.assign(buffer.data());
    }
    std::lock_guard<std::mutex> lock(mutex);
    strings.push_back(text);
  }

  std::mutex mutex;
  std::condition_variable changed;
  State state = State::kStarting;
  win::KernelHandle process;
  DWORD processId = 0;
  DWORD exitCodeValue = 0xFFFFFFFF;
  DWORD startError = 0;
  std::vector<std::string> strings;
  std::thread debugger;  // last: it starts once the fields above exist
};

}  // namespace halvora::test
