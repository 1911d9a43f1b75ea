// QueryAppInfo under Wine against halvora-refserver serving catalog-example
// (a copy, made by with-refserver) and the scripted FTP server: the requests
// on the wire, the records it fills, the icon, and the download list of every
// application kind with and without the platform client and a usable FTP
// server.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/service/app_service.h"
#include "base/text.h"
#include "net/ftp/blocking_socket.h"
#include "net/ftp/ftp_client.h"
#include "net/http/http_download.h"
#include "net/http/zan_http_session.h"
#include "tests/ftp/script_server.h"
#include "tests/support/peer_files.h"
#include "tests/support/win_peer.h"

namespace halvora::test {
namespace {

const char kFtpUser[] = "halvora";
const char kFtpPassword[] = "s3cret pass";
// The FTP port the catalog names; each case puts its own server's port there.
const char kCatalogFtpPort[] = "<port>2121</port>";

std::string CatalogPath(const std::string& relative) {
  return WinePath(Env("HALVORA_REFSERVER_CATALOG") + "/" + relative);
}
bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// One line per request the server logged: "GET /path" for a file, and
// "ENCODING [TARGET]: TEXT" for a service request as the server decoded it.
std::vector<std::string> ServerRequests() {
  std::vector<std::string> requests;
  std::istringstream log(RefServerLog());
  std::string line;
  std::string target;
  std::string encoding;
  std::string decodedTarget;
  while (std::getline(log, line)) {
    if (line.rfind("> GET ", 0) == 0) {
      target = line.substr(6, line.rfind(' ') - 6);
      encoding.clear();
      decodedTarget.clear();
    } else if (line.rfind("= encoding: ", 0) == 0) {
      encoding = line.substr(12);
    } else if (line.rfind("= target: ", 0) == 0) {
      decodedTarget = " " + line.substr(10);
    } else if (line.rfind("= text: ", 0) == 0) {
      requests.push_back(encoding + decodedTarget + ": " + line.substr(8));
    } else if (line.rfind("< ", 0) == 0 && encoding.empty()) {
      requests.push_back("GET " + target);
    }
  }
  return requests;
}

// Replaces a catalog file (or removes it, given nothing) until the end of a case.
class CatalogEdit {
 public:
  CatalogEdit(const std::string& relative, std::optional<std::string> bytes)
      : path_(CatalogPath(relative)), old_(ReadBytes(path_)) {
    if (bytes) {
      WriteBytes(path_, *bytes);
    } else {
      DeleteFileA(path_.c_str());
    }
  }
  CatalogEdit(const CatalogEdit&) = delete;
  CatalogEdit& operator=(const CatalogEdit&) = delete;
  ~CatalogEdit() { WriteBytes(path_, old_); }

 private:
  std::string path_;
  std::string old_;
};

// The client program answer of `app` with the FTP port set to `port`.
std::string WithFtpPort(const std::string& answerFile, uint16_t port) {
  std::string text = ReadBytes(CatalogPath(answerFile));
  const size_t at = text.find(kCatalogFtpPort);
  EXPECT_NE(at, std::string::npos) << answerFile;
  if (at != std::string::npos)
    text.replace(at, sizeof kCatalogFtpPort - 1, "<port>" + std::to_string(port) + "</port>");
  return text;
}

// What a case's FTP server does with the logon.
enum class Ftp { Accepts, Refuses, Closed };

// The FTP side of a case: the scripted server, or a loopback port bound but
// not listening, so a connection is refused at once.
class FtpPeer {
 public:
  explicit FtpPeer(Ftp mode) {
    if (mode == Ftp::Closed) {
      closed_.Create(SOCK_STREAM);
      closed_.Bind(ftptest::Loopback(0));
      sockaddr_in bound{};
      closed_.GetSockName(bound);
      port_ = ntohs(bound.sin_port);
      return;
    }
    std::vector<ftptest::Step> steps = ftptest::LogonSteps(kFtpUser, kFtpPassword);
    if (mode == Ftp::Refuses) {
      steps.resize(4);
      steps.push_back(ftptest::Reply("530 not with that password\r\n"));
    }
    steps.push_back(ftptest::Expect("QUIT"));
    steps.push_back(ftptest::Reply("221 bye\r\n"));
    server_ = std::make_unique<ftptest::ScriptServer>(steps);
    port_ = server_->Port();
  }
  ~FtpPeer() { closed_.Discard(); }

