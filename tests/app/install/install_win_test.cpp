// The installation step under Wine with the fake setups of tests/fixtures:
// packages zipped here, installed into the real user folders of the prefix,
// checked, and removed again.
#include <windows.h>

#include <shlobj.h>
#include <zip.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/install/install_win.h"
#include "base/text.h"
#include "env/platform_client.h"
#include "tests/fixtures/fake_setup.h"
#include "tests/support/peer_files.h"

namespace {

namespace fs = std::filesystem;
using halvora::test::Env;
using halvora::test::WinePath;

const fs::path kFixtures = WinePath(HALVORA_FIXTURE_DIR);
const wchar_t kProgramLocations[] =
    L"Type:1pf32:HKEY_CURRENT_USER\\Software\\Halvora Sample Program,Path "
    L"pf64:HKEY_CURRENT_USER\\Software\\Halvora Sample Program,Path"
    L"|Type:2Value:\\Halvora Sample\\Sample Program.lnk";

fs::path SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

// Zips files from disk: {name in the archive, file}.
void WritePackage(const fs::path& zipPath,
                  const std::vector<std::pair<std::string, fs::path>>& files) {
  zipFile zip = zipOpen(halvora::WideToAnsi(zipPath.wstring()).c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(zip, nullptr) << zipPath;
  for (const auto& [name, source] : files) {
    const std::string data = halvora::test::ReadBytes(halvora::WideToAnsi(source.wstring()));
    ASSERT_FALSE(data.empty()) << source;
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                  Z_DEFLATED, Z_DEFAULT_COMPRESSION),
              ZIP_OK);
    ASSERT_EQ(zipWriteInFileInZip(zip, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
    ASSERT_EQ(zipCloseFileInZip(zip), ZIP_OK);
  }
  ASSERT_EQ(zipClose(zip, nullptr), ZIP_OK);
}

std::vector<std::string> Lines(const fs::path& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());  // the client setup runs alongside
  return lines;
}

void RemoveProgramAndClient() {
  std::error_code error;
  const fs::path appData = GetUserAppDataFolder();
  fs::remove_all(appData / kProgramFolder, error);
  fs::remove_all(appData / kClientFolder, error);
  fs::remove_all(SpecialFolder(CSIDL_PROGRAMS) / L"Halvora Sample", error);
  fs::remove_all(SpecialFolder(CSIDL_PROGRAMS) / L"Orbanta", error);
  RegDeleteTreeW(HKEY_CURRENT_USER, kProgramKey);
}

TEST(DeleteTree, RemovesLinksButNotWhatTheyPointAtAndStopsAtReadOnlyFiles) {
  const fs::path root = fs::path(WinePath(Env("HALVORA_LINK_ROOT")));
  const fs::path tree = root / "tree";
  ASSERT_TRUE(GetFileAttributesW((tree / "link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
  fs::create_directories(tree / "sub" / "deep");
  fs::create_directories(tree / "locked");
  for (const fs::path& file : {tree / "a.txt", tree / "sub" / "b.txt", tree / "sub" / "deep" / "c",
                               tree / "locked" / "read-only.txt"}) {
    std::ofstream(file) << "x";
  }
  ASSERT_TRUE(
      SetFileAttributesW((tree / "locked" / "read-only.txt").c_str(), FILE_ATTRIBUTE_READONLY));

  EXPECT_TRUE(DeleteTree(tree.wstring()));
  EXPECT_TRUE(fs::exists(root / "outside" / "keep.txt"));
  EXPECT_TRUE(fs::exists(tree / "locked" / "read-only.txt"));
  for (const fs::path& gone : {tree / "a.txt", tree / "sub"}) {
    EXPECT_FALSE(fs::exists(gone)) << gone;
  }

  SetFileAttributesW((tree / "locked" / "read-only.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteTree((tree / "locked").wstring()));
  EXPECT_FALSE(fs::exists(tree / "locked"));
  EXPECT_FALSE(DeleteTree((tree / "locked").wstring()));
}

TEST(RunProgram, StartsTheProgramWithItsArgumentsAndGivesItsProcess) {
  const fs::path work = fs::path(WinePath(Env("HALVORA_LINK_ROOT"))) / "run";
  fs::create_directories(work);
  const fs::path log = work / "journal.txt";
  SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", log.c_str());
  const struct {
    fs::path program;
    std::wstring arguments;
    bool started;
    DWORD exitCode;
  } cases[] = {
      // The quoted words arrive whole, blanks included.
      {kFixtures / "fake-portable-setup.exe", L"\"-appid\" \"id with blanks\" -x", true, 2},
      {kFixtures / "fake-client-setup.exe", L"-silent -x", true, 2},
      {kFixtures / "missing-setup.exe", L"", false, 0},
      {fs::path(), L"", false, 0},
      {work, L"", false, 0},  // a folder: no window opens for it
  };
  for (const auto& c : cases) {
    const halvora::win::KernelHandle process = RunProgram(c.program.wstring(), c.arguments);
    ASSERT_EQ(static_cast<bool>(process), c.started) << c.program;
    if (!process) continue;
    ASSERT_EQ(WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    EXPECT_EQ(exitCode, c.exitCode) << c.program;
  }
  SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", nullptr);
  EXPECT_EQ(Lines(log),
            (std::vector<std::string>{"client|-silent|-x", "portable|-appid|id with blanks|-x"}));
}

class InstallPackageTest : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring tag = L"halvora-install-" + std::to_wstring(GetCurrentProcessId());
    appsRoot = GetUserAppDataFolder() + L"\\apps\\";
    tempRoot = appsRoot + L"~~tmp";
    work = fs::path(WinePath(Env("HALVORA_LINK_ROOT"))) / "install";
    fs::create_directories(work);
    SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", (work / "journal.txt").c_str());
    RemoveProgramAndClient();
  }
  void TearDown() override {
    SetEnvironmentVariableW(L"HALVORA_FIXTURE_LOG", nullptr);
    RemoveProgramAndClient();
    std::error_code error;
    for (const std::wstring& id : ids) {
      fs::remove_all(appsRoot + id, error);
      fs::remove_all(tempRoot + L"\\" + id, error);
    }
  }

  std::wstring appsRoot, tempRoot;
  fs::path work;
  std::vector<std::wstring> ids;
};

TEST_F(InstallPackageTest, EachKindRunsItsSetupAndOnlyAVerifiedInstallCleansUp) {
  const fs::path portable = kFixtures / "fake-portable-setup.exe";
  const fs::path sample = kFixtures / "sample-app.exe";
  const struct {
    const char* what;
    int appType, installTypeId;
    const wchar_t* package;                               // below the temporary folder
    std::vector<std::pair<std::string, fs::path>> files;  // a zip's entries
    bool clientPresent;
    std::vector<std::string> journal;  // {id} stands for the application id
    bool installed;
    const wchar_t* exeName = L"setup.exe";
  } cases[] = {
      {"portable, upper-case ZIP, platform client missing",
       3,
       3,
       L"PKG.ZIP",
       {{"setup.exe", portable}, {"SampleApp.exe", sample}},
       false,
       {"client|-silent", "portable|-appid|{id}"},
       true},
      {"viewer",
       6,
       0,
       L"viewer.zip",
       {{"setup.exe", kFixtures / "fake-viewer-setup.exe"}, {"SampleApp.exe", sample}},
       true,
       {"viewer|-appid|{id}"},
       true},
      {"setup-installed program: no arguments",
       3,
       1,
       L"program.zip",
       {{"setup.exe", kFixtures / "fake-program-setup.exe"}, {"SampleApp.exe", sample}},
       true,
       {"program"},
       true},
      {"a setup program as the package, for a kind never found present",
       8,
       1,
       L"setup.exe",
       {},
       true,
       {"portable|-appid|{id}"},
       false},
      {"a package of another form", 3, 3, L"pkg.7z", {}, true, {}, false},
      {"a zip without the program",
       3,
       3,
       L"short.zip",
       {{"SampleApp.exe", sample}},
       true,
       {},
       false},
      // A setup program beside the package, outside it, stays unstarted.
      {"a program name that climbs out of the package",
       3,
       3,
       L"climb.zip",
       {{"setup.exe", portable}, {"SampleApp.exe", sample}},
       true,
       {},
       false,
       L"..\\setup.exe"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::wstring id =
        L"install-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++n);
    ids.push_back(id);
    const fs::path temp = tempRoot + L"\\" + id;
    fs::create_directories(temp);
    const fs::path package = temp / c.package;
    if (!c.files.empty()) {
      WritePackage(package, c.files);
    } else {
      fs::copy_file(portable, package);
    }
    const fs::path clientZip = temp / "OrbantaCenter_Client.zip";
    if (!c.clientPresent) {
      WritePackage(clientZip, {{"OrbantaCenter_Client.exe", kFixtures / "fake-client-setup.exe"},
                               {"SampleApp.exe", sample}});
    }
    fs::remove(work / "journal.txt");

    AppInfo app;
    app.appId = id;
    app.appType = c.appType;
    app.installTypeId = c.installTypeId;
    app.packageFile = package.wstring();
    app.exeName = c.exeName;
    Prog_info program;
    program.mainProg = kProgramLocations;
    int hidden = 0, recorded = 0;
    const InstallContext context{app,
                                 program,
                                 appsRoot,
                                 tempRoot,
                                 c.clientPresent,
                                 clientZip.wstring(),
                                 [&] { ++hidden; },
                                 [&](const AppInfo& record) {
                                   EXPECT_EQ(record.appId, id);
                                   ++recorded;
                                 }};
    if (std::wstring(c.exeName) != L"setup.exe") fs::copy_file(portable, temp / "setup.exe");
    EXPECT_EQ(InstallPackage(context),
              c.installed ? InstallOutcome::kInstalled : InstallOutcome::kNotPresent)
        << c.what;

    std::vector<std::string> journal;
    for (std::string line : c.journal) {
      const std::size_t at = line.find("{id}");
      if (at != std::string::npos) line.replace(at, 4, halvora::WideToAnsi(id));
      journal.push_back(line);
    }
    EXPECT_EQ(Lines(work / "journal.txt"), journal) << c.what;
    EXPECT_EQ(hidden, 1) << c.what;
    EXPECT_EQ(recorded, c.installed ? 1 : 0) << c.what;
    EXPECT_EQ(fs::exists(temp), !c.installed) << c.what;
    if (!c.clientPresent) {
      EXPECT_TRUE(IsPlatformClientInstalled()) << c.what;
    }
    RemoveProgramAndClient();
  }
}

}  // namespace
