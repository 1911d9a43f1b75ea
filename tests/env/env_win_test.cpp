// The environment checks under Wine against the real registry, real shortcut
// files in the real special folders, and real application folders. Every key,
// shortcut and folder a test makes carries the process id and is removed.
#include <shlobj.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/app_info.h"
#include "base/win/scoped_com_init.h"
#include "base/win/scoped_handle.h"
#include "app/install/app_presence.h"
#include "env/platform_client.h"
#include "env/program_location.h"

namespace {

namespace fs = std::filesystem;
using halvora::win::ComPtr;

fs::path SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  EXPECT_TRUE(SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE)) << csidl;
  return path;
}

void MakeFile(const fs::path& path) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "x";
  ASSERT_TRUE(fs::exists(path)) << path;
}

// Writes a shortcut with IShellLinkW: to a path, or (target empty) to the
// "Computer" shell item, which has no file-system path.
void MakeShortcut(const fs::path& shortcut, const fs::path& target) {
  fs::create_directories(shortcut.parent_path());
  halvora::win::ScopedComInit com;
  ComPtr<IShellLinkW> link;
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             reinterpret_cast<void**>(link.Receive())),
            S_OK);
  if (target.empty()) {
    PIDLIST_ABSOLUTE computer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    ASSERT_EQ(link.Get()->SetIDList(computer), S_OK);
    CoTaskMemFree(computer);
  } else {
    ASSERT_EQ(link.Get()->SetPath(target.c_str()), S_OK);
  }
  ComPtr<IPersistFile> file;
  ASSERT_EQ(link.Get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive())),
            S_OK);
  ASSERT_EQ(file.Get()->Save(shortcut.c_str(), TRUE), S_OK);
}

// Removes a folder and everything below it with the wide Win32 calls. Wine's
// C runtime stats wide paths through the ANSI code page, so std::filesystem's
// remove_all can spin on a name that code page cannot hold (the platform
// client's Start-menu folder, left by another suite, under code page 936).
void RemoveTree(const fs::path& folder) {
  WIN32_FIND_DATAW found;
  const halvora::win::FindHandle find(FindFirstFileW((folder / L"*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const fs::path entry = folder / name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(entry);
      } else {
        SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(entry.c_str());
      }
    } while (FindNextFileW(find.Get(), &found));
  }
  RemoveDirectoryW(folder.c_str());
}

std::wstring LongPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH] = {};
  const DWORD length = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer) : path;
}

class EnvTest : public testing::Test {
 protected:
  void SetUp() override {
    tag = L"HalvoraEnvTest-" + std::to_wstring(GetCurrentProcessId());
    root = SpecialFolder(CSIDL_LOCAL_APPDATA) / tag / L"Long Folder Name";
    keyPath = L"Software\\" + tag;
    CleanUp();
    ASSERT_TRUE(fs::create_directories(root));
    program = root / L"Application Program.exe";
    MakeFile(program);
  }
  void TearDown() override { CleanUp(); }

  void CleanUp() {
    RemoveTree(root.parent_path());
    for (int csidl : {CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY,
                      CSIDL_DESKTOPDIRECTORY}) {
      RemoveTree(SpecialFolder(csidl) / tag);
      RemoveTree(SpecialFolder(csidl) / L"Orbanta");
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, keyPath.c_str());
  }

