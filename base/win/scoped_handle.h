#pragma once
// Move-only owners for Win32 handles. Each handle kind has a traits type that
// names its invalid value and how it is released; add a kind here rather than
// writing another wrapper elsewhere.

#include <windows.h>
#include <wininet.h>

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
  Handle Detach() { return std::exchange(handle_, Traits::Invalid()); }

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
  void Close() {
    if (IsValid()) Traits::Close(std::exchange(handle_, Traits::Invalid()));
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

// WinINet sessions, connections and requests share one handle kind.
struct InternetHandleTraits {
  using Handle = HINTERNET;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::InternetCloseHandle(h); }
};
using InternetHandle = ScopedHandle<InternetHandleTraits>;

}  // namespace halvora::win
