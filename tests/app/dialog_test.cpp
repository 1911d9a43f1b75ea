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

  EXPECT_EQ(dialog.appInfo.appId, L"dialog-test-app");
  EXPECT_EQ(dialog.mainSession->BaseUrl().find("127.0.0.1:8081"), 7u)
      << dialog.mainSession->BaseUrl();
  EXPECT_TRUE(dialog.session.downloadList.empty());
  EXPECT_FALSE(dialog.session.IsPaused() || dialog.session.IsCancelled() ||
               dialog.session.IsFinished());

  // The folders lie below the user's own folder and exist afterwards.
  const std::wstring user = GetUserAppDataFolder();
  ASSERT_FALSE(user.empty());
  EXPECT_EQ(dialog.appsRoot, user + L"\\apps\\");
  EXPECT_EQ(dialog.tempRoot, user + L"\\apps\\~~tmp");
  EXPECT_TRUE(IsFolder(dialog.appsRoot));
  EXPECT_TRUE(IsFolder(dialog.tempRoot));

  // The question reads the same whatever the active code page (this suite
  // also runs in 936).
  EXPECT_EQ(dialog.cancelQuestion, L"\u662f\u5426\u7ec8\u6b62\u4e0b\u8f7d\uff1f");
}

}  // namespace
