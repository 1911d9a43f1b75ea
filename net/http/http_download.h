#pragma once
// Resumable HTTP file download and remote size query.
//
// DownloadHttpFile publishes its progress in the session's counters, for a
// monitor thread: it sets presentBytes (the bytes of the local file kept) and
// totalBytes (what the file will hold when complete), then counts the
// transfer in transferCount, then raises busy; it adds each block it writes
// to presentBytes, and on return sets busy and then cancelRequested back to 0. Raising
// cancelRequested ends the download within a fraction of a second whatever the
// server does (connecting, holding its headers or its body); the bytes of a
// read that meets the flag are not written. A flag raised while no download runs stops the next
// one at its first wait or read. The local file is never removed or truncated afterwards: a
// short file is where the next resume starts. A line quiet for 31 seconds fails the download.
//
// No byte past the length an answer announced is written; a body without a
// length stops at INT32_MAX bytes in the file (what the counters hold) and fails.

#include <atomic>
#include <cstdint>
#include <string>

#include "net/http/zan_http_session.h"

namespace halvora {

// Results of DownloadHttpFile.
enum : int32_t {
  kDownloadOk = 0,
  kDownloadFailed = -1,     // no response, bad status or headers, error or short body
  kDownloadCancelled = -2,  // cancelRequested was raised
  // The local file could not be opened, or the server answered 416 (the
  // range starts at or after the end: nothing left to fetch).
  kDownloadNoFileOrRangeEnd = -3,
  // The internet session or the URL could not be opened (an internet error
  // before any answer).
  kDownloadInternetOpenFailed = -4,
};

// What an answer told beside its body, for the caller's next step.
struct HttpAnswerFacts {
  int32_t status = 0;              // 0 when no answer came
  uint32_t retryAfterSeconds = 0;  // a numeric Retry-After, at most kMaxRetryAfterSeconds
  std::string validator;           // see FileValidator (http_reply.h)
};

// Fetches `url` into `localPath` (both narrow text in the active ANSI code
// page; backslashes in the URL are sent as slashes). With `resume` the file
// is continued after its present bytes, else it is created or truncated. A
// resume with a non-empty `ifRange` asks for the range only if the file is
// still that version: a changed file comes whole (200) and starts the local
// file over. An `ifRange` that cannot travel as a header value (line breaks,
// longer than kMaxValidatorBytes) fails the download before any request.
// `facts` is reset, then filled from the answer.
int32_t DownloadHttpFile(ZanHttpSession& session, const char* localPath, const char* url,
                         bool resume, const std::string& ifRange, HttpAnswerFacts& facts);

constexpr size_t kMaxValidatorBytes = 255;

struct RemoteFileFacts {
  uint32_t size = 0;
  std::string validator;
};

// Asks for `url` and reads the size a 200 answer declares, and its validator;
// the body is never read. Uses the download's time-outs; a raised `*stop`
// (null: none) ends it at once, false. `facts` is written only when the
// result is true.
bool QueryRemoteFile(const char* url, RemoteFileFacts& facts,
                     const std::atomic<int32_t>* stop = nullptr);

}  // namespace halvora
