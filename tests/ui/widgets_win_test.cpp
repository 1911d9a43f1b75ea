// The widgets and the main window's drawing under Wine on a private X screen:
// real windows from the program's templates, painted into memory contexts
// whose pixels the tests read, and driven with the messages a user's input
// produces. Modal questions are answered from a timer that runs inside their
// message loop, once the dialog is on screen.
#include <windows.h>
// after windows.h
#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "res/artwork.h"
#include "res/resource.h"
#include "ui/bmp_btn.h"
#include "ui/main_view.h"
#include "ui/msg_dlg.h"
#include "ui/progress.h"
#include "ui/taskbar_progress.h"

namespace halvora::ui {
namespace {

constexpr COLORREF kBand = RGB(83, 112, 156);
constexpr COLORREF kBody = RGB(240, 248, 250);
constexpr COLORREF kKey = RGB(255, 0, 0);
constexpr COLORREF kTrack = RGB(200, 200, 200);
constexpr COLORREF kFill = RGB(107, 202, 24);

// Dispatches messages until `done` holds. The bound only turns a hang into a
// failure; every wait is for a condition.
bool PumpUntil(const std::function<bool()>& done) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > 30000) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// A window's background painted into a memory bitmap, read pixel by pixel.
class Snapshot {
 public:
  Snapshot(HWND window, int width, int height) : width(width), height(height) {
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, width, height);
    ReleaseDC(nullptr, screen);
    previous = SelectObject(dc, bitmap);
    const RECT all{0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  }
  ~Snapshot() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }
  // Pixels in [left, right) x [top, bottom) darker than mid-grey.
  int DarkPixels(int left, int top, int right, int bottom) const {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) {
        const COLORREF c = At(x, y);
        if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128) ++n;
      }
    return n;
  }

 private:
  int width, height;
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
};

std::string Hex(COLORREF c) {
  char text[16];
  snprintf(text, sizeof text, "%02x%02x%02x", GetRValue(c), GetGValue(c), GetBValue(c));
  return text;
}

// A modeless host from the main window's template (it carries the speed
// label); it records the commands its children send and draws the main view
// when it has one.
class Host : public CDialog {
 public:
  Host() : CDialog(IDD_HALVORA_DIALOG) {}
  struct Command {
    UINT id;
    UINT code;
    bool operator==(const Command& o) const { return id == o.id && code == o.code; }
  };
  std::vector<Command> commands;
  CMainView* view = nullptr;

 protected:
  BOOL OnInitDialog() override { return FALSE; }
  bool OnCommand(UINT id, UINT code, HWND) override {
    commands.push_back({id, code});
    return true;
  }
  bool OnEraseBkgnd(HDC dc) override {
    if (view) view->EraseBackground(dc);
    return true;
  }
  HBRUSH OnCtlColor(HDC dc, HWND control, UINT) override {
    return view ? view->CtlColor(dc, control) : nullptr;
  }
};

std::ostream& operator<<(std::ostream& os, const Host::Command& c) {
  return os << c.id << "/" << c.code;
}

class Widgets : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Create(nullptr));
    SetWindowPos(host.Handle(), HWND_TOP, 100, 100, kMainWidth, kMainHeight, SWP_SHOWWINDOW);
  }
  Host host;
};

TEST_F(Widgets, ProgressFillsTheShareAndRepeatsTheFirstRow) {
  CProgress bar;
  ASSERT_TRUE(bar.Create(host.Handle()));
  MoveWindow(bar.Handle(), 80, 116, 185, 10, FALSE);
  ShowWindow(bar.Handle(), SW_SHOW);
  bar.SetRange(kProgressRange);
  const struct {
    float fraction;
    uint32_t position;
    int filled;
  } cases[] = {{0.5f, 250, 92},  {0.0f, 0, 0},   {-1.0f, 0, 0},   {1.0f, 500, 185},
               {1.2f, 500, 185}, {0.002f, 1, 0}, {0.25f, 125, 46}};
  for (const auto& c : cases) {
    bar.SetPercent(c.fraction);
    EXPECT_EQ(bar.Position(), c.position) << c.fraction;
    const Snapshot shot(bar.Handle(), 185, 10);
    // The rounded ends show the body colour: sample inside them.
    for (int x : {10, c.filled - 1, c.filled, 174}) {
      if (x < 10 || x > 174) continue;
      EXPECT_EQ(Hex(shot.At(x, 4)), Hex(x < c.filled ? kFill : kTrack)) << c.fraction << " x " << x;
    }
    for (int x = 0; x < 185; x += 23)
      EXPECT_EQ(Hex(shot.At(x, 9)), Hex(shot.At(x, 0))) << "row 10 repeats row 1, x " << x;
  }
}

