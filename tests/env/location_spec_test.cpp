#include "env/location_spec.h"

#include <gtest/gtest.h>

#include "env/user_folder.h"

namespace {

TEST(LocationSpec, ListSplitsAtEveryBar) {
  EXPECT_EQ(SplitLocationList(L""), std::vector<std::wstring>{L""});
  EXPECT_EQ(SplitLocationList(L"a"), std::vector<std::wstring>{L"a"});
  EXPECT_EQ(SplitLocationList(L"a|b"), (std::vector<std::wstring>{L"a", L"b"}));
  EXPECT_EQ(SplitLocationList(L"|a||"), (std::vector<std::wstring>{L"", L"a", L"", L""}));
}

TEST(LocationSpec, OnlyTheCharacterAfterTheFirstTypeMarkerCounts) {
  const struct {
    const wchar_t* spec;
    wchar_t type;
  } cases[] = {
      {L"Type:1pf64:HKEY_LOCAL_MACHINE\\S,V", L'1'},
      {L"Type:12", L'1'},
      {L"Value:\\a.lnk Type:3", L'3'},
      {L"Type:2 Type:1", L'2'},
      {L"type:1", L'\0'},
      {L"Type:", L'\0'},
      {L"", L'\0'},
  };
  for (const auto& c : cases) EXPECT_EQ(LocationSpecType(c.spec), c.type) << c.spec;
}

TEST(LocationSpec, RegistrySectionByWindowsWidth) {
  const struct {
    const wchar_t* spec;
    const wchar_t* on32;
    const wchar_t* on64;
  } cases[] = {
      {L"Type:1pf32:HKEY_LOCAL_MACHINE\\A,P;pf64:HKEY_LOCAL_MACHINE\\B,Q",
       L"HKEY_LOCAL_MACHINE\\A,P", L"HKEY_LOCAL_MACHINE\\B,Q"},
      // The separator before "pf64:" is one character whatever it is.
      {L"Type:1pf32:R\\A,P|pf64:R\\B,Q", L"R\\A,P", L"R\\B,Q"},
      {L"Type:1pf32:R\\A,P", L"R\\A,P", L""},
      {L"Type:1pf64:R\\B,Q", L"", L"R\\B,Q"},
      // "pf64:" before "pf32:", or right after it: the section runs to the end.
      {L"Type:1pf64:R\\B,Q pf32:R\\A,P", L"R\\A,P", L"R\\B,Q pf32:R\\A,P"},
      {L"Type:1pf32:pf64:R\\B,Q", L"pf64:R\\B,Q", L"R\\B,Q"},
      {L"Type:1pf32:Xpf64:R", L"", L"R"},
      {L"Type:1", L"", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegistrySection(c.spec, false), c.on32) << c.spec;
    EXPECT_EQ(RegistrySection(c.spec, true), c.on64) << c.spec;
  }
}

TEST(LocationSpec, ShortcutPathIsTheTextAfterValueAndFollowedOnlyBelowItsFolder) {
  const struct {
    const wchar_t* spec;
    const wchar_t* relative;
    bool below;
  } cases[] = {
      {L"Type:2Value:\\App\\App.lnk", L"\\App\\App.lnk", true},
      {L"Value:\\a.lnk|Type:2", L"\\a.lnk|Type:2", true},
      {L"Type:2", L"", true},
      {L"Type:2Value:\\..\\..\\x.lnk", L"\\..\\..\\x.lnk", false},
      {L"Type:3Value:\\App/../../x.lnk", L"\\App/../../x.lnk", false},
      {L"Type:2Value:\\..", L"\\..", false},
      {L"Type:2Value:\\App..\\..App.lnk", L"\\App..\\..App.lnk", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortcutRelativePath(c.spec), c.relative) << c.spec;
    EXPECT_EQ(StaysBelowFolder(ShortcutRelativePath(c.spec)), c.below) << c.spec;
  }
  for (const wchar_t* path : {L"\\\\server\\share\\app.exe", L"//server/share/app.exe",
                              L"\\\\?\\UNC\\server\\app.exe", L"\\\\.\\pipe\\x"})
    EXPECT_TRUE(IsUncOrDevicePath(path)) << path;
  for (const wchar_t* path : {L"C:\\App\\app.exe", L"\\App\\app.exe", L""})
    EXPECT_FALSE(IsUncOrDevicePath(path)) << path;
}

TEST(LocationSpec, SplitsRegistrySections) {
  const struct {
    const wchar_t* section;
    bool ok;
    const wchar_t* root;
    const wchar_t* subKey;
    const wchar_t* valueName;
  } cases[] = {
      {L"HKEY_CURRENT_USER\\Software\\Vendor\\App,Path", true, L"HKEY_CURRENT_USER",
       L"Software\\Vendor\\App", L"Path"},
      {L"HKEY_USERS\\S,a,b\\c", true, L"HKEY_USERS", L"S", L"a,b\\c"},
      {L"HKEY_USERS\\S,", false, L"HKEY_USERS", L"S", L""},
      {L"\\S,V", false, L"", L"S", L"V"},
      {L"HKEY_USERS\\,V", false, L"HKEY_USERS", L"", L"V"},
      {L"A,B\\C", false, L"A,B", L"", L"B\\C"},  // comma before the backslash
      {L"HKEY_USERS\\S", false, L"", L"", L""},
      {L"HKEY_USERS,V", false, L"", L"", L""},
      {L"", false, L"", L"", L""},
  };
  for (const auto& c : cases) {
    std::wstring root = L"x", subKey = L"x", valueName = L"x";
    EXPECT_EQ(SplitRegistrySpec(c.section, root, subKey, valueName), c.ok) << c.section;
    EXPECT_EQ(root, c.root) << c.section;
    EXPECT_EQ(subKey, c.subKey) << c.section;
    EXPECT_EQ(valueName, c.valueName) << c.section;
  }
}

TEST(LocationSpec, DefaultValueNamesAreExact) {
  EXPECT_TRUE(IsDefaultValueName(L"Default"));
  EXPECT_TRUE(IsDefaultValueName(L"\u9ed8\u8ba4"));  // 默认
  EXPECT_FALSE(IsDefaultValueName(L"default"));
  EXPECT_FALSE(IsDefaultValueName(L"DEFAULT"));
  EXPECT_FALSE(IsDefaultValueName(L""));
}

TEST(LocationSpec, CleansProgramPathsFromTheRegistry) {
  const struct {
    const wchar_t* stored;
    const wchar_t* cleaned;
  } cases[] = {
      {L"\"C:\\Program Files\\App\\app.exe\",0", L"C:\\Program Files\\App\\app.exe"},
      {L"C:\\App\\app.exe,1", L"C:\\App\\app.exe"},
      {L"C?\\App\\app.exe", L"C:\\App\\app.exe"},
      {L"\"C?\\App\\app.exe,2\" --flag", L"C:\\App\\app.exe"},
      {L"\"C:\\App\\app.exe", L"\"C:\\App\\app.exe"},  // one quote: kept
      {L"C:\\App\\APP.EXE,0", L"C:\\App\\APP.EXE,0"},  // exact case only
      {L"C:\\App\\", L"C:\\App\\"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(CleanProgramPath(c.stored), c.cleaned) << c.stored;
}

TEST(UserFolder, ReplacesTheProfileComponentWithTheSessionUser) {
  const struct {
    const wchar_t* folder;
    const wchar_t* user;
    const wchar_t* result;
  } cases[] = {
      {L"C:\\Users\\alice\\AppData\\Roaming", L"bob", L"C:\\Users\\bob\\AppData\\Roaming"},
      {L"C:\\Documents and Settings\\alice\\Application Data", L"bob",
       L"C:\\Documents and Settings\\bob\\Application Data"},
      {L"C:\\Users\\alice\\", L"\u5f20\u4e09", L"C:\\Users\\\u5f20\u4e09\\"},
      {L"C:\\Users\\alice", L"bob", L"C:\\Users\\alice"},  // fewer than three backslashes
      {L"C:\\Roaming", L"bob", L"C:\\Roaming"},
      {L"", L"bob", L""},
      // No session user: the process's own folder, not a path with a hole.
      {L"C:\\Users\\alice\\AppData\\Roaming", L"", L"C:\\Users\\alice\\AppData\\Roaming"},
      // On a share the third part is the share's folder, not the profile.
      {L"\\\\fs1\\profiles\\alice\\AppData", L"bob", L"\\\\fs1\\profiles\\alice\\AppData"},
      {L"d:\\Users\\alice\\AppData\\Roaming", L"bob", L"d:\\Users\\bob\\AppData\\Roaming"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceProfileFolder(c.folder, c.user), c.result) << c.folder;
}

}  // namespace
