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

constexpr DWORD kRequestTimeoutMs = 15000;
constexpr DWORD kResponseReadBytes = 1024;
const wchar_t kAgent[] = L"ZanHttpGetSession";
const wchar_t kHeaders[] = L"Accept-Encoding: gzip\r\nUser-Agent: ngx_http_get";

// Reads the answer of an opened request. Returns 0 with `body` and `gzip` set,
// or the request's failure result.
int32_t ReadAnswer(HINTERNET request, std::vector<char>& body, bool& gzip) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr) ||
      status != HTTP_STATUS_OK)
    return -5;

  char chunk[kResponseReadBytes];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request, chunk, sizeof chunk, &read)) return LastInternetError(-5);
    if (read == 0) break;
    if (body.size() + read > kMaxServiceAnswerBytes) return -5;
    body.insert(body.end(), chunk, chunk + read);
  }

  const HeaderValue encoding = QueryHeaderText(request, HTTP_QUERY_CONTENT_ENCODING);
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
                                    std::unique_ptr<char[]>& response, int32_t& length) const {
  std::string url;
  if (!BuildServiceUrl(baseUrl, body, encoding, target, url)) return -3;

  win::InternetHandle session = OpenInternetSession(kAgent, kRequestTimeoutMs);
  if (!session) return LastInternetError(-5);

  std::vector<char> answer;
  bool gzip = false;
  int32_t result;
  {
    win::InternetHandle request(InternetOpenUrlW(session.Get(),
                                                 UrlToWide(url.c_str(), false).c_str(), kHeaders,
                                                 DWORD(std::size(kHeaders) - 1), kOpenUrlFlags, 1));
    if (!request) return LastInternetError(-5);
    result = ReadAnswer(request.Get(), answer, gzip);
  }  // the response closes before the session
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
                                          int32_t& length) const {
  return SendRequest(body, BodyEncoding::Sealed, nullptr, response, length);
}

}  // namespace halvora
