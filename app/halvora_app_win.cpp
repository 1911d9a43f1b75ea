#include "app/halvora_app.h"

#include <commctrl.h>
#include <windows.h>

#include <string_view>

#include "app/build_config.h"
#include "app/halvora_dlg.h"
#include "base/text.h"
#include "res/resource.h"

namespace {

using halvora::ResourceState;

struct ResourceBytes {
  ResourceState state = ResourceState::kMissing;
  std::string_view bytes;
};

// A custom resource of this program (type named by text), as raw bytes. The
// bytes stay valid for the life of the process (the image is never unloaded).
ResourceBytes FindConfigResource(const wchar_t* type, WORD id) {
  const HMODULE module = GetModuleHandleW(nullptr);
  const HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (!info) return {};
  const DWORD size = SizeofResource(module, info);
  const HGLOBAL loaded = LoadResource(module, info);
  if (size == 0 || !loaded) return {};
  const void* bytes = LockResource(loaded);
  if (!bytes) return {ResourceState::kNotLockable, {}};
  return {ResourceState::kLoaded, std::string_view(static_cast<const char*>(bytes), size)};
}

}  // namespace

bool CHalvoraApp::InitInstance() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  const std::wstring appId = GetAppId();

  // One copy per application: a second one ends here, silently, before any
  // window; the running copy is not disturbed.
  const HANDLE created = CreateMutexW(nullptr, TRUE, (L"HalvoraDlg_Flag_" + appId).c_str());
  const DWORD error = GetLastError();
  mutex.Reset(created);
  if (error == ERROR_ALREADY_EXISTS) {
    mutex.Reset();
    return false;
  }

  const halvora::ServerAddress server = GetServerAddress();
  CHalvoraDlg dialog(server.host, server.port, appId, GetPublisherPolicy());
  dialog.DoModal(nullptr);
  return false;
}

int CHalvoraApp::ExitInstance() {
  if (mutex) {
    ReleaseMutex(mutex.Get());
    mutex.Reset();
  }
  return 0;
}

std::wstring CHalvoraApp::GetAppId() {
  if (narrowAppId.empty()) {
    const ResourceBytes resource = FindConfigResource(L"APPID", IDR_APPID);
    if (resource.state == ResourceState::kLoaded)
      narrowAppId += halvora::ResourceText(resource.bytes);
  }
  return halvora::AnsiToWide(narrowAppId);
}

halvora::PublisherPolicy CHalvoraApp::GetPublisherPolicy() const {
  const ResourceBytes resource = FindConfigResource(L"PUBLISHER", IDR_PUBLISHER);
  if (resource.state == ResourceState::kMissing) return {};
  // A resource that is there but cannot be read as a list trusts nobody.
  halvora::PublisherPolicy policy{true, {}};
  if (resource.state == ResourceState::kLoaded) {
    if (auto keys = halvora::ParsePublisherList(halvora::ResourceText(resource.bytes)))
      policy.keys = std::move(*keys);
  }
  return policy;
}

halvora::ServerAddress CHalvoraApp::GetServerAddress() const {
  const ResourceBytes resource = FindConfigResource(L"SERVER_INFO", IDR_SERVER_INFO);
  return halvora::SplitServerText(halvora::ServerText(resource.state, resource.bytes,
                                                      halvora::build_config::kDefaultServerHost));
}