  // Writes REG_SZ data (the terminating NUL included) below the test's key.
  void SetRegistryString(const std::wstring& valueName, const std::wstring& data) {
    halvora::win::RegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.Receive(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.Get(), valueName.c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(data.c_str()),
                             static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }

  std::wstring RegistrySpec(const std::wstring& valueName,
                            const wchar_t* root = L"HKEY_CURRENT_USER") {
    return L"Type:1pf64:" + std::wstring(root) + L"\\" + keyPath + L"," + valueName;
  }

  std::wstring tag;
  fs::path root;
  fs::path program;
  std::wstring keyPath;
};

TEST_F(EnvTest, RegistrySpecsFindTheProgramPath) {
  const std::wstring path = program.wstring();
  std::wstring questionMark = path;
  questionMark[1] = L'?';
  SetRegistryString(L"Quoted", L"\"" + path + L"\",0");
  SetRegistryString(L"Question", questionMark);
  SetRegistryString(L"Folder", root.wstring());
  SetRegistryString(L"Missing", (root / L"gone.exe").wstring());
  SetRegistryString(L"", path);                                   // the key's default value
  SetRegistryString(L"default", (root / L"gone.exe").wstring());  // a value named so
  SetRegistryString(L"Empty", L"");
  const struct {
    std::wstring spec;
    bool found;
  } cases[] = {
      {RegistrySpec(L"Quoted"), true},
      {RegistrySpec(L"Question"), true},
      {RegistrySpec(L"Folder"), true},  // a folder counts as present
      {RegistrySpec(L"Missing"), false},
      {RegistrySpec(L"Absent"), false},
      {RegistrySpec(L"Empty"), false},
      {RegistrySpec(L"Default"), true},
      {RegistrySpec(L"\u9ed8\u8ba4"), true},  // 默认
      {RegistrySpec(L"default"), false},
      {RegistrySpec(L"Quoted", L"hkey_current_user"), false},
      {RegistrySpec(L"Quoted", L"HKEY_CLASSES_ROOT"), false},
      {L"Type:12pf64:HKEY_CURRENT_USER\\" + keyPath + L",Quoted", true},
      {L"Type:1pf32:HKEY_CURRENT_USER\\" + keyPath + L",Quoted", false},  // no 64-bit section
      {L"Type:1pf32:HKEY_CURRENT_USER\\" + keyPath + L",Missing;" +
           RegistrySpec(L"Quoted").substr(6),
       true},
      {L"Type:4pf64:HKEY_CURRENT_USER\\" + keyPath + L",Quoted", false},
      {L"pf64:HKEY_CURRENT_USER\\" + keyPath + L",Quoted", false},
  };
  for (const auto& c : cases) {
    std::wstring found = L"untouched";
    EXPECT_EQ(ResolveLocationSpec(c.spec, found), c.found) << c.spec;
    if (c.found) {
      EXPECT_TRUE(found == path || found == root.wstring()) << c.spec << L" -> " << found;
    } else {
      EXPECT_EQ(found, L"untouched") << c.spec;
    }
  }
}

TEST_F(EnvTest, RegistryDataMustFitIn520Bytes) {
  SetRegistryString(L"Fits", std::wstring(259, L'f'));  // 259 units and the NUL: 520 bytes
  SetRegistryString(L"TooLong", std::wstring(260, L't'));
  EXPECT_EQ(ReadRegistryString(L"HKEY_CURRENT_USER", keyPath, L"Fits"), std::wstring(259, L'f'));
  EXPECT_EQ(ReadRegistryString(L"HKEY_CURRENT_USER", keyPath, L"TooLong"), L"");
  EXPECT_EQ(ReadRegistryString(L"HKEY_CURRENT_USER", keyPath + L"\\Nope", L"Fits"), L"");
  EXPECT_EQ(ReadRegistryString(L"HKCU", keyPath, L"Fits"), L"");
}

TEST_F(EnvTest, AnX64BuildIsNeverWow64) { EXPECT_FALSE(IsWow64()); }

TEST_F(EnvTest, StartMenuAndDesktopShortcutSpecs) {
  const std::wstring relative = L"\\" + tag + L"\\App.lnk";
  const fs::path commonPrograms = SpecialFolder(CSIDL_COMMON_PROGRAMS) / tag / L"App.lnk";
  const fs::path userPrograms = SpecialFolder(CSIDL_PROGRAMS) / tag / L"App.lnk";
  const fs::path commonDesktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) / tag / L"App.lnk";
  const std::wstring startMenuSpec = L"Type:2Value:" + relative;
  const std::wstring desktopSpec = L"Type:3Value:" + relative;
  std::wstring found;

  EXPECT_FALSE(ResolveLocationSpec(startMenuSpec, found));

  // Only in the user's folder: found. The target is asked for in short form,
  // which Wine does not give; Windows does.
  MakeShortcut(userPrograms, program);
  ASSERT_TRUE(ResolveLocationSpec(startMenuSpec, found));
  EXPECT_EQ(LongPath(found), program.wstring());
  std::wstring target;
  ResolveShortcut(userPrograms.wstring(), target);
  EXPECT_EQ(target, found);

  // A broken all-users shortcut under the same name hides the user's one.
  const fs::path doomed = root / L"Removed Program.exe";
  MakeFile(doomed);
  MakeShortcut(commonPrograms, doomed);
  fs::remove(doomed);
  EXPECT_FALSE(ResolveLocationSpec(startMenuSpec, found));
  EXPECT_FALSE(FindMainProg(L"Type:9|" + startMenuSpec));

  // Desktop specs look in the desktop folders only.
  EXPECT_FALSE(ResolveLocationSpec(desktopSpec, found));
  MakeShortcut(commonDesktop, program);
  found.clear();
  EXPECT_TRUE(ResolveLocationSpec(desktopSpec, found));
  EXPECT_EQ(LongPath(found), program.wstring());

  // Lists: the first found spec decides; nothing found, or nothing at all, is false.
  EXPECT_TRUE(FindMainProg(startMenuSpec + L"|" + desktopSpec));
  EXPECT_FALSE(FindMainProg(startMenuSpec + L"|Type:3Value:\\" + tag + L"\\Other.lnk"));
  EXPECT_FALSE(FindMainProg(L""));
  EXPECT_FALSE(FindMainProg(L"||"));
}

TEST_F(EnvTest, UnreadableShortcutsResolveToNothing) {
  const fs::path notALink = root / L"plain.lnk";
  MakeFile(notALink);
  const fs::path itemLink = root / L"computer.lnk";
  MakeShortcut(itemLink, fs::path());
  for (const fs::path& shortcut : {notALink, itemLink, root / L"absent.lnk"}) {
    std::wstring target = L"stale";
    ResolveShortcut(shortcut.wstring(), target);
    EXPECT_EQ(target, L"") << shortcut;
    EXPECT_FALSE(ShortcutTargetExists(shortcut.wstring())) << shortcut;
  }
  const fs::path good = root / L"good.lnk";
  MakeShortcut(good, program);
  EXPECT_TRUE(ShortcutTargetExists(good.wstring()));
}

