// The service requests as the reference server decodes them, and the reading
// of the three answers into AppInfo and Prog_info.

#include "app/service/service_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sstream>
#include <string>

#include "base/text.h"
#include "net/http/service_url.h"
#include "tools/refserver/service_request.h"

namespace halvora {
namespace {

const char kBaseUrl[] = "http://127.0.0.1:80/zan_requests/";

TEST(ServiceRequests, ReachTheServerByteForByte) {
  const struct {
    std::string text;
    BodyEncoding encoding;
    const char* target;
    const char* encodingName;
    const char* expected;
  } cases[] = {
      {DescriptionRequest(L"demo-app"), BodyEncoding::Sealed, nullptr, "sealed",
       "<?xml version=\"1.0\" encoding=\"gb2312\" ?><Request><SvcId>1</SvcId><Type>xml</Type>"
       "<Data RequestId=\"311\"><AppItem appId=\"demo-app\" /></Data></Request>"},
      {FileSizeRequest(L"demo-app"), BodyEncoding::Base64, "apps/demo-app", "base64",
       "<?xml version=\"1.0\" encoding=\"gb2312\" ?><Request><SvcId>1</SvcId><Type>xml</Type>"
       "<Data RequestId=\"-4\"><clientProgram><appId>demo-app</appId></clientProgram></Data>"
       "</Request>"},
      {ClientProgramRequest(L"demo-app", "64"), BodyEncoding::Base64, "apps/demo-app", "base64",
       "<?xml version=\"1.0\" encoding=\"gb2312\" ?><Request><SvcId>1</SvcId><Type>xml</Type>"
       "<Data RequestId=\"-1\"><clientProgram><appId>demo-app</appId><OS>64</OS>"
       "</clientProgram></Data></Request>"},
      // The id goes in unescaped, whatever it holds.
      {DescriptionRequest(L"a\"b<c"), BodyEncoding::Sealed, nullptr, "sealed",
       "<?xml version=\"1.0\" encoding=\"gb2312\" ?><Request><SvcId>1</SvcId><Type>xml</Type>"
       "<Data RequestId=\"311\"><AppItem appId=\"a\"b<c\" /></Data></Request>"},
      {ClientProgramRequest(L"", "32"), BodyEncoding::Base64, "d", "base64",
       "<?xml version=\"1.0\" encoding=\"gb2312\" ?><Request><SvcId>1</SvcId><Type>xml</Type>"
       "<Data RequestId=\"-1\"><clientProgram><appId></appId><OS>32</OS></clientProgram></Data>"
       "</Request>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(c.text, c.expected);
    std::string url;
    ASSERT_TRUE(BuildServiceUrl(kBaseUrl, c.text.c_str(), c.encoding, c.target, url));
    std::string error;
    const auto decoded = refserver::DecodeServicePath(url.substr(std::strlen(kBaseUrl)), error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(decoded->encoding, c.encodingName);
    EXPECT_EQ(decoded->text, c.expected);
    EXPECT_EQ(decoded->target.value_or(""), c.target ? c.target : "");
  }
  // A long id is not cut.
  const std::wstring longId(5000, L'x');
  EXPECT_NE(FileSizeRequest(longId).find(std::string(5000, 'x') + "</appId>"), std::string::npos);
}

TEST(ServiceRequests, OsTextFollowsTheNativeArchitecture) {
  const struct {
    std::uint16_t architecture;
    const char* os;
  } cases[] = {{9, "64"}, {6, "64"}, {0, "32"}, {5, "32"}, {12, "32"}, {0xffff, "32"}};
  for (const auto& c : cases) EXPECT_STREQ(OsText(c.architecture), c.os) << c.architecture;
}

TEST(ServiceAnswers, AcceptedWithBytesUpToLengthOrZero) {
  const struct {
    int32_t result;
    const char* bytes;  // null: no buffer
    int32_t length;
    bool accepted;
    std::string text;
  } cases[] = {
      {0, "<a/>", 4, true, "<a/>"},        {0, "<a/>tail", 4, true, "<a/>"},
      {0, "<a/>\0<b/>", 9, true, "<a/>"},  {0, "\0<b/>", 5, true, ""},
      {0, "x", 0, false, "unchanged"},     {0, nullptr, 0, false, "unchanged"},
      {-5, "<a/>", 4, false, "unchanged"}, {12029, "<a/>", 4, false, "unchanged"},
  };
  for (const auto& c : cases) {
    std::unique_ptr<char[]> response;
    if (c.bytes) {
      response = std::make_unique<char[]>(16);
      std::memcpy(response.get(), c.bytes, static_cast<size_t>(c.length));
    }
    std::string text = "unchanged";
    EXPECT_EQ(AcceptedAnswer(c.result, response, c.length, text), c.accepted) << c.text;
    EXPECT_EQ(text, c.text);
  }
}

TEST(ServiceAnswers, DecimalValues) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      // clang-format off
      {"8080", 8080}, {"  +81", 81}, {"\t-5x", -5}, {"12abc", 12}, {"abc", 0}, {"", 0},
      {"- 5", 0}, {"0x10", 0}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_EQ(DecimalValue(c.text), c.value) << c.text;
}

AppInfo Previous() {
  AppInfo app;
  app.name = L"old name";
  app.dataServerAddr = L"old.host";
  app.port = 77;
  app.dataPath = L"old/path";
  app.installTypeId = 5;
  app.appType = 4;
  app.fileSize = 99;
  return app;
}

// The fields a description fills, "name|dataServerAddr|port|dataPath|installTypeId|appType".
std::string Described(const AppInfo& app) {
  std::wostringstream out;
  out << app.name << L"|" << app.dataServerAddr << L"|" << app.port << L"|" << app.dataPath << L"|"
      << app.installTypeId << L"|" << app.appType;
  return WideToAnsi(out.str());
}

std::string Repeated(const std::string& part, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += part;
  return text;
}

TEST(ServiceAnswers, DescriptionAttributesWithMarkerAndMissingFields) {
  const std::string full =
      "<AppList><AppItem appId=\"x\" name=\"N &amp; M\" iconPath=\"icons/x.ico\" "
      "dataServerAddr=\"10.0.0.1\" port=\"8081\" dataPath=\"apps/x\" installTypeId=\"1\" "
      "appType=\"3\" /></AppList>";
  const std::string marker = "<error_code>0</error_code>";
  const char kRead[] = "N & M|10.0.0.1|8081|apps/x|1|3";
  const char kBefore[] = "old name|old.host|77|old/path|5|4";
  const struct {
    std::string text;
    bool ok;
    const char* iconPath;
    const char* fields;
  } cases[] = {
      // clang-format off
      {"<?xml version=\"1.0\" encoding=\"gb2312\" ?>\njunk <x> & " + marker + full + "trailing <junk",
       true, "icons/x.ico", kRead},
      // Without the marker the whole text is parsed.
      {full, true, "icons/x.ico", kRead},
      // Another error code: the code element comes first and holds no element.
      {"<error_code>1</error_code>" + full, false, "", kBefore},
      // Only the first marker goes; what follows it must parse.
      {marker + "<L><I name=\"first\"/></L>" + marker + full, true, "", "first|old.host|77|old/path|5|4"},
      // Text before the first element and no marker: no document.
      {"junk" + full, false, "", kBefore},
      // Missing attributes keep their fields; the icon path reads empty.
      {marker + "<L><I name=\"only\" /></L>", true, "", "only|old.host|77|old/path|5|4"},
      {"<L><!-- c --><I port=\"\" appType=\"x8\" installTypeId=\" 2\" dataPath=\"\"/></L>", true, "",
       "old name|old.host|0||2|0"},
      {marker + "<AppList/>", false, "", kBefore},
      {marker + "<AppList>text</AppList>", false, "", kBefore},
      {marker, false, "", kBefore},
      {"<L><I name=\"a\"></L>", false, "", kBefore},
      // Refused before the parser: built to exhaust its stack or its time.
      {marker + Repeated("<L>", 10000) + "<I name=\"deep\"/>" + Repeated("</L>", 10000), false, "",
       kBefore},
      {marker + "<L><I name=\"many\"" + Repeated(" a=\"\"", 60000) + "/></L>", false, "", kBefore},
      {marker + "<L><I name=\"big\"/></L>" + std::string(1 << 20, ' '), false, "", kBefore},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    AppInfo app = Previous();
    std::string iconPath = "previous";
    EXPECT_EQ(ReadDescription(c.text, app, iconPath), c.ok);
    EXPECT_EQ(iconPath, c.ok ? c.iconPath : "previous");
    EXPECT_EQ(Described(app), c.fields);
    EXPECT_EQ(app.fileSize, 99);
  }
}

TEST(ServiceAnswers, FileSize) {
  const struct {
    const char* text;
    int fileSize;
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"gb2312\" ?><clientProgram><fileSize>175</fileSize>"
       "</clientProgram>",
       175},
      {"<c><other/><fileSize> 42 bytes</fileSize></c>", 42},
      {"<c><x><fileSize>5</fileSize></x></c>", 0},
      {"<c><fileSize/></c>", 0},
      {"<c/>", 0},
      // The first element is the marker itself here: it has no fileSize.
      {"<error_code>0</error_code><c><fileSize>5</fileSize></c>", 0},
      {"<c><fileSize>5</c>", 99},
      {"no xml", 99},
  };
  for (const auto& c : cases) {
    AppInfo app = Previous();
    ReadFileSize(c.text, app);
    EXPECT_EQ(app.fileSize, c.fileSize) << c.text;
  }
}

Prog_info PreviousProgram() {
  Prog_info program;
  program.name = L"n0";
  program.version = L"v0";
  program.path = L"p0";
  program.exe = L"e0";
  program.mainProg = L"m0";
  program.cad = L"c0";
  program.IP = L"i0";
  program.port = 7;
  program.account = L"a0";
  program.password = L"w0";
  return program;
}

// "name|version|path|exe|mainProg|cad|IP|port|account|password"
std::string Program(const Prog_info& p) {
  std::wostringstream out;
  out << p.name << L"|" << p.version << L"|" << p.path << L"|" << p.exe << L"|" << p.mainProg
      << L"|" << p.cad << L"|" << p.IP << L"|" << p.port << L"|" << p.account << L"|" << p.password;
  return WideToAnsi(out.str());
}

TEST(ServiceAnswers, ClientProgramStopsAtTheFirstMissingField) {
  const std::string full =
      "<program><name>Demo</name><version>2.0</version><path>c/d/setup.zip</path>"
      "<mainProg>Type:3Value:x.lnk</mainProg><exe>setup.exe</exe><cad>k</cad>"
      "<ftp><IP>127.0.0.9</IP><port>2121</port><account>u</account><password>s p</password>"
      "</ftp></program>";
  auto without = [&](const std::string& part) {
    std::string text = full;
    text.erase(text.find(part), part.size());
    return text;
  };
  const char kNone[] = "n0|v0|p0|e0|m0|c0|i0|7|a0|w0";
  const struct {
    std::string text;
    const char* fields;
  } cases[] = {
      // clang-format off
      {full, "Demo|2.0|c/d/setup.zip|setup.exe|Type:3Value:x.lnk|k|127.0.0.9|2121|u|s p"},
      // The optional three: missing exe and cad keep their fields, a missing IP
      // becomes the data server.
      {without("<exe>setup.exe</exe><cad>k</cad>"),
       "Demo|2.0|c/d/setup.zip|e0|Type:3Value:x.lnk|c0|127.0.0.9|2121|u|s p"},
      {without("<IP>127.0.0.9</IP>"),
       "Demo|2.0|c/d/setup.zip|setup.exe|Type:3Value:x.lnk|k|data.host|2121|u|s p"},
      // A missing required field stops the reading there; the optional ones go unread.
      {without("<version>2.0</version>"), "Demo|v0|p0|e0|m0|c0|i0|7|a0|w0"},
      {without("<port>2121</port>"), "Demo|2.0|c/d/setup.zip|e0|Type:3Value:x.lnk|c0|i0|7|a0|w0"},
      {without("<password>s p</password>"),
       "Demo|2.0|c/d/setup.zip|e0|Type:3Value:x.lnk|c0|i0|2121|u|w0"},
      // An element without text counts as missing.
      {std::string(full).replace(full.find("<path>c/d/setup.zip</path>"), 26, "<path/>"),
       "Demo|2.0|p0|e0|m0|c0|i0|7|a0|w0"},
      {without("<ftp><IP>127.0.0.9</IP><port>2121</port><account>u</account><password>s p</password></ftp>"),
       kNone},
      {"<program><name>Demo</name>", kNone},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    Prog_info program = PreviousProgram();
    ReadClientProgram(c.text, L"data.host", program);
    EXPECT_EQ(Program(program), c.fields);
  }
}

}  // namespace
}  // namespace halvora
