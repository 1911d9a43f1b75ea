#pragma once
// The small window framework every window of the program stands on: the main
// dialog, the message dialog and its mask, the progress bar and the picture
// buttons. No MFC, no ATL; three classes.
//
// Binding. One C++ object per window. A static procedure finds the object
// through the window's GWLP_USERDATA, which the framework fills from the
// create-time parameter:
//  - CDialog: DialogBoxParamW / CreateDialogParamW get `this` as their
//    parameter; the dialog procedure stores it when WM_INITDIALOG arrives.
//    Messages sent before WM_INITDIALOG (WM_SETFONT, WM_CREATE ...) get the
//    dialog manager's default handling, as in any dialog.
//  - CControl: a window of a platform class (a BUTTON, say) is created and
//    then subclassed: its procedure is replaced by the framework's, the old one
//    keeps the default handling.
// The binding is cleared at WM_NCDESTROY, the last message a window gets, so
// no message reaches the object once the window is gone, and Handle() is null
// from then on. An object destroyed while its window lives unbinds first and
// then destroys the window (modeless dialogs, controls); a modal dialog's
// window is always gone when DoModal returns.
//
// Messages. Each message the framework knows goes to one virtual On<Message>
// handler; every other message goes to OnMessage. A handler returns true when
// it has handled the message and false to leave it to the default handling
// (the dialog manager's, or the platform control's own procedure), which then
// runs after it. Results a message needs (a brush, a hit-test code, a value
// for SendMessage) are handed back through the handler's return value or an
// out-parameter; the dialog procedure returns them the way the dialog manager
// expects (directly, or through DWLP_MSGRESULT).
//
// Owner-drawn controls. WM_DRAWITEM sent to a parent is handed to the
// control's own object when the control is a CControl ("reflection"), so a
// picture button draws itself; otherwise the parent's OnDrawItem gets it.
//
// Threads. A window and its object belong to the thread that created the
// window; handlers run there. Other threads (the install session's worker and
// monitor) never call into a window: they post WM_APP + n with PostWmApp
// and the window applies the change in OnAppMessage on its own thread.
// PostWmApp and Handle() are safe from any thread; a post to a window
// that is already gone fails and is dropped.
//
// Handles. Windows, icons, fonts, bitmaps and device contexts a window
// creates are owned through the RAII owners of base/win/scoped_handle.h
// (WindowHandle, IconHandle, FontHandle, BitmapHandle, CreatedDc, ScopedGetDc,
// ScopedSelectObject).

#include <windows.h>

#include <atomic>

#include "base/win/scoped_handle.h"

namespace halvora::ui {

// Worker threads post WM_APP + n for n below this (WM_APP up to 0xBFFF).
inline constexpr UINT kAppMessageCount = 0xC000 - WM_APP;

class CWindow {
 public:
  CWindow(const CWindow&) = delete;
  CWindow& operator=(const CWindow&) = delete;
  virtual ~CWindow();

  // The bound window; null before it exists and after it is destroyed.
  HWND Handle() const { return hwnd.load(std::memory_order_acquire); }

  // Posts WM_APP + n to the window; any thread. False when n is out of range,
  // the window is gone or the queue is full.
  bool PostWmApp(UINT n, WPARAM wParam = 0, LPARAM lParam = 0) const;

  // The object bound to a window of this framework; null for any other window.
  static CWindow* FromHandle(HWND window);

 protected:
  CWindow() = default;

  // Whether a message was handled, and the result it carries.
  struct Result {
    bool handled = false;
    LRESULT value = 0;
  };

  // Routes one message to its handler. Derived frameworks add their own
  // messages and call this for the rest.
  virtual Result Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  // Handlers. `client` points are in client coordinates, `screen` in screen
  // coordinates.
  virtual bool OnCommand(UINT id, UINT notifyCode, HWND control);
  // True: the background is erased (the answer is 1).
  virtual bool OnEraseBkgnd(HDC dc);
  virtual bool OnPaint();
  virtual bool OnTimer(UINT_PTR id);
  virtual bool OnMouseMove(UINT keys, POINT client);
  // True: the cursor is set (the answer is TRUE).
  virtual bool OnSetCursor(HWND window, UINT hitTest, UINT mouseMessage);
  virtual bool OnNcHitTest(POINT screen, LRESULT& hitTest);
  // WM_CTLCOLOR*: a brush to paint the control's background; null leaves the
  // message to the default handling.
  virtual HBRUSH OnCtlColor(HDC dc, HWND control, UINT message);
  virtual bool OnDrawItem(const DRAWITEMSTRUCT& item);
  // WM_APP + n.
  virtual bool OnAppMessage(UINT n, WPARAM wParam, LPARAM lParam, LRESULT& result);
  // WM_DESTROY: the window is still valid, its children too.
  virtual void OnDestroy();
  // Every message without a handler of its own.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  // Called by the static procedures.
  void Bind(HWND window);
  void Unbind();

 private:
  std::atomic<HWND> hwnd{nullptr};
};

// A dialog run from a dialog template of the program's resources.
class CDialog : public CWindow {
 public:
  explicit CDialog(UINT templateId) : templateId(templateId) {}
  ~CDialog() override;

  // Runs the dialog modally and returns the value given to EndDialog, or -1
  // when the dialog could not be created.
  INT_PTR DoModal(HWND owner);
  // Creates the dialog modeless (visible only when the template says so);
  // the object owns the window from then on. False when creation failed.
  bool Create(HWND parent);
  // Ends a modal run with `result`; destroys a modeless dialog.
  void EndDialog(INT_PTR result);

 protected:
  // WM_INITDIALOG; the result goes back to the dialog manager (TRUE: it sets
  // the default focus).
  virtual BOOL OnInitDialog();
  // IDOK and IDCANCEL commands (Enter, Escape, the window's close) that
  // OnCommand did not handle. They end the dialog.
  virtual void OnOK();
  virtual void OnCancel();

  Result Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  friend class CWindow;
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  const UINT templateId;
  bool modal = false;
  win::WindowHandle modeless;  // owned while a modeless dialog lives
};

// A child window of a platform class (BUTTON, STATIC ...) whose messages reach
// this object first.
class CControl : public CWindow {
 public:
  CControl() = default;
  ~CControl() override;

  // Creates the child and subclasses it; the object owns the window. False
  // when creation failed.
  bool Create(const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
              HWND parent, UINT id);

 private:
  friend class CWindow;
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Unsubclass();

  WNDPROC original = nullptr;
  win::WindowHandle window;
};

}  // namespace halvora::ui