// What the screen shows: a copy of the desktop's pixels (the X server's,
// under Wine) at a window's client area.
class ScreenShot {
 public:
  ScreenShot(HWND window, int width, int height) {
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    HDC screen = GetDC(nullptr);
    dc = CreateCompatibleDC(screen);
    bitmap = CreateCompatibleBitmap(screen, width, height);
    previous = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    ReleaseDC(nullptr, screen);
  }
  ~ScreenShot() {
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
  }
  COLORREF At(int x, int y) const { return GetPixel(dc, x, y); }

 private:
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
};

TEST_F(Widgets, ProgressOnScreenAtHalf) {
  CProgress bar;
  ASSERT_TRUE(bar.Create(host.Handle()));
  MoveWindow(bar.Handle(), 80, 116, 185, 10, FALSE);
  ShowWindow(bar.Handle(), SW_SHOW);
  bar.SetRange(kProgressRange);
  bar.SetPercent(0.5f);  // repaints before it returns
  EXPECT_TRUE(PumpUntil([&] {
    const ScreenShot shot(bar.Handle(), 185, 10);
    return shot.At(91, 4) == kFill && shot.At(92, 4) == kTrack;
  })) << "92 of 185 pixels filled on screen";
}

TEST_F(Widgets, ButtonCountsEveryClickAndShowsTheHand) {
  CBmpBtn button;
  ASSERT_TRUE(button.Create(RECT{330, 106, 358, 134}, host.Handle(), kCmdPause, L"暂停"));
  button.SetBitmaps(IDB_PAUSE_RUNNING, IDB_PAUSE_RUNNING, IDB_PAUSE_RUNNING);
  const HWND b = button.Handle();
  const LPARAM at = MAKELPARAM(5, 5);
  // A quick pair of clicks: the second press arrives as a double click.
  SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(b, WM_LBUTTONUP, 0, at);
  SendMessageW(b, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(b, WM_LBUTTONUP, 0, at);
  // Space on the focused button presses it too.
  SetFocus(b);
  SendMessageW(b, WM_KEYDOWN, VK_SPACE, 0);
  SendMessageW(b, WM_KEYUP, VK_SPACE, 0);
  const std::vector<Host::Command> three(3, {kCmdPause, BN_CLICKED});
  EXPECT_EQ(host.commands, three);

  EXPECT_TRUE(SendMessageW(b, WM_SETCURSOR, reinterpret_cast<WPARAM>(b),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_HAND_CURSOR)));
}

