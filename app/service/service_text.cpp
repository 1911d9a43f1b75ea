#include "app/service/service_text.h"

#include <tinyxml.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/service/request_ids.h"
#include "base/text.h"
#include "base/xml_guard.h"

namespace halvora {

namespace {

// The declaration names gb2312 whatever the active code page is: the
// platform's servers read it that way.
const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"gb2312\" ?>";
const char kErrorCodeMarker[] = "<error_code>0</error_code>";
using service::kClientProgramRequestId;
using service::kDescriptionRequestId;
using service::kFileSizeRequestId;
using service::kServiceId;

std::string Format(const char* format, int requestId, const std::string& appId,
                   const char* os = nullptr) {
  // The id is the only text of unbounded length; the rest is fixed.
  std::vector<char> text(std::strlen(format) + std::strlen(kDeclaration) + appId.size() + 64);
  const int n = os ? std::snprintf(text.data(), text.size(), format, kDeclaration, kServiceId,
                                   requestId, appId.c_str(), os)
                   : std::snprintf(text.data(), text.size(), format, kDeclaration, kServiceId,
                                   requestId, appId.c_str());
  return n < 0 ? std::string() : std::string(text.data(), static_cast<size_t>(n));
}

// Parses with the library's default encoding handling; false on a parse error
// and for an answer too large or too deeply built to hand to the parser.
bool Parse(std::string_view text, TiXmlDocument& document) {
  if (!XmlWithinLimits(text, kAnswerXmlLimits)) return false;
  const std::string terminated(text);
  document.Parse(terminated.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  return !document.Error();
}

void ReadAttribute(const TiXmlElement& element, const char* name, std::wstring& field) {
  if (const char* value = element.Attribute(name)) field = AnsiToWide(value);
}

void ReadAttribute(const TiXmlElement& element, const char* name, int& field) {
  if (const char* value = element.Attribute(name)) field = DecimalValue(value);
}

// The text of a child element; null when the child or its text is missing.
const char* ChildText(const TiXmlElement& parent, const char* name) {
  const TiXmlElement* child = parent.FirstChildElement(name);
  return child ? child->GetText() : nullptr;
}

}  // namespace

std::string DescriptionRequest(const std::wstring& appId) {
  return Format(
      "%s<Request><SvcId>%d</SvcId><Type>xml</Type><Data RequestId=\"%d\">"
      "<AppItem appId=\"%s\" /></Data></Request>",
      kDescriptionRequestId, WideToAnsi(appId));
}

std::string FileSizeRequest(const std::wstring& appId) {
  return Format(
      "%s<Request><SvcId>%d</SvcId><Type>xml</Type><Data RequestId=\"%d\">"
      "<clientProgram><appId>%s</appId></clientProgram></Data></Request>",
      kFileSizeRequestId, WideToAnsi(appId));
}

std::string ClientProgramRequest(const std::wstring& appId, const char* os) {
  return Format(
      "%s<Request><SvcId>%d</SvcId><Type>xml</Type><Data RequestId=\"%d\">"
      "<clientProgram><appId>%s</appId><OS>%s</OS></clientProgram></Data></Request>",
      kClientProgramRequestId, WideToAnsi(appId), os);
}

const char* OsText(std::uint16_t nativeArchitecture) {
  constexpr std::uint16_t kArchitectureIa64 = 6;
  constexpr std::uint16_t kArchitectureAmd64 = 9;
  return nativeArchitecture == kArchitectureAmd64 || nativeArchitecture == kArchitectureIa64 ? "64"
                                                                                             : "32";
}

bool AcceptedAnswer(int32_t result, const std::unique_ptr<char[]>& response, int32_t length,
                    std::string& text) {
  if (result != 0 || length < 1 || !response) return false;
  const char* bytes = response.get();
  const void* zero = std::memchr(bytes, '\0', static_cast<size_t>(length));
  text.assign(bytes, zero ? static_cast<const char*>(zero) - bytes : length);
  return true;
}

int32_t DecimalValue(const char* text) {
  const long long value = std::strtoll(text, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

bool ReadDescription(std::string_view text, AppInfo& app, std::string& iconPath) {
  const size_t marker = text.find(kErrorCodeMarker);
  if (marker != std::string_view::npos) text.remove_prefix(marker + sizeof kErrorCodeMarker - 1);

  TiXmlDocument document;
  if (!Parse(text, document)) return false;
  const TiXmlElement* list = document.FirstChildElement();
  const TiXmlElement* item = list ? list->FirstChildElement() : nullptr;
  if (!item) return false;

  const char* icon = item->Attribute("iconPath");
  iconPath = icon ? icon : "";
  ReadAttribute(*item, "name", app.name);
  ReadAttribute(*item, "dataServerAddr", app.dataServerAddr);
  ReadAttribute(*item, "port", app.port);
  ReadAttribute(*item, "dataPath", app.dataPath);
  ReadAttribute(*item, "installTypeId", app.installTypeId);
  ReadAttribute(*item, "appType", app.appType);
  return true;
}

void ReadFileSize(std::string_view text, AppInfo& app) {
  TiXmlDocument document;
  if (!Parse(text, document)) return;
  const TiXmlElement* program = document.FirstChildElement();
  if (!program) return;
  const char* size = ChildText(*program, "fileSize");
  app.fileSize = size ? DecimalValue(size) : 0;
}

void ReadClientProgram(std::string_view text, const std::wstring& dataServerAddr,
                       Prog_info& program) {
  TiXmlDocument document;
  if (!Parse(text, document)) return;
  const TiXmlElement* element = document.FirstChildElement();
  const TiXmlElement* ftp = element ? element->FirstChildElement("ftp") : nullptr;
  if (!ftp) return;

  struct Required {
    const TiXmlElement& parent;
    const char* name;
    std::wstring* text;
    int* number;
  };
  const Required required[] = {
      {*element, "name", &program.name, nullptr},
      {*element, "version", &program.version, nullptr},
      {*element, "path", &program.path, nullptr},
      {*element, "mainProg", &program.mainProg, nullptr},
      {*ftp, "port", nullptr, &program.port},
      {*ftp, "account", &program.account, nullptr},
      {*ftp, "password", &program.password, nullptr},
  };
  for (const Required& field : required) {
    const char* value = ChildText(field.parent, field.name);
    if (!value) return;
    if (field.text) *field.text = AnsiToWide(value);
    if (field.number) *field.number = DecimalValue(value);
  }
  if (const char* exe = ChildText(*element, "exe")) program.exe = AnsiToWide(exe);
  if (const char* cad = ChildText(*element, "cad")) program.cad = AnsiToWide(cad);
  const char* ip = ChildText(*ftp, "IP");
  program.IP = ip ? AnsiToWide(ip) : dataServerAddr;
}

}  // namespace halvora
