// The installation decisions, as tables.
#include <gtest/gtest.h>

#include "app/install/install_plan.h"

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

}  // namespace
