#include "net/http/wininet_win.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "base/text.h"

namespace halvora {

namespace {

constexpr DWORD kWaitSliceMs = 50;

void SetTimeouts(HINTERNET session, DWORD timeoutMs) {
  const DWORD options[] = {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                           INTERNET_OPTION_DATA_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                           INTERNET_OPTION_RECEIVE_TIMEOUT};
  // A refused option leaves the platform's default, which still ends a stall.
  for (DWORD option : options)
    InternetSetOptionExW(session, option, &timeoutMs, sizeof timeoutMs, 0);
}

}  // namespace

// Shared by the waiting thread and WinINet's callback threads; the fields
// under `mutex` are written by both.
struct AsyncGet::Exchange {
  win::KernelHandle completed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  HINTERNET session = nullptr;  // set before the callback is installed
  // Handed to every read: WinINet may still hold them after the caller left.
  std::vector<char> block = std::vector<char>(kReadBlockBytes);
  INTERNET_BUFFERSA buffers{};

  std::mutex mutex;
  std::shared_ptr<Exchange> self;  // the callback's hold, dropped at the session's closing
  bool opening = false;            // an open is pending: its completion carries the request
  bool abandoned = false;          // the caller left: a request that still arrives is closed here
  HINTERNET opened = nullptr;
  DWORD_PTR result = 0;
  DWORD error = 0;
};

namespace {

void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* info, DWORD) {
  auto* exchange = reinterpret_cast<AsyncGet::Exchange*>(context);
  if (!exchange) return;
  if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
    const auto* answer = static_cast<const INTERNET_ASYNC_RESULT*>(info);
    HINTERNET orphan = nullptr;
    {
      std::lock_guard<std::mutex> lock(exchange->mutex);
      exchange->result = answer->dwResult;
      exchange->error = answer->dwError;
      if (exchange->opening) {
        exchange->opening = false;
        const auto request = reinterpret_cast<HINTERNET>(answer->dwResult);
        if (exchange->abandoned) {
          orphan = request;
        } else {
          exchange->opened = request;
        }
      }
    }
    if (orphan) InternetCloseHandle(orphan);
    SetEvent(exchange->completed.Get());
  } else if (status == INTERNET_STATUS_HANDLE_CLOSING && handle == exchange->session) {
    // The last notice of the session: the exchange may go with it.
    std::shared_ptr<AsyncGet::Exchange> last;
    std::lock_guard<std::mutex> lock(exchange->mutex);
    last = std::move(exchange->self);
  }
}

}  // namespace

AsyncGet::AsyncGet(const std::atomic<int32_t>* stop, DWORD quietMs)
    : exchange_(std::make_shared<Exchange>()), stop_(stop), quietMs_(quietMs) {}

AsyncGet::~AsyncGet() {
  HINTERNET orphan = nullptr;
  {
    std::lock_guard<std::mutex> lock(exchange_->mutex);
    exchange_->abandoned = true;
    orphan = std::exchange(exchange_->opened, nullptr);
  }
  if (orphan) InternetCloseHandle(orphan);
  request_.Reset();
  session_.Reset();
}

