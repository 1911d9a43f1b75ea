// The main dialog's state as construction leaves it, without a window.

#include "app/halvora_dlg.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "env/platform_client.h"

namespace {

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

TEST(MainDialog, ConstructionPreparesTheSession) {
  const CHalvoraDlg dialog(L"127.0.0.1", 8081, L"dialog-test-app");
  const SessionController& controller = dialog.Controller();

  EXPECT_EQ(controller.App().appId, L"dialog-test-app");
  EXPECT_EQ(controller.MainSession().BaseUrl().find("127.0.0.1:8081"), 7u)
      << controller.MainSession().BaseUrl();
  const InstallSession& session = controller.Session();
  EXPECT_TRUE(session.downloadList.empty());
  EXPECT_FALSE(session.IsPaused() || session.IsCancelled() || session.IsFinished());
  EXPECT_TRUE(controller.IsRunning());

  // The folders lie below the user's own folder and exist afterwards.
  const std::wstring user = GetUserAppDataFolder();
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(controller.AppsRoot(), user + L"\\apps\\");
  EXPECT_EQ(controller.TempRoot(), user + L"\\apps\\~~tmp");
  EXPECT_TRUE(IsFolder(controller.AppsRoot()));
  EXPECT_TRUE(IsFolder(controller.TempRoot()));

  // The question reads the same whatever the active code page (this suite
  // also runs in 936).
  EXPECT_EQ(dialog.CancelQuestion(), L"\u662f\u5426\u7ec8\u6b62\u4e0b\u8f7d\uff1f");
}

}  // namespace
