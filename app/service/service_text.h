#pragma once
// The texts of the three service requests and the reading of their answers
// into AppInfo and Prog_info. Portable: no network here, only text.
//
// Every value read from an answer is narrow text in the active ANSI code page
// and is converted to UTF-16. A field whose attribute or element is missing
// keeps what it held before.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/app_info.h"

namespace halvora {

// The request texts, with the application id converted to the active ANSI
// code page and inserted as it is (ids are plain ASCII, see the stamping
// tool). `os` is "64" or "32".
std::string DescriptionRequest(const std::wstring& appId);
std::string FileSizeRequest(const std::wstring& appId);
std::string ClientProgramRequest(const std::wstring& appId, const char* os);

// "64" for an x64 (9) or Itanium (6) native processor architecture, else "32".
const char* OsText(std::uint16_t nativeArchitecture);

// A service answer is accepted when the request returned 0 and at least one
// byte: its text is the bytes up to `length` or the first zero byte. Returns
// false for any other answer.
bool AcceptedAnswer(int32_t result, const std::unique_ptr<char[]>& response, int32_t length,
                    std::string& text);

// Leading blanks and a sign, then digits up to the first non-digit; 0 when
// there are none. Values beyond the 32-bit range are clamped to it.
int32_t DecimalValue(const char* text);

// The description: drops everything up to and including the first
// "<error_code>0</error_code>", parses the rest and reads the attributes of
// the application element (the first element inside the first element) into
// `app`, and its "iconPath" into `iconPath` (empty when missing). False, with
// `app` untouched, when the text does not parse or lacks either element.
bool ReadDescription(std::string_view text, AppInfo& app, std::string& iconPath);

// The file-size answer: `fileSize` becomes the number in the first element's
// child "fileSize" (0 when the child or its text is missing). An answer that
// does not parse or holds no element leaves `app` untouched.
void ReadFileSize(std::string_view text, AppInfo& app);

// The client-program answer: name, version, path, mainProg, then port,
// account and password of the child "ftp", stopping at the first that is
// missing (an element without text counts as missing). When all seven were
// read: exe and cad if present, and IP, which is `dataServerAddr` when missing.
void ReadClientProgram(std::string_view text, const std::wstring& dataServerAddr,
                       Prog_info& program);

}  // namespace halvora