  uint16_t Port() const { return port_; }
  // The client's lines; call once the client is gone.
  std::vector<std::string> Transcript() {
    return server_ ? server_->Transcript() : std::vector<std::string>();
  }

 private:
  nsSocket::CBlockingSocket closed_;
  std::unique_ptr<ftptest::ScriptServer> server_;
  uint16_t port_ = 0;
};

// The dialog's share of a QueryAppInfo run.
struct Session {
  explicit Session(const std::wstring& appId, const std::wstring& tempRoot, bool clientPresent)
      : main(ZanHttpSession::Create(L"127.0.0.1", RefServerPort())),
        ftp(std::make_unique<nsFTP::CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>())),
        // The public file host is this same server.
        context{*main,
                *ftp,
                L"127.0.0.1",
                RefServerPort(),
                tempRoot,
                clientPresent,
                appInfo,
                program,
                downloadList,
                clientZipPath,
                L"127.0.0.1:" + std::to_wstring(RefServerPort())} {
    appInfo.appId = appId;
    // Left from an earlier run: QueryAppInfo starts the list afresh.
    downloadList.push_back(DownloadItem{L"stale", L"stale", L"", 0, L"", L"", 1});
  }
  ~Session() {
    if (appInfo.icon) DestroyIcon(appInfo.icon);
  }

  std::unique_ptr<ZanHttpSession> main;
  std::unique_ptr<nsFTP::CFTPClient> ftp;
  AppInfo appInfo;
  Prog_info program;
  DownloadList downloadList;
  std::wstring clientZipPath;
  AppQueryContext context;
};

class QueryAppInfoTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(RefServerUrl().empty()) << "run through tests/http/with-refserver";
    RefServerControl("reset");
    static int counter = 0;
    tempRoot = AnsiToWide(WorkFile("tmp" + std::to_string(++counter)));
    ASSERT_TRUE(CreateDirectoryW(tempRoot.c_str(), nullptr));
  }
  void TearDown() override { RefServerControl("reset"); }

  std::wstring Folder(const std::wstring& appId) const { return tempRoot + L"\\" + appId; }

  std::wstring tempRoot;
};

// The list as "HTTP remote -> local" lines, with the server's URL and the
// application's temporary folder left out; an FTP item names its server too.
std::vector<std::string> Listed(const Session& session, const std::wstring& folder) {
  const std::string server = "http://127.0.0.1:" + std::to_string(RefServerPort()) + "/";
  std::vector<std::string> lines;
  for (const DownloadItem& item : session.downloadList) {
    std::string remote = WideToAnsi(item.remote);
    if (remote.rfind(server, 0) == 0) remote.erase(0, server.size());
    std::string local = WideToAnsi(item.local);
    if (local.rfind(WideToAnsi(folder + L"\\"), 0) == 0) local.erase(0, folder.size() + 1);
    std::string line = (item.kind == kDownloadKindFtp ? "FTP " : "HTTP ") + remote + " -> " + local;
    if (item.kind == kDownloadKindFtp)
      line += " at " + WideToAnsi(item.ftpHost) + ":" + std::to_string(item.ftpPort) + " as " +
              WideToAnsi(item.ftpAccount) + "/" + WideToAnsi(item.ftpPassword);
    lines.push_back(line);
  }
  return lines;
}

