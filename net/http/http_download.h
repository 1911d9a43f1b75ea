#pragma once
// Resumable HTTP file download and remote size query.
//
// DownloadHttpFile publishes its progress in the session's counters, for a
// monitor thread: it sets presentBytes (the bytes of the local file kept) and
// totalBytes (what the file will hold when complete), then counts the
// transfer in transferCount, then raises busy; it adds each block it writes
// to presentBytes, and on return sets busy and then cancelRequested back to 0. Raising
// cancelRequested stops the transfer after the read under way; a flag raised while no download runs
// stops the next one at its first read. The local file is never removed or truncated afterwards: a
// short file is where the next resume starts.

#include <cstdint>

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

// Fetches `url` into `localPath` (both narrow text in the active ANSI code
// page; backslashes in the URL are sent as slashes). With `resume` the file
// is continued after its present bytes, else it is created or truncated.
int32_t DownloadHttpFile(ZanHttpSession& session, const char* localPath, const char* url,
                         bool resume);

// Asks for `url` and reads the size a 200 answer declares; the body is never
// read. `size` is written only when the result is true.
bool QueryRemoteSize(const char* url, int32_t& size);

}  // namespace halvora
