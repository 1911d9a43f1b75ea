#include "ui/taskbar_progress.h"

#include <algorithm>

namespace halvora::ui {

namespace {

constexpr ULONGLONG kSteps = 1000;  // the share in thousandths

}  // namespace

win::ComPtr<ITaskbarList3> CTaskbarProgress::CreateList() {
  win::ComPtr<ITaskbarList3> list;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                              reinterpret_cast<void**>(list.Receive()))) ||
      !list || FAILED(list.Get()->HrInit()))
    list.Reset();
  return list;
}

CTaskbarProgress::CTaskbarProgress(win::ComPtr<ITaskbarList3> taskbar) : list(std::move(taskbar)) {}

void CTaskbarProgress::SetState(TBPFLAG state) {
  if (!list || !window || state == shown) return;
  list.Get()->SetProgressState(window, state);
  shown = state;
}

void CTaskbarProgress::Show(float fraction) {
  if (!list || !window || hidden) return;
  SetState(paused ? TBPF_PAUSED : TBPF_NORMAL);
  const float share = std::clamp(fraction, 0.0f, 1.0f);
  list.Get()->SetProgressValue(window, static_cast<ULONGLONG>(share * kSteps), kSteps);
}

void CTaskbarProgress::ShowPaused(bool value) {
  paused = value;
  if (!hidden && shown != TBPF_NOPROGRESS) SetState(paused ? TBPF_PAUSED : TBPF_NORMAL);
}

void CTaskbarProgress::Hide() {
  hidden = true;
  SetState(TBPF_NOPROGRESS);
}

}  // namespace halvora::ui