// One run that checks everything a run leaves: the requests on the wire, both
// records, the icon, the list and the FTP dialogue.
TEST_F(QueryAppInfoTest, ProgramKindEndToEnd) {
  FtpPeer ftp(Ftp::Accepts);
  const CatalogEdit port("apps/demo-program/clientprogram-64.xml",
                         WithFtpPort("apps/demo-program/clientprogram-64.xml", ftp.Port()));
  auto session = std::make_unique<Session>(L"demo-program", tempRoot, false);
  ASSERT_TRUE(QueryAppInfo(session->context));
  // The logon was only a test: the client is logged out again.
  EXPECT_FALSE(session->ftp->IsConnected());

  const std::string head =
      "<?xml version=\"1.0\" encoding=\"gb2312\" ?><Request><SvcId>1</SvcId><Type>xml</Type>";
  EXPECT_EQ(ServerRequests(),
            (std::vector<std::string>{
                "sealed: " + head +
                    "<Data RequestId=\"311\"><AppItem appId=\"demo-program\" /></Data></Request>",
                "GET /icons/demo-program.ico",
                "base64 apps/demo-program: " + head +
                    "<Data RequestId=\"-4\"><clientProgram><appId>demo-program</appId>"
                    "</clientProgram></Data></Request>",
                // Wine reports an x64 machine.
                "base64 apps/demo-program: " + head +
                    "<Data RequestId=\"-1\"><clientProgram><appId>demo-program</appId><OS>64</OS>"
                    "</clientProgram></Data></Request>",
            }));

  const AppInfo& app = session->appInfo;
  const std::wstring folder = Folder(L"demo-program");
  EXPECT_EQ(std::vector<std::wstring>({app.name, app.appId, app.dataServerAddr, app.dataPath,
                                       app.iconFile, app.packageFile, app.exeName}),
            std::vector<std::wstring>({L"Demo Program", L"demo-program", L"127.0.0.1",
                                       L"apps/demo-program", folder + L"\\demo-program.ico",
                                       folder + L"\\setup.zip", L"program-setup.exe"}));
  EXPECT_EQ(std::vector<int>({app.port, app.appType, app.installTypeId, app.fileSize}),
            std::vector<int>({RefServerPort(), 3, 1, 185}));
  EXPECT_EQ(ReadBytes(WideToAnsi(app.iconFile)),
            ReadBytes(CatalogPath("files/icons/demo-program.ico")));
  ASSERT_NE(app.icon, nullptr);
  ICONINFO info = {};
  ASSERT_TRUE(GetIconInfo(app.icon, &info));
  BITMAP bitmap = {};
  EXPECT_TRUE(GetObjectW(info.hbmColor, sizeof bitmap, &bitmap));
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  EXPECT_EQ(bitmap.bmWidth, 48);
  EXPECT_EQ(bitmap.bmHeight, 48);

  const Prog_info& program = session->program;
  EXPECT_EQ(std::vector<std::wstring>({program.name, program.version, program.path, program.exe,
                                       program.mainProg, program.cad, program.IP, program.account,
                                       program.password}),
            std::vector<std::wstring>(
                {L"Demo Program", L"2.0", L"clients/demo-program/setup.zip", L"program-setup.exe",
                 L"Type:2Value:Demo Program\\Demo Program.lnk|Type:3Value:Demo Program.lnk", L"x64",
                 L"127.0.0.1", L"halvora", L"s3cret pass"}));
  EXPECT_EQ(program.port, ftp.Port());

  const std::string at = " at 127.0.0.1:" + std::to_string(ftp.Port()) + " as halvora/s3cret pass";
  EXPECT_EQ(Listed(*session, folder),
            (std::vector<std::string>{
                "FTP clients/demo-program/setup.zip -> setup.zip" + at,
                "HTTP manufacturing/files/OrbantaCenter_Client.zip -> OrbantaCenter_Client.zip"}));
  EXPECT_EQ(session->clientZipPath, folder + L"\\OrbantaCenter_Client.zip");

  session.reset();
  EXPECT_EQ(ftp.Transcript(),
            (std::vector<std::string>{"USER halvora", "PASS s3cret pass", "CWD /", "QUIT"}));
}