bool AsyncGet::OpenSession(const wchar_t* agent) {
  if (!exchange_->completed) return false;
  win::InternetHandle session(
      InternetOpenW(agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
  if (!session) return false;
  exchange_->session = session.Get();
  // Notices carry the handle's context, and none come for a context of 0.
  DWORD_PTR context = reinterpret_cast<DWORD_PTR>(exchange_.get());
  if (!InternetSetOptionW(session.Get(), INTERNET_OPTION_CONTEXT_VALUE, &context, sizeof context) ||
      InternetSetStatusCallbackW(session.Get(), OnStatus) == INTERNET_INVALID_STATUS_CALLBACK)
    return false;
  {
    std::lock_guard<std::mutex> lock(exchange_->mutex);
    exchange_->self = exchange_;
  }
  SetTimeouts(session.Get(), quietMs_);
  session_ = std::move(session);
  return true;
}

AsyncGet::End AsyncGet::Await(DWORD& error) {
  const ULONGLONG deadline = GetTickCount64() + quietMs_;
  for (;;) {
    if (stop_ && stop_->load() != 0) return End::Stopped;
    if (WaitForSingleObject(exchange_->completed.Get(), kWaitSliceMs) == WAIT_OBJECT_0) break;
    if (GetTickCount64() >= deadline) return End::TimedOut;
  }
  std::lock_guard<std::mutex> lock(exchange_->mutex);
  error = exchange_->error;
  return exchange_->result != 0 ? End::Done : End::Failed;
}

AsyncGet::End AsyncGet::Send(const std::wstring& url, const wchar_t* headers, DWORD flags,
                             DWORD& error) {
  error = 0;
  const auto context = reinterpret_cast<DWORD_PTR>(exchange_.get());
  {
    std::lock_guard<std::mutex> lock(exchange_->mutex);
    exchange_->opening = true;
  }
  HINTERNET request =
      InternetOpenUrlW(session_.Get(), url.c_str(), headers, DWORD(-1), flags, context);
  if (!request) {
    error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      std::lock_guard<std::mutex> lock(exchange_->mutex);
      exchange_->opening = false;
      return End::Failed;
    }
    const End end = Await(error);
    if (end != End::Done) return end;
    std::lock_guard<std::mutex> lock(exchange_->mutex);
    request = std::exchange(exchange_->opened, nullptr);
  } else {
    std::lock_guard<std::mutex> lock(exchange_->mutex);
    exchange_->opening = false;
  }
  request_.Reset(request);
  return request_ ? End::Done : End::Failed;
}

AsyncGet::End AsyncGet::Read(DWORD limit, DWORD& size) {
  size = 0;
  const ULONGLONG deadline = GetTickCount64() + quietMs_;
  for (;;) {
    INTERNET_BUFFERSA& buffers = exchange_->buffers;
    buffers = INTERNET_BUFFERSA{};
    buffers.dwStructSize = sizeof buffers;
    buffers.lpvBuffer = exchange_->block.data();
    buffers.dwBufferLength = std::min(limit, kReadBlockBytes);
    // The wide variant is not implemented on every Windows; this one carries no text.
    if (InternetReadFileExA(request_.Get(), &buffers, IRF_NO_WAIT,
                            reinterpret_cast<DWORD_PTR>(exchange_.get()))) {
      size = buffers.dwBufferLength;
      return End::Done;
    }
    if (GetLastError() != ERROR_IO_PENDING) return End::Failed;
    DWORD error = 0;
    const End end = Await(error);
    if (end != End::Done) return end;
    // The completion says that bytes (or the end) have arrived, not how many:
    // the count in `buffers` is left as it was, so the next call takes them.
    if (GetTickCount64() >= deadline) return End::TimedOut;
  }
}

const char* AsyncGet::Data() const { return exchange_->block.data(); }

HeaderValue QueryHeaderText(HINTERNET request, DWORD query) {
  // The headers read here (status, lengths, ranges, encodings) are short; a
  // longer value is not one the transfers could use.
  wchar_t buffer[256];
  DWORD size = sizeof buffer;
  HeaderValue value;
  if (!HttpQueryInfoW(request, query, buffer, &size, nullptr)) {
    value.error = GetLastError();
    return value;
  }
  value.text = WideToAnsi(std::wstring_view(buffer, size / sizeof(wchar_t)));
  return value;
}

int32_t LastInternetError(int32_t fallback) {
  const DWORD error = GetLastError();
  return error != 0 && error <= INT32_MAX ? static_cast<int32_t>(error) : fallback;
}

std::wstring UrlToWide(const char* url, bool slashes) {
  std::wstring wide = AnsiToWide(url ? url : "");
  if (slashes) std::replace(wide.begin(), wide.end(), L'\\', L'/');
  return wide;
}

}  // namespace halvora
