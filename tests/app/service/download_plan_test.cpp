// The download list by application kind, FTP logon outcome and platform
// client, and the file name rule of packages.

#include "app/service/download_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"
#include "net/http/zan_http_session.h"

namespace halvora {
namespace {

TEST(DownloadPlan, PackageSourceByKind) {
  const struct {
    int appType;
    int installTypeId;
    PackageSource source;
  } cases[] = {
      {3, 1, PackageSource::ClientProgram}, {3, 0, PackageSource::GreenSoftInfo},
      {3, 2, PackageSource::GreenSoftInfo}, {3, -1, PackageSource::GreenSoftInfo},
      {6, 0, PackageSource::ExcelInfo},     {6, 1, PackageSource::ExcelInfo},
      {8, 0, PackageSource::ClientProgram}, {8, 1, PackageSource::ClientProgram},
      {0, 1, PackageSource::None},          {2, 0, PackageSource::None},
      {7, 1, PackageSource::None},          {-3, 1, PackageSource::None},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PackageSourceFor(AppKindOf(c.appType, c.installTypeId)), c.source)
        << c.appType << "/" << c.installTypeId;
}

TEST(DownloadPlan, PackageFileNameIsTheLastSegment) {
  const struct {
    const wchar_t* path;
    const wchar_t* name;
  } cases[] = {
      {L"clients/demo/setup.zip", L"setup.zip"},
      {L"setup.zip", L"setup.zip"},
      {L"/setup.zip", L"setup.zip"},
      {L"a\\b/c\\d.zip", L"d.zip"},
      {L"http://127.0.0.1:8080/packages/x.zip", L"x.zip"},
      {L"http://127.0.0.1:8080/", L""},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(PackageFileName(c.path), c.name) << c.path;
}

// The list as "KIND remote -> local" lines; FTP items name their server too.
std::vector<std::string> Listed(const DownloadList& list) {
  std::vector<std::string> lines;
  for (const DownloadItem& d : list) {
    std::wstring line =
        (d.kind == kDownloadKindFtp ? L"FTP " : L"HTTP ") + d.remote + L" -> " + d.local;
    if (d.kind == kDownloadKindFtp)
      line += L" at " + d.ftpHost + L":" + std::to_wstring(d.ftpPort) + L" as " + d.ftpAccount +
              L"/" + d.ftpPassword;
    lines.push_back(std::string(line.begin(), line.end()));
  }
  return lines;
}

TEST(DownloadPlan, ListByKindFtpLogonAndPlatformClient) {
  const std::string client =
      "HTTP http://127.0.0.1:9/manufacturing/files/OrbantaCenter_Client.zip -> "
      "C:\\t\\a1\\OrbantaCenter_Client.zip";
  const std::string ftp =
      "FTP clients/demo/setup.zip -> C:\\t\\a1\\setup.zip at 127.0.0.7:2121 as user/pass word";
  const std::string dataServer =
      "HTTP http://data.host:8081/downloadclientprog/clients/demo/setup.zip -> "
      "C:\\t\\a1\\setup.zip";
  const std::string info = "HTTP http://srv:8080/packages/green.zip -> C:\\t\\a1\\green.zip";
  const struct {
    const char* name;
    PackageSource source;
    bool ftpLogonSucceeded;
    std::wstring infoPath;
    bool clientPresent;
    std::vector<std::string> items;
    std::wstring exeName;  // "-": unchanged
    bool accepted = true;
  } cases[] = {
      // clang-format off
      {"program by FTP, client absent", PackageSource::ClientProgram, true, L"", false,
       {ftp, client}, L"program.exe"},
      {"program by FTP, client present", PackageSource::ClientProgram, true, L"", true, {ftp},
       L"program.exe"},
      {"program from the data server", PackageSource::ClientProgram, false, L"", true,
       {dataServer}, L"program.exe"},
      {"green soft", PackageSource::GreenSoftInfo, false, L"packages/green.zip", true, {info},
       L"info.exe"},
      {"spreadsheet, client absent", PackageSource::ExcelInfo, true, L"packages/green.zip", false,
       {info, client}, L"info.exe"},
      // Without the section the path is empty: the URL ends in '/', the local path in '\\'.
      {"no section", PackageSource::GreenSoftInfo, false, L"", true,
       {"HTTP http://srv:8080/ -> C:\\t\\a1\\"}, L"info.exe"},
      {"other kind, client present", PackageSource::None, true, L"", true, {}, L"-"},
      {"other kind, client absent", PackageSource::None, true, L"", false, {client}, L"-"},
      // A package may not be a device or a stream, nor overwrite the session's own files.
      {"device name", PackageSource::GreenSoftInfo, false, L"packages/nul.zip", false, {}, L"-", false},
      {"drive or stream", PackageSource::ExcelInfo, false, L"packages/a:b.zip", true, {}, L"-", false},
      {"the icon", PackageSource::GreenSoftInfo, false, L"packages/A1.ICO", true, {}, L"-", false},
      {"the install information", PackageSource::ExcelInfo, false, L"softwareinsatll.ini", true, {},
       L"-", false},
      {"the platform client", PackageSource::ClientProgram, true, L"", true, {}, L"-", false},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto session = ZanHttpSession::Create(L"srv", 8080);
    nsFTP::CFTPClient ftpClient(std::make_unique<nsSocket::CBlockingSocket>());
    AppInfo app;
    app.appId = L"a1";
    app.dataServerAddr = L"data.host";
    app.port = 8081;
    app.exeName = L"-";
    app.packageFile = L"-";
    Prog_info program;
    program.path = c.accepted || c.source != PackageSource::ClientProgram
                       ? L"clients/demo/setup.zip"
                       : L"clients/OrbantaCenter_Client.zip";
    program.exe = L"program.exe";
    program.IP = L"127.0.0.7";
    program.port = 2121;
    program.account = L"user";
    program.password = L"pass word";
    DownloadList list;
    std::wstring clientZipPath = L"-";
    AppQueryContext context{*session, ftpClient,       L"srv",        8080,
                            L"C:\\t", c.clientPresent, app,           program,
                            list,     clientZipPath,   L"127.0.0.1:9"};
    PackageFacts facts;
    facts.ftpLogonSucceeded = c.ftpLogonSucceeded;
    facts.infoPath = c.infoPath;
    facts.infoExe = L"info.exe";

    EXPECT_EQ(AppendDownloads(context, c.source, facts), c.accepted);

    EXPECT_EQ(Listed(list), c.items);
    EXPECT_EQ(app.exeName, c.exeName);
    if (!c.accepted) continue;
    EXPECT_EQ(app.packageFile, c.source == PackageSource::None ? L"-" : list.front().local);
    EXPECT_EQ(clientZipPath, c.clientPresent ? L"-" : list.back().local);
  }
}

}  // namespace
}  // namespace halvora
