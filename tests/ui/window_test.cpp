// The window framework on the program's own dialog templates: binding,
// message routing and results, posts from worker threads, reflection to
// owner-drawn controls, and unbinding when windows die.

#include "ui/window.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "res/resource.h"

namespace halvora::ui {
namespace {

constexpr UINT kRunChecks = 0;  // WM_APP + 0: run the checks, then end
constexpr UINT kAnswered = 3;   // WM_APP + 3: answered with 1234
constexpr UINT kIgnored = 4;    // WM_APP + 4: left to the default handling
constexpr UINT kButtonId = 2001;

// A control that draws itself and sets its own cursor; everything else goes
// to the platform's BUTTON procedure.
class ProbeButton : public CControl {
 public:
  int draws = 0;

 protected:
  bool OnDrawItem(const DRAWITEMSTRUCT&) override {
    ++draws;
    return true;
  }
  bool OnSetCursor(HWND, UINT, UINT) override { return true; }
};

// A dialog run on template 102 whose handlers record what reached them and
// answer with known values. `checks` run on the dialog's thread once the
// dialog is up; then the dialog ends with `endWith` unless that is kKeepOpen
// (so a failed assertion inside the checks cannot leave the run open).
class ProbeDialog : public CDialog {
 public:
  ProbeDialog() : CDialog(IDD_HALVORA_DIALOG) {}

  static constexpr INT_PTR kKeepOpen = -2;
  std::function<void(ProbeDialog&)> checks;
  INT_PTR endWith = kKeepOpen;
  HWND window = nullptr;
  bool boundAtInit = false;
  DWORD uiThread = 0;
  bool postedFromWorker = false;
  bool appMessageOnUiThread = false;
  int parentDraws = 0;
  int destroys = 0;
  win::BrushHandle brush{CreateSolidBrush(RGB(1, 2, 3))};
  ProbeButton button;
  std::unique_ptr<CDialog> child;  // a modeless child on template 105

