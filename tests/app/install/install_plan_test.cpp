// The installation decisions, as tables.
#include <gtest/gtest.h>

#include "app/install/install_plan.h"
#include "app/install/publisher_pins.h"

namespace {

TEST(InstallPlan, PackagesAreChosenByTheirLastExtension) {
  const struct {
    const wchar_t* path;
    PackageForm form;
    const wchar_t* program;  // for a zip holding setup.exe
  } cases[] = {
      {L"C:\\t\\app\\pkg.zip", PackageForm::Zip, L"C:\\t\\app\\pkg\\setup.exe"},
      {L"C:\\t\\app\\PKG.ZIP", PackageForm::Zip, L"C:\\t\\app\\PKG\\setup.exe"},
      {L"C:\\t\\app\\pkg.v2.Zip", PackageForm::Zip, L"C:\\t\\app\\pkg.v2\\setup.exe"},
      {L"C:\\t\\app\\setup.EXE", PackageForm::Program, nullptr},
      {L"C:\\t\\app\\pkg.zip.txt", PackageForm::Other, nullptr},
      {L"C:\\t\\app\\pkg.zipx", PackageForm::Other, nullptr},
      {L"C:\\t\\app.v1\\pkg", PackageForm::Other, nullptr},
      {L"C:\\t\\app\\", PackageForm::Other, nullptr},
      {L"", PackageForm::Other, nullptr},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyPackage(c.path), c.form) << c.path;
    if (c.program) {
      EXPECT_EQ(UnpackedProgramPath(c.path, L"setup.exe"), c.program) << c.path;
    }
  }
}

TEST(InstallPlan, OnlySetupInstalledProgramsGetAnEmptyCommandLine) {
  const struct {
    int appType, installTypeId;
    const wchar_t* commandLine;
  } cases[] = {
      {3, 1, L""},
      {3, 3, L"\"-appid\" \"id 7\""},
      {3, 2, L"\"-appid\" \"id 7\""},
      {6, 1, L"\"-appid\" \"id 7\""},
      {8, 1, L"\"-appid\" \"id 7\""},
      {0, 0, L"\"-appid\" \"id 7\""},
  };
  for (const auto& c : cases) {
    AppInfo app;
    app.appId = L"id 7";
    app.appType = c.appType;
    app.installTypeId = c.installTypeId;
    EXPECT_EQ(InstallCommandLine(app), c.commandLine) << c.appType << "/" << c.installTypeId;
  }
}

TEST(InstallPlan, SetupProgramsStayInsideThePackage) {
  const struct {
    const wchar_t* name;
    bool allowed;
  } cases[] = {
      {L"setup.exe", true},
      {L"1.0\\Setup.EXE", true},
      {L"bin/setup.exe", true},
      {L"", false},
      {L"setup", false},
      {L"setup.exe.txt", false},
      {L"..\\setup.exe", false},
      {L"bin\\..\\..\\setup.exe", false},
      {L".\\setup.exe", false},
      {L"\\setup.exe", false},
      {L"\\\\host\\share\\setup.exe", false},
      {L"C:\\Windows\\notepad.exe", false},
      {L"C:setup.exe", false},
      {L"setup.exe:stream.exe", false},
      {L"bin\\\\setup.exe", false},
      {L"con.exe", false},
      {L"nul\\setup.exe", false},
      {L"bin.\\setup.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsPackageProgramName(c.name), c.allowed) << c.name;
}

TEST(InstallPlan, PublisherListsAreLowerCaseKeyHashes) {
  const std::string a(64, 'a');
  const std::string b = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
  const struct {
    std::string text;
    std::vector<std::string> keys;  // empty: refused
  } cases[] = {
      {a, {a}},
      {a + "," + b, {a, b}},
      {"", {}},
      {a + ",", {}},
      {"," + a, {}},
      {a + ", " + b, {}},
      {std::string(64, 'A'), {}},
      {std::string(63, 'a'), {}},
      {std::string(65, 'a'), {}},
      {std::string(64, 'g'), {}},
  };
  for (const auto& c : cases) {
    const auto keys = halvora::ParsePublisherList(c.text);
    EXPECT_EQ(keys.value_or(std::vector<std::string>{}), c.keys) << '"' << c.text << '"';
  }
}

}  // namespace
