#include "ui/window.h"

#include <windowsx.h>

namespace halvora::ui {
namespace {

// Messages whose dialog-procedure return value is the answer itself; for all
// others the dialog procedure says "handled" and leaves the answer in
// DWLP_MSGRESULT.
bool AnswersDirectly(UINT message) {
  switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

POINT PointFrom(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

// The object a framework procedure finds for a window (what Bind stored).
CWindow* BoundObject(HWND window) {
  return reinterpret_cast<CWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

}  // namespace

CWindow::~CWindow() = default;

bool CWindow::PostWmApp(UINT n, WPARAM wParam, LPARAM lParam) const {
  const HWND window = Handle();
  return n < kAppMessageCount && window && PostMessageW(window, WM_APP + n, wParam, lParam);
}

CWindow* CWindow::FromHandle(HWND window) {
  if (!window) return nullptr;
  // A window of another process may run the same program and so the same
  // procedure address; its user data means nothing here.
  DWORD process = 0;
  if (!GetWindowThreadProcessId(window, &process) || process != GetCurrentProcessId())
    return nullptr;
  // Only windows run by one of the framework's procedures carry an object in
  // their user data; other windows may use it for anything.
  const auto dialogProc = reinterpret_cast<LONG_PTR>(&CDialog::DialogProc);
  const auto controlProc = reinterpret_cast<LONG_PTR>(&CControl::SubclassProc);
  if (GetWindowLongPtrW(window, GWLP_WNDPROC) != controlProc &&
      GetWindowLongPtrW(window, DWLP_DLGPROC) != dialogProc)
    return nullptr;
  return BoundObject(window);
}

void CWindow::Bind(HWND window) {
  hwnd.store(window, std::memory_order_release);
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void CWindow::Unbind() {
  if (const HWND window = hwnd.exchange(nullptr, std::memory_order_acq_rel))
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
}

CWindow::Result CWindow::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  Result result;
  switch (message) {
    case WM_COMMAND:
      result.handled = OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      break;
    case WM_ERASEBKGND:
      result.handled = OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
      result.value = 1;
      break;
    case WM_PAINT:
      result.handled = OnPaint();
      break;
    case WM_TIMER:
      result.handled = OnTimer(static_cast<UINT_PTR>(wParam));
      break;
    case WM_MOUSEMOVE:
      result.handled = OnMouseMove(static_cast<UINT>(wParam), PointFrom(lParam));
      break;
    case WM_SETCURSOR:
      result.handled = OnSetCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam), HIWORD(lParam));
      result.value = TRUE;
      break;
    case WM_NCHITTEST:
      result.handled = OnNcHitTest(PointFrom(lParam), result.value);
      break;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
      const HBRUSH brush =
          OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), message);
      result.handled = brush != nullptr;
      result.value = reinterpret_cast<LRESULT>(brush);
      break;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      CWindow* control = item.CtlType == ODT_MENU ? nullptr : FromHandle(item.hwndItem);
      result.handled = control && control != this ? control->OnDrawItem(item) : OnDrawItem(item);
      result.value = TRUE;
      break;
    }
    case WM_DESTROY:
      // The default handling still runs after it.
      OnDestroy();
      break;
    default:
      if (message >= WM_APP && message - WM_APP < kAppMessageCount)
        result.handled = OnAppMessage(message - WM_APP, wParam, lParam, result.value);
      else
        result.handled = OnMessage(message, wParam, lParam, result.value);
      break;
  }
  return result;
}

bool CWindow::OnCommand(UINT, UINT, HWND) { return false; }
bool CWindow::OnEraseBkgnd(HDC) { return false; }
bool CWindow::OnPaint() { return false; }
bool CWindow::OnTimer(UINT_PTR) { return false; }
bool CWindow::OnMouseMove(UINT, POINT) { return false; }
bool CWindow::OnSetCursor(HWND, UINT, UINT) { return false; }
bool CWindow::OnNcHitTest(POINT, LRESULT&) { return false; }
HBRUSH CWindow::OnCtlColor(HDC, HWND, UINT) { return nullptr; }
bool CWindow::OnDrawItem(const DRAWITEMSTRUCT&) { return false; }
bool CWindow::OnAppMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }
void CWindow::OnDestroy() {}
bool CWindow::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

// ---- CDialog

CDialog::~CDialog() {
  // No message may reach the object while it is torn down; `modeless` then
  // destroys a modeless window that still lives.
  Unbind();
}

INT_PTR CDialog::DoModal(HWND owner) {
  modal = true;
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                         &DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CDialog::Create(HWND parent) {
  modal = false;
  modeless.Reset();
  modeless.Reset(CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), parent,
                                    &DialogProc, reinterpret_cast<LPARAM>(this)));
  return modeless.IsValid();
}

void CDialog::EndDialog(INT_PTR result) {
  if (modal) {
    if (const HWND window = Handle()) ::EndDialog(window, result);
  } else {
    modeless.Reset();
  }
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

CWindow::Result CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return Result{true, OnInitDialog()};
  Result result = CWindow::Dispatch(message, wParam, lParam);
  // Enter, Escape and the window's close arrive as IDOK / IDCANCEL commands
  // (notification 0; 1 from an accelerator).
  if (message == WM_COMMAND && !result.handled && HIWORD(wParam) <= 1) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      result.handled = true;
    } else if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      result.handled = true;
    }
  }
  return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    self->Bind(window);
  } else {
    self = static_cast<CDialog*>(BoundObject(window));
  }
  if (!self) return FALSE;

  const Result result = self->Dispatch(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    if (self->Handle() == window) self->Unbind();
    if (self->modeless.Get() == window) self->modeless.Abandon();  // already being destroyed
    return FALSE;
  }
  if (!result.handled) return FALSE;
  if (AnswersDirectly(message)) return result.value;
  SetWindowLongPtrW(window, DWLP_MSGRESULT, result.value);
  return TRUE;
}

// ---- CControl

CControl::~CControl() {
  // Back to the class's own procedure before `window` destroys the control.
  Unsubclass();
}

bool CControl::Create(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                      HWND parent, UINT id) {
  Unsubclass();
  window.Reset(CreateWindowExW(0, className, text, style, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, parent,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr));
  if (!window) return false;
  // The object first, then the procedure that looks for it.
  Bind(window.Get());
  original = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(window.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
  return true;
}

void CControl::Unsubclass() {
  const HWND control = Handle();
  if (!control) return;
  // The procedure first: a message between the two steps must still find
  // the class's procedure, never the framework's without an object.
  SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
  Unbind();
}

LRESULT CALLBACK CControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = static_cast<CControl*>(BoundObject(window));
  const WNDPROC original = self->original;
  const Result result = self->Dispatch(message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    self->Unsubclass();
    if (self->window.Get() == window) self->window.Abandon();  // already being destroyed
    return CallWindowProcW(original, window, message, wParam, lParam);
  }
  if (result.handled) return result.value;
  return CallWindowProcW(original, window, message, wParam, lParam);
}

}  // namespace halvora::ui
