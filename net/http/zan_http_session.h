#pragma once
// One server of the platform, addressed by host and port, and the service
// requests sent to it. Requests travel in the URL path (see service_url.h);
// the answer comes back as the response body, inflated when it is
// gzip-encoded. The same object carries the counters and the cancel flag of
// the HTTP download (http_download.h) that runs against it.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/http/service_url.h"

namespace halvora {

// Ceiling for a service answer, as received and as inflated: a description or
// a file size is a few kilobytes, so a server that sends more is broken or
// hostile, and the program must not exhaust its memory on it.
constexpr size_t kMaxServiceAnswerBytes = size_t{64} << 20;

class ZanHttpSession {
  // Only Create makes sessions; the key lets it use make_unique.
  struct CreateKey {
    explicit CreateKey() = default;
  };

 public:
  // `host` is converted to the active ANSI code page and cut to 255 bytes.
  static std::unique_ptr<ZanHttpSession> Create(const std::wstring& host, int32_t port);

  ZanHttpSession(CreateKey, const std::string& narrowHost, int32_t port);
  ZanHttpSession(const ZanHttpSession&) = delete;
  ZanHttpSession& operator=(const ZanHttpSession&) = delete;

  // Sends `body` (zero-terminated narrow text) with the given encoding and
  // optional target. Results: 0 with `response`/`length` set (no buffer and
  // length 0 for an empty body; an inflated body carries one zero byte after
  // `length`); -3 the text could not be encoded; -4 a gzip answer did not
  // inflate completely (or would exceed 64 MiB); -5 no status 200, no
  // response, or a raw answer beyond 64 MiB; a positive number: the platform's
  // internet error code (ERROR_INTERNET_TIMEOUT when the line stayed quiet
  // for 15 s, ERROR_INTERNET_OPERATION_CANCELLED when `stop` was raised). On
  // every result but 0 the outputs are untouched. Blocks the calling thread
  // until then; a raised `stop` ends it within 50 ms. Touches none of the
  // download fields.
  int32_t SendRequest(const char* body, BodyEncoding encoding, const char* target,
                      std::unique_ptr<char[]>& response, int32_t& length,
                      const std::atomic<int32_t>* stop = nullptr) const;
  int32_t SendSealedRequest(const char* body, std::unique_ptr<char[]>& response, int32_t& length,
                            const std::atomic<int32_t>* stop = nullptr) const;

  const std::string& BaseUrl() const { return baseUrl; }
  const char* Host() const { return host; }

  // Download state, shared with the monitor and user-interface threads; see
  // DownloadHttpFile for who writes what.
  std::atomic<int32_t> busy{0};
  std::atomic<int32_t> cancelRequested{0};

 private:
  std::string baseUrl;
  char host[256] = {};
  int32_t port = 0;

 public:
  std::atomic<int32_t> totalBytes{0};
  std::atomic<int32_t> presentBytes{0};
  // Goes up by one when a download starts, after totalBytes and presentBytes
  // were set for it and before busy is raised. A monitor that compares it
  // with the count it saw last notices a transfer that started and ended
  // between two of its samples.
  std::atomic<uint32_t> transferCount{0};

 private:
  char servicePath[32] = {};
};

}  // namespace halvora
