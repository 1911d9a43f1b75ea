#pragma once
// COM initialised for the calling thread for the life of the object. A thread
// already in the multithreaded apartment gets RPC_E_CHANGED_MODE: COM is usable
// there, but the call took no reference and must not be balanced.

#include <objbase.h>

namespace halvora::win {

class ScopedComInit {
 public:
  ScopedComInit() : result_(CoInitialize(nullptr)) {}
  ~ScopedComInit() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ScopedComInit(const ScopedComInit&) = delete;
  ScopedComInit& operator=(const ScopedComInit&) = delete;

 private:
  HRESULT result_;
};

}  // namespace halvora::win
