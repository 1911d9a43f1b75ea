#pragma once
// The window's taskbar button as a progress display (ITaskbarList3): the
// share while downloading, the paused colour while paused, nothing once the
// window is hidden. Where the shell offers no taskbar list (or Wine's does
// nothing) every call is simply skipped.

#include <windows.h>

#include <shobjidl.h>

#include "base/win/scoped_handle.h"

namespace halvora::ui {

class CTaskbarProgress {
 public:
  // The shell's taskbar list, or null (then nothing is shown). UI thread,
  // with COM initialised.
  static win::ComPtr<ITaskbarList3> CreateList();

  CTaskbarProgress() = default;
  explicit CTaskbarProgress(win::ComPtr<ITaskbarList3> list);

  void Attach(HWND window) { this->window = window; }
  // The share done, 0 to 1, in the state the session is in.
  void Show(float fraction);
  void ShowPaused(bool paused);
  void Hide();

 private:
  void SetState(TBPFLAG state);

  win::ComPtr<ITaskbarList3> list;
  HWND window = nullptr;
  bool paused = false;
  bool hidden = false;
  TBPFLAG shown = TBPF_NOPROGRESS;
};

}  // namespace halvora::ui
