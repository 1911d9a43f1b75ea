#pragma once
// Move-only owners for Win32 handles. Each handle kind has a traits type that
// names its invalid value and how it is released; add a kind here rather than
// writing another wrapper elsewhere. A kind whose header the base library does
// not include gets its traits beside its users, on this same template
// (WinINet's in net/http/wininet_handle_win.h).

#include <windows.h>

#include <utility>

namespace halvora::win {

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle h) : handle_(h) {}
  ~ScopedHandle() { Close(); }

  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Detach()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;

  bool IsValid() const { return handle_ != Traits::Invalid(); }
  explicit operator bool() const { return IsValid(); }
  Handle Get() const { return handle_; }

  // Hands the handle over to the caller, who must close it: this owner is
  // left empty and closes nothing.
  [[nodiscard]] Handle Detach() { return std::exchange(handle_, Traits::Invalid()); }

  // Forgets the handle without closing it, for one that is no longer anyone's
  // to close here: a window the system is already destroying, a region that
  // SetWindowRgn took over.
  void Abandon() { handle_ = Traits::Invalid(); }

  void Reset(Handle h = Traits::Invalid()) {
    Close();
    handle_ = h;
  }

  // For APIs that return a handle through an out-parameter.
  Handle* Receive() {
    Close();
    return &handle_;
  }

 private:
  // Callers read GetLastError after replacing or dropping an owner, as in
  // `h.Reset(CreateFileW(...)); if (!h) Report(GetLastError());`: the release
  // of the old handle must not change it.
  void Close() {
    if (!IsValid()) return;
    const DWORD error = ::GetLastError();
    Traits::Close(std::exchange(handle_, Traits::Invalid()));
    ::SetLastError(error);
  }

  Handle handle_ = Traits::Invalid();
};

// Kernel objects whose failure value is NULL (threads, events, mutexes, processes).
struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using KernelHandle = ScopedHandle<KernelHandleTraits>;

// CreateFileW and friends fail with INVALID_HANDLE_VALUE.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
using FileHandle = ScopedHandle<FileHandleTraits>;

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
using FindHandle = ScopedHandle<FindHandleTraits>;

struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
using RegKey = ScopedHandle<RegKeyTraits>;

// A COM interface pointer owns one reference. Receive() gives the T** that
// CoCreateInstance and QueryInterface fill (through a void** cast).
template <typename Interface>
struct ComTraits {
  using Handle = Interface*;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { h->Release(); }
};
template <typename Interface>
using ComPtr = ScopedHandle<ComTraits<Interface>>;

// Modules from LoadLibraryExW, also those loaded as data files.
struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};
using ModuleHandle = ScopedHandle<ModuleTraits>;

// Windows that the owner destroys itself (a child it created, a modeless
// dialog). A modal dialog's window is destroyed by the dialog manager instead.
struct WindowTraits {
  using Handle = HWND;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyWindow(h); }
};
using WindowHandle = ScopedHandle<WindowTraits>;

// Icons made by LoadImageW without LR_SHARED, CreateIconIndirect or
// ExtractIconEx. A shared icon (LoadIconW, LR_SHARED) must not be owned here.
struct IconTraits {
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DestroyIcon(h); }
};
using IconHandle = ScopedHandle<IconTraits>;

// Fonts, bitmaps, brushes, pens and regions: DeleteObject. An object must not
// be selected into a device context when its owner releases it; restore the
// selection first (ScopedSelectObject). A region handed to SetWindowRgn
// belongs to the system from then on: Abandon() it.
template <typename Object>
struct GdiObjectTraits {
  using Handle = Object;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteObject(h); }
};
using FontHandle = ScopedHandle<GdiObjectTraits<HFONT>>;
using BitmapHandle = ScopedHandle<GdiObjectTraits<HBITMAP>>;
using BrushHandle = ScopedHandle<GdiObjectTraits<HBRUSH>>;
using RegionHandle = ScopedHandle<GdiObjectTraits<HRGN>>;

// A memory device context from CreateCompatibleDC (or CreateDCW): DeleteDC.
struct CreatedDcTraits {
  using Handle = HDC;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::DeleteDC(h); }
};
using CreatedDc = ScopedHandle<CreatedDcTraits>;

// A window's device context from GetDC, given back with ReleaseDC on the same
// window. Not movable: it is taken and released within one scope.
class ScopedGetDc {
 public:
  explicit ScopedGetDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~ScopedGetDc() {
    if (dc_) ::ReleaseDC(window_, dc_);
  }
  ScopedGetDc(const ScopedGetDc&) = delete;
  ScopedGetDc& operator=(const ScopedGetDc&) = delete;

  HDC Get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

 private:
  HWND window_;
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back at
// the end of the scope, so no owned object is still selected when it is
// deleted. Declare it after the owner of the object it selects.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~ScopedSelectObject() {
    if (previous_ && previous_ != HGDI_ERROR) ::SelectObject(dc_, previous_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace halvora::win