 protected:
  BOOL OnInitDialog() override {
    window = Handle();
    boundAtInit = FromHandle(window) == this;
    uiThread = GetCurrentThreadId();
    const RECT rect = {5, 5, 60, 30};
    button.Create(L"BUTTON", L"caption", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, rect, window,
                  kButtonId);
    child = std::make_unique<CDialog>(IDD_PROGRESS_DIALOG);
    child->Create(window);
    // The checks start from a worker thread's post, as the session's
    // threads reach the window.
    std::thread([this] { postedFromWorker = PostWmApp(kRunChecks); }).join();
    return TRUE;
  }
  bool OnAppMessage(UINT n, WPARAM, LPARAM, LRESULT& result) override {
    if (n == kAnswered) {
      result = 1234;
      return true;
    }
    if (n != kRunChecks) return false;
    appMessageOnUiThread = GetCurrentThreadId() == uiThread;
    if (checks) checks(*this);
    if (endWith != kKeepOpen) EndDialog(endWith);
    return true;
  }
  bool OnEraseBkgnd(HDC) override { return true; }
  bool OnSetCursor(HWND, UINT, UINT) override { return true; }
  bool OnNcHitTest(POINT, LRESULT& hitTest) override {
    hitTest = HTCAPTION;
    return true;
  }
  HBRUSH OnCtlColor(HDC, HWND, UINT) override { return brush.Get(); }
  bool OnDrawItem(const DRAWITEMSTRUCT&) override {
    ++parentDraws;
    return true;
  }
  void OnDestroy() override { ++destroys; }
};

TEST(WindowFramework, ModalRunBindsRoutesAndUnbinds) {
  ProbeDialog dialog;
  dialog.checks = [](ProbeDialog& d) {
    const HWND w = d.Handle();
    // Each answer reaches SendMessage the way the dialog manager expects it
    // (directly, or through DWLP_MSGRESULT).
    const struct {
      const char* name;
      UINT message;
      WPARAM wParam;
      LRESULT expected;
    } answers[] = {
        {"control colour: the brush, directly", WM_CTLCOLORSTATIC, 0,
         reinterpret_cast<LRESULT>(d.brush.Get())},
        {"hit test through DWLP_MSGRESULT", WM_NCHITTEST, 0, HTCAPTION},
        {"background erased", WM_ERASEBKGND, 0, 1},
        {"cursor set", WM_SETCURSOR, 0, TRUE},
        {"WM_APP + n with its result", WM_APP + kAnswered, 0, 1234},
        {"WM_APP + n left to the default", WM_APP + kIgnored, 0, 0},
    };
    for (const auto& a : answers) {
      SCOPED_TRACE(a.name);
      EXPECT_EQ(SendMessageW(w, a.message, a.wParam, 0), a.expected);
    }

    // WM_DRAWITEM goes to the control's own object when it is one of ours,
    // else to the parent.
    const HWND label = GetDlgItem(w, IDC_SPEED_LABEL);
    ASSERT_NE(label, nullptr);
    DRAWITEMSTRUCT item = {};
    item.CtlType = ODT_BUTTON;
    item.CtlID = kButtonId;
    item.hwndItem = d.button.Handle();
    SendMessageW(w, WM_DRAWITEM, kButtonId, reinterpret_cast<LPARAM>(&item));
    item.CtlType = ODT_STATIC;
    item.hwndItem = label;
    SendMessageW(w, WM_DRAWITEM, IDC_SPEED_LABEL, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(d.button.draws, 1);
    EXPECT_EQ(d.parentDraws, 1);

    // The control answers what it handles and leaves the rest to BUTTON.
    EXPECT_EQ(SendMessageW(d.button.Handle(), WM_SETCURSOR, 0, 0), TRUE);
    wchar_t text[16] = {};
    SendMessageW(d.button.Handle(), WM_GETTEXT, 16, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"caption");

    EXPECT_EQ(CWindow::FromHandle(w), &d);
    EXPECT_EQ(CWindow::FromHandle(d.button.Handle()), &d.button);
    EXPECT_EQ(CWindow::FromHandle(label), nullptr);
    EXPECT_EQ(CWindow::FromHandle(GetDesktopWindow()), nullptr);

    // A modeless child ends with EndDialog; the window is destroyed.
    const HWND child = d.child->Handle();
    ASSERT_TRUE(IsWindow(child));
    d.child->EndDialog(0);
    EXPECT_FALSE(IsWindow(child));
    EXPECT_EQ(d.child->Handle(), nullptr);
  };
  dialog.endWith = 42;

  EXPECT_EQ(dialog.DoModal(nullptr), 42);
  EXPECT_TRUE(dialog.boundAtInit);
  EXPECT_TRUE(dialog.postedFromWorker);
  EXPECT_TRUE(dialog.appMessageOnUiThread);
  EXPECT_EQ(dialog.destroys, 1);
  // The window is gone and nothing points at it any more.
  EXPECT_FALSE(IsWindow(dialog.window));
  EXPECT_EQ(dialog.Handle(), nullptr);
  EXPECT_EQ(dialog.button.Handle(), nullptr);
  EXPECT_FALSE(dialog.PostWmApp(kRunChecks));
}

TEST(WindowFramework, CloseEnterAndEscapeEndTheModalRun) {
  struct Case {
    const char* name;
    UINT message;
    WPARAM wParam;
    INT_PTR result;
  };
  const Case cases[] = {
      {"window close", WM_CLOSE, 0, IDCANCEL},
      {"Escape / cancel command", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), IDCANCEL},
      {"Enter / OK command", WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), IDOK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProbeDialog dialog;
    dialog.checks = [&c](ProbeDialog& d) { PostMessageW(d.Handle(), c.message, c.wParam, 0); };
    EXPECT_EQ(dialog.DoModal(nullptr), c.result);
  }
}

TEST(WindowFramework, DestroyingTheObjectDestroysAModelessWindow) {
  ProbeDialog dialog;
  dialog.checks = [](ProbeDialog& d) {
    const HWND child = d.child->Handle();
    ASSERT_TRUE(IsWindow(child));
    d.child.reset();
    EXPECT_FALSE(IsWindow(child));
  };
  dialog.endWith = IDOK;
  EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
}

}  // namespace
}  // namespace halvora::ui