TEST_F(EnvTest, PlatformClientNeedsAShortcutThatLeadsSomewhere) {
  const std::wstring relative =
      L"Orbanta\\Orbanta\u4e91\u5e73\u53f0\\Orbanta\u4e91\u5e73\u53f0.lnk";
  const fs::path common = SpecialFolder(CSIDL_COMMON_PROGRAMS) / relative;
  const fs::path user = SpecialFolder(CSIDL_PROGRAMS) / relative;
  EXPECT_FALSE(IsPlatformClientInstalled());

  const fs::path removed = root / L"Removed Client.exe";
  MakeFile(removed);
  MakeShortcut(common, removed);
  EXPECT_TRUE(IsPlatformClientInstalled());
  fs::remove(removed);
  EXPECT_FALSE(IsPlatformClientInstalled());

  MakeShortcut(user, program);  // the user's shortcut still counts
  EXPECT_TRUE(IsPlatformClientInstalled());
  MakeShortcut(user, fs::path());  // a shell item without a path does not
  EXPECT_FALSE(IsPlatformClientInstalled());
}

// Under Wine the profile folder carries the session user's name, so the
// session user's folder is the process's own.
TEST_F(EnvTest, UserAppDataFolderIsTheSessionUsersRoamingFolder) {
  const std::wstring folder = GetUserAppDataFolder();
  EXPECT_EQ(folder, SpecialFolder(CSIDL_APPDATA).wstring());
  EXPECT_NE(folder.back(), L'\\');
}

TEST_F(EnvTest, AppPresenceByKind) {
  const std::wstring appsRoot = root.wstring() + L"\\apps\\";
  const std::string goodCfg =
      "<Cfg><Version><MainProg name=\"app.exe\" ver=\"2.1\"/></Version></Cfg>";
  SetRegistryString(L"Path", program.wstring());
  enum Main { kNone, kFile, kFolder };
  const struct {
    const char* what;
    int appType, installTypeId;
    const wchar_t* launcher;
    const char* cfg;  // null: no LocalCfg.xml
    Main main;
    std::wstring mainProg;
    bool present;
  } cases[] = {
      {"portable", 3, 3, L"Quorlinde.exe", goodCfg.c_str(), kFile, L"", true},
      {"portable, main program is a folder", 3, 3, L"Quorlinde.exe", goodCfg.c_str(), kFolder, L"",
       true},
      {"portable without launcher", 3, 3, nullptr, goodCfg.c_str(), kFile, L"", false},
      {"portable with the viewer's launcher", 3, 3, L"Varnethel.exe", goodCfg.c_str(), kFile, L"",
       false},
      {"portable without LocalCfg", 3, 3, L"Quorlinde.exe", nullptr, kFile, L"", false},
      {"portable without main program", 3, 3, L"Quorlinde.exe", goodCfg.c_str(), kNone, L"", false},
      {"portable, LocalCfg without ver", 3, 3, L"Quorlinde.exe",
       "<Cfg><Version><MainProg name=\"app.exe\"/></Version></Cfg>", kFile, L"", false},
      {"viewer, any install type", 6, 7, L"Varnethel.exe", goodCfg.c_str(), kFile, L"", true},
      {"viewer with the portable launcher", 6, 3, L"Quorlinde.exe", goodCfg.c_str(), kFile, L"",
       false},
      {"other install type", 3, 2, L"Quorlinde.exe", goodCfg.c_str(), kFile, L"", false},
      {"other kind", 8, 1, L"Quorlinde.exe", goodCfg.c_str(), kFile, RegistrySpec(L"Path"), false},
      {"setup-installed", 3, 1, nullptr, nullptr, kNone, L"Type:9|" + RegistrySpec(L"Path"), true},
      {"setup-installed, ignores the folder", 3, 1, L"Quorlinde.exe", goodCfg.c_str(), kFile,
       RegistrySpec(L"Missing"), false},
  };
  int n = 0;
  for (const auto& c : cases) {
    AppInfo app;
    app.appId = L"app" + std::to_wstring(++n);
    app.appType = c.appType;
    app.installTypeId = c.installTypeId;
    Prog_info program;
    program.mainProg = c.mainProg;
    const fs::path folder = appsRoot + app.appId;
    fs::create_directories(folder);
    if (c.launcher) MakeFile(folder / c.launcher);
    if (c.cfg) std::ofstream(folder / L"LocalCfg.xml") << c.cfg;
    if (c.main == kFile) MakeFile(folder / L"2.1" / L"app.exe");
    if (c.main == kFolder) fs::create_directories(folder / L"2.1" / L"app.exe");
    EXPECT_EQ(IsAppInstalled(program, app, appsRoot), c.present) << c.what;
  }
}

}  // namespace
