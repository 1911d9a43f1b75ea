#include "app/halvora_dlg.h"

#include <shlobj.h>
#include <windows.h>

#include "app/app_service.h"
#include "app/build_config.h"
#include "base/debug_output.h"
#include "base/text.h"
#include "env/platform_client.h"
#include "net/ftp/blocking_socket.h"
#include "res/resource.h"

namespace {

using halvora::win::FontHandle;

// Pure red is the window's colour key: every pixel painted in it is
// transparent and lets clicks through (the drawn background rounds its
// corners with it).
constexpr COLORREF kColorKey = RGB(255, 0, 0);

constexpr wchar_t kQueryFailedNotice[] = L"获取应用信息失败！";
constexpr wchar_t kNoticeCaption[] = L"提示";
constexpr wchar_t kCancelQuestion[] = L"是否终止下载？";
constexpr wchar_t kSpeedAtStart[] = L"0.00KB/S";

// Thin swiss fonts, height as the cell height in pixels.
FontHandle MakeFont(int height, const wchar_t* face) {
  return FontHandle(CreateFontW(height, 0, 0, 0, FW_THIN, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_SWISS, face));
}

void CreateFolder(std::wstring path) {
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);  // failures show later, in file calls
}

}  // namespace

CHalvoraDlg::CHalvoraDlg(const std::wstring& serverHost, uint32_t serverPort,
                         const std::wstring& appId)
    : CDialog(IDD_HALVORA_DIALOG),
      serverHost(serverHost),
      serverPort(serverPort),
      mainSession(halvora::ZanHttpSession::Create(serverHost, static_cast<int32_t>(serverPort))),
      ftp(std::make_unique<nsFTP::CFTPClient>(std::make_unique<nsSocket::CBlockingSocket>())),
      clientPresent(IsPlatformClientInstalled()),
      cancelQuestion(kCancelQuestion),
      icon(static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_HALVORA),
                                         IMAGE_ICON, 0, 0, LR_DEFAULTSIZE))),
      nameFont(MakeFont(23, L"微软雅黑")),
      labelFont(MakeFont(14, L"Arial")) {
  appInfo.appId = appId;
  const std::wstring userFolder = GetUserAppDataFolder();
  appsRoot = userFolder + L"\\apps\\";
  tempRoot = appsRoot + L"~~tmp";
  // Without the user's folder both paths would name the root of the current
  // drive; nothing is created there, and the session's file calls fail.
  if (!userFolder.empty()) {
    CreateFolder(appsRoot);
    CreateFolder(tempRoot);
  }
}

CHalvoraDlg::~CHalvoraDlg() {
  // QueryAppInfo hands the application's icon to the record; the record's
  // owner releases it.
  const halvora::win::IconHandle appIcon(static_cast<HICON>(appInfo.icon));
}

BOOL CHalvoraDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  const HWND window = Handle();

  SetWindowLongW(window, GWL_EXSTYLE, GetWindowLongW(window, GWL_EXSTYLE) | WS_EX_LAYERED);
  SetLayeredWindowAttributes(window, kColorKey, 0, LWA_COLORKEY);

  AppQueryContext context{*mainSession,
                          *ftp,
                          serverHost,
                          serverPort,
                          tempRoot,
                          clientPresent,
                          appInfo,
                          progInfo,
                          downloadList,
                          clientZipPath,
                          halvora::AnsiToWide(halvora::build_config::kPublicFileHost)};
  const bool described = QueryAppInfo(context);
  if (!described) {
    // The platform's message box stands in until the program draws its own.
    MessageBoxW(window, kQueryFailedNotice, kNoticeCaption, MB_OK);
    EndDialog(IDCANCEL);
  }

  const HICON shown = appInfo.icon ? static_cast<HICON>(appInfo.icon) : icon.Get();
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(shown));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(shown));
  SetWindowTextW(window, appInfo.name.c_str());
  Layout();

  if (described) StartWorker();
  return TRUE;
}

void CHalvoraDlg::Layout() {
  const HWND label = GetDlgItem(Handle(), IDC_SPEED_LABEL);
  SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont.Get()), FALSE);
  SetWindowTextW(label, kSpeedAtStart);
}

void CHalvoraDlg::StartWorker() {
  halvora::DebugOutput(
      (L"download list: " + std::to_wstring(downloadList.size()) + L" item(s)").c_str());
  for (const DownloadItem& item : downloadList) {
    std::wstring line = L"download item: kind=";
    if (item.kind == kDownloadKindHttp) {
      line += L"http";
    } else {
      line += L"ftp server=" + item.ftpHost + L':' + std::to_wstring(item.ftpPort);
    }
    line += L" remote=" + item.remote + L" local=" + item.local;
    halvora::DebugOutput(line.c_str());
  }
}