TEST_F(QueryAppInfoTest, DownloadListOfEveryKind) {
  const std::string kClient =
      "HTTP manufacturing/files/OrbantaCenter_Client.zip -> OrbantaCenter_Client.zip";
  const std::string kProgramHttp =
      "HTTP downloadclientprog/clients/demo-program/setup.zip -> setup.zip";
  const std::string kIni = "files/softwareInsatll.ini";
  const struct {
    const char* name;
    std::wstring appId;
    bool clientPresent;
    Ftp ftp;
    std::string editPath;               // a catalog file changed for the case
    std::optional<std::string> editTo;  // nothing: removed
    bool ok;
    std::vector<std::string> items;  // "{ftp}": the FTP server's address and logon
    std::wstring exeName;
    int fileSize;
    bool infoFileLeft;
  } cases[] = {
      // clang-format off
      {"3 with 1: FTP refuses the logon", L"demo-program", true, Ftp::Refuses, "", {}, true,
       {kProgramHttp}, L"program-setup.exe", 185, false},
      {"3 with 1: no FTP server, no client", L"demo-program", false, Ftp::Closed, "", {}, true,
       {kProgramHttp, kClient}, L"program-setup.exe", 185, false},
      {"8: FTP at the data server's address (gzip answers)", L"demo-suite", true, Ftp::Accepts,
       "", {}, true, {"FTP demo-suite.zip -> demo-suite.zip{ftp}"}, L"suite-setup.exe", 181, false},
      {"8: no FTP server", L"demo-suite", true, Ftp::Closed, "", {}, true,
       {"HTTP downloadclientprog/demo-suite.zip -> demo-suite.zip"}, L"suite-setup.exe", 181, false},
      {"3 with 2 (gzip answers), no client", L"demo-app", false, Ftp::Closed, "", {}, true,
       {"HTTP packages/demo-app.zip -> demo-app.zip", kClient}, L"setup.exe", 175, false},
      {"3 with 2: install information without its section", L"demo-app", true, Ftp::Closed, kIni,
       "[ExcelApp]\npath=packages/demo-sheet.zip\nexe=sheet-setup.exe\n", true, {"HTTP  -> "},
       L"", 175, false},
      {"6 keeps its install information", L"demo-sheet", true, Ftp::Closed, "", {}, true,
       {"HTTP packages/demo-sheet.zip -> demo-sheet.zip"}, L"sheet-setup.exe", 187, true},
      {"6: no install information on the server", L"demo-sheet", true, Ftp::Closed, kIni,
       std::nullopt, false, {}, L"", 0, false},
      {"other kind, client present", L"demo-viewer", true, Ftp::Closed, "", {}, true, {}, L"", 0,
       false},
      {"other kind, no client, no icon", L"demo-viewer", false, Ftp::Closed,
       "files/icons/demo-viewer.ico", std::nullopt, true, {kClient}, L"", 0, false},
      {"unknown application", L"no-such-app", false, Ftp::Closed, "", {}, false, {}, L"", 0, false},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RefServerControl("reset");
    FtpPeer ftp(c.ftp);
    const std::string answer = c.appId == L"demo-suite" ? "apps/demo-suite/clientprogram.xml"
                                                        : "apps/demo-program/clientprogram-64.xml";
    const CatalogEdit port(answer, WithFtpPort(answer, ftp.Port()));
    std::optional<CatalogEdit> edit;
    if (!c.editPath.empty()) edit.emplace(c.editPath, c.editTo);

    auto session = std::make_unique<Session>(c.appId, tempRoot, c.clientPresent);
    EXPECT_EQ(QueryAppInfo(session->context), c.ok);
    EXPECT_FALSE(c.ftp == Ftp::Accepts && session->ftp->IsConnected());
    const std::wstring folder = Folder(c.appId);
    std::vector<std::string> expected = c.items;
    for (std::string& item : expected) {
      const size_t at = item.find("{ftp}");
      if (at != std::string::npos)
        item.replace(at, 5,
                     " at 127.0.0.1:" + std::to_string(ftp.Port()) + " as halvora/s3cret pass");
    }
    EXPECT_EQ(Listed(*session, folder), expected);
    // The catalog serves every file the list names.
    for (const DownloadItem& item : session->downloadList) {
      RemoteFileFacts facts;
      const bool file = item.kind == kDownloadKindHttp && item.remote.back() != L'/';
      EXPECT_TRUE(!file || QueryRemoteFile(WideToAnsi(item.remote).c_str(), facts)) << item.remote;
    }
    if (c.ok) {
      EXPECT_EQ(session->appInfo.exeName, c.exeName);
      EXPECT_EQ(session->appInfo.fileSize, c.fileSize);
      EXPECT_EQ(session->clientZipPath,
                c.clientPresent ? L"" : folder + L"\\OrbantaCenter_Client.zip");
      EXPECT_EQ(Exists(session->appInfo.iconFile), session->appInfo.icon != nullptr);
    }
    EXPECT_EQ(Exists(folder + L"\\softwareInsatll.ini"), c.infoFileLeft);

    session.reset();
    std::vector<std::string> dialogue;
    if (c.ftp == Ftp::Accepts) dialogue = {"USER halvora", "PASS s3cret pass", "CWD /", "QUIT"};
    if (c.ftp == Ftp::Refuses) dialogue = {"USER halvora", "PASS s3cret pass", "QUIT"};
    EXPECT_EQ(ftp.Transcript(), dialogue);
  }
}

}  // namespace
}  // namespace halvora::test
