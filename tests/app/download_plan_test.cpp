// The download list by application kind, FTP logon outcome and platform
// client, and the file name rule of packages.

#include "app/download_plan.h"

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
    EXPECT_EQ(PackageSourceFor(c.appType, c.installTypeId), c.source)
        << c.appType << "/" << c.installTypeId;
  EXPECT_STREQ(InstallInfoSection(PackageSource::GreenSoftInfo), L"GreenSoftApp");
  EXPECT_STREQ(InstallInfoSection(PackageSource::ExcelInfo), L"ExcelApp");
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

TEST(DownloadPlan, LocalPathsAndPlatformServerUrls) {
  EXPECT_EQ(AppTempFolder(L"C:\\u\\apps\\~~tmp", L"a1"), L"C:\\u\\apps\\~~tmp\\a1");
  EXPECT_EQ(IconFilePath(L"C:\\t", L"a.b"), L"C:\\t\\a.b\\a.b.ico");
  EXPECT_EQ(InstallInfoFilePath(L"C:\\t", L"a1"), L"C:\\t\\a1\\softwareInsatll.ini");
  EXPECT_EQ(InstallInfoUrl(L"srv", 80), L"http://srv:80/softwareInsatll.ini");
  EXPECT_EQ(PlatformServerUrl(L"srv", 8080, L"icons/a.ico"), L"http://srv:8080/icons/a.ico");
  EXPECT_EQ(PlatformServerUrl(L"srv", 0, L""), L"http://srv:0/");
  // A port the resource gave as a negative number is written back as such.
  EXPECT_EQ(PlatformServerUrl(L"srv", static_cast<uint32_t>(-5), L"x"), L"http://srv:-5/x");
}

struct Item {
  int32_t kind;
  std::wstring remote;
  std::wstring local;
  std::wstring ftpHost;
  int32_t ftpPort;
  std::wstring ftpAccount;
  std::wstring ftpPassword;

  bool operator==(const Item& o) const {
    return kind == o.kind && remote == o.remote && local == o.local && ftpHost == o.ftpHost &&
           ftpPort == o.ftpPort && ftpAccount == o.ftpAccount && ftpPassword == o.ftpPassword;
  }
};

void PrintTo(const Item& item, std::ostream* out) {
  *out << (item.kind == kDownloadKindFtp ? "FTP " : "HTTP ")
       << std::string(item.remote.begin(), item.remote.end()) << " -> "
       << std::string(item.local.begin(), item.local.end());
}

TEST(DownloadPlan, ListByKindFtpLogonAndPlatformClient) {
  const std::wstring folder = L"C:\\t\\a1\\";
  const Item clientZip{kDownloadKindHttp,
                       L"http://127.0.0.1:9/manufacturing/files/OrbantaCenter_Client.zip",
                       folder + L"OrbantaCenter_Client.zip",
                       L"",
                       0,
                       L"",
                       L""};
  const Item ftpItem{kDownloadKindFtp,
                     L"clients/demo/setup.zip",
                     folder + L"setup.zip",
                     L"127.0.0.7",
                     2121,
                     L"user",
                     L"pass word"};
  const Item dataServerItem{kDownloadKindHttp,
                            L"http://data.host:8081/downloadclientprog/clients/demo/setup.zip",
                            folder + L"setup.zip",
                            L"",
                            0,
                            L"",
                            L""};
  const Item infoItem{kDownloadKindHttp,
                      L"http://srv:8080/packages/green.zip",
                      folder + L"green.zip",
                      L"",
                      0,
                      L"",
                      L""};
  // An install information file without the section: empty path and exe.
  const Item noSectionItem{kDownloadKindHttp, L"http://srv:8080/", folder, L"", 0, L"", L""};

  const struct {
    const char* name;
    PackageSource source;
    bool ftpLogonSucceeded;
    std::wstring infoPath;
    bool clientPresent;
    std::vector<Item> items;
    std::wstring exeName;  // "-": unchanged
  } cases[] = {
      {"program by FTP, client absent",
       PackageSource::ClientProgram,
       true,
       L"",
       false,
       {ftpItem, clientZip},
       L"program.exe"},
      {"program by FTP, client present",
       PackageSource::ClientProgram,
       true,
       L"",
       true,
       {ftpItem},
       L"program.exe"},
      {"program from the data server",
       PackageSource::ClientProgram,
       false,
       L"",
       true,
       {dataServerItem},
       L"program.exe"},
      {"program from the data server, client absent",
       PackageSource::ClientProgram,
       false,
       L"",
       false,
       {dataServerItem, clientZip},
       L"program.exe"},
      {"green soft",
       PackageSource::GreenSoftInfo,
       false,
       L"packages/green.zip",
       true,
       {infoItem},
       L"info.exe"},
      {"spreadsheet, client absent",
       PackageSource::ExcelInfo,
       true,
       L"packages/green.zip",
       false,
       {infoItem, clientZip},
       L"info.exe"},
      {"no section", PackageSource::GreenSoftInfo, false, L"", true, {noSectionItem}, L"info.exe"},
      {"other kind, client present", PackageSource::None, true, L"", true, {}, L"-"},
      {"other kind, client absent", PackageSource::None, true, L"", false, {clientZip}, L"-"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto session = ZanHttpSession::Create(L"srv", 8080);
    nsFTP::CFTPClient ftp(std::make_unique<nsSocket::CBlockingSocket>());
    AppInfo app;
    app.appId = L"a1";
    app.dataServerAddr = L"data.host";
    app.port = 8081;
    app.exeName = L"-";
    app.packageFile = L"-";
    Prog_info program;
    program.path = L"clients/demo/setup.zip";
    program.exe = L"program.exe";
    program.IP = L"127.0.0.7";
    program.port = 2121;
    program.account = L"user";
    program.password = L"pass word";
    DownloadList list;
    std::wstring clientZipPath = L"-";
    AppQueryContext context{*session,        ftp, L"srv",  8080, L"C:\\t",
                            c.clientPresent, app, program, list, clientZipPath,
                            L"127.0.0.1:9"};
    PackageFacts facts;
    facts.ftpLogonSucceeded = c.ftpLogonSucceeded;
    facts.infoPath = c.infoPath;
    facts.infoExe = L"info.exe";

    AppendDownloads(context, c.source, facts);

    std::vector<Item> items;
    for (const DownloadItem& d : list) {
      const bool ftpItem = d.kind == kDownloadKindFtp;
      items.push_back({d.kind, d.remote, d.local, ftpItem ? d.ftpHost : L"",
                       ftpItem ? d.ftpPort : 0, ftpItem ? d.ftpAccount : L"",
                       ftpItem ? d.ftpPassword : L""});
    }
    EXPECT_EQ(items, c.items);
    EXPECT_EQ(app.exeName, c.exeName);
    const bool package = c.source != PackageSource::None;
    EXPECT_EQ(app.packageFile, package ? c.items.front().local : L"-");
    EXPECT_EQ(clientZipPath, c.clientPresent ? L"-" : clientZip.local);
  }
}

}  // namespace
}  // namespace halvora
