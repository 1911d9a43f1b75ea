#include <share.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "base/debug_output.h"
#include "base/scoped_file.h"
#include "net/http/http_download.h"
#include "net/http/http_reply.h"
#include "net/http/wininet_handle_win.h"
#include "net/http/wininet_win.h"

namespace halvora {

namespace {

constexpr DWORD kDownloadTimeoutMs = 31000;
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

// The facts every answer carries, read as soon as its headers are in.
void ReadFacts(HINTERNET request, int32_t& status, uint32_t& retryAfter, std::string& validator) {
  DWORD number = 0;
  DWORD size = sizeof number;
  if (HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &number, &size,
                     nullptr) &&
      number <= INT32_MAX)
    status = static_cast<int32_t>(number);
  retryAfter = RetryAfterSeconds(QueryHeaderText(request, HTTP_QUERY_RETRY_AFTER).text);
  validator = FileValidator(QueryHeaderText(request, HTTP_QUERY_ETAG).text,
                            QueryHeaderText(request, HTTP_QUERY_LAST_MODIFIED).text);
}

// Steps after the answer's headers are in. Returns the download's result;
// `file` may be replaced (start over) or closed (internet error mid-transfer).
int32_t Transfer(ZanHttpSession& session, AsyncGet& get, ScopedFile& file, const char* localPath,
                 int64_t offset) {
  HINTERNET request = get.Request();
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

  // Bytes past the announced end are the server's error and never land in
  // the file; without an announced end the counters' range is the limit.
  const int32_t end = plan.bounded ? plan.total : INT32_MAX;
  for (;;) {
    const int32_t room = end - session.presentBytes.load();
    if (room == 0) break;
    DWORD read = 0;
    const AsyncGet::End got = get.Read(static_cast<DWORD>(room), read);
    if (got == AsyncGet::End::Stopped) break;
    if (got != AsyncGet::End::Done) {
      file.reset();  // bytes written so far stay for a later resume
      return kDownloadFailed;
    }
    if (read == 0 || session.cancelRequested.load() != 0) break;
    const size_t written = std::fwrite(get.Data(), 1, read, file.get());
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

// A header value may not end the header early or start another.
bool CanTravelAsHeader(const std::string& value) {
  return value.size() <= kMaxValidatorBytes && value.find_first_of("\r\n") == std::string::npos;
}

// From the request to the end of the transfer.
int32_t Fetch(ZanHttpSession& session, const char* url, ScopedFile& file, const char* localPath,
              int64_t offset, const std::string& ifRange, HttpAnswerFacts& facts) {
  std::string headers = "Accept: */*\r\nRange: bytes=" + std::to_string(offset) + "-\r\n";
  if (!ifRange.empty()) headers += "If-Range: " + ifRange + "\r\n";
  headers += "\r\nUser-Agent: ngx_http_get";
  const std::wstring wideHeaders(headers.begin(), headers.end());

  AsyncGet get(&session.cancelRequested, kDownloadTimeoutMs);
  if (!get.OpenSession(kDownloadAgent)) return kDownloadInternetOpenFailed;
  DWORD error = 0;
  switch (get.Send(UrlToWide(url, true), wideHeaders.c_str(), kOpenUrlFlags, error)) {
    case AsyncGet::End::Done:
      break;
    case AsyncGet::End::Stopped:
      return kDownloadCancelled;
    case AsyncGet::End::TimedOut:
      return kDownloadInternetOpenFailed;
    case AsyncGet::End::Failed:
      return error != 0 ? kDownloadInternetOpenFailed : kDownloadFailed;
  }
  ReadFacts(get.Request(), facts.status, facts.retryAfterSeconds, facts.validator);
  return Transfer(session, get, file, localPath, offset);
}

}  // namespace

int32_t DownloadHttpFile(ZanHttpSession& session, const char* localPath, const char* url,
                         bool resume, const std::string& ifRange, HttpAnswerFacts& facts) {
  facts = HttpAnswerFacts{};
  const std::string condition = resume ? ifRange : std::string();
  if (!CanTravelAsHeader(condition)) return kDownloadFailed;
  ScopedFile file = OpenShared(localPath, resume ? "a+b" : "wb");
  if (!file) return kDownloadNoFileOrRangeEnd;

  // Without the present size the range would start at 0, and a whole file
  // would be appended after the bytes already there: fail instead.
  const std::optional<int64_t> offset = resume ? PresentSize(file.get()) : int64_t{0};
  int32_t result = kDownloadFailed;
  if (offset) result = Fetch(session, url, file, localPath, *offset, condition, facts);
  file.reset();
  session.busy.exchange(0);
  session.cancelRequested.exchange(0);
  return result;
}

bool QueryRemoteFile(const char* url, RemoteFileFacts& facts, const std::atomic<int32_t>* stop) {
  if (!url || !*url) return false;
  AsyncGet get(stop, kDownloadTimeoutMs);
  if (!get.OpenSession(kSizeQueryAgent)) return false;
  DWORD error = 0;
  if (get.Send(UrlToWide(url, true), kSizeQueryHeaders, kOpenUrlFlags, error) !=
      AsyncGet::End::Done)
    return false;
  int32_t status = 0;
  uint32_t retryAfter = 0;
  std::string validator;
  ReadFacts(get.Request(), status, retryAfter, validator);
  const auto declared = RemoteSizeFromAnswer(
      static_cast<uint32_t>(status), QueryHeaderText(get.Request(), HTTP_QUERY_CONTENT_LENGTH).text);
  if (!declared) return false;
  facts.size = *declared;
  facts.validator = std::move(validator);
  return true;
}

}  // namespace halvora
