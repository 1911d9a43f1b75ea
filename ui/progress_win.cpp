#include "ui/progress.h"

#include "res/artwork.h"
#include "res/resource.h"
#include "ui/gdi_win.h"
#include "ui/geometry.h"
#include "ui/ui_text.h"

namespace halvora::ui {

CProgress::CProgress() : CDialog(IDD_PROGRESS_DIALOG) {}

BOOL CProgress::OnInitDialog() {
  track = LoadPicture(IDB_PROGRESS_TRACK);
  fill = LoadPicture(IDB_PROGRESS_FILL);
  SetWindowTextW(Handle(), ProgressName(0.0f).c_str());
  // A dialog is a container that Tab descends into; the bar holds nothing to
  // focus, so Tab must pass it by rather than leave the focus on it.
  SetWindowLongW(Handle(), GWL_EXSTYLE,
                 GetWindowLongW(Handle(), GWL_EXSTYLE) & ~WS_EX_CONTROLPARENT);
  namedAt = GetTickCount64();
  return FALSE;  // a bar takes no focus
}

void CProgress::SetRange(uint32_t value) { range = value; }

void CProgress::SetPercent(float fraction) {
  position = ProgressPosition(fraction, range);
  if (!Handle()) return;
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  // A screen reader announces each change of the name: not more than once a
  // second, but the full bar at once.
  constexpr ULONGLONG kNameIntervalMs = 1000;
  const ULONGLONG now = GetTickCount64();
  if (fraction >= 1.0f || now - namedAt >= kNameIntervalMs) {
    SetWindowTextW(Handle(), ProgressName(fraction).c_str());
    namedAt = now;
  }
}

bool CProgress::OnEraseBkgnd(HDC dc) {
  RECT client{};
  GetClientRect(Handle(), &client);
  OffscreenBuffer buffer(dc, client.right, client.bottom);
  if (!buffer.Ok()) return true;
  buffer.Fill(RGB(255, 255, 255));
  const Rect all = FromRECT(client);
  TilePicture(buffer.Dc(), track.Get(), all);
  const int filled = ProgressFillWidth(position, range, all.Width());
  if (filled > 0) TilePicture(buffer.Dc(), fill.Get(), {0, 0, filled, all.bottom});
  buffer.Present(dc);
  return true;
}

bool CProgress::OnPaint() {
  // Everything is drawn with the background; validate the update region.
  PAINTSTRUCT ps;
  BeginPaint(Handle(), &ps);
  EndPaint(Handle(), &ps);
  return true;
}

}  // namespace halvora::ui
