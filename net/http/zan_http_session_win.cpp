#include <windows.h>

#include <cstring>
#include <iterator>
#include <vector>

#include "net/http/gzip_body.h"
#include "net/http/wininet_handle_win.h"
#include "net/http/wininet_win.h"
#include "net/http/zan_http_session.h"

namespace halvora {

namespace {

constexpr DWORD kRequestTimeoutMs = 15000;  // a line quiet for this long fails the request
constexpr DWORD kResponseReadBytes = 1024;
const wchar_t kAgent[] = L"ZanHttpGetSession";
const wchar_t kHeaders[] = L"Accept-Encoding: gzip\r\nUser-Agent: ngx_http_get";

// A wait that did not end in Done, as a request's result: the platform's
// code for a stop or a quiet line, else the code WinINet gave, else -5.
int32_t EndResult(AsyncGet::End end, DWORD error) {
  switch (end) {
    case AsyncGet::End::Stopped:
      return ERROR_INTERNET_OPERATION_CANCELLED;
    case AsyncGet::End::TimedOut:
      return ERROR_INTERNET_TIMEOUT;
    case AsyncGet::End::Failed:
    case AsyncGet::End::Done:
      break;
  }
  return error != 0 ? static_cast<int32_t>(error) : -5;
}

// Reads the answer of a sent request. Returns 0 with `body` and `gzip` set,
// or the request's failure result.
int32_t ReadAnswer(AsyncGet& get, std::vector<char>& body, bool& gzip) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoW(get.Request(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                      &size, nullptr) ||
      status != HTTP_STATUS_OK)
    return -5;

  for (;;) {
    DWORD read = 0;
    const AsyncGet::End end = get.Read(kResponseReadBytes, read);
    if (end != AsyncGet::End::Done) return EndResult(end, 0);
    if (read == 0) break;
    if (body.size() + read > kMaxServiceAnswerBytes) return -5;
    body.insert(body.end(), get.Data(), get.Data() + read);
  }

  const HeaderValue encoding = QueryHeaderText(get.Request(), HTTP_QUERY_CONTENT_ENCODING);
  gzip = encoding.text && *encoding.text == "gzip";
  return 0;
}

std::unique_ptr<char[]> ToBuffer(const std::vector<char>& bytes) {
  auto buffer = std::make_unique<char[]>(bytes.size());
  std::memcpy(buffer.get(), bytes.data(), bytes.size());
  return buffer;
}

}  // namespace

int32_t ZanHttpSession::SendRequest(const char* body, BodyEncoding encoding, const char* target,
                                    std::unique_ptr<char[]>& response, int32_t& length,
                                    const std::atomic<int32_t>* stop) const {
  std::string url;
  if (!BuildServiceUrl(baseUrl, body, encoding, target, url)) return -3;

  // Asynchronous WinINet: a stop or a quiet line ends every wait, where a
  // blocking call under Wine would wait for the server for ever.
  AsyncGet get(stop, kRequestTimeoutMs);
  if (!get.OpenSession(kAgent)) return LastInternetError(-5);
  DWORD error = 0;
  const AsyncGet::End sent =
      get.Send(UrlToWide(url.c_str(), false), kHeaders, kOpenUrlFlags, error);
  if (sent != AsyncGet::End::Done) return EndResult(sent, error);
  std::vector<char> answer;
  bool gzip = false;
  const int32_t result = ReadAnswer(get, answer, gzip);
  if (result != 0) return result;

  if (!gzip) {
    length = static_cast<int32_t>(answer.size());
    response = answer.empty() ? nullptr : ToBuffer(answer);
    return 0;
  }
  std::vector<char> inflated;
  if (!InflateGzipBody(answer.data(), answer.size(), inflated, kMaxServiceAnswerBytes)) return -4;
  // The inflated buffer ends with a zero byte that the length leaves out.
  length = static_cast<int32_t>(inflated.size() - 1);
  response = ToBuffer(inflated);
  return 0;
}

int32_t ZanHttpSession::SendSealedRequest(const char* body, std::unique_ptr<char[]>& response,
                                          int32_t& length, const std::atomic<int32_t>* stop) const {
  return SendRequest(body, BodyEncoding::Sealed, nullptr, response, length, stop);
}

}  // namespace halvora
