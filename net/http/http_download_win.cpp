#include <share.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/debug_output.h"
#include "base/scoped_file.h"
#include "net/http/http_download.h"
#include "net/http/http_reply.h"
#include "net/http/wininet_handle_win.h"
#include "net/http/wininet_win.h"

namespace halvora {

namespace {

constexpr DWORD kDownloadTimeoutMs = 31000;
// The largest read; a read takes less when less has arrived.
constexpr DWORD kDownloadReadMaxBytes = 64 * 1024;
constexpr size_t kFileBufferBytes = 64 * 1024;
const wchar_t kDownloadAgent[] = L"zan_http_session2";
const wchar_t kSizeQueryAgent[] = L"ZanHttpSession3";
const wchar_t kSizeQueryHeaders[] = L"User-Agent: ngx_http_get";

// Other processes may read and write the file while it grows. The stream's
// buffer gathers the reads (a few kilobytes each under Wine) into large
// writes: a write to the system costs far more than a copy.
ScopedFile OpenShared(const char* path, const char* mode) {
  ScopedFile file(_fsopen(path, mode, _SH_DENYNO));
  if (!file) {
    const std::string message = std::string("*****open file: ") + path + " failed.";
    DebugOutput(message.c_str());
    return file;
  }
  std::setvbuf(file.get(), nullptr, _IOFBF, kFileBufferBytes);
  return file;
}

std::optional<std::string> HeaderOrNothing(HINTERNET request, DWORD query, bool& failed) {
  HeaderValue value = QueryHeaderText(request, query);
  if (!value.text && value.error != ERROR_HTTP_HEADER_NOT_FOUND) failed = true;
  return value.text;
}

// Steps after the answer's status is known. Returns the download's result;
// `file` may be replaced (start over) or closed (internet error mid-transfer).
int32_t Transfer(ZanHttpSession& session, HINTERNET request, ScopedFile& file,
                 const char* localPath, int64_t offset) {
  const HeaderValue status = QueryHeaderText(request, HTTP_QUERY_STATUS_CODE);
  if (!status.text) return kDownloadFailed;
  bool headerFailed = false;
  const auto length = HeaderOrNothing(request, HTTP_QUERY_CONTENT_LENGTH, headerFailed);
  const auto range = HeaderOrNothing(request, HTTP_QUERY_CONTENT_RANGE, headerFailed);

  const DownloadPlan plan = PlanDownload(*status.text, length, range, offset, !headerFailed);
  switch (plan.action) {
    case DownloadPlan::Action::RangeEnd:
      return kDownloadNoFileOrRangeEnd;
    case DownloadPlan::Action::Reject:
      return kDownloadFailed;
    case DownloadPlan::Action::StartOver:
      file.reset();
      file = OpenShared(localPath, "wb");
      if (!file) return kDownloadNoFileOrRangeEnd;
      break;
    case DownloadPlan::Action::Transfer:
      break;
  }

  // The monitor reads the counters once it sees a new count or busy up, so
  // they come first.
  session.presentBytes.exchange(plan.offset);
  session.totalBytes.exchange(plan.total);
  session.transferCount.fetch_add(1);
  session.busy.exchange(1);

  // A synchronous read returns only when its buffer is full or the body has
  // ended, so a fixed large read would stall a slow line and a cancel behind
  // it: read what has arrived (waiting for at least one byte), up to the block.
  std::vector<char> block(kDownloadReadMaxBytes);
  for (;;) {
    DWORD available = 0;
    DWORD read = 0;
    if (!InternetQueryDataAvailable(request, &available, 0, 0) ||
        !InternetReadFile(request, block.data(),
                          std::clamp<DWORD>(available, 1, kDownloadReadMaxBytes), &read)) {
      file.reset();  // bytes written so far stay for a later resume
      return kDownloadFailed;
    }
    if (read == 0 || session.cancelRequested.load() != 0) break;
    const size_t written = std::fwrite(block.data(), 1, read, file.get());
    session.presentBytes.fetch_add(static_cast<int32_t>(written));
    if (written != read) break;  // disk full or the like: counted as short
  }
  // The stream holds the last reads until here: bytes it cannot write are
  // lost, so the download is not complete whatever the counters say.
  const bool flushed = std::fflush(file.get()) == 0;
  int32_t result = kDownloadFailed;
  if (flushed && session.presentBytes.load() == session.totalBytes.load()) result = kDownloadOk;
  if (session.cancelRequested.load() != 0) result = kDownloadCancelled;
  return result;
}

// The partial file's size, where the range starts; nothing when it cannot be
// found (a file that does not seek, say).
std::optional<int64_t> PresentSize(FILE* file) {
  if (_fseeki64(file, 0, SEEK_END) != 0) return std::nullopt;
  const int64_t size = _ftelli64(file);
  if (size < 0) return std::nullopt;
  return size;
}

// From the request to the end of the transfer. `internet` is opened here and
// left to the caller, who closes it last.
int32_t Fetch(ZanHttpSession& session, win::InternetHandle& internet, const char* url,
              ScopedFile& file, const char* localPath, int64_t offset) {
  char headers[96];
  std::snprintf(headers, sizeof headers,
                "Accept: */*\r\nRange: bytes=%u-\r\n\r\nUser-Agent: ngx_http_get",
                static_cast<unsigned>(offset));
  const std::wstring wideHeaders(headers, headers + std::strlen(headers));

  internet = OpenInternetSession(kDownloadAgent, kDownloadTimeoutMs);
  if (!internet) return kDownloadInternetOpenFailed;
  // The response closes on return, before the caller closes the session.
  win::InternetHandle request(InternetOpenUrlW(internet.Get(), UrlToWide(url, true).c_str(),
                                               wideHeaders.c_str(), DWORD(-1), kOpenUrlFlags, 1));
  if (!request) return GetLastError() != 0 ? kDownloadInternetOpenFailed : kDownloadFailed;
  return Transfer(session, request.Get(), file, localPath, offset);
}

}  // namespace

int32_t DownloadHttpFile(ZanHttpSession& session, const char* localPath, const char* url,
                         bool resume) {
  ScopedFile file = OpenShared(localPath, resume ? "a+b" : "wb");
  if (!file) return kDownloadNoFileOrRangeEnd;

  // Without the present size the range would start at 0, and a whole file
  // would be appended after the bytes already there: fail instead.
  const std::optional<int64_t> offset = resume ? PresentSize(file.get()) : int64_t{0};
  int32_t result = kDownloadFailed;
  win::InternetHandle internet;
  if (offset) result = Fetch(session, internet, url, file, localPath, *offset);
  file.reset();
  session.busy.exchange(0);
  session.cancelRequested.exchange(0);
  internet.Reset();
  return result;
}

bool QueryRemoteSize(const char* url, int32_t& size) {
  if (!url || !*url) return false;
  win::InternetHandle internet = OpenInternetSession(kSizeQueryAgent, std::nullopt);
  if (!internet) return false;
  win::InternetHandle request(InternetOpenUrlW(internet.Get(), UrlToWide(url, true).c_str(),
                                               kSizeQueryHeaders, DWORD(-1), kOpenUrlFlags, 1));
  if (!request) return false;
  DWORD status = 0;
  DWORD statusSize = sizeof status;
  if (!HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &statusSize, nullptr))
    return false;
  const auto declared =
      RemoteSizeFromAnswer(status, QueryHeaderText(request.Get(), HTTP_QUERY_CONTENT_LENGTH).text);
  if (!declared) return false;
  size = *declared;
  return true;
}

}  // namespace halvora