TEST_F(Widgets, HoverEndsWhenThePointerHasLeft) {
  CBmpBtn button;
  ASSERT_TRUE(button.Create(RECT{362, 106, 390, 134}, host.Handle(), kCmdCancel, L"取消"));
  button.SetBitmaps(IDB_CANCEL, IDB_CANCEL, IDB_CANCEL);
  SetCursorPos(5, 700);  // far from the button
  SendMessageW(button.Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_EQ(button.State(), ButtonState::kHover);
  EXPECT_TRUE(PumpUntil([&] { return button.State() == ButtonState::kNormal; }));
}

// Finds the visible message dialog (262 x 160) of this thread.
HWND FindMessageDialog() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM out) -> BOOL {
        RECT r;
        if (IsWindowVisible(w) && GetWindowRect(w, &r) && r.right - r.left == kMessageWidth &&
            r.bottom - r.top == kMessageHeight) {
          *reinterpret_cast<HWND*>(out) = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Runs `act` on the open message dialog from inside its modal loop.
std::function<void(HWND)> g_act;
void CALLBACK ActWhenOpen(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND dialog = FindMessageDialog();
  if (!dialog || !g_act) return;
  KillTimer(nullptr, timer);
  auto act = std::move(g_act);
  g_act = nullptr;
  act(dialog);
}
void WhenOpen(std::function<void(HWND)> act) {
  g_act = std::move(act);
  SetTimer(nullptr, 0, 20, &ActWhenOpen);
}

void Click(HWND dialog, UINT id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
void Key(HWND dialog, UINT key) {
  const HWND focus = GetFocus() ? GetFocus() : dialog;
  PostMessageW(focus, WM_KEYDOWN, key, 0);
  PostMessageW(focus, WM_KEYUP, key, 0xC0000000);
}

TEST_F(Widgets, ConfirmationAnswersAndItsMask) {
  const struct {
    const char* what;
    std::function<void(HWND)> act;
    bool answer;
  } cases[] = {
      {"是", [](HWND d) { Click(d, kCmdMessageOk); }, true},
      {"否", [](HWND d) { Click(d, kCmdMessageCancel); }, false},
      {"Escape", [](HWND d) { Key(d, VK_ESCAPE); }, false},
      {"Enter: 否 has the focus", [](HWND d) { Key(d, VK_RETURN); }, false},
  };
  for (const auto& c : cases) {
    bool checked = false;
    WhenOpen([&](HWND dialog) {
      checked = true;
      // The question sits over a layer that darkens the owner exactly, and
      // the owner takes no input meanwhile.
      const HWND mask = GetWindow(dialog, GW_OWNER);
      ASSERT_TRUE(mask);
      EXPECT_EQ(GetWindow(mask, GW_OWNER), host.Handle());
      EXPECT_TRUE(IsWindowVisible(mask));
      RECT maskRect, hostRect;
      GetWindowRect(mask, &maskRect);
      GetWindowRect(host.Handle(), &hostRect);
      EXPECT_TRUE(EqualRect(&maskRect, &hostRect));
      BYTE alpha = 0;
      DWORD flags = 0;
      EXPECT_TRUE(GetLayeredWindowAttributes(mask, nullptr, &alpha, &flags));
      EXPECT_EQ(alpha, 100);
      EXPECT_EQ(flags & LWA_ALPHA, DWORD{LWA_ALPHA});
      EXPECT_FALSE(IsWindowEnabled(host.Handle()));
      // Two buttons and the cross; the one line of text starts at (44, 68).
      EXPECT_TRUE(GetDlgItem(dialog, kCmdMessageOk));
      const Snapshot shot(dialog, kMessageWidth, kMessageHeight);
      EXPECT_GT(shot.DarkPixels(44, 68, 150, 85), 10);
      EXPECT_EQ(shot.DarkPixels(0, 60, 43, 100), 0);
      c.act(dialog);
    });
    EXPECT_EQ(ShowConfirm(host.Handle(), L"是否终止下载？"), c.answer) << c.what;
    EXPECT_TRUE(checked) << c.what;
    EXPECT_TRUE(IsWindowEnabled(host.Handle())) << c.what;
    EXPECT_FALSE(FindMessageDialog()) << c.what;
  }
}

// A taskbar list that records what the button was told.
class FakeTaskbar : public ITaskbarList3 {
 public:
  std::vector<std::string> calls;

  HRESULT STDMETHODCALLTYPE SetProgressState(HWND, TBPFLAG state) override {
    calls.push_back("state " + std::to_string(state));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProgressValue(HWND, ULONGLONG done, ULONGLONG total) override {
    calls.push_back(std::to_string(done) + "/" + std::to_string(total));
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  HRESULT STDMETHODCALLTYPE HrInit() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE AddTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DeleteTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ActivateTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetActiveAlt(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE MarkFullscreenWindow(HWND, WINBOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE RegisterTab(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE UnregisterTab(HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabOrder(HWND, HWND) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetTabActive(HWND, HWND, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ThumbBarAddButtons(HWND, UINT, LPTHUMBBUTTON) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ThumbBarUpdateButtons(HWND, UINT, LPTHUMBBUTTON) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ThumbBarSetImageList(HWND, HIMAGELIST) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetOverlayIcon(HWND, HICON, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetThumbnailTooltip(HWND, LPCWSTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetThumbnailClip(HWND, RECT*) override { return S_OK; }

  ULONG references = 1;
};

TEST_F(Widgets, TaskbarFollowsTheSession) {
  FakeTaskbar fake;
  fake.AddRef();  // the progress's reference
  {
    CTaskbarProgress taskbar{win::ComPtr<ITaskbarList3>(&fake)};
    taskbar.Attach(host.Handle());
    taskbar.ShowPaused(true);  // before any progress: nothing yet
    taskbar.ShowPaused(false);
    taskbar.Show(0.25f);
    taskbar.ShowPaused(true);
    taskbar.Show(0.5f);
    taskbar.ShowPaused(false);
    taskbar.Show(1.5f);
    taskbar.Hide();
    taskbar.Show(0.75f);  // a late post after the window went: ignored
  }
  const std::vector<std::string> expected = {"state 2", "250/1000",  "state 8", "500/1000",
                                             "state 2", "1000/1000", "state 0"};
  EXPECT_EQ(fake.calls, expected);  // TBPF_NORMAL 2, TBPF_PAUSED 8, TBPF_NOPROGRESS 0
  EXPECT_EQ(fake.references, 1u) << "the progress keeps or loses a reference";
}

TEST_F(Widgets, NoticeHasOneButton) {
  const struct {
    UINT click;
    bool answer;
  } cases[] = {{kCmdMessageOk, true}, {kCmdMessageCancel, false}};
  for (const auto& c : cases) {
    WhenOpen([&](HWND dialog) {
      RECT ok;
      GetWindowRect(GetDlgItem(dialog, kCmdMessageOk), &ok);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&ok), 2);
      EXPECT_EQ(ok.left, 202);  // where 否 is in the confirmation
      Click(dialog, c.click);
    });
    EXPECT_EQ(ShowNotice(host.Handle(), L"获取应用信息失败！"), c.answer);
  }
}

TEST_F(Widgets, MainViewDrawsTheWindow) {
  CMainView view;
  host.view = &view;
  view.SetApplication(L"Sample Application", nullptr, 1048576);
  view.Layout(host.Handle(), false, 0.0);

  RECT window, work;
  GetWindowRect(host.Handle(), &window);
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(window.right - window.left, kMainWidth);
  EXPECT_EQ(window.left - work.left, (work.right - work.left - kMainWidth) / 2);

  wchar_t speed[32] = {};
  GetDlgItemTextW(host.Handle(), IDC_SPEED_LABEL, speed, 32);
  EXPECT_STREQ(speed, L"0.00KB/S");
  view.UpdateSpeedText(1000.0);
  GetDlgItemTextW(host.Handle(), IDC_SPEED_LABEL, speed, 32);
  EXPECT_STREQ(speed, L"0.98MB/S");

  // One brush in the body colour answers every colour request of the label.
  HDC dc = GetDC(host.Handle());
  const HWND label = GetDlgItem(host.Handle(), IDC_SPEED_LABEL);
  const auto brush = SendMessageW(host.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                  reinterpret_cast<LPARAM>(label));
  EXPECT_EQ(SendMessageW(host.Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                         reinterpret_cast<LPARAM>(label)),
            brush);
  LOGBRUSH info{};
  ASSERT_TRUE(GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof info, &info));
  EXPECT_EQ(Hex(info.lbColor), Hex(kBody));
  ReleaseDC(host.Handle(), dc);

  {
    const Snapshot shot(host.Handle(), kMainWidth, kMainHeight);
    // The colour key rounds the bottom corners.
    const POINT keys[] = {{0, 233},   {3, 233},   {0, 230},  {1, 232},
                          {395, 233}, {392, 233}, {394, 232}};
    for (const auto& p : keys) EXPECT_EQ(Hex(shot.At(p.x, p.y)), Hex(kKey)) << p.x << "," << p.y;
    EXPECT_NE(Hex(shot.At(1, 231)), Hex(kKey));
    EXPECT_NE(Hex(shot.At(4, 233)), Hex(kKey));
    EXPECT_EQ(Hex(shot.At(200, 10)), Hex(kBand));
    EXPECT_EQ(Hex(shot.At(200, 40)), Hex(kBody));
    EXPECT_EQ(Hex(shot.At(200, 200)), Hex(kBand));     // the bottom panel
    EXPECT_GT(shot.DarkPixels(17, 54, 262, 84), 20);   // the name
    EXPECT_GT(shot.DarkPixels(296, 54, 396, 84), 20);  // "1.00MB"
  }
  EXPECT_FALSE(view.NameTruncated());

  // Each button sends its command.
  for (UINT id : {kCmdClose, kCmdCancel, kCmdPause, kCmdLaunch}) {
    host.commands.clear();
    SendMessageW(GetDlgItem(host.Handle(), id), BM_CLICK, 0, 0);
    EXPECT_EQ(host.commands, (std::vector<Host::Command>{{id, BN_CLICKED}})) << id;
  }
  view.Destroy();
}

TEST_F(Widgets, LongNameIsCutAndOffered) {
  CMainView view;
  host.view = &view;
  const std::wstring name(120, L'名');
  view.SetApplication(name, nullptr, 0);
  view.Layout(host.Handle(), true, 0.0);
  { const Snapshot shot(host.Handle(), kMainWidth, kMainHeight); }
  EXPECT_TRUE(view.NameTruncated());

  // The whole surface is a caption, so the pointer over the name arrives as a
  // non-client move; the tip then carries the full name below the pointer.
  POINT at{100, 70};
  ClientToScreen(host.Handle(), &at);
  view.MouseMessage(WM_NCMOUSEMOVE, HTCAPTION, MAKELPARAM(at.x, at.y));
  HWND tip = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND w, LPARAM out) -> BOOL {
        wchar_t cls[64] = {};
        GetClassNameW(w, cls, 64);
        if (std::wstring(cls) != TOOLTIPS_CLASSW) return TRUE;
        *reinterpret_cast<HWND*>(out) = w;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&tip));
  ASSERT_TRUE(tip);
  RECT placed{};
  GetWindowRect(tip, &placed);
  EXPECT_EQ(placed.left, at.x);
  EXPECT_EQ(placed.top, at.y + 15);
  std::wstring text(200, L'\0');
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = host.Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(host.Handle());
  tool.lpszText = text.data();
  SendMessageW(tip, TTM_GETTEXTW, text.size(), reinterpret_cast<LPARAM>(&tool));
  EXPECT_EQ(std::wstring(text.c_str()), name);
  view.Destroy();
}

}  // namespace
}  // namespace halvora::ui
